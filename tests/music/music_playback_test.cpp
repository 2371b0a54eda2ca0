// Tunes played through a real sound server whose null sink is recorded:
// what comes out, mixing, stopping, looping, refusals while playing, and the
// give-up rules for a missing or frozen server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "core/clock.h"
#include "media/assets.h"
#include "media/music.h"
#include "media/wave_format.h"
#include "tests/music/music_test_support.h"
#include "tests/music/sound_fixtures.h"
#include "tests/support/time_seam.h"
#include "tests/support/virtual_desktop.h"

namespace gs::test {
namespace {

constexpr int kRate = 8000;
constexpr size_t kNpos = std::string::npos;
// StopMusic must silence everything within this time.
constexpr double kStopLimitMs = 30.0;

double SamplesToMs(double samples) {
  return samples * 1000.0 / kRate;
}

OwnedByteBlock WaveBlock(const Bytes& samples) {
  return ToBlock(RiffWave({{"fmt ", U8MonoFormat()}, {"data", samples}}));
}

class MusicPlayback : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DesktopOptions options;
    options.window_manager = false;
    options.strip = false;
    options.sound_rate = kRate;
    desktop_ = new VirtualDesktop(options);
  }
  static void TearDownTestSuite() {
    StopMusic();
    WaitUntil([] { return ActiveWavePlayerCount() == 0; }, 3000);
    delete desktop_;
    desktop_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(desktop_->ok()) << desktop_->error();
    desktop_->ClearRecording();
  }
  void TearDown() override {
    StopMusic();
    SetTimeScale(1.0);
    EXPECT_TRUE(WaitUntil([] { return ActiveWavePlayerCount() == 0; }, 3000));
  }

  // Waits until something is heard after sample `from`; its index or npos.
  static size_t WaitForSound(size_t from, int timeout_ms = 4000) {
    size_t found = kNpos;
    WaitUntil(
        [&] {
          found = FirstSound(desktop_->Recording(0), from);
          return found != kNpos;
        },
        timeout_ms);
    return found;
  }

  static VirtualDesktop* desktop_;
};

VirtualDesktop* MusicPlayback::desktop_ = nullptr;

TEST_F(MusicPlayback, IntroTuneComesOutSampleExact) {
  const ByteBlock& block = assets::intro_tune;
  const WaveLayout layout = ReadWaveLayout(block.bytes(), block.length);
  ASSERT_TRUE(layout.ok());
  const Bytes tune(block.bytes() + layout.data_offset,
                   block.bytes() + layout.data_offset + layout.data_length);

  const size_t at_call = desktop_->RecordedSamples();
  ASSERT_TRUE(PlayMusic(&assets::intro_tune));
  EXPECT_EQ(ActiveWavePlayerCount(), 1);
  ASSERT_NE(WaitForSound(at_call), kNpos) << "nothing was heard";
  Sleep(2500);
  const std::vector<int16_t> recording = desktop_->Recording();

  // A new stream may lose its first few milliseconds in the server; find
  // which sample of the tune the recording starts with.
  const size_t first = FirstSound(recording, at_call);
  size_t head = kNpos;
  for (size_t k = 0; k < 800 && head == kNpos; ++k) {
    if (FindRecorded(recording, tune, k, 64, first) == first) head = k;
  }
  ASSERT_NE(head, kNpos) << "the first sound is not from the tune's first 100 ms";

  const size_t compared = 2 * kRate;
  ASSERT_GE(recording.size(), first + compared);
  size_t mismatches = 0;
  size_t first_mismatch = kNpos;
  for (size_t i = 0; i < compared; ++i) {
    if (recording[first + i] == RecordedU8(tune[head + i])) continue;
    ++mismatches;
    if (first_mismatch == kNpos) first_mismatch = i;
  }
  if (mismatches) {
    // Say whether the tune goes on later (a gap) or not at all.
    const size_t resumes =
        FindRecorded(recording, tune, head + first_mismatch, 64, first + first_mismatch);
    ADD_FAILURE() << mismatches << " of " << compared << " samples differ, from sample "
                  << first_mismatch << "; "
                  << (resumes == kNpos
                          ? std::string("the tune does not resume")
                          : "the tune resumes after a gap of " +
                                std::to_string(resumes - first - first_mismatch) + " samples");
  }

  const double start_ms = SamplesToMs(static_cast<double>(first - head) - at_call);
  Report("intro_start_to_first_sample_ms", start_ms);
  Report("intro_samples_lost_at_start", static_cast<double>(head));
}

TEST_F(MusicPlayback, TwoTunesPlayTogetherAndOneStopSilencesBoth) {
  OwnedByteBlock low = WaveBlock(Tone(500, 4000, 50));
  OwnedByteBlock high = WaveBlock(Tone(1250, 4000, 50));
  // A busy machine can delay any one stop by a scheduling hiccup; a slow
  // stop path is slow every time. Hence the best of up to three rounds.
  double best_stop_ms = 1e9;
  for (int round = 0; round < 3 && best_stop_ms > kStopLimitMs; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    desktop_->ClearRecording();
    const size_t at_start = desktop_->RecordedSamples();
    ASSERT_TRUE(PlayMusic(low.get()));
    ASSERT_TRUE(PlayMusic(high.get()));
    EXPECT_EQ(ActiveWavePlayerCount(), 2);
    ASSERT_NE(WaitForSound(at_start), kNpos);
    Sleep(600);

    const size_t at_stop = desktop_->RecordedSamples();
    StopMusic();
    Sleep(500);
    const std::vector<int16_t> recording = desktop_->Recording();
    ASSERT_TRUE(WaitUntil([] { return ActiveWavePlayerCount() == 0; }, 2000));

    // Both tones in the 300 ms before the stop, nothing in between.
    const size_t begin = at_stop - 3 * kRate / 10;
    EXPECT_GT(TonePower(recording, begin, at_stop, 500), 0.03)
        << "sound from sample " << FirstSound(recording, at_start) << " to "
        << EndOfSound(recording) << ", StopMusic at " << at_stop;
    EXPECT_GT(TonePower(recording, begin, at_stop, 1250), 0.03);
    EXPECT_LT(TonePower(recording, begin, at_stop, 850), 0.001);

    // Silence from the stop on: the last sound against the number of
    // samples recorded at the moment of the call (which lags the sink a
    // little, so this errs on the long side).
    const size_t end = EndOfSound(recording);
    ASSERT_GT(recording.size(), end + kRate / 4) << "the recording must go on after the stop";
    const double stop_ms = SamplesToMs(static_cast<double>(end) - static_cast<double>(at_stop));
    Report("stop_latency_ms", stop_ms);
    best_stop_ms = std::min(best_stop_ms, stop_ms);
  }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // Sanitizer builds run many times slower; there the figure is only reported.
  EXPECT_LE(best_stop_ms, kStopLimitMs);
#endif
}

TEST_F(MusicPlayback, LoopedTuneRestartsAtFirstSample) {
  const Bytes pattern = Pattern(1600, 11);  // 200 ms
  OwnedByteBlock block = WaveBlock(pattern);
  const size_t at_call = desktop_->RecordedSamples();
  ASSERT_TRUE(PlayMusic(block.get(), true));
  ASSERT_NE(WaitForSound(at_call), kNpos);
  Sleep(1300);
  StopMusic();
  const std::vector<int16_t> recording = desktop_->Recording();

  const size_t first = FirstSound(recording, at_call);
  size_t head = kNpos;
  for (size_t k = 0; k < 400 && head == kNpos; ++k) {
    if (FindRecorded(recording, pattern, k, 64, first) == first) head = k;
  }
  ASSERT_NE(head, kNpos);
  const size_t start = first - head;  // where the first round would have begun
  for (size_t round = 1; round <= 4; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    const size_t at = start + round * pattern.size();
    ASSERT_LE(at + pattern.size(), recording.size());
    EXPECT_EQ(FindRecorded(recording, pattern, 0, pattern.size(), at), at);
  }
}

TEST_F(MusicPlayback, UnloopedTunePlaysOnceAndFinishes) {
  const Bytes pattern = Pattern(1600, 12);
  OwnedByteBlock block = WaveBlock(pattern);
  const size_t at_call = desktop_->RecordedSamples();
  ASSERT_TRUE(PlayMusic(block.get()));
  EXPECT_TRUE(WaitUntil([] { return ActiveWavePlayerCount() == 0; }, 3000))
      << "the tune did not finish by itself";
  Sleep(300);
  const std::vector<int16_t> recording = desktop_->Recording();

  const size_t first = FirstSound(recording, at_call);
  ASSERT_NE(first, kNpos);
  size_t head = kNpos;
  for (size_t k = 0; k < 400 && head == kNpos; ++k) {
    if (FindRecorded(recording, pattern, k, 64, first) == first) head = k;
  }
  ASSERT_NE(head, kNpos);
  const size_t rest = pattern.size() - head;
  EXPECT_EQ(FindRecorded(recording, pattern, head, rest, first), first);
  EXPECT_EQ(EndOfSound(recording), first + rest) << "sound after the tune's last sample";
}

struct LayoutCase {
  const char* name;
  Bytes wave;
};

TEST_F(MusicPlayback, UnusualChunkLayoutsPlay) {
  const Bytes pattern = Pattern(1200, 21);
  Bytes s16(pattern.size() * 2);
  for (size_t i = 0; i < pattern.size(); ++i) {
    const int16_t v = RecordedU8(pattern[i]);
    s16[2 * i] = static_cast<uint8_t>(v);
    s16[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
  }
  const LayoutCase cases[] = {
      {"data_before_fmt", RiffWave({{"data", pattern}, {"fmt ", U8MonoFormat()}})},
      {"odd_chunk_before_data",
       RiffWave({{"fmt ", U8MonoFormat()}, {"note", {'h', 'i', '!'}}, {"data", pattern}})},
      {"signed_16_bit", RiffWave({{"fmt ", FormatBody(1, 1, 8000, 16)}, {"data", s16}})},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    OwnedByteBlock block = ToBlock(c.wave);
    const size_t at_call = desktop_->RecordedSamples();
    ASSERT_TRUE(PlayMusic(block.get()));
    ASSERT_TRUE(WaitUntil([] { return ActiveWavePlayerCount() == 0; }, 3000));
    Sleep(200);
    const std::vector<int16_t> recording = desktop_->Recording();
    const size_t first = FirstSound(recording, at_call);
    ASSERT_NE(first, kNpos) << "nothing was heard";
    size_t head = kNpos;
    for (size_t k = 0; k < 400 && head == kNpos; ++k) {
      if (FindRecorded(recording, pattern, k, 64, first) == first) head = k;
    }
    ASSERT_NE(head, kNpos);
    EXPECT_EQ(FindRecorded(recording, pattern, head, pattern.size() - head, first), first);
  }
}

TEST_F(MusicPlayback, MpegSongIsRefusedAndThePlayingTuneGoesOn) {
  OwnedByteBlock tone = WaveBlock(Tone(700, 500, 50));
  ASSERT_TRUE(PlayMusic(tone.get(), true));
  ASSERT_NE(WaitForSound(0), kNpos);
  Sleep(200);
  const size_t at_call = desktop_->RecordedSamples();
  EXPECT_FALSE(PlayMusic(&assets::main_song));
  EXPECT_EQ(ActiveWavePlayerCount(), 1);
  Sleep(600);
  const std::vector<int16_t> recording = desktop_->Recording();
  const size_t end = at_call + kRate / 2;
  ASSERT_GE(recording.size(), end);
  EXPECT_GT(TonePower(recording, at_call, end, 700), 0.03);
  // No gap: a 700 Hz sine sampled at 8 kHz is never silent for 4 samples.
  size_t run = 0;
  size_t longest = 0;
  for (size_t i = at_call; i < end; ++i) {
    run = recording[i] == 0 ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  EXPECT_LT(longest, 4u);
}

TEST_F(MusicPlayback, WithoutSoundServerTuneIsSilentAndGivenUp) {
  const std::string saved = getenv("PULSE_SERVER") ? getenv("PULSE_SERVER") : "";
  setenv("PULSE_SERVER", "unix:/nonexistent/gs-music/no-server", 1);
  SetTimeScale(0.1);  // gives up after 888.8 ms
  StderrCapture stderr_capture;

  const size_t at_call = desktop_->RecordedSamples();
  const int64_t start = MonotonicMs();
  EXPECT_TRUE(PlayMusic(&assets::intro_tune));
  EXPECT_EQ(ActiveWavePlayerCount(), 1);
  EXPECT_TRUE(WaitUntil([] { return ActiveWavePlayerCount() == 0; }, 6000));
  const int64_t given_up_ms = MonotonicMs() - start;
  const std::string printed = stderr_capture.Finish();
  setenv("PULSE_SERVER", saved.c_str(), 1);

  EXPECT_GE(given_up_ms, 888);
  Report("no_server_given_up_after_ms_at_scale_0.1", static_cast<double>(given_up_ms));
  EXPECT_EQ(printed, "");
  const std::vector<int16_t> recording = desktop_->Recording();
  EXPECT_EQ(FirstSound(recording, at_call), kNpos);
}

TEST_F(MusicPlayback, FrozenServerTuneIsGivenUpAndNothingWaits) {
  OwnedByteBlock tone = WaveBlock(Tone(600, 500, 50));
  SetTimeScale(0.1);  // gives up after 888.8 ms without progress
  ASSERT_TRUE(PlayMusic(tone.get(), true));
  ASSERT_NE(WaitForSound(0), kNpos);
  desktop_->FreezeSoundServer();
  const int64_t frozen_at = MonotonicMs();
  const bool given_up = WaitUntil([] { return ActiveWavePlayerCount() == 0; }, 6000);
  const int64_t given_up_ms = MonotonicMs() - frozen_at;

  // A tune started on the frozen server, and StopMusic, return at once: run
  // them on a thread of their own so a hang fails the test instead. The
  // thread owns what it uses, in case it never returns.
  struct Calls {
    OwnedByteBlock block;
    std::atomic<bool> accepted{false};
    std::atomic<bool> returned{false};
  };
  auto calls = std::make_shared<Calls>();
  calls->block = WaveBlock(Tone(600, 500, 50));
  std::thread([calls] {
    calls->accepted = PlayMusic(calls->block.get());
    StopMusic();
    calls->returned = true;
  }).detach();
  const bool calls_returned = WaitUntil([&] { return calls->returned.load(); }, 3000);
  desktop_->ResumeSoundServer();

  EXPECT_TRUE(given_up) << "still listed " << given_up_ms << " ms after the freeze";
  Report("frozen_given_up_after_ms_at_scale_0.1", static_cast<double>(given_up_ms));
  ASSERT_TRUE(calls_returned) << "PlayMusic or StopMusic waited for the frozen server";
  EXPECT_TRUE(calls->accepted.load());
}

// The process ends promptly with a frozen server, with or without StopMusic
// first. The child is this test program itself (MusicChild.PlaysUntilTold).
TEST_F(MusicPlayback, ProcessExitDoesNotWaitForFrozenServer) {
  for (const char* mode : {"stop", "no-stop"}) {
    SCOPED_TRACE(mode);
    ExitProbe probe(mode);
    ASSERT_TRUE(probe.Start()) << probe.error();
    ASSERT_NE(WaitForSound(0), kNpos) << "the child's tune was not heard";
    desktop_->FreezeSoundServer();
    const ExitProbe::Result result = probe.Release(10000);
    desktop_->ResumeSoundServer();
    EXPECT_TRUE(result.exited) << "the child still runs 10 s after being told to end";
    EXPECT_EQ(result.description, "exited with status 0");
    EXPECT_EQ(result.stderr_text, "");
    Report(std::string("frozen_exit_ms_") + mode, result.exit_ms);
    desktop_->ClearRecording();
    Sleep(300);
  }
}

TEST_F(MusicPlayback, MidiTuneIsHeardAndStopped) {
  OwnedByteBlock midi = ToBlock(MidiMelody({60, 64, 67, 72, 67, 64, 60}, 150));
  const size_t at_call = desktop_->RecordedSamples();
  ASSERT_TRUE(PlayMusic(midi.get(), true));
  EXPECT_EQ(ActiveWavePlayerCount(), 0);
  const size_t first = WaitForSound(at_call, 8000);
  ASSERT_NE(first, kNpos) << "the MIDI tune was not heard";
  Report("midi_start_to_first_sample_ms", SamplesToMs(static_cast<double>(first - at_call)));
  Sleep(1000);
  const size_t at_stop = desktop_->RecordedSamples();
  StopMusic();
  Sleep(500);
  const std::vector<int16_t> recording = desktop_->Recording();
  EXPECT_GT(MeanSquare(recording, first, at_stop), 1e-4);
  EXPECT_EQ(FirstSound(recording, at_stop + kRate / 10), kNpos) << "still sounding after StopMusic";
}

TEST_F(MusicPlayback, NewMidiTuneStopsTheOldOne) {
  OwnedByteBlock melody = ToBlock(MidiMelody({60, 64, 67, 72}, 200));
  Bytes broken = MidiMelody({60}, 100);
  broken.resize(broken.size() - 3);
  OwnedByteBlock unreadable = ToBlock(broken);
  const size_t at_call = desktop_->RecordedSamples();
  ASSERT_TRUE(PlayMusic(melody.get(), true));
  ASSERT_NE(WaitForSound(at_call, 8000), kNpos);
  Sleep(300);
  const size_t at_second = desktop_->RecordedSamples();
  EXPECT_TRUE(PlayMusic(unreadable.get()));
  Sleep(600);
  const std::vector<int16_t> recording = desktop_->Recording();
  EXPECT_EQ(FirstSound(recording, at_second + kRate / 10), kNpos)
      << "the first MIDI tune still sounds";
}

// Runs only as the child of ProcessExitDoesNotWaitForFrozenServer.
TEST(MusicChild, PlaysUntilTold) {
  const char* mode = getenv(ExitProbe::kModeVariable);
  if (!mode) GTEST_SKIP() << "runs only as a child of the exit test";
  OwnedByteBlock tone = WaveBlock(Tone(900, 500, 50));
  ASSERT_TRUE(PlayMusic(tone.get(), true));
  ExitProbe::ChildReady();
  ExitProbe::ChildWaitForRelease();
  if (std::string(mode) == "stop") StopMusic();
  // Returning ends the process through exit().
}

}  // namespace
}  // namespace gs::test

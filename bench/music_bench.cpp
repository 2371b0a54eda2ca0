// Music playback against peers measured in the same run: what PlayMusic
// costs its caller with the stored intro tune, next to a plain copy of the
// same samples and a synchronous open of the default output. Then, from a
// private sound server's recording, the time from the call to the first
// sample heard, and the CPU the process uses while a tune plays (and while
// the server is frozen).
#include <alsa/asoundlib.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/ratio_reporter.h"
#include "media/assets.h"
#include "media/music.h"
#include "media/wave_format.h"
#include "tests/support/virtual_desktop.h"

namespace {

constexpr int kRate = 8000;

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void StopAndWait() {
  gs::StopMusic();
  for (int i = 0; i < 2000 && gs::ActiveWavePlayerCount() > 0; ++i) SleepMs(1);
}

const uint8_t* IntroSamples(size_t* length) {
  const gs::ByteBlock& block = gs::assets::intro_tune;
  const gs::WaveLayout layout = gs::ReadWaveLayout(block.bytes(), block.length);
  *length = layout.data_length;
  return block.bytes() + layout.data_offset;
}

// ---- the caller's cost of a start ------------------------------------------

void OursPlayMusic(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(gs::PlayMusic(&gs::assets::intro_tune));
    state.PauseTiming();
    StopAndWait();
    state.ResumeTiming();
  }
}

// The least any player must do before returning: a private copy of the samples.
void PeerCopySamples(benchmark::State& state) {
  size_t length = 0;
  const uint8_t* samples = IntroSamples(&length);
  for (auto _ : state) {
    std::vector<uint8_t> copy(samples, samples + length);
    benchmark::DoNotOptimize(copy.data());
  }
}

// What a player that opened the output on the caller's thread would add.
void PeerOpenOutput(benchmark::State& state) {
  for (auto _ : state) {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) == 0) {
      snd_pcm_set_params(pcm, SND_PCM_FORMAT_U8, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                         200000);
      snd_pcm_close(pcm);
    } else {
      state.SkipWithError("no output device");
      break;
    }
  }
}

// ---- measured from the recording --------------------------------------------

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Percent of one core used by the whole process over `ms`.
double CpuPercentOver(int ms) {
  const double cpu = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  SleepMs(ms);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return 100.0 * (CpuSeconds() - cpu) / wall;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

void MeasureFromRecording(gs::test::VirtualDesktop& desktop) {
  std::vector<double> first_heard_ms;
  for (int round = 0; round < 7; ++round) {
    desktop.ClearRecording();
    SleepMs(100);
    const size_t at_call = desktop.RecordedSamples();
    gs::PlayMusic(&gs::assets::intro_tune);
    size_t first = std::string::npos;
    for (int i = 0; i < 400 && first == std::string::npos; ++i) {
      SleepMs(5);
      const std::vector<int16_t> recording = desktop.Recording(0);
      for (size_t j = at_call; j < recording.size(); ++j) {
        if (recording[j] != 0) {
          first = j;
          break;
        }
      }
    }
    StopAndWait();
    if (first != std::string::npos) {
      first_heard_ms.push_back(static_cast<double>(first - at_call) * 1000.0 / kRate);
    }
  }
  gs::bench::PrintRow("PlayMusic(intro_tune) to its first recorded sample",
                      gs::bench::Figure("%.1f ms", Median(first_heard_ms)) + " (median of " +
                          std::to_string(first_heard_ms.size()) + ")",
                      "-", "-", "reported");

  const double idle = CpuPercentOver(3000);
  gs::PlayMusic(&gs::assets::intro_tune);
  SleepMs(300);
  const double playing = CpuPercentOver(5000);
  desktop.FreezeSoundServer();
  SleepMs(300);
  const double frozen = CpuPercentOver(2000);
  desktop.ResumeSoundServer();
  StopAndWait();
  gs::bench::PrintRow("CPU while intro_tune plays (whole process, % of a core)",
                      gs::bench::Figure("%.2f %%", playing),
                      gs::bench::Figure("idle: %.2f %%", idle), "-", "under 2 %");
  gs::bench::PrintRow("CPU while the sound server is frozen (% of a core)",
                      gs::bench::Figure("%.2f %%", frozen),
                      gs::bench::Figure("idle: %.2f %%", idle), "-", "reported");
}

}  // namespace

int main(int argc, char** argv) {
  gs::test::DesktopOptions options;
  options.window_manager = false;
  options.strip = false;
  options.sound_rate = kRate;
  gs::test::VirtualDesktop desktop(options);
  if (!desktop.ok()) {
    std::fprintf(stderr, "no test sound server: %s\n", desktop.error().c_str());
    return 1;
  }

  benchmark::RegisterBenchmark("start/ours_PlayMusic", OursPlayMusic)
      ->Iterations(100)
      ->Repetitions(5)
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("start/peer_copy", PeerCopySamples)
      ->Repetitions(5)
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("start/peer_open_output", PeerOpenOutput)
      ->Iterations(100)
      ->Repetitions(5)
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  gs::bench::RatioReporter reporter(gs::bench::RatioReporter::Clock::kReal);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("PlayMusic(intro_tune) until it returns", "start/ours_PlayMusic",
                      "start/peer_open_output", "under 5 ms");
  reporter.PrintRatio("PlayMusic(intro_tune) until it returns", "start/ours_PlayMusic",
                      "start/peer_copy", "reported");

  MeasureFromRecording(desktop);
  return 0;
}

// What PlayMusic refuses, and the file-name path. None of this needs a
// sound server: a refused call starts nothing, an accepted one returns true
// whatever the output does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "media/assets.h"
#include "media/music.h"
#include "tests/music/sound_fixtures.h"

namespace gs::test {
namespace {

bool WaitForNoPlayers() {
  for (int i = 0; i < 300 && ActiveWavePlayerCount() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ActiveWavePlayerCount() == 0;
}

class MusicApi : public ::testing::Test {
 protected:
  void TearDown() override {
    StopMusic();
    EXPECT_TRUE(WaitForNoPlayers());
  }
};

struct RefusalCase {
  const char* name;
  Bytes bytes;
};

TEST_F(MusicApi, RefusedBytesStartNothing) {
  const Bytes silent = Bytes(800, 128);
  const Bytes wave = RiffWave({{"fmt ", U8MonoFormat()}, {"data", silent}});
  const RefusalCase cases[] = {
      {"raw_pcm", silent},
      {"riff_header_only", Bytes(wave.begin(), wave.begin() + 20)},
      {"wave_35_bytes", Bytes(wave.begin(), wave.begin() + 35)},
      {"no_data", RiffWave({{"fmt ", U8MonoFormat()}, {"LIST", {1, 2}}})},
      {"no_fmt", RiffWave({{"data", silent}})},
      {"empty_data", RiffWave({{"fmt ", U8MonoFormat()}, {"data", {}}})},
      {"four_bytes_mthd", Bytes{'M', 'T', 'h', 'd'}},
      {"text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    OwnedByteBlock block = ToBlock(c.bytes);
    ASSERT_TRUE(block);
    EXPECT_FALSE(PlayMusic(block.get()));
    EXPECT_EQ(ActiveWavePlayerCount(), 0);
  }
  EXPECT_FALSE(PlayMusic(static_cast<const ByteBlock*>(nullptr)));
  OwnedByteBlock empty = MakeByteBlock(0);
  EXPECT_FALSE(PlayMusic(empty.get()));
  ByteBlock negative{1, -5};
  EXPECT_FALSE(PlayMusic(&negative));
  EXPECT_FALSE(PlayMusic(&assets::main_song));
  EXPECT_EQ(ActiveWavePlayerCount(), 0);
}

TEST_F(MusicApi, FileNames) {
  EXPECT_FALSE(PlayMusic(std::string()));
  EXPECT_FALSE(PlayMusic(std::string("/nonexistent/gs-music/tune.wav")));
  EXPECT_FALSE(PlayMusic(std::string("/tmp")));

  char path[] = "/tmp/gs-music-test-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    // 100 ms of silence: accepted whether or not any output exists.
    const Bytes wave = RiffWave({{"fmt ", U8MonoFormat()}, {"data", Bytes(800, 128)}});
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(wave.data()),
              static_cast<std::streamsize>(wave.size()));
  }
  EXPECT_TRUE(PlayMusic(std::string(path)));
  EXPECT_EQ(ActiveWavePlayerCount(), 1);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "ID3 not a tune";
  }
  EXPECT_FALSE(PlayMusic(std::string(path)));
  std::remove(path);
}

TEST_F(MusicApi, StopMusicReleasesTunes) {
  const Bytes wave = RiffWave({{"fmt ", U8MonoFormat()}, {"data", Bytes(80000, 128)}});
  OwnedByteBlock block = ToBlock(wave);
  ASSERT_TRUE(PlayMusic(block.get(), true));
  ASSERT_TRUE(PlayMusic(block.get()));
  EXPECT_EQ(ActiveWavePlayerCount(), 2);
  StopMusic();
  EXPECT_TRUE(WaitForNoPlayers());
  StopMusic();  // nothing left: does nothing
  EXPECT_EQ(ActiveWavePlayerCount(), 0);
}

TEST_F(MusicApi, MidiIsAcceptedEvenWhenItsTracksCannotBeRead) {
  Bytes midi = MidiMelody({60}, 100);
  midi.resize(midi.size() - 3);  // the track now runs past the end
  OwnedByteBlock block = ToBlock(midi);
  EXPECT_TRUE(PlayMusic(block.get()));
  const Bytes bad_header = {'M', 'T', 'h', 'd', 0, 0, 0, 9, 0, 0, 0, 1, 0, 96};
  OwnedByteBlock header_block = ToBlock(bad_header);
  EXPECT_TRUE(PlayMusic(header_block.get()));
  // MIDI tunes are not WAV players.
  EXPECT_EQ(ActiveWavePlayerCount(), 0);
}

}  // namespace
}  // namespace gs::test

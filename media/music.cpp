#include "media/music.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "media/audio_tune.h"
#include "media/midi_file.h"
#include "media/midi_synth.h"
#include "media/wave_format.h"
#include "media/wave_source.h"

namespace gs {
namespace {

using audio::Tune;

struct MusicState {
  std::mutex wave_players_lock;
  std::vector<std::shared_ptr<Tune>> active_wave_players;  // under wave_players_lock

  // The one MIDI tune and its copy of the bytes (callers' thread only, but
  // guarded all the same).
  std::mutex midi_lock;
  std::shared_ptr<Tune> midi_tune;
  std::shared_ptr<const std::vector<uint8_t>> midi_bytes;
};

// Never destroyed: feeding threads may still use it while the process ends.
MusicState& State() {
  static MusicState* state = new MusicState;
  return *state;
}

void LeaveWavePlayers(const Tune& tune) {
  MusicState& state = State();
  std::lock_guard<std::mutex> lock(state.wave_players_lock);
  auto& players = state.active_wave_players;
  players.erase(std::remove_if(players.begin(), players.end(),
                               [&](const std::shared_ptr<Tune>& t) { return t.get() == &tune; }),
                players.end());
}

bool StartWaveTune(const uint8_t* bytes, size_t length, bool loop) {
  const WaveLayout layout = ReadWaveLayout(bytes, length);
  if (!layout.ok()) return false;
  const audio::PcmFormat format = audio::FormatOfWave(layout);
  std::shared_ptr<Tune> tune;
  try {
    std::vector<uint8_t> samples(bytes + layout.data_offset,
                                 bytes + layout.data_offset + layout.data_length);
    tune = std::make_shared<Tune>(std::make_unique<WaveSource>(std::move(samples), format, loop),
                                  LeaveWavePlayers);
    MusicState& state = State();
    std::lock_guard<std::mutex> lock(state.wave_players_lock);
    state.active_wave_players.push_back(tune);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // A format no output can take is simply not heard; the start goes on.
  Tune::Start(tune);
  return true;
}

void StopMidiTune(MusicState& state) {
  if (state.midi_tune) state.midi_tune->Stop();
  state.midi_tune.reset();
  state.midi_bytes.reset();
}

bool StartMidiTune(const uint8_t* bytes, size_t length, bool loop) {
  MusicState& state = State();
  std::lock_guard<std::mutex> lock(state.midi_lock);
  StopMidiTune(state);
  try {
    state.midi_bytes = std::make_shared<const std::vector<uint8_t>>(bytes, bytes + length);
    if (!ReadMidiLayout(bytes, length).ok) return true;  // kept, but silent
    state.midi_tune =
        std::make_shared<Tune>(std::make_unique<MidiSource>(state.midi_bytes, loop), nullptr);
  } catch (const std::bad_alloc&) {
    state.midi_tune.reset();
    return true;
  }
  Tune::Start(state.midi_tune);
  return true;
}

bool PlayBytes(const uint8_t* bytes, int64_t length, bool loop) {
  if (!bytes || length <= 0) return false;
  const size_t size = static_cast<size_t>(length);
  if (LooksLikeWave(bytes, size)) return StartWaveTune(bytes, size, loop);
  if (LooksLikeMidi(bytes, size)) return StartMidiTune(bytes, size, loop);
  return false;
}

}  // namespace

bool PlayMusic(const ByteBlock* bytes, bool loop) {
  if (!bytes) return false;
  return PlayBytes(bytes->bytes(), bytes->length, loop);
}

bool PlayMusic(const std::string& file_name, bool loop) {
  if (file_name.empty()) return false;
  std::vector<uint8_t> contents;
  try {
    std::ifstream file(file_name, std::ios::binary);
    if (!file) return false;
    contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) return false;
  } catch (...) {
    return false;
  }
  return PlayBytes(contents.data(), static_cast<int64_t>(contents.size()), loop);
}

void StopMusic() {
  MusicState& state = State();
  {
    std::lock_guard<std::mutex> lock(state.midi_lock);
    StopMidiTune(state);
  }
  std::lock_guard<std::mutex> lock(state.wave_players_lock);
  for (const auto& tune : state.active_wave_players) tune->Stop();
}

int ActiveWavePlayerCount() {
  MusicState& state = State();
  std::lock_guard<std::mutex> lock(state.wave_players_lock);
  return static_cast<int>(state.active_wave_players.size());
}

}  // namespace gs

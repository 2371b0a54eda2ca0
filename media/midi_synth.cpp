#include "media/midi_synth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>

namespace gs {
namespace {

constexpr unsigned kRate = 44100;
constexpr unsigned kChannels = 2;
constexpr const char* kSoundfontDir = "/usr/share/sounds/sf2";
constexpr const char* kDefaultSoundfont = "/usr/share/sounds/sf2/default-GM.sf2";

void IgnoreLog(int, const char*, void*) {}

// The synthesiser logs to the terminal by default; the program never prints.
void SilenceSynth() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
      fluid_set_log_function(level, IgnoreLog, nullptr);
    }
  });
}

// Creating and deleting synthesisers touches the library's shared state;
// one at a time (an old tune may still be loading while a new one starts).
std::mutex& SynthLifecycleLock() {
  static std::mutex* lock = new std::mutex;  // never destroyed: threads outlive exit
  return *lock;
}

}  // namespace

std::string FindSoundfont() {
  std::error_code error;
  if (std::filesystem::is_regular_file(kDefaultSoundfont, error)) return kDefaultSoundfont;
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(kSoundfontDir, error)) {
    const auto& path = entry.path();
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".sf2" && entry.is_regular_file(error)) found.push_back(path.string());
  }
  if (found.empty()) return {};
  std::sort(found.begin(), found.end());
  return found.front();
}

MidiSource::MidiSource(std::shared_ptr<const std::vector<uint8_t>> bytes, bool loop)
    : bytes_(std::move(bytes)), loop_(loop) {}

MidiSource::~MidiSource() {
  std::lock_guard<std::mutex> lock(SynthLifecycleLock());
  if (player_) {
    fluid_player_stop(player_);
    delete_fluid_player(player_);
  }
  if (synth_) delete_fluid_synth(synth_);
  if (settings_) delete_fluid_settings(settings_);
}

bool MidiSource::Prepare() {
  SilenceSynth();
  if (!bytes_ || bytes_->empty()) return false;
  const std::string soundfont = FindSoundfont();
  if (soundfont.empty()) return false;
  std::lock_guard<std::mutex> lock(SynthLifecycleLock());

  settings_ = new_fluid_settings();
  if (!settings_) return false;
  fluid_settings_setnum(settings_, "synth.sample-rate", kRate);
  fluid_settings_setint(settings_, "synth.audio-channels", 1);
  // Events follow the rendered samples, not the wall clock, so the tune
  // keeps its pace whatever the output does.
  fluid_settings_setstr(settings_, "player.timing-source", "sample");
  fluid_settings_setint(settings_, "synth.lock-memory", 0);
  synth_ = new_fluid_synth(settings_);
  if (!synth_) return false;
  if (fluid_synth_sfload(synth_, soundfont.c_str(), 1) == FLUID_FAILED) return false;
  player_ = new_fluid_player(synth_);
  if (!player_) return false;
  if (fluid_player_add_mem(player_, bytes_->data(), bytes_->size()) != FLUID_OK) return false;
  fluid_player_set_loop(player_, loop_ ? -1 : 1);
  return fluid_player_play(player_) == FLUID_OK;
}

audio::PcmFormat MidiSource::format() const {
  return {audio::SampleEncoding::kS16, kChannels, kRate};
}

size_t MidiSource::Render(uint8_t* out, size_t max_frames) {
  if (!synth_ || !player_ || fluid_player_get_status(player_) != FLUID_PLAYER_PLAYING) return 0;
  if (fluid_synth_write_s16(synth_, static_cast<int>(max_frames), out, 0, 2, out, 1, 2) !=
      FLUID_OK) {
    return 0;
  }
  return max_frames;
}

}  // namespace gs

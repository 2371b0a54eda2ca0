// A MIDI tune rendered by a software synthesiser into 16-bit stereo at
// 44.1 kHz, so it goes through the same output path as a WAV tune.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/audio_tune.h"

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_player_t fluid_player_t;

namespace gs {

// The soundfont to play MIDI with: the system's default General MIDI one,
// else any soundfont in the same folder; empty when there is none.
std::string FindSoundfont();

class MidiSource : public audio::TuneSource {
 public:
  MidiSource(std::shared_ptr<const std::vector<uint8_t>> bytes, bool loop);
  ~MidiSource() override;

  // Loads the soundfont and the song (slow: runs on the feeding thread).
  bool Prepare() override;
  audio::PcmFormat format() const override;
  size_t Render(uint8_t* out, size_t max_frames) override;

 private:
  std::shared_ptr<const std::vector<uint8_t>> bytes_;
  bool loop_;
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  fluid_player_t* player_ = nullptr;
};

}  // namespace gs

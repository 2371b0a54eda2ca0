// Music playback: WAV tunes fed to the default audio output, MIDI through a
// software synthesiser. Every call returns at once.
#pragma once

#include <cstdint>
#include <string>

#include "media/byte_block.h"

namespace gs {

bool PlayMusic(const ByteBlock* bytes, bool loop = false);
bool PlayMusic(const std::string& file_name, bool loop = false);
void StopMusic();

// Number of WAV tunes in active_wave_players (tests and reports).
int ActiveWavePlayerCount();

}  // namespace gs

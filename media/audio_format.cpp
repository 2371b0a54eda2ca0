#include "media/audio_format.h"

#include <cmath>
#include <cstring>

namespace gs::audio {
namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagALaw = 6;
constexpr uint16_t kTagMuLaw = 7;

int16_t FromALaw(uint8_t a) {
  a ^= 0x55;
  int magnitude = (a & 0x0F) << 4;
  const int segment = (a & 0x70) >> 4;
  magnitude += 8;
  if (segment >= 1) magnitude += 0x100;
  if (segment > 1) magnitude <<= segment - 1;
  return static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
}

int16_t FromMuLaw(uint8_t u) {
  u = static_cast<uint8_t>(~u);
  int magnitude = ((u & 0x0F) << 3) + 0x84;
  magnitude <<= (u & 0x70) >> 4;
  return static_cast<int16_t>((u & 0x80) ? 0x84 - magnitude : magnitude - 0x84);
}

int16_t FromUnit(double v) {
  if (std::isnan(v)) return 0;
  const double scaled = std::round(v * 32767.0);
  if (scaled > 32767.0) return 32767;
  if (scaled < -32768.0) return -32768;
  return static_cast<int16_t>(scaled);
}

}  // namespace

size_t PcmFormat::BytesPerSample() const {
  switch (encoding) {
    case SampleEncoding::kU8:
    case SampleEncoding::kALaw:
    case SampleEncoding::kMuLaw:
      return 1;
    case SampleEncoding::kS16:
      return 2;
    case SampleEncoding::kS24In3:
      return 3;
    case SampleEncoding::kS32:
    case SampleEncoding::kFloat32:
      return 4;
    case SampleEncoding::kFloat64:
      return 8;
    case SampleEncoding::kUnsupported:
      break;
  }
  return 0;
}

PcmFormat FormatOfWave(const WaveLayout& layout) {
  PcmFormat format;
  format.channels = layout.channels;
  format.rate = layout.sample_rate;
  // Samples sit in whole bytes: 12-bit audio comes in 16-bit containers.
  const unsigned container = (layout.bits_per_sample + 7u) / 8u;
  switch (layout.effective_tag) {
    case kTagPcm:
      if (container == 1) format.encoding = SampleEncoding::kU8;
      if (container == 2) format.encoding = SampleEncoding::kS16;
      if (container == 3) format.encoding = SampleEncoding::kS24In3;
      if (container == 4) format.encoding = SampleEncoding::kS32;
      break;
    case kTagFloat:
      if (container == 4) format.encoding = SampleEncoding::kFloat32;
      if (container == 8) format.encoding = SampleEncoding::kFloat64;
      break;
    case kTagALaw:
      if (container == 1) format.encoding = SampleEncoding::kALaw;
      break;
    case kTagMuLaw:
      if (container == 1) format.encoding = SampleEncoding::kMuLaw;
      break;
    default:
      break;
  }
  return format;
}

void ConvertToS16(SampleEncoding encoding, const uint8_t* in, size_t count, int16_t* out) {
  for (size_t i = 0; i < count; ++i) {
    int16_t v = 0;
    switch (encoding) {
      case SampleEncoding::kU8:
        v = static_cast<int16_t>((in[i] - 128) * 256);
        break;
      case SampleEncoding::kS16:
        v = static_cast<int16_t>(in[2 * i] | (in[2 * i + 1] << 8));
        break;
      case SampleEncoding::kS24In3:
        v = static_cast<int16_t>(in[3 * i + 1] | (in[3 * i + 2] << 8));
        break;
      case SampleEncoding::kS32:
        v = static_cast<int16_t>(in[4 * i + 2] | (in[4 * i + 3] << 8));
        break;
      case SampleEncoding::kFloat32: {
        float f;
        std::memcpy(&f, in + 4 * i, 4);
        v = FromUnit(f);
        break;
      }
      case SampleEncoding::kFloat64: {
        double d;
        std::memcpy(&d, in + 8 * i, 8);
        v = FromUnit(d);
        break;
      }
      case SampleEncoding::kALaw:
        v = FromALaw(in[i]);
        break;
      case SampleEncoding::kMuLaw:
        v = FromMuLaw(in[i]);
        break;
      case SampleEncoding::kUnsupported:
        break;
    }
    out[i] = v;
  }
}

}  // namespace gs::audio

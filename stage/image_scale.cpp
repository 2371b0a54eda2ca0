#include "stage/image_scale.h"

#include <algorithm>
#include <cmath>

namespace gs {
namespace {

struct Tap {
  int index;
  float weight;
};

// For each output position, the source pixels that contribute and their weights.
std::vector<std::vector<Tap>> Weights(int source, int target) {
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(target));
  double scale = static_cast<double>(source) / target;
  for (int o = 0; o < target; ++o) {
    auto& list = taps[static_cast<size_t>(o)];
    if (scale > 1.0) {
      double start = o * scale, end = (o + 1) * scale;
      for (int s = static_cast<int>(start); s < end && s < source; ++s) {
        double cover = std::min<double>(end, s + 1) - std::max<double>(start, s);
        if (cover > 0) list.push_back({s, static_cast<float>(cover / scale)});
      }
    } else {
      double centre = (o + 0.5) * scale - 0.5;
      int s0 = static_cast<int>(std::floor(centre));
      double f = centre - s0;
      int a = std::clamp(s0, 0, source - 1), b = std::clamp(s0 + 1, 0, source - 1);
      list.push_back({a, static_cast<float>(1.0 - f)});
      list.push_back({b, static_cast<float>(f)});
    }
  }
  return taps;
}

// Separable resampling of 4-channel float pixels.
std::vector<float> Resample(const std::vector<float>& in, int sw, int sh, int tw, int th) {
  auto wx = Weights(sw, tw), wy = Weights(sh, th);
  std::vector<float> horizontal(static_cast<size_t>(tw) * sh * 4, 0.f);
  for (int y = 0; y < sh; ++y) {
    const float* row = &in[static_cast<size_t>(y) * sw * 4];
    float* out = &horizontal[static_cast<size_t>(y) * tw * 4];
    for (int x = 0; x < tw; ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (const Tap& t : wx[static_cast<size_t>(x)])
        for (int c = 0; c < 4; ++c) acc[c] += row[t.index * 4 + c] * t.weight;
      for (int c = 0; c < 4; ++c) out[x * 4 + c] = acc[c];
    }
  }
  std::vector<float> result(static_cast<size_t>(tw) * th * 4, 0.f);
  for (int y = 0; y < th; ++y) {
    float* out = &result[static_cast<size_t>(y) * tw * 4];
    for (const Tap& t : wy[static_cast<size_t>(y)]) {
      const float* row = &horizontal[static_cast<size_t>(t.index) * tw * 4];
      for (int i = 0; i < tw * 4; ++i) out[i] += row[i] * t.weight;
    }
  }
  return result;
}

uint32_t Clamp8(float v) { return static_cast<uint32_t>(std::clamp(v + 0.5f, 0.f, 255.f)); }

}  // namespace

Image ScaleImageNearest(const Image& source, int width, int height) {
  Image out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    int sy = static_cast<int>(static_cast<int64_t>(y) * source.height / height);
    for (int x = 0; x < width; ++x) {
      int sx = static_cast<int>(static_cast<int64_t>(x) * source.width / width);
      out.pixels[static_cast<size_t>(y) * width + x] =
          source.pixels[static_cast<size_t>(sy) * source.width + sx];
    }
  }
  return out;
}

Image ScaleImageSmooth(const Image& source, int width, int height) {
  std::vector<float> in(static_cast<size_t>(source.width) * source.height * 4);
  for (size_t i = 0; i < source.pixels.size(); ++i) {
    uint32_t p = source.pixels[i];
    in[i * 4] = static_cast<float>((p >> 16) & 0xFF);
    in[i * 4 + 1] = static_cast<float>((p >> 8) & 0xFF);
    in[i * 4 + 2] = static_cast<float>(p & 0xFF);
    in[i * 4 + 3] = 255.f;
  }
  std::vector<float> scaled = Resample(in, source.width, source.height, width, height);
  Image out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < out.pixels.size(); ++i)
    out.pixels[i] = (Clamp8(scaled[i * 4]) << 16) | (Clamp8(scaled[i * 4 + 1]) << 8) |
                    Clamp8(scaled[i * 4 + 2]);
  return out;
}

std::vector<uint32_t> ScaleKeyedPremultiplied(const Image& source, uint32_t key_rgb, int width,
                                              int height, bool smooth) {
  std::vector<uint32_t> out(static_cast<size_t>(width) * height);
  if (!smooth) {
    Image nearest = ScaleImageNearest(source, width, height);
    for (size_t i = 0; i < out.size(); ++i) {
      uint32_t p = nearest.pixels[i] & 0xFFFFFF;
      out[i] = p == key_rgb ? 0u : (0xFF000000u | p);
    }
    return out;
  }
  std::vector<float> in(static_cast<size_t>(source.width) * source.height * 4);
  for (size_t i = 0; i < source.pixels.size(); ++i) {
    uint32_t p = source.pixels[i] & 0xFFFFFF;
    if (p == key_rgb) continue;  // transparent: contributes nothing
    in[i * 4] = static_cast<float>((p >> 16) & 0xFF);
    in[i * 4 + 1] = static_cast<float>((p >> 8) & 0xFF);
    in[i * 4 + 2] = static_cast<float>(p & 0xFF);
    in[i * 4 + 3] = 255.f;
  }
  std::vector<float> scaled = Resample(in, source.width, source.height, width, height);
  for (size_t i = 0; i < out.size(); ++i) {
    uint32_t a = Clamp8(scaled[i * 4 + 3]);
    uint32_t r = std::min(a, Clamp8(scaled[i * 4])), g = std::min(a, Clamp8(scaled[i * 4 + 1])),
             b = std::min(a, Clamp8(scaled[i * 4 + 2]));
    out[i] = (a << 24) | (r << 16) | (g << 8) | b;
  }
  return out;
}

}  // namespace gs

#include "stage/image_scale.h"

#include <algorithm>
#include <cmath>

namespace gs {
namespace {

// For each output position, the first contributing source pixel, how many
// follow it, and their weights (flat, `count` weights per output).
struct Taps {
  std::vector<int> first, count, offset;
  std::vector<float> weight;
  int widest = 0;
};

// Area averaging when shrinking, bilinear when enlarging; for the outputs
// from `from` to `from + count - 1` of `target`, stored from index 0.
Taps MakeTaps(int source, int target, int from, int count_out) {
  Taps taps;
  taps.first.resize(static_cast<size_t>(count_out));
  taps.count.resize(static_cast<size_t>(count_out));
  taps.offset.resize(static_cast<size_t>(count_out));
  const double scale = static_cast<double>(source) / target;
  for (int i = 0; i < count_out; ++i) {
    const double o = static_cast<double>(from) + i;
    taps.offset[static_cast<size_t>(i)] = static_cast<int>(taps.weight.size());
    int first = 0, count = 0;
    if (scale > 1.0) {
      double start = o * scale, end = (o + 1) * scale;
      first = std::min(static_cast<int>(start), source - 1);
      for (int s = first; s < end && s < source; ++s) {
        double cover = std::min<double>(end, s + 1) - std::max<double>(start, s);
        taps.weight.push_back(static_cast<float>(std::max(0.0, cover) / scale));
        ++count;
      }
    } else {
      double centre = (o + 0.5) * scale - 0.5;
      int s0 = static_cast<int>(std::floor(centre));
      float f = static_cast<float>(centre - s0);
      int a = std::clamp(s0, 0, source - 1), b = std::clamp(s0 + 1, 0, source - 1);
      first = a;
      if (a == b) {
        taps.weight.push_back(1.f);
        count = 1;
      } else {
        taps.weight.push_back(1.f - f);
        taps.weight.push_back(f);
        count = 2;
      }
    }
    taps.first[static_cast<size_t>(i)] = first;
    taps.count[static_cast<size_t>(i)] = count;
    taps.widest = std::max(taps.widest, count);
  }
  return taps;
}

// A pixel as four floats: red, green, blue, alpha, premultiplied.
struct Px {
  float c[4];
};

// Channel values as floats, looked up rather than converted.
struct ByteFloats {
  float value[256];
  ByteFloats() {
    for (int i = 0; i < 256; ++i) value[i] = static_cast<float>(i);
  }
  float operator[](uint32_t i) const { return value[i]; }
};
const ByteFloats kByte;

// Separable resampling that streams the source row by row: each source row
// is turned into floats and resampled across once, kept only while output
// rows still need it. With `keyed`, pixels of the key colour are fully
// transparent and contribute nothing, so no key colour bleeds into edges.
template <typename Emit>
void Resample(const Image& source, bool keyed, uint32_t key_rgb, int full_width, int full_height,
              ScalePart part, Emit emit) {
  const int width = part.width, height = part.height;
  const Taps across = MakeTaps(source.width, full_width, part.x, width);
  const Taps down = MakeTaps(source.height, full_height, part.y, height);
  const int ring = down.widest + 1;
  std::vector<Px> rows(static_cast<size_t>(ring) * width);
  std::vector<int> held(static_cast<size_t>(ring), -1);
  std::vector<Px> line(static_cast<size_t>(source.width));
  std::vector<Px> out(static_cast<size_t>(width));

  auto row_of = [&](int s) -> const Px* {
    Px* slot = &rows[static_cast<size_t>(s % ring) * width];
    if (held[static_cast<size_t>(s % ring)] == s) return slot;
    held[static_cast<size_t>(s % ring)] = s;
    const uint32_t* in = source.pixels.data() + static_cast<size_t>(s) * source.width;
    for (int x = 0; x < source.width; ++x) {
      uint32_t p = in[x] & 0xFFFFFF;
      if (keyed && p == key_rgb) {
        line[static_cast<size_t>(x)] = Px{};
        continue;
      }
      line[static_cast<size_t>(x)] =
          Px{{kByte[p >> 16], kByte[p >> 8 & 0xFF], kByte[p & 0xFF], 255.f}};
    }
    for (int o = 0; o < width; ++o) {
      const Px* src = &line[static_cast<size_t>(across.first[static_cast<size_t>(o)])];
      const float* w = &across.weight[static_cast<size_t>(across.offset[static_cast<size_t>(o)])];
      Px acc{};
      for (int t = 0; t < across.count[static_cast<size_t>(o)]; ++t)
        for (int k = 0; k < 4; ++k) acc.c[k] += src[t].c[k] * w[t];
      slot[o] = acc;
    }
    return slot;
  };

  for (int y = 0; y < height; ++y) {
    std::fill(out.begin(), out.end(), Px{});
    const int first = down.first[static_cast<size_t>(y)];
    const float* w = &down.weight[static_cast<size_t>(down.offset[static_cast<size_t>(y)])];
    for (int t = 0; t < down.count[static_cast<size_t>(y)]; ++t) {
      const Px* in = row_of(first + t);
      const float wt = w[t];
      for (int x = 0; x < width; ++x)
        for (int k = 0; k < 4; ++k) out[static_cast<size_t>(x)].c[k] += in[x].c[k] * wt;
    }
    emit(y, out.data());
  }
}

uint32_t Clamp8(float v) {
  return static_cast<uint32_t>(std::clamp(v + 0.5f, 0.f, 255.f));
}

}  // namespace

Image ScaleImageNearest(const Image& source, int width, int height, ScalePart part) {
  Image out;
  out.width = part.width;
  out.height = part.height;
  out.pixels.resize(static_cast<size_t>(part.width) * part.height);
  for (int y = 0; y < part.height; ++y) {
    int sy = static_cast<int>(static_cast<int64_t>(part.y + y) * source.height / height);
    for (int x = 0; x < part.width; ++x) {
      int sx = static_cast<int>(static_cast<int64_t>(part.x + x) * source.width / width);
      out.pixels[static_cast<size_t>(y) * part.width + x] =
          source.pixels[static_cast<size_t>(sy) * source.width + sx];
    }
  }
  return out;
}

Image ScaleImageSmooth(const Image& source, int width, int height, ScalePart part) {
  Image out;
  out.width = part.width;
  out.height = part.height;
  out.pixels.resize(static_cast<size_t>(part.width) * part.height);
  Resample(source, false, 0, width, height, part, [&](int y, const Px* row) {
    uint32_t* o = out.pixels.data() + static_cast<size_t>(y) * part.width;
    for (int x = 0; x < part.width; ++x)
      o[x] = Clamp8(row[x].c[0]) << 16 | Clamp8(row[x].c[1]) << 8 | Clamp8(row[x].c[2]);
  });
  return out;
}

std::vector<uint32_t> ScaleKeyedPremultiplied(const Image& source, uint32_t key_rgb, int width,
                                              int height, bool smooth, ScalePart part) {
  std::vector<uint32_t> out(static_cast<size_t>(part.width) * part.height);
  if (!smooth) {
    Image nearest = ScaleImageNearest(source, width, height, part);
    for (size_t i = 0; i < out.size(); ++i) {
      uint32_t p = nearest.pixels[i] & 0xFFFFFF;
      out[i] = p == key_rgb ? 0u : (0xFF000000u | p);
    }
    return out;
  }
  Resample(source, true, key_rgb, width, height, part, [&](int y, const Px* row) {
    uint32_t* o = out.data() + static_cast<size_t>(y) * part.width;
    for (int x = 0; x < part.width; ++x) {
      uint32_t a = Clamp8(row[x].c[3]);
      uint32_t r = std::min(a, Clamp8(row[x].c[0])), g = std::min(a, Clamp8(row[x].c[1])),
               b = std::min(a, Clamp8(row[x].c[2]));
      o[x] = a << 24 | r << 16 | g << 8 | b;
    }
  });
  return out;
}

Image ScaleImageNearest(const Image& source, int width, int height) {
  return ScaleImageNearest(source, width, height, {0, 0, width, height});
}

Image ScaleImageSmooth(const Image& source, int width, int height) {
  return ScaleImageSmooth(source, width, height, {0, 0, width, height});
}

std::vector<uint32_t> ScaleKeyedPremultiplied(const Image& source, uint32_t key_rgb, int width,
                                              int height, bool smooth) {
  return ScaleKeyedPremultiplied(source, key_rgb, width, height, smooth, {0, 0, width, height});
}

}  // namespace gs

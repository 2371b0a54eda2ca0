// The pictures and sounds stored inside the program. Each is a read-only
// ByteBlock embedded at build time from assets/<name>.<ext>.
#pragma once

#include <string_view>

#include "media/byte_block.h"

#define GS_ASSET_LIST(X)                                                                        \
  X(flower_01, gif)                                                                             \
  X(flower_02, gif)                                                                             \
  X(flower_03, gif)                                                                             \
  X(flower_04, gif) X(flower_05, gif) X(flower_06, gif) X(flower_07, gif) X(flower_08, gif)     \
      X(flower_09, gif) X(flower_10, gif) X(flower_11, gif) X(flower_12, gif) X(flower_13, gif) \
          X(flower_14, gif) X(flower_15, gif) X(card_1, gif) X(card_2, gif) X(card_3, gif)      \
              X(card_4, gif) X(centrepiece, gif) X(intro_tune, wav) X(main_song, mp3)

extern "C" {
#define GS_DECLARE_ASSET(name, ext) extern const gs::ByteBlock gs_asset_##name;
GS_ASSET_LIST(GS_DECLARE_ASSET)
#undef GS_DECLARE_ASSET
}

namespace gs::assets {

#define GS_ASSET_REF(name, ext) inline const ByteBlock& name = gs_asset_##name;
GS_ASSET_LIST(GS_ASSET_REF)
#undef GS_ASSET_REF

struct AssetEntry {
  std::string_view name;
  std::string_view extension;
  const ByteBlock* block;
};

// Every stored asset, in catalogue order.
inline constexpr AssetEntry kCatalogue[] = {
#define GS_ASSET_ENTRY(name, ext) {#name, #ext, &gs_asset_##name},
    GS_ASSET_LIST(GS_ASSET_ENTRY)
#undef GS_ASSET_ENTRY
};

}  // namespace gs::assets

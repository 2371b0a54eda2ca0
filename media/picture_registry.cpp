// LoadPicture and the registry of loaded pictures. A handle is the picture's
// place in the registry counted from 1; pictures are never released, so a
// handle is never reused.
#include <atomic>
#include <cstdio>
#include <limits>
#include <mutex>

#include "media/picture.h"

namespace gs {
namespace {

// Larger files are no picture this program could want.
constexpr int64_t kMaxFileBytes = int64_t{1} << 30;

struct Registry {
  std::mutex lock;
  std::vector<std::unique_ptr<Picture>> pictures;
  std::atomic<int32_t> count{0};
};

// Never destroyed: pictures live until the process ends, even while exit
// handlers run.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

PictureHandle Register(std::unique_ptr<Picture> picture) {
  if (!picture) return 0;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  if (registry.pictures.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    return 0;
  }
  registry.pictures.push_back(std::move(picture));
  const auto handle = static_cast<PictureHandle>(registry.pictures.size());
  registry.count.store(handle, std::memory_order_release);
  return handle;
}

// The whole file, or false when it cannot be read or is too large.
bool ReadWholeFile(std::FILE* file, std::vector<uint8_t>& bytes) {
  constexpr size_t kChunk = 1 << 16;
  for (;;) {
    const size_t used = bytes.size();
    if (static_cast<int64_t>(used) > kMaxFileBytes) return false;
    bytes.resize(used + kChunk);
    const size_t got = std::fread(bytes.data() + used, 1, kChunk, file);
    bytes.resize(used + got);
    if (got < kChunk) return !std::ferror(file);
  }
}

}  // namespace

PictureHandle LoadPicture(const ByteBlock* bytes) {
  if (bytes == nullptr || bytes->length <= 0) return 0;
  return Register(DecodePictureBytes(bytes->bytes(), bytes->length));
}

PictureHandle LoadPicture(const std::string& file_name) {
  if (file_name.empty()) return 0;
  std::FILE* file = std::fopen(file_name.c_str(), "rb");
  if (file == nullptr) return 0;
  std::vector<uint8_t> bytes(8);
  // Only data that starts like a picture is read to its end.
  const bool picture_like =
      std::fread(bytes.data(), 1, 8, file) == 8 && DetectPictureFormat(bytes.data(), 8) != 0;
  const bool read = picture_like && ReadWholeFile(file, bytes);
  std::fclose(file);
  if (!read) return 0;
  return Register(DecodePictureBytes(bytes.data(), static_cast<int64_t>(bytes.size())));
}

bool IsRegisteredPicture(PictureHandle handle) {
  return handle > 0 && handle <= TheRegistry().count.load(std::memory_order_acquire);
}

const Picture* RegisteredPicture(PictureHandle handle) {
  if (!IsRegisteredPicture(handle)) return nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  return registry.pictures[handle - 1].get();
}

int32_t RegisteredPictureCount() {
  return TheRegistry().count.load(std::memory_order_acquire);
}

}  // namespace gs

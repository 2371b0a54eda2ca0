#include "media/byte_block.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace gs {

void ByteBlockDeleter::operator()(ByteBlock* block) const {
  std::free(block);
}

OwnedByteBlock MakeByteBlock(int64_t length) {
  if (length < 0 || length > std::numeric_limits<int32_t>::max()) return {};
  void* memory = std::malloc(sizeof(ByteBlock) + static_cast<size_t>(length));
  if (!memory) return {};
  auto* block = static_cast<ByteBlock*>(memory);
  block->dimensions = 1;
  block->length = static_cast<int32_t>(length);
  return OwnedByteBlock(block);
}

OwnedByteBlock CopyToByteBlock(const uint8_t* data, int64_t length) {
  OwnedByteBlock block = MakeByteBlock(length);
  if (block && length > 0) std::memcpy(block->bytes(), data, static_cast<size_t>(length));
  return block;
}

}  // namespace gs

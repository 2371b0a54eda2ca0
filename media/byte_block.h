// A byte value as the media services take and return it: a small header
// (dimension count, length) followed directly by the bytes. Stored assets
// live in read-only data in this form; captures are allocated in it.
#pragma once

#include <cstdint>
#include <memory>

namespace gs {

struct ByteBlock {
  int32_t dimensions;  // always 1
  int32_t length;      // number of bytes that follow the header

  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(this + 1); }
  uint8_t* bytes() { return reinterpret_cast<uint8_t*>(this + 1); }
};
static_assert(sizeof(ByteBlock) == 8, "the header is two 32-bit fields");

struct ByteBlockDeleter {
  void operator()(ByteBlock* block) const;
};

// A byte value that belongs to whoever holds it. Empty means "no bytes".
using OwnedByteBlock = std::unique_ptr<ByteBlock, ByteBlockDeleter>;

// Allocates a block of `length` bytes (contents uninitialised). Returns an
// empty pointer when length is negative or memory cannot be had.
OwnedByteBlock MakeByteBlock(int64_t length);

// Copies `length` bytes into a new block.
OwnedByteBlock CopyToByteBlock(const uint8_t* data, int64_t length);

// Length of a possibly-null block; 0 for none.
inline int32_t BlockLength(const ByteBlock* block) {
  return block ? block->length : 0;
}

}  // namespace gs

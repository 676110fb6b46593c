#include "pool/memory_pool.h"

#include <bit>
#include <cstddef>

#include "platform/os.h"
#include "pool/runtime_locks.h"

namespace varnock {
namespace {

// Every block is preceded by a header naming its size class; a block too
// large for any class comes straight from GlobalAlloc and is marked so.
struct alignas(16) BlockHeader {
  union {
    BlockHeader* nextFree;    // while the block sits on a free list
    std::uint32_t sizeClass;  // while it is in use
  };
};
static_assert(sizeof(BlockHeader) == 16);

constexpr std::uint32_t kClassCount = 8;  // 16, 32, ... 2048 bytes
constexpr std::uint32_t kSmallest = 16;
constexpr std::uint32_t kLargest = kSmallest << (kClassCount - 1);
constexpr std::uint32_t kDirect = 0xFFFFFFFFu;
constexpr std::size_t kChunkSize = 64 * 1024;

struct Chunk {
  Chunk* next;
};
constexpr std::size_t kChunkHeader = 16;

BlockHeader* freeLists[kClassCount];
Chunk* chunks;
unsigned char* carve;  // next unused byte of the newest chunk
unsigned char* carveEnd;

// The smallest class that holds size bytes (size <= kLargest).
std::uint32_t ClassOf(std::uint32_t size) {
  auto bits = static_cast<std::uint32_t>(std::bit_width(size > kSmallest ? size - 1 : kSmallest - 1));
  return bits - 4;  // 16 = 1 << 4
}

BlockHeader* CarveBlock(std::uint32_t sizeClass) {
  std::size_t need = sizeof(BlockHeader) + (std::size_t{kSmallest} << sizeClass);
  if (static_cast<std::size_t>(carveEnd - carve) < need) {
    auto* chunk = static_cast<Chunk*>(os::GlobalAlloc(os::GMEM_FIXED, kChunkSize));
    if (!chunk) return nullptr;
    chunk->next = chunks;
    chunks = chunk;
    carve = reinterpret_cast<unsigned char*>(chunk) + kChunkHeader;
    carveEnd = reinterpret_cast<unsigned char*>(chunk) + kChunkSize;
  }
  auto* block = reinterpret_cast<BlockHeader*>(carve);
  carve += need;
  return block;
}

}  // namespace

void* PoolTake(std::uint32_t size) {
  if (size > kLargest) {
    if (size > 0xFFFFFFFFu - sizeof(BlockHeader)) return nullptr;
    TakeLock(kPoolLock);
    auto* block = static_cast<BlockHeader*>(os::GlobalAlloc(os::GMEM_FIXED, sizeof(BlockHeader) + size));
    ReleaseLock(kPoolLock);
    if (!block) return nullptr;
    block->sizeClass = kDirect;
    return block + 1;
  }
  std::uint32_t c = ClassOf(size);
  TakeLock(kPoolLock);
  BlockHeader* block = freeLists[c];
  if (block)
    freeLists[c] = block->nextFree;
  else
    block = CarveBlock(c);
  ReleaseLock(kPoolLock);
  if (!block) return nullptr;
  block->sizeClass = c;
  return block + 1;
}

void PoolReturn(void* p) {
  if (!p) return;
  BlockHeader* block = static_cast<BlockHeader*>(p) - 1;
  std::uint32_t c = block->sizeClass;
  TakeLock(kPoolLock);
  if (c == kDirect) {
    os::GlobalFree(block);
  } else {
    block->nextFree = freeLists[c];
    freeLists[c] = block;
  }
  ReleaseLock(kPoolLock);
}

void PoolRelease() {
  TakeLock(kPoolLock);
  while (chunks) {
    Chunk* next = chunks->next;
    os::GlobalFree(chunks);
    chunks = next;
  }
  for (auto& list : freeLists) list = nullptr;
  carve = carveEnd = nullptr;
  ReleaseLock(kPoolLock);
}

}  // namespace varnock

// The memory pool: small blocks carved from large ones that it takes from
// the operating system with GlobalAlloc, under lock 1. Handle records and the
// converted copies of every console write come from here, so taking and
// returning a block is a free-list pop and push.
#pragma once

#include <cstdint>

namespace varnock {

// A block of at least `size` bytes, aligned for any object, or null when
// there is no memory.
void* PoolTake(std::uint32_t size);

// Returns a block that PoolTake gave; null is ignored.
void PoolReturn(void* block);

// Gives every large block back to the operating system. Only for a process
// that has returned all its blocks, or is about to forget them (tests).
void PoolRelease();

}  // namespace varnock

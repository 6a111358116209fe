// The block allocator behind every sample store. Blocks of recurring sizes are kept in a
// cache of size classes and handed out again, so a stream that creates and drops buffers of
// one size at a steady rate stops touching the system heap. Blocks are never cleared.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sonvera {

// Every block starts on this boundary, wide enough for any vector load.
inline constexpr size_t QXBufferAlignment = 64;

// The largest block handed out: every length then fits the 32-bit signed lengths that the
// primitives take.
inline constexpr size_t QXMaxBufferSize = 0x7FFFFFFF;

// Blocks up to this size are cached; larger ones go straight back to the system.
inline constexpr size_t QXMaxCachedBlockSize = size_t{1} << 20;

// The cache keeps at most this many bytes of free blocks per size class, so that a burst of
// one size cannot make it hoard memory.
inline constexpr size_t QXMaxCachedBytesPerClass = size_t{2} << 20;

// Returns an uninitialised block of at least ASize bytes aligned to QXBufferAlignment. Never
// null: a size of 0 gives a valid smallest block. A size above QXMaxBufferSize raises
// EArgumentError; a system out of memory raises std::bad_alloc.
void* QXBufferAllocate(size_t ASize);

// Runs at the start of every QXBufferAllocate with the size asked for, before anything is
// taken; raising std::bad_alloc from it makes that allocation fail as a system out of memory
// would. Tests use it to fail the N-th allocation of an operation; a program can use it to cap
// what one allocation may take.
using TQXAllocationHook = void (*)(size_t ASize);

// Installs AHook (null: none) for every thread and returns the one it replaces.
TQXAllocationHook QXSetAllocationHook(TQXAllocationHook AHook) noexcept;

// Gives a block back; ASize must be the size it was allocated with. A null block is ignored.
void QXBufferDeallocate(void* AData, size_t ASize) noexcept;

// Returns every cached block to the system. Blocks in use are not affected.
void QXMemoryCleanUp() noexcept;

// A snapshot of the allocator's books, for diagnostics and leak checks.
struct TQXBufferAllocatorState {
    uint64_t BlocksInUse;  // handed out and not yet given back
    uint64_t CachedBlocks; // free blocks kept for reuse
    uint64_t CachedBytes;  // their total size
};

TQXBufferAllocatorState QXBufferAllocatorState() noexcept;

} // namespace sonvera

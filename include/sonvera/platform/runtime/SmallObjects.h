// Memory for the small counted objects that a stream creates and drops for every buffer (the
// buffer objects, their operations and time stamps). Each thread keeps a few freed blocks per
// size class and hands them out again, so a steady stream stops paying the system heap's
// lock-free but long paths twice per object per hop. A block freed on another thread than the
// one that took it joins the freeing thread's cache; a full cache gives blocks back to the
// system, so no thread hoards more than KSmallObjectCacheBytes.
//
// Under AddressSanitizer and ThreadSanitizer every block goes straight to the system, so that
// the sanitizers keep seeing every use after free and every hand-over between threads.
#pragma once

#include <cstddef>

namespace sonvera {

// Objects larger than this are not cached.
inline constexpr size_t KSmallObjectLimit = 512;

// What one thread's cache keeps at most, over all size classes.
inline constexpr size_t KSmallObjectCacheBytes = 64 * 1024;

// A block of at least ASize bytes, aligned for any object. Raises std::bad_alloc as ::operator
// new does.
void* SmallObjectAllocate(size_t ASize);

// Gives back a block of SmallObjectAllocate; ASize must be the size it was taken with.
void SmallObjectDeallocate(void* AObject, size_t ASize) noexcept;

// Gives the calling thread's cached blocks back to the system, for leak accounting and for
// tests that make allocations fail (a cached block is handed out without asking the system).
void SmallObjectCleanUp() noexcept;

} // namespace sonvera

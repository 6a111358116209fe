// Allocation failure on demand, for tests: while a TAllocationFault is armed, the N-th
// allocation its thread makes raises std::bad_alloc, whether it comes from the block allocator
// (QXBufferAllocate, which stores and their blocks use) or from operator new (buffer objects,
// vectors, strings). A test links sonvera_allocation_faults to get it; the library is not
// changed, only the executable's operator new is replaced.
#pragma once

#include <cstdint>

namespace sonvera::testing {

class TAllocationFault {
public:
    // Arms the fault: the AFailAt-th allocation from now (1 for the next) fails; the others,
    // before and after it, succeed. One fault is armed at a time per thread.
    explicit TAllocationFault(uint64_t AFailAt);
    ~TAllocationFault();
    TAllocationFault(const TAllocationFault&) = delete;
    TAllocationFault& operator=(const TAllocationFault&) = delete;

    // Whether the failing allocation has been reached.
    bool Fired() const noexcept;
};

// Blocks from operator new that have not been deleted yet, over all threads, after the calling
// thread's small-object cache has given its blocks back.
int64_t LiveAllocations() noexcept;

} // namespace sonvera::testing

#include "sonvera/platform/runtime/Threading.h"

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "Threading";

} // namespace

void TCriticalSection::Enter() {
    FMutex.lock();
    Entered();
}

bool TCriticalSection::TryEnter() {
    if (!FMutex.try_lock())
        return false;
    Entered();
    return true;
}

void TCriticalSection::Entered() noexcept {
    if (FDepth++ == 0)
        FOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void TCriticalSection::Leave() {
    // Only the holder ever stores its own id, so another thread can never read it here.
    Assert(HeldByCurrentThread(), KUnitName,
           "Critical section left by a thread that does not hold it");
    if (--FDepth == 0)
        FOwner.store(std::thread::id(), std::memory_order_relaxed);
    FMutex.unlock();
}

bool TCriticalSection::HeldByCurrentThread() const noexcept {
    return FOwner.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void TReadWriteLock::RefuseIfWriting(const char* AMessage) const {
    Assert(FWriter.load(std::memory_order_relaxed) != std::this_thread::get_id(), KUnitName,
           AMessage);
}

void TReadWriteLock::EnterRead() {
    RefuseIfWriting("Read lock requested by the writing thread");
    FMutex.lock_shared();
    FReaders.fetch_add(1, std::memory_order_relaxed);
}

bool TReadWriteLock::TryEnterRead() {
    RefuseIfWriting("Read lock requested by the writing thread");
    if (!FMutex.try_lock_shared())
        return false;
    FReaders.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void TReadWriteLock::LeaveRead() {
    int64_t readers = FReaders.load(std::memory_order_relaxed);
    do {
        Assert(readers > 0, KUnitName, "Read lock left while nobody reads");
    } while (!FReaders.compare_exchange_weak(readers, readers - 1, std::memory_order_relaxed));
    FMutex.unlock_shared();
}

void TReadWriteLock::EnterWrite() {
    RefuseIfWriting("Write lock requested again by the writing thread");
    FMutex.lock();
    FWriter.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

bool TReadWriteLock::TryEnterWrite() {
    RefuseIfWriting("Write lock requested again by the writing thread");
    if (!FMutex.try_lock())
        return false;
    FWriter.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
}

void TReadWriteLock::LeaveWrite() {
    Assert(FWriter.load(std::memory_order_relaxed) == std::this_thread::get_id(), KUnitName,
           "Write lock left by a thread that does not hold it");
    FWriter.store(std::thread::id(), std::memory_order_relaxed);
    FMutex.unlock();
}

} // namespace sonvera

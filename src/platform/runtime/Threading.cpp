#include "sonvera/platform/runtime/Threading.h"

#include <algorithm>
#include <vector>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "Threading";

// Debug builds keep, per thread, the reader/writer locks it reads (once per read it holds), so
// that a reader asking for the write lock is refused instead of waiting for itself forever.
#ifndef NDEBUG
thread_local std::vector<const TReadWriteLock*> GReadLocks;

void NoteRead(const TReadWriteLock* ALock) {
    GReadLocks.push_back(ALock);
}

void NoteReadLeft(const TReadWriteLock* ALock) noexcept {
    const auto found = std::find(GReadLocks.rbegin(), GReadLocks.rend(), ALock);
    if (found != GReadLocks.rend())
        GReadLocks.erase(std::next(found).base());
}

bool ReadByThisThread(const TReadWriteLock* ALock) noexcept {
    return std::find(GReadLocks.begin(), GReadLocks.end(), ALock) != GReadLocks.end();
}
#else
void NoteRead(const TReadWriteLock*) noexcept {}
void NoteReadLeft(const TReadWriteLock*) noexcept {}
bool ReadByThisThread(const TReadWriteLock*) noexcept {
    return false;
}
#endif

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

void TReadWriteLock::RefuseIfReading() const {
    if (ReadByThisThread(this))
        throw EAssertionFailed(FormatMessage(
            "Write lock of %s requested by a thread that reads it (%s)", FName, KUnitName));
}

// The read is noted before the lock is taken, so that a note that cannot be made leaves
// nothing locked.
void TReadWriteLock::EnterRead() {
    RefuseIfWriting("Read lock requested by the writing thread");
    NoteRead(this);
    FMutex.lock_shared();
    FReaders.fetch_add(1, std::memory_order_relaxed);
}

bool TReadWriteLock::TryEnterRead() {
    RefuseIfWriting("Read lock requested by the writing thread");
    NoteRead(this);
    if (!FMutex.try_lock_shared()) {
        NoteReadLeft(this);
        return false;
    }
    FReaders.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void TReadWriteLock::LeaveRead() {
    int64_t readers = FReaders.load(std::memory_order_relaxed);
    do {
        Assert(readers > 0, KUnitName, "Read lock left while nobody reads");
    } while (!FReaders.compare_exchange_weak(readers, readers - 1, std::memory_order_relaxed));
    NoteReadLeft(this);
    FMutex.unlock_shared();
}

void TReadWriteLock::EnterWrite() {
    RefuseIfWriting("Write lock requested again by the writing thread");
    RefuseIfReading();
    FMutex.lock();
    FWriter.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

bool TReadWriteLock::TryEnterWrite() {
    RefuseIfWriting("Write lock requested again by the writing thread");
    RefuseIfReading();
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

// Locks of the runtime: a recursive critical section and a reader/writer lock, each with RAII
// guards. Both check that they are left by the thread that holds them, so that a misuse is
// reported instead of corrupting the lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace sonvera {

// A recursive lock: the holding thread may enter again and must leave as often as it entered.
class TCriticalSection {
public:
    TCriticalSection() = default;
    TCriticalSection(const TCriticalSection&) = delete;
    TCriticalSection& operator=(const TCriticalSection&) = delete;

    void Enter();
    // Raises EAssertionFailed when the calling thread does not hold the section.
    void Leave();
    bool TryEnter();
    bool HeldByCurrentThread() const noexcept;

    // The standard lockable names, so that std::scoped_lock and condition variables work.
    void lock() { Enter(); }
    void unlock() { Leave(); }
    bool try_lock() { return TryEnter(); }

private:
    void Entered() noexcept;

    std::recursive_mutex FMutex;
    std::atomic<std::thread::id> FOwner{};
    uint32_t FDepth = 0; // touched only by the holding thread
};

class TCriticalSectionGuard {
public:
    explicit TCriticalSectionGuard(TCriticalSection& ASection) : FSection(ASection) {
        FSection.Enter();
    }
    ~TCriticalSectionGuard() { FSection.Leave(); }
    TCriticalSectionGuard(const TCriticalSectionGuard&) = delete;
    TCriticalSectionGuard& operator=(const TCriticalSectionGuard&) = delete;

private:
    TCriticalSection& FSection;
};

// Many readers or one writer. Not recursive for writers: a writer that asks for the lock again,
// or for a read lock, gets EAssertionFailed instead of a deadlock. A reader must not ask for
// the write lock while it reads (that would wait for itself); debug builds catch that too and
// raise EAssertionFailed naming the lock, at the cost of a per-thread list of the read locks
// held. The name is for those messages and is not copied.
class TReadWriteLock {
public:
    explicit TReadWriteLock(const char* AName = "TReadWriteLock") noexcept : FName(AName) {}
    TReadWriteLock(const TReadWriteLock&) = delete;
    TReadWriteLock& operator=(const TReadWriteLock&) = delete;

    void EnterRead();
    void LeaveRead();
    bool TryEnterRead();
    void EnterWrite();
    void LeaveWrite();
    bool TryEnterWrite();

private:
    void RefuseIfWriting(const char* AMessage) const;
    void RefuseIfReading() const;

    const char* FName;
    std::shared_mutex FMutex;
    std::atomic<std::thread::id> FWriter{};
    std::atomic<int64_t> FReaders{0};
};

class TReadLockGuard {
public:
    explicit TReadLockGuard(TReadWriteLock& ALock) : FLock(ALock) { FLock.EnterRead(); }
    ~TReadLockGuard() { FLock.LeaveRead(); }
    TReadLockGuard(const TReadLockGuard&) = delete;
    TReadLockGuard& operator=(const TReadLockGuard&) = delete;

private:
    TReadWriteLock& FLock;
};

class TWriteLockGuard {
public:
    explicit TWriteLockGuard(TReadWriteLock& ALock) : FLock(ALock) { FLock.EnterWrite(); }
    ~TWriteLockGuard() { FLock.LeaveWrite(); }
    TWriteLockGuard(const TWriteLockGuard&) = delete;
    TWriteLockGuard& operator=(const TWriteLockGuard&) = delete;

private:
    TReadWriteLock& FLock;
};

} // namespace sonvera

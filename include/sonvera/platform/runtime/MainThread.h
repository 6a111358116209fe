// The main-thread queue: work that must run on the main thread (connections, design-time
// changes, synchronised events) is queued by any thread and run by the thread that pumps the
// queue with ProcessQueue. There is no hidden message loop: programs, tools and tests pump it.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <thread>

namespace sonvera {

class TMainThread {
public:
    using TWork = std::function<void()>;

    // Names the main thread explicitly; ProcessQueue names its caller as well.
    static void SetMainThread(std::thread::id AThread);
    static std::thread::id MainThreadId();
    static bool IsMainThread();

    // Opens the queue (it starts closed); Shutdown closes it: queued posts are dropped, every
    // waiting Synchronize ends with EOperationCancelled and later work is refused, so that no
    // caller is ever left waiting.
    static void Open();
    static void Shutdown();
    static bool IsOpen();

    // Queues AWork to run later on the main thread; false (and nothing queued) when the queue
    // is closed.
    static bool Post(TWork AWork);
    // Runs AWork on the main thread and waits until it has run; an exception it throws is
    // raised here. On the main thread itself the work runs at once. When the queue is closed,
    // or shuts down before the work runs, raises EOperationCancelled.
    static void Synchronize(TWork AWork);

    // Runs, on the calling thread (which becomes the main thread), the work that was queued
    // when the call began, in order; returns how many ran. An exception of posted work ends the
    // call and reaches its caller; the work after it stays queued.
    static size_t ProcessQueue();
    // Blocks until work is queued (true) or the queue is closed (false).
    static bool WaitForWork();
    // The same, giving up (false) once ATimeout has passed.
    static bool WaitForWork(std::chrono::nanoseconds ATimeout);
    // How many pieces of work are queued.
    static size_t Pending();
};

// Opens the queue and names the calling thread (the one that starts the library) the main
// thread. Finalizing shuts the queue down.
void InitializeMainThread();
void FinalizeMainThread();

} // namespace sonvera

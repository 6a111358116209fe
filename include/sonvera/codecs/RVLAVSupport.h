// Start-up of the codec library and the global codec lock.
//
// Loading the codec library starts the units it stands on (the primitive tables and the audio
// buffer) and then this unit: FFmpeg's log never reaches the terminal (its errors are kept,
// one per thread, for the exception of the call that failed), its network layer is initialised, the five option item classes are registered in
// the order Integer, Int64, Real, Single, String, and the global codec lock is created.
// Unloading undoes it in reverse and releases the process-wide container-format lists. A
// program that links the codec objects statically calls the two functions itself; as with
// every unit, a second start only counts.
//
// Lock order: the global codec lock is taken last. It is held only around FFmpeg's codec open
// and close calls (and whatever procedure is handed to LAVLockExecute); nothing that runs under
// it takes a change-notification lock or a component lock.
#pragma once

#include <functional>
#include <string>

namespace sonvera {

void InitializeRVLAVSupport();
void FinalizeRVLAVSupport();
// How many times the unit has been started and not yet finalized.
int RVLAVSupportStartCount();

// Runs AProc while holding the global codec lock; the lock is released when AProc returns or
// raises, and what AProc raised passes on to the caller. Called while the unit is not started,
// it raises EAssertionFailed.
void LAVLockExecute(const std::function<void()>& AProc);

// The last error FFmpeg logged on this thread ("flac: Specified sample rate 546338 is not
// supported"), and forgets it; empty when none was logged since the last call. A call that
// failed with an error code takes it for its message; one that tolerates a failure takes it
// too, so that the next failure does not inherit it.
std::string TakeLAVLoggedError();

} // namespace sonvera

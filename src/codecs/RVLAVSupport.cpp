#include "sonvera/codecs/RVLAVSupport.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/codecs/RVLAVCompressionOptions.h"
#include "sonvera/codecs/RVLAVFileFormat.h"
#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/platform/runtime/ClassManagement.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/Threading.h"
#include "sonvera/platform/runtime/UnitInit.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "RVLAVSupport";

constinit TUnitInitCounter GInitCounter;

// The codec lock lives from start-up to shut-down; callers take their own reference to it under
// GCodecLockGuard, so that a shut-down racing a late caller cannot free it under that caller.
constinit std::mutex GCodecLockGuard;
constinit std::shared_ptr<TCriticalSection> GCodecLock;

std::shared_ptr<TCriticalSection> CodecLock() {
    std::lock_guard<std::mutex> guard(GCodecLockGuard);
    return GCodecLock;
}

// The line being logged on this thread, and the last error line logged on it.
thread_local std::string GLogLine;
thread_local std::string GLoggedError;

// FFmpeg's errors are kept for the exception of the failing call, never printed.
void KeepLoggedError(void* AObject, int ALevel, const char* AFormat, va_list AArguments) {
    if (ALevel > AV_LOG_ERROR)
        return;
    char text[1024];
    if (std::vsnprintf(text, sizeof(text), AFormat, AArguments) < 0)
        return;
    if (GLogLine.empty() && AObject)
        if (const AVClass* type = *static_cast<const AVClass* const*>(AObject); type && type->item_name)
            GLogLine = std::string(type->item_name(AObject)) + ": ";
    GLogLine += text;
    if (!GLogLine.empty() && GLogLine.back() == '\n') {
        GLogLine.pop_back();
        GLoggedError = std::move(GLogLine);
        GLogLine.clear();
    }
}

void StartFFmpeg() {
    av_log_set_level(AV_LOG_ERROR);
    av_log_set_callback(KeepLoggedError);
    avformat_network_init();
    av_log_set_flags(AV_LOG_SKIP_REPEATED);
}

void StartUp() {
    {
        std::lock_guard<std::mutex> guard(GCodecLockGuard);
        GCodecLock = std::make_shared<TCriticalSection>();
    }
    StartFFmpeg();
    TClassManagement::RegisterCollectionItemClasses(RVLAVOptionItemClasses());
}

void ShutDown() {
    // The lists hold descriptors, whose release takes the codec lock: they go first.
    ReleaseLAVFileFormatLists();
    TClassManagement::UnregisterCollectionItemClasses(RVLAVOptionItemClasses());
    avformat_network_deinit();
    std::lock_guard<std::mutex> guard(GCodecLockGuard);
    GCodecLock.reset();
}

} // namespace

void InitializeRVLAVSupport() {
    GInitCounter.Initialize(StartUp);
}

void FinalizeRVLAVSupport() {
    GInitCounter.Finalize(ShutDown);
}

int RVLAVSupportStartCount() {
    return GInitCounter.Count();
}

std::string TakeLAVLoggedError() {
    GLogLine.clear();
    return std::exchange(GLoggedError, std::string());
}

void LAVLockExecute(const std::function<void()>& AProc) {
    const std::shared_ptr<TCriticalSection> lock = CodecLock();
    Assert(lock != nullptr, KUnitName);
    TCriticalSectionGuard guard(*lock);
    AProc();
}

namespace {

// The units the codec library stands on, then its own, in start-up order. Loaded beside the
// core library, the core's units are already started and only count.
struct TCodecUnit {
    void (*Initialize)();
    void (*Finalize)();
};

constexpr TCodecUnit KCodecUnits[] = {
    {InitializeQXBasicDispatcher, FinalizeQXBasicDispatcher},
    {InitializeSVBasicDispatcher, FinalizeSVBasicDispatcher},
    {InitializeSVSimpleAudioBuffer, FinalizeSVSimpleAudioBuffer},
    {InitializeRVLAVSupport, FinalizeRVLAVSupport},
};

// Starts the codec library when it is loaded and stops it when it is unloaded.
struct TCodecLibraryLoader {
    TCodecLibraryLoader() {
        for (const TCodecUnit& unit : KCodecUnits)
            unit.Initialize();
    }
    ~TCodecLibraryLoader() {
        for (auto it = std::rbegin(KCodecUnits); it != std::rend(KCodecUnits); ++it)
            it->Finalize();
    }
} GCodecLibraryLoader;

} // namespace

} // namespace sonvera

#include "sonvera/platform/bases/QXBasicThreadedEnableFilter.h"

#include "sonvera/platform/runtime/MainThread.h"

namespace sonvera {

namespace {

// An error of buffer processing on the processing thread has no caller to return to: it is
// raised on the main thread instead, where ProcessQueue hands it to the application.
void RaiseOnMainThread(std::exception_ptr AError) {
    TMainThread::Post([AError] { std::rethrow_exception(AError); });
}

} // namespace

TQXBasicThreadedEnableFilter::TQXBasicThreadedEnableFilter(TPersistent* AOwner)
    : TLockComponent(AOwner), FProcessing(RaiseOnMainThread) {}

TQXBasicThreadedEnableFilter::~TQXBasicThreadedEnableFilter() {
    FProcessing.Stop(TQXProcessingThread::smDiscard);
}

const TPropertyTableBase& TQXBasicThreadedEnableFilter::ClassPropertyTable() {
    using T = TQXBasicThreadedEnableFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TQXBasicThreadedEnableFilter", TLockComponent::ClassPropertyTable())
            .Boolean("Enabled", true, &T::GetEnabled, &T::SetEnabled)
            .Boolean("Threaded", false, &T::GetThreaded, &T::SetThreaded)
            .Cardinal("QueueLength", KDefaultQueueLength, &T::GetQueueLength, &T::SetQueueLength);
    return table;
}

void TQXBasicThreadedEnableFilter::SetEnabled(bool AValue) {
    SetPropValue("Enabled", FEnabled, AValue, [this] { FEnabledNow = FEnabled; });
}

void TQXBasicThreadedEnableFilter::SetThreaded(bool AValue) {
    SetPropValue("Threaded", FThreaded, AValue);
}

void TQXBasicThreadedEnableFilter::SetQueueLength(uint32_t AValue) {
    SetBoundedPropValue("QueueLength", FQueueLength, AValue, 1u, 4096u);
}

bool TQXBasicThreadedEnableFilter::SinkDispatch(TPXPin*, TPXPin*, const TGUID&,
                                                const TRef<IPXNotifyOperation>& AOperation,
                                                uint32_t AState) {
    if (OperationAs<TPXSuppliedBufferOperation>(AOperation))
        return GetEnabled() && BufferOperation(AOperation, AState);
    ProcessQueuedBuffers();
    if (OperationAs<TPXStopOperation>(AOperation))
        StreamStop();
    else if (OperationAs<TPXQXResumeOperation>(AOperation))
        StreamStart();
    return FilterOperation(AOperation, AState);
}

bool TQXBasicThreadedEnableFilter::FilterOperation(const TRef<IPXNotifyOperation>&, uint32_t) {
    return false;
}

bool TQXBasicThreadedEnableFilter::BufferOperation(const TRef<IPXNotifyOperation>& AOperation,
                                                   uint32_t) {
    // A thread that stops meanwhile refuses the buffer, which is then processed here.
    if (FProcessing.Running() && !FProcessing.IsProcessingThread() &&
        FProcessing.Add([this, AOperation] { IntSingleOperation(AOperation); }))
        return true;
    return IntSingleOperation(AOperation);
}

void TQXBasicThreadedEnableFilter::ProcessQueuedBuffers() {
    FProcessing.Drain();
}

void TQXBasicThreadedEnableFilter::StreamStart() {
    if (GetThreaded())
        FProcessing.Start(GetQueueLength());
}

void TQXBasicThreadedEnableFilter::StreamStop() {
    // A stop that comes back on the processing thread cannot wait for that thread: the
    // thread then runs until the next stream start or the filter's end.
    if (!FProcessing.IsProcessingThread())
        FProcessing.Stop(TQXProcessingThread::smDrain);
}

} // namespace sonvera

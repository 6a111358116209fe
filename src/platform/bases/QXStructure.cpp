#include "sonvera/platform/bases/QXStructure.h"

#include <algorithm>
#include <future>

#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"
#include "sonvera/platform/signal/QXTypedBuffers.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "QXStructure";

constexpr int64_t ByteBoundary(int64_t ABits) {
    return (ABits + 7) / 8 * 8;
}

constexpr uint64_t BytesOf(int64_t ABits) {
    return static_cast<uint64_t>((ABits + 7) / 8);
}

void RaiseOnMainThread(std::exception_ptr AError) {
    TMainThread::Post([AError] { std::rethrow_exception(AError); });
}

// Pumps the main-thread queue until AFinished is ready or the queue is closed. Errors of the
// work run here belong to the pump's own caller: they are queued again for the next pump.
void PumpUntil(const std::future<void>& AFinished) {
    std::vector<std::exception_ptr> errors;
    while (AFinished.wait_for(std::chrono::seconds(0)) != std::future_status::ready &&
           TMainThread::WaitForWork()) {
        try {
            TMainThread::ProcessQueue();
        } catch (...) {
            errors.push_back(std::current_exception());
        }
    }
    for (const std::exception_ptr& error : errors)
        RaiseOnMainThread(error);
}

} // namespace

// --- Make structure ------------------------------------------------------------------------------

TQXMakeStructure::TQXMakeStructure(TPersistent* AOwner)
    : TLockComponent(AOwner), FElements(*this, nullptr) {
    FOutputPin = std::make_unique<TQXPXBinarySourcePin>(this, nullptr, GetLock(), nullptr);
}

TQXMakeStructure::~TQXMakeStructure() {
    FElements.Clear();
    FOutputPin.reset();
}

const TPropertyTableBase& TQXMakeStructure::ClassPropertyTable() {
    static const TPropertyTable<TQXMakeStructure> table("TQXMakeStructure",
                                                        TLockComponent::ClassPropertyTable());
    return table;
}

void TQXMakeStructure::TryStartFromInputs() {
    TChangeNotifyLockGuard guard(*GetLock());
    if (FStarted || FElements.List().empty())
        return;
    double rate = 0;
    for (const auto& element : FElements.List()) {
        if (!element->FStarted)
            return;
        rate = std::max(rate, element->FRate);
    }
    FStarted = true;
    FOutputPin->Notify(TPXStartRateOperation::Create(rate));
}

void TQXMakeStructure::DataReceived(bool) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!FStarted)
        TryStartFromInputs();
    if (!FStarted)
        return;
    for (const auto& element : FElements.List())
        if (!element->FHasValue)
            return;
    FOutputPin->SubmitBuffer(BuildRecord());
}

void TQXMakeStructure::Stop() {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!FStarted)
        return;
    FStarted = false;
    FOutputPin->Notify(TPXStopOperation::Create());
}

TRef<IQXData> TQXMakeStructure::BuildRecord() const {
    int64_t bits = 0;
    for (const auto& element : FElements.List()) {
        bool aligned = false;
        const uint64_t size = element->GetSize(aligned);
        if (aligned)
            bits = ByteBoundary(bits);
        if (size > QXMaxBufferSize * uint64_t{8})
            throw EArgumentError("Structure record too large");
        bits += static_cast<int64_t>(size);
    }
    const uint64_t bytes = BytesOf(bits);
    if (bytes > QXMaxBufferSize)
        throw EArgumentError("Structure record too large");
    TRef<TQXBlockBuffer> record = TQXBlockBuffer::CreateSizeObject(static_cast<uint32_t>(bytes));
    uint8_t* const start = record->Write();
    uint8_t* cursor = start;
    uint32_t bitOffset = 0;
    for (const auto& element : FElements.List())
        element->GetData(cursor, bitOffset);
    Assert((cursor - start) * 8 + bitOffset == bits, KUnitName,
           "An element wrote another size than it measured");
    return record;
}

// --- Split structure -----------------------------------------------------------------------------

TQXSplitStructure::TQXSplitStructure(TPersistent* AOwner)
    : TLockComponent(AOwner), FElements(*this, [this] { CheckStopped(); }) {
    FInputPin = std::make_unique<TQXPXBinarySinkPin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TQXSplitStructure::SinkDispatch));
}

TQXSplitStructure::~TQXSplitStructure() {
    FInputPin.reset(); // nothing arrives any more
    StreamStop();
    FElements.Clear();
}

const TPropertyTableBase& TQXSplitStructure::ClassPropertyTable() {
    static const TPropertyTable<TQXSplitStructure> table("TQXSplitStructure",
                                                         TLockComponent::ClassPropertyTable());
    return table;
}

uint64_t TQXSplitStructure::GetPendingSize() const {
    std::lock_guard<std::mutex> guard(FArrivedLock);
    return FHeldBytes + FArrived->GetSize();
}

void TQXSplitStructure::CheckStopped() const {
    Assert(!FStarted, KUnitName, "Elements cannot change while the stream runs");
}

bool TQXSplitStructure::SinkDispatch(TPXPin*, TPXPin*, const TGUID&,
                                     const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
    if (const auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation))
        return PieceArrived(supplied->GetData());
    if (OperationAs<TPXStopOperation>(AOperation))
        StreamStop();
    else if (OperationAs<TPXQXResumeOperation>(AOperation))
        StreamStart(AOperation);
    return false;
}

void TQXSplitStructure::StreamStart(const TRef<IPXNotifyOperation>& AOperation) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (FStarted)
        return;
    FSections.clear();
    FNominalBits = 0;
    const uint32_t count = FElements.Count();
    for (uint32_t i = 0; i < count; ++i) {
        TSection section{FElements.Items(i), 0, false};
        section.NominalBits =
            static_cast<int64_t>(section.Element->Start(AOperation, section.Aligned));
        if (section.Aligned)
            FNominalBits = ByteBoundary(FNominalBits);
        FNominalBits += section.NominalBits;
        FSections.push_back(section);
    }
    FNominalBytes = BytesOf(FNominalBits);
    FAccumulator->Drop();
    {
        std::lock_guard<std::mutex> arrived(FArrivedLock);
        FArrived->Drop();
        FHeldBytes = 0;
        FNeededBytes = std::max<uint64_t>(FNominalBytes, 1);
        FPassQueued = false;
    }
    // One pass queued and one running at most, and a Flush.
    FProcessing.Start(3);
    FStarted = true;
}

void TQXSplitStructure::StreamStop() {
    if (!FStarted || FProcessing.IsProcessingThread())
        return;
    StopProcessing();
    {
        TChangeNotifyLockGuard guard(*GetLock());
        FStarted = false;
        FAccumulator->Drop();
        std::lock_guard<std::mutex> arrived(FArrivedLock);
        FArrived->Drop();
        FHeldBytes = 0;
    }
    const TRef<IPXNotifyOperation> stop = TPXStopOperation::Create();
    const uint32_t count = FElements.Count();
    for (uint32_t i = 0; i < count; ++i)
        FElements.Items(i)->NotifyOutputs(stop);
}

bool TQXSplitStructure::PieceArrived(const TRef<IQXData>& AData) {
    if (!AData)
        return false;
    if (!FStarted)
        StreamStart(nullptr);
    bool queue;
    {
        std::lock_guard<std::mutex> guard(FArrivedLock);
        FArrived->Append(AData);
        queue = !FPassQueued && FHeldBytes + FArrived->GetSize() >= FNeededBytes;
        FPassQueued = FPassQueued || queue;
    }
    if (queue && !FProcessing.Add([this] { ReadPass(); })) {
        std::lock_guard<std::mutex> guard(FArrivedLock);
        FPassQueued = false;
    }
    return true;
}

void TQXSplitStructure::Flush() {
    Assert(!FProcessing.IsProcessingThread(), KUnitName,
           "The processing thread cannot wait for itself");
    auto done = std::make_shared<std::promise<void>>();
    const std::future<void> finished = done->get_future();
    // The wake-up lets a main thread that waits for work see that the flush is done.
    if (!FProcessing.Add([done] {
            done->set_value();
            TMainThread::Post([] {});
        }))
        return;
    if (TMainThread::IsMainThread())
        PumpUntil(finished);
    finished.wait();
}

void TQXSplitStructure::StopProcessing() {
    Flush();
    FProcessing.Stop(TQXProcessingThread::smDrain);
}

void TQXSplitStructure::ReadPass() {
    for (;;) {
        uint64_t needed;
        try {
            TakeArrivedPieces();
            needed = ReadRecords();
        } catch (...) {
            RecordRefused(std::current_exception());
            needed = std::max<uint64_t>(FNominalBytes, 1);
        }
        if (!FinishPass(needed))
            return;
    }
}

void TQXSplitStructure::TakeArrivedPieces() {
    std::lock_guard<std::mutex> guard(FArrivedLock);
    FAccumulator->Take(*FArrived);
}

bool TQXSplitStructure::FinishPass(uint64_t ANeeded) {
    std::lock_guard<std::mutex> guard(FArrivedLock);
    FHeldBytes = FAccumulator->GetSize();
    FNeededBytes = ANeeded;
    const uint64_t arrived = FArrived->GetSize();
    FPassQueued = arrived > 0 && FHeldBytes + arrived >= FNeededBytes;
    return FPassQueued;
}

void TQXSplitStructure::RecordRefused(std::exception_ptr AError) {
    FAccumulator->Drop();
    RaiseOnMainThread(AError);
}

uint64_t TQXSplitStructure::ReadRecords() {
    if (FSections.empty()) {
        FAccumulator->Drop(); // nothing to read the records into
        return 1;
    }
    for (;;) {
        if (FAccumulator->GetSize() < FNominalBytes || !RecordComplete())
            return MeasureRecord();
        ReadRecord();
    }
}

// Every element here reads whole bytes, so a section never starts inside a byte: the elements
// are told they are aligned.
bool TQXSplitStructure::RecordComplete() const {
    uint64_t offset = 0;
    for (const TSection& section : FSections) {
        bool unaligned = false;
        if (!section.Element->CanProcess(*FAccumulator, offset, unaligned))
            return false;
    }
    return true;
}

void TQXSplitStructure::ReadRecord() {
    const uint64_t before = FAccumulator->GetSize();
    for (uint32_t i = 0; i < FSections.size(); ++i) {
        bool unaligned = false;
        if (!FSections[i].Element->Process(*FAccumulator, unaligned))
            throw EReadError(FormatMessage("Structure element %u could not read its section", i));
    }
    // A record of no bytes would be read for ever.
    if (FAccumulator->GetSize() >= before)
        throw EReadError("Structure record of no bytes");
}

uint64_t TQXSplitStructure::MeasureRecord() const {
    const uint64_t held = FAccumulator->GetSize();
    int64_t extra = 0;
    int64_t position = 0;
    for (uint32_t i = 0; i < FSections.size(); ++i) {
        const TSection& section = FSections[i];
        if (section.Aligned)
            position = ByteBoundary(position);
        const int64_t start = position;
        const int64_t extraBefore = extra;
        bool complete = true;
        bool flag = false;
        section.Element->ExpandBuffers(*FAccumulator, nullptr, static_cast<int32_t>(i), extra,
                                       position, complete, flag);
        // A section measured whole moves the position by its nominal size and what it added;
        // one that is not there yet leaves the record's size known down to a lower bound.
        if (!complete || position - start != section.NominalBits + (extra - extraBefore))
            return std::max(BytesOf(FNominalBits + extra), held + 1);
    }
    // Every section measured whole although a reading found the record incomplete: wait for
    // more rather than read the same bytes again.
    return std::max(BytesOf(position), held + 1);
}

} // namespace sonvera

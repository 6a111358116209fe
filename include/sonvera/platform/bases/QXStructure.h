// The structure components. A make structure packs the values of its elements into binary
// records, one section per element in element order, and sends each record on a binary output;
// a split structure takes such a record stream, cut into pieces anywhere, off a binary input,
// reads the records back whole and lets each element send its section's value on.
//
// Threads and locks.
// Make: values arrive on the delivering threads. A record is measured, written and delivered
// inside the component lock, which the elements share, so every lock taken downstream nests
// inside it.
// Split: pieces arrive on the delivering thread, which only queues them (under a lock of the
// queue's own). Records are read on the structure's processing thread, started with the stream
// and stopped with it, outside the component lock. An element may make the processing thread
// wait for the main thread (an element announces its stream there), so Flush and a stop called
// on the main thread pump the main-thread queue while they wait for the processing thread, and
// called on another thread they need the main thread to be pumping. Errors of reading (a
// record that cannot be read) drop the bytes held - a record stream cannot be read on past a
// record it cannot read - and are raised on the main thread, by its queue. Lock order: the
// queue's lock is taken inside the component lock (a stream starting or stopping), never the
// reverse, and nothing else is taken inside it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sonvera/platform/bases/QXBufferAccumulator.h"
#include "sonvera/platform/bases/QXProcessingThread.h"
#include "sonvera/platform/bases/QXStructureElements.h"
#include "sonvera/platform/pins/QXPins.h"

namespace sonvera {

class TQXMakeStructure : public TLockComponent {
public:
    explicit TQXMakeStructure(TPersistent* AOwner = nullptr);
    // The elements go first, so that no value arrives at a structure half destroyed.
    ~TQXMakeStructure() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Elements may be added and deleted at any time.
    TQXStructureElements<TQXBasicDataMakeStructureElement>& GetElements() noexcept {
        return FElements;
    }
    TQXPXBinarySourcePin* GetOutputPin() const noexcept { return FOutputPin.get(); }
    bool GetStarted() const { return GetPropValue(FStarted); }

    // Starts the record stream, with a start at the highest of the elements' rates, once every
    // element has started; nothing while any has not, or while the stream runs.
    void TryStartFromInputs();
    // An element took a value. Once the stream runs and every element holds a value, a record
    // of all values goes out. ASizeChanged tells that the element's section may have a new
    // size; every record is measured anyway, as a section's size also follows from fields that
    // an element does not compare.
    virtual void DataReceived(bool ASizeChanged);
    // Ends the record stream with a stop; the next value (or start) of a started element
    // starts it again.
    void Stop();

private:
    // The record of every element's value, inside the lock.
    TRef<IQXData> BuildRecord() const;

    TQXStructureElements<TQXBasicDataMakeStructureElement> FElements;
    std::unique_ptr<TQXPXBinarySourcePin> FOutputPin;
    bool FStarted = false;
};

class TQXSplitStructure : public TLockComponent {
public:
    explicit TQXSplitStructure(TPersistent* AOwner = nullptr);
    // Stops the stream as a stop would (see Flush for the thread that may do so).
    ~TQXSplitStructure() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Elements change only while the stream is stopped (EAssertionFailed otherwise).
    TQXStructureElements<TQXBasicSplitStructureElement>& GetElements() noexcept {
        return FElements;
    }
    TQXPXBinarySinkPin* GetInputPin() const noexcept { return FInputPin.get(); }
    bool GetStarted() const noexcept { return FStarted.load(); }
    // Whether the processing thread runs.
    bool IsProcessing() const { return FProcessing.Running(); }
    // Bytes that arrived and are not read yet: an incomplete record, as far as the last
    // reading knows.
    uint64_t GetPendingSize() const;
    // Raises EAssertionFailed while the stream runs.
    void CheckStopped() const;

    // The input's dispatch handler. A start (any resume) starts the stream: the elements learn
    // the record's nominal size, the processing thread starts. A supplied buffer is a piece of
    // the record stream (starting the stream when it is not running). A stop reads what has
    // arrived, stops the processing thread, drops an incomplete record and passes the stop to
    // the elements' outputs.
    bool SinkDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                      const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);
    // Returns once every record that has arrived whole is read. On the main thread it pumps
    // the main-thread queue meanwhile; an error raised there is queued again for the next pump.
    // Not on the processing thread (EAssertionFailed).
    void Flush();

private:
    // An element's part of the record as the stream started.
    struct TSection {
        TQXBasicSplitStructureElement* Element;
        int64_t NominalBits;
        bool Aligned;
    };

    void StreamStart(const TRef<IPXNotifyOperation>& AOperation);
    void StreamStop();
    bool PieceArrived(const TRef<IQXData>& AData);

    // The processing thread's work: reads every record that is complete, as long as pieces
    // keep arriving.
    void ReadPass();
    void TakeArrivedPieces();
    // Reads records until the next is incomplete; how many bytes it needs at least.
    uint64_t ReadRecords();
    bool RecordComplete() const;
    void ReadRecord();
    // A lower bound of the incomplete record's size in bytes, above the bytes held.
    uint64_t MeasureRecord() const;
    // Records what the pass left; false when the pass is over (nothing to read on).
    bool FinishPass(uint64_t ANeeded);
    void RecordRefused(std::exception_ptr AError);
    void StopProcessing();

    TQXStructureElements<TQXBasicSplitStructureElement> FElements;
    std::unique_ptr<TQXPXBinarySinkPin> FInputPin;
    std::atomic<bool> FStarted{false};
    std::vector<TSection> FSections;
    int64_t FNominalBits = 0;
    uint64_t FNominalBytes = 0;
    // The processing thread's.
    TRef<TQXBufferAccumulator> FAccumulator = TQXBufferAccumulator::CreateObject();

    // Pieces on their way to the processing thread, and what the last pass left.
    mutable std::mutex FArrivedLock;
    TRef<TQXBufferAccumulator> FArrived = TQXBufferAccumulator::CreateObject();
    uint64_t FHeldBytes = 0;   // in the accumulator after the last pass
    uint64_t FNeededBytes = 0; // before the next record can be complete
    bool FPassQueued = false;  // a pass is queued or running

    TQXProcessingThread FProcessing;
};

} // namespace sonvera

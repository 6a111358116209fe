// The elements of structure records. A make structure (QXStructure.h) writes one section per
// element into each record, in element order; a split structure reads the sections back and
// each element sends its value on. Elements are collection items: a structure creates them by
// the name of their registered class, with itself as owner, and they share its lock.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sonvera/platform/bases/QXBufferAccumulator.h"
#include "sonvera/platform/pins/PXPins.h"
#include "sonvera/platform/runtime/ClassManagement.h"
#include "sonvera/platform/runtime/LockPersistent.h"
#include "sonvera/platform/runtime/MainThread.h"

namespace sonvera {

class TQXMakeStructure;
class TQXSplitStructure;

// --- Make side ----------------------------------------------------------------------------------

// One value of the records a make structure writes: its input's started state and rate, and
// whether it holds a value. Read and changed inside the structure's lock.
class TQXBasicDataMakeStructureElement : public TLockPersistent {
public:
    // AOwner is the make structure (any other owner gets no records made from the element).
    TQXBasicDataMakeStructureElement(const TPersistentNotify& AOnChange, TPersistent* AOwner,
                                     const TRef<IChangeNotifyLock>& ALock);

    bool GetStarted() const { return GetPropValue(FStarted); }
    double GetRate() const { return GetPropValue(FRate); }
    bool GetHasValue() const { return GetPropValue(FHasValue); }

    // The size of the element's section in bits, 0 without a value. Sets AAligned when the
    // section starts on a byte boundary.
    virtual uint64_t GetSize(bool& AAligned) const = 0;
    // Writes the section at the cursor (see AlignRecordCursor) and moves the cursor past it.
    // The structure calls it inside its lock, with a value held, after GetSize has measured it.
    virtual void GetData(uint8_t*& ACursor, uint32_t& ABitOffset) const = 0;

protected:
    // A start arrived at the element's input: the input runs at ARate; the structure may start.
    void InputStarted(double ARate);
    // Tells the structure about a value, inside the lock. A new value (AHeld) marks the element
    // as holding one and, if nothing started its input before, as started at rate 1.0.
    void ValueTaken(bool AHeld, bool ASizeChanged);

    // Inside the lock.
    bool FStarted = false;
    double FRate = 0;
    bool FHasValue = false;

private:
    friend class TQXMakeStructure; // reads the state inside the lock it holds

    TQXMakeStructure* FStructure;
};

// A make element whose value is a data buffer seen as interface T (an IQXDataBuffer whose
// GetSize counts its samples).
template <class T>
class TQXBasicBufferDataMakeStructureElement : public TQXBasicDataMakeStructureElement {
public:
    using TQXBasicDataMakeStructureElement::TQXBasicDataMakeStructureElement;

    // The latest value, or null.
    TRef<T> GetValue() const { return GetPropValue(FValue); }
    // Takes AValue (not null, else EAssertionFailed). Once started, a value equal to the one
    // held is dropped, keeping the held one, and the structure learns that nothing changed size.
    // Otherwise AValue is held, the input counts as started (at 1.0 unless a start came first)
    // and the structure learns whether the sample count changed.
    void SetValue(const TRef<T>& AValue);

protected:
    // For GetSize and GetData, inside the lock: the held value's size in bytes (0 without one),
    // and a copy of those bytes to ADest.
    uint32_t GetBufferSize() const { return FValue ? FValue->GetByteSize() : 0; }
    void CopyData(void* ADest) const;
    // The dispatch handler of the element's input: a start with a rate starts the input, a
    // supplied buffer that is a T becomes the value (a copy sharing its samples); everything
    // else is passed over. Returns false in every case.
    bool DoDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                    const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);
    // Refuses (with an exception) a value the element's section cannot carry; SetValue asks
    // before anything changes.
    virtual void CheckValue(const TRef<T>&) const {}

    TRef<T> FValue;
};

// --- Split side ---------------------------------------------------------------------------------

// One section of the records a split structure reads. Records are read on the structure's
// processing thread, so an element's reading operations run there; its other settings change
// only while the structure's stream is stopped.
class TQXBasicSplitStructureElement : public TLockPersistent {
public:
    // AOwner is the split structure.
    TQXBasicSplitStructureElement(const TPersistentNotify& AOnChange, TPersistent* AOwner,
                                  const TRef<IChangeNotifyLock>& ALock);

    // The stream of records starts (AOperation, null when records came without a start): the
    // nominal size of the section in bits, its smallest. Sets AAligned when the section starts
    // on a byte boundary.
    virtual uint64_t Start(const TRef<IPXNotifyOperation>& AOperation, bool& AAligned) = 0;
    // Reads the section at the front of AAccumulator, consuming it, and sends its value on.
    // AUnaligned tells that the section starts inside a byte, whose rest is then skipped.
    virtual bool Process(IBufferAccumulator& AAccumulator, bool& AUnaligned) = 0;
    // Measures the section at ABitPosition: moves ABitPosition past it and adds to AExtraBits
    // what it holds beyond its nominal size; clears AComplete when part of it has not arrived.
    // A walk that stops early (a field not there yet) leaves ABitPosition short of nominal
    // size plus extra bits. ASecond is the accumulator of a second record stream read
    // alongside (null when there is none), AIndex the element's place in the record; AFlag and
    // the result are for elements that keep part of a section there.
    virtual bool ExpandBuffers(IBufferAccumulator& AAccumulator, IBufferAccumulator* ASecond,
                               int32_t AIndex, int64_t& AExtraBits, int64_t& ABitPosition,
                               bool& AComplete, bool& AFlag) = 0;
    // Whether the whole section starting at byte AOffset has arrived; moves AOffset past it.
    // Nothing is consumed.
    virtual bool CanProcess(IBufferAccumulator& AAccumulator, uint64_t& AOffset,
                            bool& AUnaligned) = 0;
    // Passes a stream operation to the element's outputs.
    virtual void NotifyOutputs(const TRef<IPXNotifyOperation>& AOperation) = 0;

protected:
    // Raises EAssertionFailed while the structure's stream runs.
    void CheckStopped() const;

private:
    TQXSplitStructure* FStructure;
};

// A split element whose value is of interface T.
template <class T> class TQXTypedSplitStructureElement : public TQXBasicSplitStructureElement {
public:
    using TQXBasicSplitStructureElement::TQXBasicSplitStructureElement;

    // Sends a value read from a section on.
    virtual void SendToOutput(const TRef<T>& AValue) = 0;
};

// A split element that sends buffers of interface T on an output pin of class TPin (a source
// pin of data buffers), created with the element and recording the structure as its component.
template <class T, class TPin>
class TQXBasicBufferSplitStructureElement : public TQXTypedSplitStructureElement<T> {
public:
    TQXBasicBufferSplitStructureElement(const TPersistentNotify& AOnChange, TPersistent* AOwner,
                                        const TRef<IChangeNotifyLock>& ALock)
        : TQXTypedSplitStructureElement<T>(AOnChange, AOwner, ALock) {
        FOutputPin = std::make_unique<TPin>(
            this, [AOwner](TPXPin* APin) { APin->SetComponent(AOwner); }, ALock, nullptr);
    }

    TPin* GetOutputPin() const noexcept { return FOutputPin.get(); }
    void NotifyOutputs(const TRef<IPXNotifyOperation>& AOperation) override {
        FOutputPin->Notify(AOperation);
    }

protected:
    // Notifies the outputs with AOperations, in order, on the main thread, while the calling
    // thread waits: consumers learn of a stream where they were connected (EOperationCancelled
    // when the main thread's queue is shut down).
    void NotifyOutputsOnMainThread(const std::vector<TRef<IPXNotifyOperation>>& AOperations) {
        TMainThread::Synchronize([&] {
            for (const TRef<IPXNotifyOperation>& operation : AOperations)
                NotifyOutputs(operation);
        });
    }
    void SubmitToOutput(const TRef<T>& AValue) { FOutputPin->SubmitBuffer(AValue); }

private:
    std::unique_ptr<TPin> FOutputPin;
};

// --- Element collections ------------------------------------------------------------------------

// The elements of a structure, in record order, owned by it. Changes happen inside the owner's
// lock; an element is destroyed outside it, as its pins wait for their deliveries.
template <class TElement> class TQXStructureElements {
public:
    // ACheckChange raises when the owner cannot change its elements now; null allows any time.
    TQXStructureElements(TLockPersistent& AOwner, std::function<void()> ACheckChange)
        : FOwner(AOwner), FCheckChange(std::move(ACheckChange)) {}
    TQXStructureElements(const TQXStructureElements&) = delete;
    TQXStructureElements& operator=(const TQXStructureElements&) = delete;

    // The elements, for their owner while it holds its lock.
    const std::vector<std::unique_ptr<TElement>>& List() const noexcept { return FItems; }
    uint32_t Count() const {
        TChangeNotifyLockGuard guard(*FOwner.GetLock());
        return static_cast<uint32_t>(FItems.size());
    }
    // ERangeError "Index out of range = %u" past the end.
    TElement* Items(uint32_t AIndex) const {
        TChangeNotifyLockGuard guard(*FOwner.GetLock());
        CheckIndex(AIndex);
        return FItems[AIndex].get();
    }
    // Creates an element of the registered collection item class AClassName at the end.
    // EArgumentError, and no change, when no such class is registered or its objects are not
    // elements of this kind.
    TElement* Add(const std::string& AClassName) {
        CheckChange();
        std::unique_ptr<TLockPersistent> item =
            TClassManagement::CreateCollectionItem(AClassName, nullptr, &FOwner, FOwner.GetLock());
        auto* element = dynamic_cast<TElement*>(item.get());
        if (!element)
            throw EArgumentError("Class \"" + AClassName + "\" is no element of " +
                                 FOwner.ClassName());
        TChangeNotifyLockGuard guard(*FOwner.GetLock());
        FItems.emplace_back(element);
        item.release();
        return element;
    }
    // ERangeError past the end.
    void Delete(uint32_t AIndex) {
        CheckChange();
        std::unique_ptr<TElement> element;
        {
            TChangeNotifyLockGuard guard(*FOwner.GetLock());
            CheckIndex(AIndex);
            element = std::move(FItems[AIndex]);
            FItems.erase(FItems.begin() + AIndex);
        }
    }
    void Clear() {
        CheckChange();
        std::vector<std::unique_ptr<TElement>> elements;
        {
            TChangeNotifyLockGuard guard(*FOwner.GetLock());
            elements.swap(FItems);
        }
    }

private:
    void CheckChange() const {
        if (FCheckChange)
            FCheckChange();
    }
    void CheckIndex(uint32_t AIndex) const {
        if (AIndex >= FItems.size())
            throw ERangeError(FormatMessage("Index out of range = %u", AIndex));
    }

    TLockPersistent& FOwner;
    std::function<void()> FCheckChange;
    std::vector<std::unique_ptr<TElement>> FItems;
};

// --- Template definitions -----------------------------------------------------------------------

template <class T> void TQXBasicBufferDataMakeStructureElement<T>::SetValue(const TRef<T>& AValue) {
    Assert(AValue != nullptr, "QXStructureElements");
    CheckValue(AValue);
    TChangeNotifyLockGuard guard(*GetLock());
    if (FStarted && FValue && FValue->IsEqual(AValue)) {
        ValueTaken(false, false);
        return;
    }
    const bool sizeChanged = !FValue || FValue->GetSize() != AValue->GetSize();
    FValue = AValue;
    ValueTaken(true, sizeChanged);
}

template <class T> void TQXBasicBufferDataMakeStructureElement<T>::CopyData(void* ADest) const {
    if (const uint32_t size = GetBufferSize())
        std::memcpy(ADest, FValue->ByteRead(), size);
}

template <class T>
bool TQXBasicBufferDataMakeStructureElement<T>::DoDispatch(
    TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
    if (const auto* start = OperationAs<TPXStartRateOperation>(AOperation)) {
        InputStarted(start->GetRate());
    } else if (const auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
        // A copy, so that the sender's later writes go to a store of their own.
        TRef<T> value;
        if (supplied->GetData() && Supports(supplied->GetData()->MakeIntfCopy(), value))
            SetValue(value);
    }
    return false;
}

} // namespace sonvera

// Stream operations: what travels along pin connections. Every operation is shared by
// reference count and handed around as IPXNotifyOperation; dispatchers find out what an
// operation is with OperationAs, which walks a chain of static class records (no string
// compare, no allocation, no dynamic_cast), so that a dispatcher can run several tests per
// buffer at the cost of a few pointer compares.
//
// The classes and what derives from what:
//   TPXNotifyOperation
//     TPXStopOperation                 the stream stops
//       TPXEndStopOperation            the stream ended after its last buffer (a stop as well)
//     TPXQXResumeOperation             the stream runs (again)
//       TPXStartRateOperation          a stream starts at a rate (a start is the resume that a
//         TPXStartSampleRateOperation   sink connected mid-stream needs to see)
//     TPXPauseOperation
//     TPXQueryStreamOperation          a consumer asks whether a stream will come
//     TPXIgnoreStreamOperation         the answer: no stream will come on this connection
//     TPXStartPumpOperation            the sender asks its consumers to start pumping
//     TPXMasterPumpOperation           a consumer takes over pumping (travels upstream)
//     TPXPumpRequestOperation          a consumer asks for the next buffer
//     TPXSuppliedBufferOperation       carries one data buffer
#pragma once

#include <cstdint>

#include "sonvera/platform/runtime/Interfaces.h"
#include "sonvera/platform/signal/QXSimpleDataBuffer.h"

namespace sonvera {

class TPersistent;
class TPXNotifyOperation;

inline constexpr TGUID IID_IPXNotifyOperation{
    0x6E0B2C1D, 0x5A43, 0x4E8F, {0x9B, 0x61, 0x0C, 0x2F, 0x7D, 0x3A, 0x48, 0x15}};

class IPXNotifyOperation : public virtual IInterface {
public:
    // The object behind the interface.
    virtual TPXNotifyOperation& GetOperation() noexcept = 0;
};

// The class record an operation class publishes: its name and its parent's record.
struct TPXOperationClass {
    const char* Name;
    const TPXOperationClass* Parent;
};

class TPXNotifyOperation : public TInterfacedObject, public virtual IPXNotifyOperation {
public:
    static constexpr TPXOperationClass KOperationClass{"TPXNotifyOperation", nullptr};

    static TRef<TPXNotifyOperation> CreateObject();
    static TRef<IPXNotifyOperation> Create() { return CreateObject(); }

    TPXNotifyOperation& GetOperation() noexcept final { return *this; }
    const TPXOperationClass& GetOperationClass() const noexcept { return *FClass; }
    const char* GetClassName() const noexcept { return FClass->Name; }
    // Whether this operation is of AClass or of a class derived from it.
    bool InheritsFrom(const TPXOperationClass& AClass) const noexcept {
        for (const TPXOperationClass* c = FClass; c; c = c->Parent)
            if (c == &AClass)
                return true;
        return false;
    }

protected:
    TPXNotifyOperation() = default;
    ~TPXNotifyOperation() override = default;

    // Each constructor names its class; the most derived one runs last and wins.
    void SetOperationClass(const TPXOperationClass& AClass) noexcept { FClass = &AClass; }

private:
    const TPXOperationClass* FClass = &KOperationClass;
};

// The type test: the operation as TOperation when it is of that class or a descendant, else
// null. The pointer lives as long as the caller's reference to the operation.
template <class TOperation>
TOperation* OperationAs(const TRef<IPXNotifyOperation>& AOperation) noexcept {
    if (!AOperation)
        return nullptr;
    TPXNotifyOperation& operation = AOperation->GetOperation();
    if (!operation.InheritsFrom(TOperation::KOperationClass))
        return nullptr;
    return static_cast<TOperation*>(&operation);
}

// Declares the class record and the two factories of an operation class without arguments.
#define SONVERA_PX_PLAIN_OPERATION(TClass, TParent)                                                \
    class TClass : public TParent {                                                                \
    public:                                                                                        \
        static constexpr TPXOperationClass KOperationClass{#TClass, &TParent::KOperationClass};    \
        static TRef<TClass> CreateObject() { return MakeRef<TClass>(); }                           \
        static TRef<IPXNotifyOperation> Create() { return CreateObject(); }                        \
        TClass() { SetOperationClass(KOperationClass); }                                           \
                                                                                                   \
    protected:                                                                                     \
        ~TClass() override = default;                                                              \
    }

SONVERA_PX_PLAIN_OPERATION(TPXStopOperation, TPXNotifyOperation);
SONVERA_PX_PLAIN_OPERATION(TPXEndStopOperation, TPXStopOperation);
SONVERA_PX_PLAIN_OPERATION(TPXQXResumeOperation, TPXNotifyOperation);
SONVERA_PX_PLAIN_OPERATION(TPXPauseOperation, TPXNotifyOperation);
SONVERA_PX_PLAIN_OPERATION(TPXQueryStreamOperation, TPXNotifyOperation);
SONVERA_PX_PLAIN_OPERATION(TPXIgnoreStreamOperation, TPXNotifyOperation);
SONVERA_PX_PLAIN_OPERATION(TPXMasterPumpOperation, TPXNotifyOperation);
SONVERA_PX_PLAIN_OPERATION(TPXPumpRequestOperation, TPXNotifyOperation);

#undef SONVERA_PX_PLAIN_OPERATION

// A stream starts at ARate: buffers (or, for sample streams, samples) per second.
class TPXStartRateOperation : public TPXQXResumeOperation {
public:
    static constexpr TPXOperationClass KOperationClass{"TPXStartRateOperation",
                                                       &TPXQXResumeOperation::KOperationClass};
    static TRef<TPXStartRateOperation> CreateObject(double ARate) {
        return MakeRef<TPXStartRateOperation>(ARate);
    }
    static TRef<IPXNotifyOperation> Create(double ARate) { return CreateObject(ARate); }

    explicit TPXStartRateOperation(double ARate) : FRate(ARate) {
        SetOperationClass(KOperationClass);
    }
    double GetRate() const noexcept { return FRate; }

protected:
    ~TPXStartRateOperation() override = default;

private:
    double FRate;
};

// A stream of samples starts at ARate samples per second.
class TPXStartSampleRateOperation : public TPXStartRateOperation {
public:
    static constexpr TPXOperationClass KOperationClass{"TPXStartSampleRateOperation",
                                                       &TPXStartRateOperation::KOperationClass};
    static TRef<TPXStartSampleRateOperation> CreateObject(double ARate) {
        return MakeRef<TPXStartSampleRateOperation>(ARate);
    }
    static TRef<IPXNotifyOperation> Create(double ARate) { return CreateObject(ARate); }

    explicit TPXStartSampleRateOperation(double ARate) : TPXStartRateOperation(ARate) {
        SetOperationClass(KOperationClass);
    }

protected:
    ~TPXStartSampleRateOperation() override = default;
};

// The sender (a component or element, not owned) asks its consumers to start pumping.
class TPXStartPumpOperation : public TPXNotifyOperation {
public:
    static constexpr TPXOperationClass KOperationClass{"TPXStartPumpOperation",
                                                       &TPXNotifyOperation::KOperationClass};
    static TRef<TPXStartPumpOperation> CreateObject(TPersistent* ASender) {
        return MakeRef<TPXStartPumpOperation>(ASender);
    }
    static TRef<IPXNotifyOperation> Create(TPersistent* ASender) { return CreateObject(ASender); }

    explicit TPXStartPumpOperation(TPersistent* ASender) : FSender(ASender) {
        SetOperationClass(KOperationClass);
    }
    TPersistent* GetSender() const noexcept { return FSender; }

protected:
    ~TPXStartPumpOperation() override = default;

private:
    TPersistent* FSender;
};

// Carries one buffer downstream. The payload is shared, never copied.
class TPXSuppliedBufferOperation : public TPXNotifyOperation {
public:
    static constexpr TPXOperationClass KOperationClass{"TPXSuppliedBufferOperation",
                                                       &TPXNotifyOperation::KOperationClass};
    static TRef<TPXSuppliedBufferOperation> CreateObject(TRef<IQXData> AData) {
        return MakeRef<TPXSuppliedBufferOperation>(std::move(AData));
    }
    static TRef<IPXNotifyOperation> Create(TRef<IQXData> AData) {
        return CreateObject(std::move(AData));
    }

    explicit TPXSuppliedBufferOperation(TRef<IQXData> AData) : FData(std::move(AData)) {
        SetOperationClass(KOperationClass);
    }
    const TRef<IQXData>& GetData() const noexcept { return FData; }

protected:
    ~TPXSuppliedBufferOperation() override = default;

private:
    TRef<IQXData> FData;
};

} // namespace sonvera

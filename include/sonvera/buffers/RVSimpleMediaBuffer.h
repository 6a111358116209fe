// The media buffer: a generic data buffer over a timestamped store, and the view through which
// callers read and write the timestamp.
#pragma once

#include <atomic>
#include <cstdint>

#include "sonvera/buffers/RVInternalStore.h"
#include "sonvera/platform/runtime/Interfaces.h"
#include "sonvera/platform/signal/QXSimpleDataBuffer.h"

namespace sonvera {

inline constexpr TGUID IID_IRVMediaBuffer{
    0xD4894B42, 0xBC18, 0x4BDD, {0x9A, 0xA0, 0x32, 0x06, 0x12, 0xA4, 0x4E, 0x5F}};
inline constexpr TGUID IID_IRVTimeStamp{
    0xA089FCAE, 0x1779, 0x4A96, {0x99, 0x39, 0x07, 0xBD, 0x4C, 0x0A, 0x6A, 0x2F}};

// The timestamp of a media buffer's store.
class IRVTimeStamp : public virtual IInterface {
public:
    virtual bool GetAvailable() const = 0;
    virtual void SetAvailable(bool AValue) = 0;
    virtual int64_t GetBegin() const = 0;
    virtual void SetBegin(int64_t AValue) = 0;
    virtual int64_t GetEnd() const = 0;
    virtual void SetEnd(int64_t AValue) = 0;
};

class IRVMediaBuffer : public virtual IQXDataBuffer {
public:
    virtual TRef<IRVTimeStamp> GetTimeStamp() = 0;
};

class TRVMediaBuffer;

// The view of one buffer's timestamp. It refers to its buffer without counting, so that the
// pair keeps no cycle alive; a view used after its buffer is gone raises EAssertionFailed.
class TRVTimeStamp : public TInterfacedObject, public virtual IRVTimeStamp {
public:
    explicit TRVTimeStamp(TRVMediaBuffer* AIntBuffer) noexcept : FIntBuffer(AIntBuffer) {}

    bool GetAvailable() const override;
    void SetAvailable(bool AValue) override;
    int64_t GetBegin() const override;
    void SetBegin(int64_t AValue) override;
    int64_t GetEnd() const override;
    void SetEnd(int64_t AValue) override;

    // Called by the buffer as it is destroyed.
    void DetachBuffer() noexcept { FIntBuffer = nullptr; }

protected:
    ~TRVTimeStamp() override = default;

private:
    TRVMediaBuffer& Buffer() const;

    TRVMediaBuffer* FIntBuffer;
};

// A generic buffer whose store is a TRVSmartMediaBuffer. The timestamp belongs to the store:
// buffers that share a store share its timestamp, and a private copy made for writing starts
// with the shared value. A store of another class is refused with EArgumentError.
class TRVMediaBuffer : public TQXGenericBuffer, public virtual IRVMediaBuffer {
public:
    // The generic buffer's construction (AOther's store to share, or ADataContainer; ASize the
    // logical byte size), then the timestamp view.
    static TRef<TRVMediaBuffer> CreateObject(const TRef<IQXData>& AOther,
                                             TQXSmartBuffer* ADataContainer, uint32_t ASize);
    static TRef<IRVMediaBuffer> Create(const TRef<IQXData>& AOther, TQXSmartBuffer* ADataContainer,
                                       uint32_t ASize) {
        return CreateObject(AOther, ADataContainer, ASize);
    }

    // The view is made on first use: most buffers on a chain's path are never asked for it.
    TRef<IRVTimeStamp> GetTimeStamp() override;

    bool GetTimeStampAvailable() const;
    void SetTimeStampAvailable(bool AValue);
    int64_t GetTimeStampBegin() const;
    void SetTimeStampBegin(int64_t AValue);
    int64_t GetTimeStampEnd() const;
    void SetTimeStampEnd(int64_t AValue);

    TRef<TQXGenericBuffer> MakeCopy() override;
    // Both refuse a store that CheckContainer refuses, before anything changes.
    void Assign(const TRef<IQXData>& ASource) override;
    void SetDataContainer(TQXSmartBuffer* AContainer) override;

protected:
    TRVMediaBuffer(const TRef<IQXData>& AOther, TQXSmartBuffer* ADataContainer, uint32_t ASize);
    ~TRVMediaBuffer() override;

    // Raises EArgumentError unless the buffer can live on AContainer; derived buffers that
    // need more of their store extend it.
    virtual void CheckContainer(const TQXSmartBuffer& AContainer) const;
    TRVSmartMediaBuffer& MediaStore() const noexcept;
    // Lets go of the timestamp view handed out before, detached as the buffer's end detaches
    // it: its holders see a buffer that is gone.
    void DropTimeStampView() noexcept;

private:
    std::atomic<TRVTimeStamp*> FTimeStamp{nullptr}; // holds one reference once made
};

} // namespace sonvera

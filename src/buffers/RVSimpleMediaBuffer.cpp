#include "sonvera/buffers/RVSimpleMediaBuffer.h"

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "RVSimpleMediaBuffer";

} // namespace

TRVMediaBuffer& TRVTimeStamp::Buffer() const {
    Assert(FIntBuffer != nullptr, KUnitName);
    return *FIntBuffer;
}

bool TRVTimeStamp::GetAvailable() const {
    return Buffer().GetTimeStampAvailable();
}

void TRVTimeStamp::SetAvailable(bool AValue) {
    Buffer().SetTimeStampAvailable(AValue);
}

int64_t TRVTimeStamp::GetBegin() const {
    return Buffer().GetTimeStampBegin();
}

void TRVTimeStamp::SetBegin(int64_t AValue) {
    Buffer().SetTimeStampBegin(AValue);
}

int64_t TRVTimeStamp::GetEnd() const {
    return Buffer().GetTimeStampEnd();
}

void TRVTimeStamp::SetEnd(int64_t AValue) {
    Buffer().SetTimeStampEnd(AValue);
}

TRVMediaBuffer::TRVMediaBuffer(const TRef<IQXData>& AOther, TQXSmartBuffer* ADataContainer,
                               uint32_t ASize)
    : TQXGenericBuffer(AOther, ADataContainer, ASize) {
    // The base holds the store now, and releases it should the check fail.
    TRVMediaBuffer::CheckContainer(*FDataContainer);
}

TRVMediaBuffer::~TRVMediaBuffer() {
    DropTimeStampView();
}

void TRVMediaBuffer::DropTimeStampView() noexcept {
    // Most buffers never had a view: a plain load spares them the exchange's atomic step.
    if (!FTimeStamp.load(std::memory_order_acquire))
        return;
    if (TRVTimeStamp* view = FTimeStamp.exchange(nullptr)) {
        view->DetachBuffer();
        view->_Release();
    }
}

TRef<IRVTimeStamp> TRVMediaBuffer::GetTimeStamp() {
    TRVTimeStamp* view = FTimeStamp.load(std::memory_order_acquire);
    if (!view) {
        TRef<TRVTimeStamp> made = MakeRef<TRVTimeStamp>(this);
        if (FTimeStamp.compare_exchange_strong(view, made.get(), std::memory_order_acq_rel))
            view = made.Detach(); // the buffer keeps this reference
    }
    return TRef<IRVTimeStamp>(view);
}

TRef<TRVMediaBuffer> TRVMediaBuffer::CreateObject(const TRef<IQXData>& AOther,
                                                  TQXSmartBuffer* ADataContainer, uint32_t ASize) {
    return TRef<TRVMediaBuffer>(new TRVMediaBuffer(AOther, ADataContainer, ASize));
}

void TRVMediaBuffer::CheckContainer(const TQXSmartBuffer& AContainer) const {
    if (!CachedCast<const TRVSmartMediaBuffer>(&AContainer))
        throw EArgumentError("The store carries no time stamp");
}

TRVSmartMediaBuffer& TRVMediaBuffer::MediaStore() const noexcept {
    // Every store the buffer attaches has passed CheckContainer.
    return static_cast<TRVSmartMediaBuffer&>(*FDataContainer);
}

bool TRVMediaBuffer::GetTimeStampAvailable() const {
    return MediaStore().GetTimeStampAvailable();
}

void TRVMediaBuffer::SetTimeStampAvailable(bool AValue) {
    MediaStore().SetTimeStampAvailable(AValue);
}

int64_t TRVMediaBuffer::GetTimeStampBegin() const {
    return MediaStore().GetTimeStampBegin();
}

void TRVMediaBuffer::SetTimeStampBegin(int64_t AValue) {
    MediaStore().SetTimeStampBegin(AValue);
}

int64_t TRVMediaBuffer::GetTimeStampEnd() const {
    return MediaStore().GetTimeStampEnd();
}

void TRVMediaBuffer::SetTimeStampEnd(int64_t AValue) {
    MediaStore().SetTimeStampEnd(AValue);
}

TRef<TQXGenericBuffer> TRVMediaBuffer::MakeCopy() {
    return TRef<TQXGenericBuffer>(new TRVMediaBuffer(TRef<IQXData>(this), nullptr, FLogicalSize));
}

void TRVMediaBuffer::Assign(const TRef<IQXData>& ASource) {
    CheckContainer(*BufferOf(ASource).GetDataContainer());
    TQXGenericBuffer::Assign(ASource);
}

void TRVMediaBuffer::SetDataContainer(TQXSmartBuffer* AContainer) {
    Assert(AContainer != nullptr, KUnitName);
    CheckContainer(*AContainer);
    TQXGenericBuffer::SetDataContainer(AContainer);
}

} // namespace sonvera

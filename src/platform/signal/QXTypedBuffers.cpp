#include "sonvera/platform/signal/QXTypedBuffers.h"

#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "QXTypedBuffers";

// Keeps a new store alive with a read-only reference while the buffer meant to take it is
// built: if that fails at any point (even after the buffer's constructor has run its own
// clean-up), dropping this reference frees the store exactly once; if it succeeds, the buffer
// is left as the store's only, owning holder.
class TPendingStore {
public:
    explicit TPendingStore(TQXSmartBuffer* AStore) noexcept : FStore(AStore) {
        FStore->AddReff(false);
    }
    ~TPendingStore() { FStore->RemoveReff(false); }
    TPendingStore(const TPendingStore&) = delete;
    TPendingStore& operator=(const TPendingStore&) = delete;

    TQXSmartBuffer* get() const noexcept { return FStore; }

private:
    TQXSmartBuffer* FStore;
};

} // namespace

template <class TElement, class TInterface, class TSelf>
TRef<TSelf> TQXTypedBuffer<TElement, TInterface, TSelf>::CreateSizeObject(uint32_t ACount) {
    TPendingStore store(NewElementStore(ACount));
    return TRef<TSelf>(new TSelf(nullptr, store.get(), store.get()->GetSize()));
}

template <class TElement, class TInterface, class TSelf>
TQXSmartBuffer* TQXTypedBuffer<TElement, TInterface, TSelf>::NewElementStore(uint64_t ACount) {
    const uint64_t byteSize = ACount * sizeof(TElement);
    if (ACount > QXMaxBufferSize || byteSize > QXMaxBufferSize)
        throw EArgumentError(FormatMessage("Element count out of range = %llu",
                                           static_cast<unsigned long long>(ACount)));
    return new TQXSmartByteBuffer(static_cast<uint32_t>(byteSize));
}

template <class TElement, class TInterface, class TSelf>
TRef<TQXGenericBuffer> TQXTypedBuffer<TElement, TInterface, TSelf>::MakeCopy() {
    return TRef<TQXGenericBuffer>(new TSelf(TRef<IQXData>(this), nullptr, FLogicalSize));
}

template <class TElement, class TInterface, class TSelf>
uint32_t TQXTypedBuffer<TElement, TInterface, TSelf>::GetSize() const {
    return GetByteSize() / sizeof(TElement);
}

template <class TElement, class TInterface, class TSelf>
const TElement* TQXTypedBuffer<TElement, TInterface, TSelf>::Read() const {
    return reinterpret_cast<const TElement*>(ByteRead());
}

template <class TElement, class TInterface, class TSelf>
TElement* TQXTypedBuffer<TElement, TInterface, TSelf>::Write() {
    return reinterpret_cast<TElement*>(ByteWrite());
}

template <class TElement, class TInterface, class TSelf>
TElement* TQXTypedBuffer<TElement, TInterface, TSelf>::Modify() {
    return reinterpret_cast<TElement*>(ByteModify());
}

template <class TElement, class TInterface, class TSelf>
TElement TQXTypedBuffer<TElement, TInterface, TSelf>::GetItem(uint32_t AIndex) const {
    if (AIndex >= GetSize())
        throw ERangeError(FormatMessage("Index out of range = %u", AIndex));
    return Read()[AIndex];
}

template <class TElement, class TInterface, class TSelf>
void TQXTypedBuffer<TElement, TInterface, TSelf>::SetItem(uint32_t AIndex, TElement AValue) {
    if (AIndex >= GetSize())
        throw ERangeError(FormatMessage("Index out of range = %u", AIndex));
    Modify()[AIndex] = AValue;
}

template <class TElement, class TInterface, class TSelf>
void TQXTypedBuffer<TElement, TInterface, TSelf>::InternalSerializationRead(
    const TRef<IReader>& AReader) {
    TQXGenericBuffer::InternalSerializationRead(AReader);
    const std::optional<uint64_t> carried = CarriedByteCount();
    if (!carried || *carried == GetByteSize())
        return;
    if (*carried % sizeof(TElement) != 0 || *carried > QXMaxBufferSize)
        throw EReadError(
            FormatMessage("Data size mismatch = %llu", static_cast<unsigned long long>(*carried)));
    // The count is bounded by the bytes already read, so the new store never exceeds them.
    AttachContainer(NewElementStore(*carried / sizeof(TElement)), static_cast<uint32_t>(*carried));
}

TRef<TQXBlockBuffer> TQXBlockBuffer::CreateUniversalObject(const TRef<IQXData>& AOther) {
    Assert(static_cast<bool>(AOther), KUnitName);
    const uint32_t size = BufferOf(AOther).GetLogicalSize();
    return TRef<TQXBlockBuffer>(new TQXBlockBuffer(AOther, nullptr, size));
}

template class TQXTypedBuffer<int32_t, IQXIntegerBuffer, TQXIntegerBuffer>;
template class TQXTypedBuffer<double, IQXRealBuffer, TQXRealBuffer>;
template class TQXTypedBuffer<uint8_t, IQXBlockBuffer, TQXBlockBuffer>;

} // namespace sonvera

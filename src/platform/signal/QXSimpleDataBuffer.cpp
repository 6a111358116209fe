#include "sonvera/platform/signal/QXSimpleDataBuffer.h"

#include <cstring>
#include <typeinfo>
#include <utility>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "QXSimpleDataBuffer";
constexpr const char* KDataEntry = "Data";

// A failing constructor must not leak a store that its caller created for it.
void ReleaseIfUnreferenced(TQXSmartBuffer* AContainer) noexcept {
    if (AContainer && AContainer->ReferenceCount() == 0) {
        AContainer->AddReff(true);
        AContainer->RemoveReff(true);
    }
}

void CheckRange(uint32_t AOffset, uint32_t ACount, uint32_t ASize, const char* AMessage) {
    if (uint64_t{AOffset} + ACount > ASize)
        throw ERangeError(FormatMessage(AMessage, AOffset));
}

} // namespace

TQXGenericBuffer::TQXGenericBuffer(const TRef<IQXData>& AOther, TQXSmartBuffer* ADataContainer,
                                   uint32_t ASize)
    : FLogicalSize(ASize), FDataContainer(AdoptContainer(AOther, ADataContainer, ASize)) {
    // Derived classes refresh their own caches once their constructors have run.
    IntPopulateCahces();
}

TQXGenericBuffer::~TQXGenericBuffer() {
    FDataContainer->RemoveReff(FOwnerReference);
}

TQXSmartBuffer* TQXGenericBuffer::AdoptContainer(const TRef<IQXData>& AOther,
                                                 TQXSmartBuffer* ADataContainer, uint32_t ASize) {
    TQXSmartBuffer* container = ADataContainer;
    try {
        if (AOther)
            container = BufferOf(AOther).FDataContainer;
        Assert(container != nullptr, KUnitName);
        if (ADataContainer && ADataContainer != container)
            throw EArgumentError("The store differs from the shared buffer's");
        if (ASize > container->GetSize())
            throw EArgumentError(FormatMessage("Size exceeds the store = %u", ASize));
    } catch (...) {
        ReleaseIfUnreferenced(ADataContainer);
        throw;
    }
    container->AddReff(true);
    return container;
}

TQXGenericBuffer& TQXGenericBuffer::BufferOf(const TRef<IQXData>& AData) {
    Assert(static_cast<bool>(AData), KUnitName);
    auto* buffer = CachedCast<TQXGenericBuffer>(AData->GetInstance());
    if (!buffer)
        throw EArgumentError("The data is not a generic buffer");
    return *buffer;
}

void TQXGenericBuffer::SerializationRead(const TRef<IReader>& AReader) {
    Assert(static_cast<bool>(AReader), KUnitName);
    TQXSmartBuffer* const previous = FDataContainer;
    const uint32_t previousSize = FLogicalSize;
    const bool previousKind = FOwnerReference;
    // Keeps the previous store alive and, being a second reference, unwritten: every write
    // during the read goes to a copy, so a failure can go back to it exactly.
    previous->AddReff(false);
    try {
        InternalSerializationRead(AReader);
        CheckCarriedBytes();
    } catch (...) {
        FCarriedBytes.reset();
        RestoreContainer(previous, previousSize, previousKind);
        previous->RemoveReff(false);
        throw;
    }
    // The guard goes first, so that the bytes for a store the hooks kept are written into it,
    // unless another buffer shares it. Only then can the load still fail (a shared store needs
    // a private copy), and only when the hooks kept everything as it was.
    previous->RemoveReff(false);
    LoadCarriedBytes(std::exchange(FCarriedBytes, std::nullopt));
}

void TQXGenericBuffer::CheckCarriedBytes() const {
    if (FCarriedBytes && FCarriedBytes->size() != GetByteSize())
        throw EReadError(FormatMessage("Data size mismatch = %llu",
                                       static_cast<unsigned long long>(FCarriedBytes->size())));
}

void TQXGenericBuffer::LoadCarriedBytes(const std::optional<std::vector<uint8_t>>& ABytes) {
    if (!ABytes)
        return;
    const uint64_t count = ABytes->size();
    void* target = ByteWrite();
    if (count > 0)
        std::memcpy(target, ABytes->data(), count);
}

void TQXGenericBuffer::RestoreContainer(TQXSmartBuffer* APrevious, uint32_t APreviousSize,
                                        bool APreviousKind) {
    if (FDataContainer != APrevious) {
        APrevious->AddReff(APreviousKind);
        FDataContainer->RemoveReff(FOwnerReference);
        SetDataContainer(APrevious);
    }
    FOwnerReference = APreviousKind;
    FLogicalSize = APreviousSize;
    PopulateCahces();
}

void TQXGenericBuffer::SerializationWrite(const TRef<IWriter>& AWriter) {
    Assert(static_cast<bool>(AWriter), KUnitName);
    InternalSerializationWrite(AWriter);
}

TRef<TQXGenericBuffer> TQXGenericBuffer::MakeCopy() {
    return TRef<TQXGenericBuffer>(new TQXGenericBuffer(TRef<IQXData>(this), nullptr, FLogicalSize));
}

TRef<IQXData> TQXGenericBuffer::MakeIntfCopy() {
    return MakeCopy();
}

void TQXGenericBuffer::InternalSerializationRead(const TRef<IReader>& AReader) {
    std::vector<uint8_t> bytes;
    if (AReader->ReadBinary(KDataEntry, bytes))
        FCarriedBytes = std::move(bytes);
    else
        FCarriedBytes.reset();
}

void TQXGenericBuffer::InternalSerializationWrite(const TRef<IWriter>& AWriter) {
    AWriter->WriteBinary(KDataEntry, ByteRead(), GetByteSize());
}

std::optional<uint64_t> TQXGenericBuffer::CarriedByteCount() const {
    if (!FCarriedBytes)
        return std::nullopt;
    return FCarriedBytes->size();
}

void TQXGenericBuffer::CopyTo(uint32_t ASrcOffset, const TRef<IQXDataBuffer>& ADest,
                              uint32_t ADestOffset, uint32_t ACount) {
    Assert(static_cast<bool>(ADest), KUnitName);
    CheckRange(ASrcOffset, ACount, GetByteSize(), "Source offset out of range = %u");
    CheckRange(ADestOffset, ACount, ADest->GetByteSize(), "Destination offset out of range = %u");
    if (ACount == 0)
        return;
    // The destination first: when it is this buffer, making it private moves the source too.
    auto* target = static_cast<uint8_t*>(ADest->ByteModify()) + ADestOffset;
    const auto* source = static_cast<const uint8_t*>(ByteRead()) + ASrcOffset;
    std::memmove(target, source, ACount);
}

void TQXGenericBuffer::Assign(const TRef<IQXData>& ASource) {
    TQXGenericBuffer& source = BufferOf(ASource);
    if (&source != this)
        AttachContainer(source.FDataContainer, source.FLogicalSize);
}

bool TQXGenericBuffer::IsEqual(const TRef<IQXData>& AOther) const {
    if (!AOther)
        return false;
    const auto* other = CachedCast<const TQXGenericBuffer>(AOther->GetInstance());
    if (!other || typeid(*other) != typeid(*this) || other->FLogicalSize != FLogicalSize)
        return false;
    return FLogicalSize == 0 || std::memcmp(other->FDataContainer->GetData(),
                                            FDataContainer->GetData(), FLogicalSize) == 0;
}

void TQXGenericBuffer::Unique(bool APreserve) {
    if (FDataContainer->SingleOwner())
        return;
    AttachContainer(FDataContainer->Clone(APreserve), FLogicalSize);
}

void TQXGenericBuffer::MakeUnique() {
    Unique(true);
}

uint32_t TQXGenericBuffer::GetByteSize() const {
    return FLogicalSize;
}

uint32_t TQXGenericBuffer::GetSize() const {
    return GetByteSize();
}

void TQXGenericBuffer::IntPopulateCahces() {
    FData = static_cast<uint8_t*>(FDataContainer->GetData());
}

const void* TQXGenericBuffer::ByteRead() const {
    return FData;
}

void* TQXGenericBuffer::ByteWrite() {
    Unique(false);
    return FData;
}

void* TQXGenericBuffer::ByteModify() {
    Unique(true);
    return FData;
}

void TQXGenericBuffer::SetDataContainer(TQXSmartBuffer* AContainer) {
    FDataContainer = AContainer;
    FData = static_cast<uint8_t*>(AContainer->GetData());
}

void TQXGenericBuffer::RemoveOwnerShip() {
    if (!FOwnerReference)
        return;
    FDataContainer->RemoveOwnerShip();
    FOwnerReference = false;
}

void TQXGenericBuffer::PopulateCahces() {
    IntPopulateCahces();
}

void TQXGenericBuffer::AttachContainer(TQXSmartBuffer* AContainer, uint32_t ALogicalSize) {
    if (ALogicalSize > AContainer->GetSize()) {
        ReleaseIfUnreferenced(AContainer);
        throw EArgumentError(FormatMessage("Size exceeds the store = %u", ALogicalSize));
    }
    // The new reference first, so that attaching the store the buffer already holds never
    // drops it to zero.
    AContainer->AddReff(true);
    FDataContainer->RemoveReff(FOwnerReference);
    FOwnerReference = true;
    FLogicalSize = ALogicalSize;
    SetDataContainer(AContainer);
    PopulateCahces();
}

} // namespace sonvera

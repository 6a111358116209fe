#include "sonvera/buffers/SVSimpleAudioBuffer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "SVAudioBufferLayout.h"
#include "SVAudioBufferWidths.h"
#include "sonvera/platform/runtime/ClassManagement.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/UnitInit.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVSampleKernels.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "SVSimpleAudioBuffer";
constexpr const char* KClassName = "TSVAudioBuffer";

constinit TUnitInitCounter GSVSimpleAudioBufferCounter;

// Floats of each channel converted at a time on the planar path, before they are spread over
// their columns: long enough that the conversion's call costs nothing, short enough that two
// chunks stay in the first-level cache.
constexpr int32_t KFloatChunk = 1024;

[[noreturn]] void ChannelOutOfRange(uint32_t AChannel) {
    throw ERangeError(FormatMessage("Channel out of range = %u", AChannel));
}

// Reads ABytes (0 to 4) little-endian bytes as a signed number of that width.
int32_t ReadSigned(const uint8_t* ASource, uint32_t ABytes) noexcept {
    if (ABytes == 0)
        return 0;
    uint32_t value = 0;
    for (uint32_t i = 0; i < ABytes; ++i)
        value |= uint32_t{ASource[i]} << (8 * i);
    const uint32_t unused = 32 - 8 * ABytes;
    return static_cast<int32_t>(value << unused) >> unused;
}

void WriteLowBytes(uint8_t* ATarget, uint32_t ABytes, int32_t AValue) noexcept {
    const auto value = static_cast<uint32_t>(AValue);
    for (uint32_t i = 0; i < ABytes; ++i)
        ATarget[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The column of channel AChannel, ABytes wide, must lie inside a frame of AStep bytes.
void CheckColumn(uint32_t AChannel, uint32_t ABytes, int32_t AStep) {
    if (uint64_t{ABytes} * (uint64_t{AChannel} + 1) > static_cast<uint64_t>(AStep))
        ChannelOutOfRange(AChannel);
}

// The width channel extraction reads: every container width but 8, 16 and 24 reads 32 bits.
int32_t StripBits(uint32_t AContainerBits) noexcept {
    const auto bits = static_cast<int32_t>(AContainerBits);
    return bits == 8 || bits == 16 || bits == 24 ? bits : 32;
}

template <class TElement, class TBuffer>
TRef<TBuffer> StripChannel(const TSVWaveFormatExtensible& AHeader, const uint8_t* ASamples,
                           uint32_t AByteSize, uint32_t AChannel) {
    const uint32_t step = AHeader.Format.nBlockAlign;
    const int32_t bits = StripBits(AHeader.Format.wBitsPerSample);
    const uint32_t bytes = static_cast<uint32_t>(bits) / 8;
    const uint64_t column = uint64_t{AHeader.Format.wBitsPerSample / 8u} * AChannel;
    const uint32_t count = step == 0 ? 0 : AByteSize / step;
    if (count > 0 && column + bytes > step)
        ChannelOutOfRange(AChannel);
    TRef<TBuffer> result = TBuffer::CreateSizeObject(count);
    if constexpr (std::is_same_v<TElement, double>)
        SVStripChannel(ASamples, static_cast<uint32_t>(column), step, bits, result->Write(), count,
                       1.0);
    else
        SVStripChannel(ASamples, static_cast<uint32_t>(column), step, bits, result->Write(), count);
    return result;
}

TSVAudioBuffer& AudioBufferOf(const TRef<IQXData>& AData) {
    Assert(static_cast<bool>(AData), KUnitName);
    auto* buffer = CachedCast<TSVAudioBuffer>(AData->GetInstance());
    if (!buffer)
        throw EArgumentError("The data is not an audio buffer");
    return *buffer;
}

// Converts ARows floats of each of AChannels planes (APlaneBytes apart) to 32-bit frames, through
// the same saturating conversion as the interleaved path so that both give the same samples.
// Channels go two at a time, a chunk of each converted and then spread together.
void ConvertFloatPlanes(const uint8_t* ASource, uint32_t APlaneBytes, int32_t* ATarget,
                        int32_t AChannels, int32_t ARows) {
    const auto plane = [&](int32_t AChannel, int32_t AFirst) {
        return reinterpret_cast<const float*>(ASource + uint64_t{APlaneBytes} * AChannel) + AFirst;
    };
    int32_t left[KFloatChunk];
    int32_t right[KFloatChunk];
    for (int32_t done = 0; done < ARows; done += KFloatChunk) {
        const int32_t count = std::min(KFloatChunk, ARows - done);
        int32_t* frames = ATarget + int64_t{done} * AChannels;
        int32_t channel = 0;
        for (; channel + 1 < AChannels; channel += 2) {
            ippsConvert_32f32s_Sfs(plane(channel, done), left, count, ippRndNear, -31);
            ippsConvert_32f32s_Sfs(plane(channel + 1, done), right, count, ippRndNear, -31);
            SVSpreadColumns(left, right, frames + channel, AChannels, static_cast<size_t>(count));
        }
        if (channel < AChannels) {
            ippsConvert_32f32s_Sfs(plane(channel, done), left, count, ippRndNear, -31);
            SVSpreadColumns(left, nullptr, frames + channel, AChannels, static_cast<size_t>(count));
        }
    }
}

// Stereo planes straight into frames through the active level's kernel, with the samples of
// the saturating conversion above: the product by 2^31 is exact in every rounding mode (an
// overflow saturates either way), and the kernel rounds to nearest whatever the mode.
void ConvertFloatStereo(const uint8_t* ASource, uint32_t APlaneBytes, int32_t* ATarget,
                        int32_t ARows) {
    SVFloatPairToS32(reinterpret_cast<const float*>(ASource),
                     reinterpret_cast<const float*>(ASource + APlaneBytes), ATarget, ARows,
                     0x1p31f);
}

} // namespace

// ---- Construction --------------------------------------------------------------------------

TSVAudioBuffer::TSVAudioBuffer(const TRef<IQXData>& AOther, TQXSmartBuffer* ADataContainer,
                               uint32_t ASize)
    : TRVMediaBuffer(AOther, ADataContainer, ASize) {
    TSVAudioBuffer::CheckContainer(*FDataContainer);
    PopulateCahces();
}

void TSVAudioBuffer::CheckContainer(const TQXSmartBuffer& AContainer) const {
    if (!CachedCast<const TSVSmartAudioBuffer>(&AContainer) ||
        AContainer.GetSize() < QXStoreHeaderSize)
        throw EArgumentError("The store is not an audio store");
}

TRef<TSVAudioBuffer> TSVAudioBuffer::NewSized(int32_t ARate, int32_t ABitsPerSample,
                                              int32_t AChannels, int32_t ASize, TSVSpeakers AMask,
                                              bool AFloat) {
    const TSVStoreLayout layout =
        SVStoreLayout<EArgumentError>(ARate, ABitsPerSample, AChannels, ASize);
    // The buffer object's memory is taken before the store exists: from then on only the
    // buffer's constructor can fail, and it frees the store itself (one it could not adopt,
    // or one it adopted, with its base). That spares the store a guarding reference, two
    // atomic steps for every buffer a stream creates.
    const auto release = [](void* AMemory) {
        TSVAudioBuffer::operator delete(AMemory, sizeof(TSVAudioBuffer));
    };
    std::unique_ptr<void, decltype(release)> memory(
        TSVAudioBuffer::operator new(sizeof(TSVAudioBuffer)), release);
    auto* store = new TSVSmartAudioBuffer(layout.StoreSize);
    SVWriteHeader(store->GetData(), layout, ARate, ABitsPerSample, AChannels, AMask, AFloat);
    auto* buffer = ::new (memory.get()) TSVAudioBuffer(nullptr, store, layout.StoreSize);
    memory.release();
    return TRef<TSVAudioBuffer>(buffer);
}

bool TSVAudioBuffer::RenewSizeEx(int32_t ARate, int32_t ABits, int32_t AChannels, int32_t ASize,
                                 TSVSpeakers ASpeakerMask, bool AFloat) {
    const TSVStoreLayout layout = SVStoreLayout<EArgumentError>(ARate, ABits, AChannels, ASize);
    // The counts are read with acquire: every former holder's last use of the buffer and its
    // samples happens before they are written again.
    if (RefCount() != 1 || !FOwnerReference || !FDataContainer->SingleOwner() ||
        FDataContainer->GetSize() != layout.StoreSize)
        return false;
    DropTimeStampView();
    MediaStore().ResetUnsharedTimeStamp();
    FLogicalSize = layout.StoreSize;
    SVWriteHeader(FDataContainer->GetData(), layout, ARate, ABits, AChannels,
                  SVKeptChannelMask(AChannels, ASpeakerMask), AFloat);
    PopulateCahces();
    return true;
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateObject() {
    return NewSized(11025, 8, 1, 0, TSVSpeakers{spFrontLeft});
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateSizeObject(int32_t ARate, int32_t ABitsPerSample,
                                                      int32_t AChannels, int32_t ASize) {
    return NewSized(ARate, ABitsPerSample, AChannels, ASize, SVDefaultChannelMask(AChannels));
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateSizeExObject(int32_t ARate, int32_t ABitsPerSample,
                                                        int32_t AChannels, int32_t ASize,
                                                        TSVSpeakers ASpeakerMask) {
    return NewSized(ARate, ABitsPerSample, AChannels, ASize,
                    SVKeptChannelMask(AChannels, ASpeakerMask));
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateDataObject(const void* AData, int32_t ARate,
                                                      int32_t ABitsPerSample, int32_t AChannels,
                                                      int32_t ASize) {
    return CreateDataExObject(AData, ARate, ABitsPerSample, AChannels, ASize,
                              SVDefaultChannelMask(AChannels));
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateDataExObject(const void* AData, int32_t ARate,
                                                        int32_t ABitsPerSample, int32_t AChannels,
                                                        int32_t ASize, TSVSpeakers ASpeakerMask) {
    Assert(AData != nullptr, KUnitName);
    TRef<TSVAudioBuffer> buffer = NewSized(ARate, ABitsPerSample, AChannels, ASize, ASpeakerMask);
    const auto count = static_cast<int32_t>(buffer->GetByteSize());
    if (count > 0)
        ippsCopy_8u(static_cast<const Ipp8u*>(AData), buffer->FData, count);
    return buffer;
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateFloatDataObject(const float* AData, int32_t ARate,
                                                           int32_t AChannels, uint32_t AStride,
                                                           int32_t ASize) {
    return CreateFloatDataExObject(AData, ARate, AChannels, AStride, ASize,
                                   SVDefaultChannelMask(AChannels));
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateFloatDataExObject(const float* AData, int32_t ARate,
                                                             int32_t AChannels, uint32_t AStride,
                                                             int32_t ASize,
                                                             TSVSpeakers ASpeakerMask) {
    Assert(AData != nullptr, KUnitName);
    const bool interleaved = int64_t{AStride} == int64_t{AChannels} * 4;
    if (!interleaved && (AStride == 0 || AStride % 4 != 0))
        throw EArgumentError(FormatMessage("Stride out of range = %u", AStride));
    TRef<TSVAudioBuffer> buffer = CreateSizeExObject(ARate, 32, AChannels, ASize, ASpeakerMask);
    auto* target = reinterpret_cast<int32_t*>(buffer->FData);
    if (interleaved) {
        const int32_t count = ASize * AChannels;
        if (count > 0)
            ippsConvert_32f32s_Sfs(AData, target, count, ippRndNear, -31);
        return buffer;
    }
    // Planar blocks: each block holds AStride bytes of floats of every channel in turn.
    const auto rowsPerBlock = static_cast<int32_t>(AStride / 4);
    const auto* source = reinterpret_cast<const uint8_t*>(AData);
    for (int32_t remaining = ASize; remaining > 0; remaining -= rowsPerBlock) {
        const int32_t rows = std::min(rowsPerBlock, remaining);
        if (AChannels == 2)
            ConvertFloatStereo(source, AStride, target, rows);
        else
            ConvertFloatPlanes(source, AStride, target, AChannels, rows);
        source += uint64_t{AStride} * AChannels;
        target += int64_t{rows} * AChannels;
    }
    return buffer;
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateFloatSizeExObject(int32_t ARate, int32_t AChannels,
                                                             int32_t ASize,
                                                             TSVSpeakers ASpeakerMask) {
    return NewSized(ARate, 32, AChannels, ASize, SVKeptChannelMask(AChannels, ASpeakerMask), true);
}

TRef<TSVAudioBuffer>
TSVAudioBuffer::CreateWaveFormatObject(const TSVWaveFormatExtensible* AWaveFormat, int32_t ASize) {
    Assert(AWaveFormat != nullptr, KUnitName);
    const TSVWaveFormatExtensible record = *AWaveFormat;
    if (SVIsFloatFormat(record)) {
        if (record.Samples.wValidBitsPerSample != 32)
            throw EArgumentError(FormatMessage("Float samples of %u bits are not supported",
                                               record.Samples.wValidBitsPerSample));
        return CreateFloatSizeExObject(static_cast<int32_t>(record.Format.nSamplesPerSec),
                                       record.Format.nChannels, ASize,
                                       TSVSpeakers::FromMask(record.dwChannelMask));
    }
    // Only the fields the buffer is built from are checked, by the sized constructor's own
    // rules; a rate beyond the signed range becomes negative and is refused there too.
    return CreateSizeExObject(static_cast<int32_t>(record.Format.nSamplesPerSec),
                              record.Samples.wValidBitsPerSample, record.Format.nChannels, ASize,
                              TSVSpeakers::FromMask(record.dwChannelMask));
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateExObject(const TRef<TSVAudioBuffer>& AOther) {
    Assert(static_cast<bool>(AOther), KUnitName);
    return TRef<TSVAudioBuffer>(
        new TSVAudioBuffer(TRef<IQXData>(AOther.get()), nullptr, AOther->FLogicalSize));
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateCopyObject(const TRef<ISVAudioBuffer>& AOther) {
    Assert(static_cast<bool>(AOther), KUnitName);
    return CreateExObject(TRef<TSVAudioBuffer>(&AudioBufferOf(TRef<IQXData>(AOther))));
}

TRef<TSVAudioBuffer> TSVAudioBuffer::CreateUniversalObject(const TRef<IQXData>& AOther) {
    return CreateExObject(TRef<TSVAudioBuffer>(&AudioBufferOf(AOther)));
}

// ---- Format and data access ----------------------------------------------------------------

void TSVAudioBuffer::IntPopulateCahces() {
    TRVMediaBuffer::IntPopulateCahces();
    FWaveFormat = reinterpret_cast<PSVWaveFormatExtensible>(FData);
    FChannels = FWaveFormat->Format.nChannels;
    FSampleBitWidth = FWaveFormat->Format.wBitsPerSample;
    FDataStep = FWaveFormat->Format.nBlockAlign;
    FChannelMask = TSVSpeakers::FromMask(FWaveFormat->dwChannelMask);
    FBitsPerSample = FWaveFormat->Samples.wValidBitsPerSample;
    FFloat = SVIsFloatFormat(*FWaveFormat);
    FDataOffset = GetDataOffset();
    FData = reinterpret_cast<uint8_t*>(FWaveFormat) + FDataOffset;
}

int32_t TSVAudioBuffer::GetSamplesPerSecond() const {
    return static_cast<int32_t>(FWaveFormat->Format.nSamplesPerSec);
}

TSVWaveFormatExtensible TSVAudioBuffer::GetWaveFormat() const {
    return *FWaveFormat;
}

int32_t TSVAudioBuffer::GetDataOffset() const {
    return int32_t{FWaveFormat->Format.cbSize} + static_cast<int32_t>(sizeof(tWAVEFORMATEX));
}

void TSVAudioBuffer::CheckIntegerSamples(const char* AOperation) const {
    if (FFloat)
        throw EArgumentError(
            FormatMessage("%s takes integer samples; the buffer holds float samples", AOperation));
}

PSVWaveFormatExtensible TSVAudioBuffer::GetModifyFormat() {
    Unique(true);
    return FWaveFormat;
}

uint32_t TSVAudioBuffer::GetByteSize() const {
    // A header whose extension claims more than the store holds leaves no samples.
    const auto offset = static_cast<uint32_t>(FDataOffset);
    return FLogicalSize > offset ? FLogicalSize - offset : 0;
}

uint32_t TSVAudioBuffer::GetCharSize() const {
    const auto offset = static_cast<uint32_t>(GetDataOffset());
    return FLogicalSize > offset ? FLogicalSize - offset : 0;
}

uint32_t TSVAudioBuffer::GetSize() const {
    const uint32_t bytes = GetByteSize();
    return FDataStep == 0 ? 0 : bytes / static_cast<uint32_t>(FDataStep);
}

const void* TSVAudioBuffer::Read() const {
    return FData;
}

void* TSVAudioBuffer::Write() {
    Unique(false);
    return FData;
}

void* TSVAudioBuffer::Modify() {
    Unique(true);
    return FData;
}

TSVSmartAudioBuffer* TSVAudioBuffer::GetBuffer() const noexcept {
    // CheckContainer admits audio stores only.
    return static_cast<TSVSmartAudioBuffer*>(FDataContainer);
}

void TSVAudioBuffer::SetBuffer(TQXSmartBuffer* AStore) {
    SetDataContainer(AStore);
}

TSVSmartAudioBuffer* TSVAudioBuffer::MakeCopySize(uint32_t ASize) {
    return new TSVSmartAudioBuffer(ASize);
}

TRef<TQXGenericBuffer> TSVAudioBuffer::MakeCopy() {
    return CreateExObject(TRef<TSVAudioBuffer>(this));
}

// ---- Single samples ------------------------------------------------------------------------

namespace {

// Bytes of one sample as single-sample access sees it: by the valid bits, the container's
// width above 16 bits, at most the four bytes of the 32-bit value.
uint32_t ItemBytes(int32_t ABitsPerSample, int32_t ASampleBitWidth) noexcept {
    if (ABitsPerSample <= 8)
        return 1;
    if (ABitsPerSample <= 16)
        return 2;
    return std::min<uint32_t>(static_cast<uint32_t>(ASampleBitWidth) / 8, 4);
}

} // namespace

int32_t TSVAudioBuffer::GetItem(uint32_t AIndex, uint32_t AChannel) const {
    CheckIntegerSamples("GetItem");
    if (AChannel >= static_cast<uint32_t>(FChannels))
        ChannelOutOfRange(AChannel);
    if (AIndex >= GetSize())
        throw ERangeError(FormatMessage("Index out of range = %u", AIndex));
    const uint32_t bytes = ItemBytes(FBitsPerSample, FSampleBitWidth);
    CheckColumn(AChannel, bytes, FDataStep);
    return ReadSigned(FData + uint64_t{AIndex} * FDataStep + uint64_t{bytes} * AChannel, bytes);
}

void TSVAudioBuffer::SetItem(uint32_t AIndex, uint32_t AChannel, int32_t AValue) {
    CheckIntegerSamples("SetItem");
    // The checks come first, so that a refused call leaves even the store as it was.
    if (AChannel >= static_cast<uint32_t>(FChannels))
        ChannelOutOfRange(AChannel);
    if (AIndex >= GetSize())
        throw ERangeError(FormatMessage("Index out of range = %u", AIndex));
    const uint32_t bytes = ItemBytes(FBitsPerSample, FSampleBitWidth);
    CheckColumn(AChannel, bytes, FDataStep);
    Unique(true);
    WriteLowBytes(FData + uint64_t{AIndex} * FDataStep + uint64_t{bytes} * AChannel, bytes, AValue);
}

bool TSVAudioBuffer::IsEqualToValue(int32_t AValue) const {
    for (int32_t channel = 0; channel < FChannels; ++channel)
        if (!IsEqualChannelValue(channel, AValue))
            return false;
    return true;
}

bool TSVAudioBuffer::IsEqualChannelValue(int32_t AChannel, int32_t AValue) const {
    CheckIntegerSamples("IsEqualChannelValue");
    const auto channel = static_cast<uint32_t>(AChannel);
    if (AChannel < 0 || AChannel >= FChannels)
        ChannelOutOfRange(channel);
    const uint32_t bytes = ItemBytes(FBitsPerSample, FSampleBitWidth);
    const uint32_t frames = GetSize();
    if (frames == 0)
        return true;
    CheckColumn(channel, bytes, FDataStep);
    const uint8_t* sample = FData + uint64_t{bytes} * channel;
    for (uint32_t i = 0; i < frames; ++i, sample += FDataStep)
        if (ReadSigned(sample, bytes) != AValue)
            return false;
    return true;
}

// ---- Channels and size ---------------------------------------------------------------------

TRef<IQXIntegerBuffer> TSVAudioBuffer::GetChannel(uint32_t AChannel) const {
    CheckIntegerSamples("GetChannel");
    if (AChannel >= static_cast<uint32_t>(FChannels))
        ChannelOutOfRange(AChannel);
    return StripChannel<int32_t, TQXIntegerBuffer>(*FWaveFormat, FData, GetByteSize(), AChannel);
}

TRef<IQXRealBuffer> TSVAudioBuffer::GetChannelAsReal(uint32_t AChannel) const {
    CheckIntegerSamples("GetChannelAsReal");
    if (AChannel >= static_cast<uint32_t>(FChannels))
        ChannelOutOfRange(AChannel);
    return StripChannel<double, TQXRealBuffer>(*FWaveFormat, FData, GetByteSize(), AChannel);
}

void TSVAudioBuffer::Resize(uint32_t ASize, bool APreserveData) {
    if (ASize == 0)
        return;
    const uint64_t needed = uint64_t{static_cast<uint32_t>(FDataStep)} * ASize + QXStoreHeaderSize;
    if (needed > KSVMaxStoreSize)
        throw EArgumentError(FormatMessage("Store size out of range = %llu",
                                           static_cast<unsigned long long>(needed)));
    const auto length = static_cast<uint32_t>(needed);
    if (ASize <= GetSize() ||
        (FDataContainer->SingleOwner() && FDataContainer->GetSize() >= length)) {
        FLogicalSize = length;
        PopulateCahces();
        return;
    }
    TSVSmartAudioBuffer* const previous = GetBuffer();
    TSVSmartAudioBuffer* const store = MakeCopySize(length);
    if (APreserveData)
        store->CopyFrom(*previous);
    else
        std::memcpy(store->GetData(), previous->GetData(), QXStoreHeaderSize);
    AttachContainer(store, length);
}

// ---- Copying -------------------------------------------------------------------------------

void TSVAudioBuffer::CopyTo(uint32_t ASrcOffset, const TRef<IQXDataBuffer>& ADest,
                            uint32_t ADestOffset, uint32_t ACount) {
    Assert(static_cast<bool>(ADest), KUnitName);
    if (auto* audio = CachedCast<TSVAudioBuffer>(ADest->GetInstance()))
        CopyToAudio(ASrcOffset, TRef<TSVAudioBuffer>(audio), ADestOffset, ACount);
    else
        TRVMediaBuffer::CopyTo(ASrcOffset, ADest, ADestOffset, ACount);
}

// ---- Free functions ------------------------------------------------------------------------

bool SVIsFloatFormat(const TSVWaveFormatExtensible& AFormat) noexcept {
    // The record is packed and may sit anywhere (in an optional, in a file's bytes): its GUID is
    // copied out before the comparison takes it by reference.
    const TGUID subFormat = AFormat.SubFormat;
    return AFormat.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
           subFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
}

bool SVIsFloatBuffer(const ISVAudioBuffer& ABuffer) {
    return SVIsFloatFormat(ABuffer.GetWaveFormat());
}

TSVWaveFormatExtensible SVFloatFormatOf(const TSVWaveFormatExtensible& AFormat) noexcept {
    TSVWaveFormatExtensible format = AFormat;
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.cbSize = SV_EXTENSIBLE_EXTRA_SIZE;
    format.Format.wBitsPerSample = 32;
    format.Samples.wValidBitsPerSample = 32;
    format.Format.nBlockAlign = static_cast<uint16_t>(
        std::min<uint32_t>(uint32_t{AFormat.Format.nChannels} * 4, UINT16_MAX));
    format.Format.nAvgBytesPerSec =
        uint32_t{format.Format.nBlockAlign} * AFormat.Format.nSamplesPerSec;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    return format;
}

bool SVIsStandardFormat(const TSVWaveFormatExtensible* AWaveFormat) {
    Assert(AWaveFormat != nullptr, KUnitName);
    const TSVWaveFormatExtensible& format = *AWaveFormat;
    const uint32_t rate = format.Format.nSamplesPerSec;
    const uint32_t bits = format.Format.wBitsPerSample;
    const uint32_t channels = format.Format.nChannels;
    const uint32_t mask = format.dwChannelMask;
    const bool standardRate = rate == 44100 || rate == 22050 || rate == 11025 || rate == 8000;
    const bool standardBits = bits == 8 || bits == 16;
    const bool standardLayout =
        (channels == 2 && mask == 3) || (channels == 1 && (mask == 1 || mask == 3));
    return standardRate && standardBits && standardLayout;
}

bool SVIsEqualAudioFormat(const TSVWaveFormatExtensible& A, const TSVWaveFormatExtensible& B) {
    return A.Format.nChannels == B.Format.nChannels &&
           A.Format.nSamplesPerSec == B.Format.nSamplesPerSec &&
           A.Format.nBlockAlign == B.Format.nBlockAlign && A.dwChannelMask == B.dwChannelMask;
}

bool SVIsSameStreamFormat(const TSVWaveFormatExtensible& A, const TSVWaveFormatExtensible& B) {
    return SVIsEqualAudioFormat(A, B) &&
           A.Samples.wValidBitsPerSample == B.Samples.wValidBitsPerSample &&
           SVIsFloatFormat(A) == SVIsFloatFormat(B);
}

bool SVIsEqualAudioFormatStd(const tWAVEFORMATEX& A, const tWAVEFORMATEX& B) {
    return A.nChannels == B.nChannels && A.nSamplesPerSec == B.nSamplesPerSec &&
           A.nBlockAlign == B.nBlockAlign;
}

// ---- Start-up ------------------------------------------------------------------------------

namespace {

std::vector<TRegisteredClass> RegisteredClasses() {
    return {TClassManagement::ClassOf<TSVAudioBuffer>(
        KClassName, [] { return TRef<IInterface>(TSVAudioBuffer::CreateObject()); })};
}

} // namespace

void InitializeSVSimpleAudioBuffer() {
    GSVSimpleAudioBufferCounter.Initialize(
        [] { TClassManagement::RegisterClasses(RegisteredClasses()); });
}

void FinalizeSVSimpleAudioBuffer() {
    GSVSimpleAudioBufferCounter.Finalize(
        [] { TClassManagement::UnregisterClasses(RegisteredClasses()); });
}

} // namespace sonvera

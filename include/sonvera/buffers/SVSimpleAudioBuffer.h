// The audio buffer: interleaved integer PCM samples of 8, 16, 24 or 32 bits, or 32-bit IEEE
// floats (full scale 1.0), behind the 40-byte wave-format header of their store, shared
// copy-on-write between buffers.
#pragma once

#include <cstdint>

#include "sonvera/buffers/RVSimpleMediaBuffer.h"
#include "sonvera/buffers/SVInternalStore.h"
#include "sonvera/format/GMDXTypes.h"
#include "sonvera/platform/runtime/Interfaces.h"
#include "sonvera/platform/signal/QXTypedBuffers.h"

namespace sonvera {

inline constexpr TGUID IID_ISVAudioBuffer{
    0x49372BB8, 0xFFDD, 0x437C, {0xA9, 0xD3, 0xBA, 0x5D, 0xFB, 0x8A, 0x3B, 0x97}};

// Sample widths: 8-bit samples are unsigned bytes whose zero level is 127 (filled by SetValue
// and Zero, subtracted by channel extraction) but read and written raw by GetItem/SetItem;
// 16 and 32 bits are signed little-endian; 24 bits are three signed little-endian bytes. A
// buffer of another container width is carried, and width-dispatched operations leave it alone.
// Channels are interleaved in ascending speaker order; operations between two buffers pair
// channels by speaker, walking SVSpeakerValues.
//
// What differs by width, on purpose:
// - 8-bit silence is the byte 127 for Zero and SetValue(0) (the biased zero of the buffer's own
//   operations, while 8-bit samples from a file centre on 128: see SVSampleTraits.h), but a
//   speaker that CopyToAudio finds only in its destination is written as the byte 0. Since GetItem
//   reads the raw byte, IsEqualToValue(127), not IsEqualToValue(0), holds after Zero on 8 bits.
// - A constant divisor whose value as the width's primitive takes it is zero (the low byte of
//   AValue for 8 bits, the low 16 bits for 16 bits, AValue itself above) leaves the samples and
//   the store as they are at every width. Per-sample zero divisors of Divide follow each
//   width's arithmetic: a biased 8-bit divisor of 127 gives 127, 16 bits give the end of the
//   range on the dividend's side (0 for 0), 24 and 32 bits give 0.
// - Each width keeps its primitives' arithmetic. Constants saturate on 8-bit samples (as raw
//   unsigned bytes) and 16-bit ones, wrap on 24-bit ones, and on 32-bit ones saturate over the
//   whole buffer but wrap over one channel. Buffer with buffer saturates at 16 bits and wraps
//   at the other widths, 8-bit samples counted from 127.
//
// Float buffers: the header's sub-format says IEEE float, its widths say 32 bits. Copying,
// Zero, Resize, MultiplyByReal, serialization and CopyToAudio (which converts between float and
// the integer widths: x / 2^(N-1) one way, rounded and saturated the other) take them; the
// operations defined on integer values (GetItem, SetItem, IsEqualToValue, the arithmetic, the
// channel extraction) refuse them with EArgumentError rather than misread their bytes.
class ISVAudioBuffer : public virtual IRVMediaBuffer {
public:
    virtual int32_t GetChannels() const = 0;
    // The valid bits per sample.
    virtual int32_t GetBitsPerSample() const = 0;
    virtual int32_t GetSamplesPerSecond() const = 0;
    // Bytes per frame.
    virtual int32_t GetDataStep() const = 0;
    virtual TSVSpeakers GetChannelMask() const = 0;
    // The container bits per sample: the valid bits rounded up to a multiple of 8.
    virtual int32_t GetSampleBitWidth() const = 0;
    virtual TSVWaveFormatExtensible GetWaveFormat() const = 0;
    virtual int32_t GetDataOffset() const = 0;
    // True when GetItem gives AValue for every sample (of one channel); true when empty.
    virtual bool IsEqualToValue(int32_t AValue) const = 0;
    virtual bool IsEqualChannelValue(int32_t AChannel, int32_t AValue) const = 0;
    // The samples. Read never copies; Write makes the store private without copying the
    // samples (the caller overwrites them all); Modify makes it private with them.
    virtual const void* Read() const = 0;
    virtual void* Write() = 0;
    virtual void* Modify() = 0;
    // One sample; raises ERangeError "Channel out of range = %u", then
    // "Index out of range = %u". SetItem writes a private store.
    virtual int32_t GetItem(uint32_t AIndex, uint32_t AChannel) const = 0;
    virtual void SetItem(uint32_t AIndex, uint32_t AChannel, int32_t AValue) = 0;
    // this <- this op other, channel by matching speaker (a mono other applies to every
    // channel), over the frames both buffers have.
    virtual void Add(const TRef<ISVAudioBuffer>& AOther) = 0;
    virtual void Subtract(const TRef<ISVAudioBuffer>& AOther) = 0;
    virtual void Multiply(const TRef<ISVAudioBuffer>& AOther) = 0;
    virtual void Divide(const TRef<ISVAudioBuffer>& AOther) = 0;
    // Every sample <- value, or sample op value.
    virtual void SetValue(int32_t AValue) = 0;
    virtual void AddValue(int32_t AValue) = 0;
    virtual void SubtractValue(int32_t AValue) = 0;
    virtual void MultiplyValue(int32_t AValue) = 0;
    virtual void DivideValue(int32_t AValue) = 0;
    // Every sample of one channel <- value, or sample op value.
    virtual void SetChannelValue(int32_t AChannel, int32_t AValue) = 0;
    virtual void AddChannelValue(int32_t AChannel, int32_t AValue) = 0;
    virtual void SubChannelValue(int32_t AChannel, int32_t AValue) = 0;
    virtual void MulChannelValue(int32_t AChannel, int32_t AValue) = 0;
    virtual void DivChannelValue(int32_t AChannel, int32_t AValue) = 0;
    // Every sample <- silence.
    virtual void Zero() = 0;
    virtual void MultiplyByReal(double AValue) = 0;
    // ASize frames; new frames are not initialised.
    virtual void Resize(uint32_t ASize, bool APreserveData) = 0;
    // One channel as 32-bit integers or doubles (8-bit samples less 127); a channel outside
    // the buffer raises ERangeError "Channel out of range = %u".
    virtual TRef<IQXIntegerBuffer> GetChannel(uint32_t AChannel) const = 0;
    virtual TRef<IQXRealBuffer> GetChannelAsReal(uint32_t AChannel) const = 0;
};

// The most sample bytes a serialized document that carries no samples may make a reader
// allocate; a document that carries them is bounded by their count.
inline constexpr uint64_t KSVMaxUncarriedSampleBytes = uint64_t{1} << 20;

// Sizes passed to the constructors count frames; store sizes count bytes. Numbers that the
// buffer cannot hold are refused with EArgumentError before anything is allocated: negative
// rates, widths, channel counts or sizes, widths above 32 bits, a frame wider than the 16-bit
// block alignment, and a store longer than KSVMaxStoreSize. No channels (or no valid bits) is
// accepted: a buffer without frames. Missing required pointers raise EAssertionFailed
// "Assertion failure (SVSimpleAudioBuffer)".
class TSVAudioBuffer : public TRVMediaBuffer, public virtual ISVAudioBuffer {
public:
    // Header only: mono front left, 11025 Hz, 8 bits.
    static TRef<TSVAudioBuffer> CreateObject();
    // Uninitialised samples; mask (1 shl AChannels) - 1.
    static TRef<TSVAudioBuffer> CreateSizeObject(int32_t ARate, int32_t ABitsPerSample,
                                                 int32_t AChannels, int32_t ASize);
    // The lowest AChannels speakers of ASpeakerMask (positions 0 to 16), or
    // (1 shl AChannels) - 1 for an empty mask.
    static TRef<TSVAudioBuffer> CreateSizeExObject(int32_t ARate, int32_t ABitsPerSample,
                                                   int32_t AChannels, int32_t ASize,
                                                   TSVSpeakers ASpeakerMask);
    // Samples copied from AData (GetByteSize() bytes); the Ex form keeps ASpeakerMask as given.
    static TRef<TSVAudioBuffer> CreateDataObject(const void* AData, int32_t ARate,
                                                 int32_t ABitsPerSample, int32_t AChannels,
                                                 int32_t ASize);
    static TRef<TSVAudioBuffer> CreateDataExObject(const void* AData, int32_t ARate,
                                                   int32_t ABitsPerSample, int32_t AChannels,
                                                   int32_t ASize, TSVSpeakers ASpeakerMask);
    // 32-bit samples from floats: x * 2^31 rounded to nearest and saturated. With AStride =
    // AChannels * 4 the floats are interleaved; otherwise they come in blocks holding, for
    // each channel in turn, AStride bytes of that channel's floats (AStride a non-zero
    // multiple of 4, else EArgumentError).
    static TRef<TSVAudioBuffer> CreateFloatDataObject(const float* AData, int32_t ARate,
                                                      int32_t AChannels, uint32_t AStride,
                                                      int32_t ASize);
    static TRef<TSVAudioBuffer> CreateFloatDataExObject(const float* AData, int32_t ARate,
                                                        int32_t AChannels, uint32_t AStride,
                                                        int32_t ASize, TSVSpeakers ASpeakerMask);
    // Float samples (uninitialised), ASpeakerMask kept as CreateSizeExObject keeps it.
    static TRef<TSVAudioBuffer> CreateFloatSizeExObject(int32_t ARate, int32_t AChannels,
                                                        int32_t ASize, TSVSpeakers ASpeakerMask);
    // Makes this buffer over as CreateSizeExObject (AFloat: CreateFloatSizeExObject, ABits 32)
    // would make a new one, in place, when nothing else can reach it: the caller holds the only
    // reference, the store is this buffer's own and of exactly the length the format needs.
    // The header is written again, the timestamp cleared, a timestamp view handed out before
    // detached, as the buffer's end would leave them; the samples are left unwritten. Answers
    // false and changes nothing when it cannot; a format no buffer can hold raises
    // EArgumentError as the Create functions do.
    bool RenewSizeEx(int32_t ARate, int32_t ABits, int32_t AChannels, int32_t ASize,
                     TSVSpeakers ASpeakerMask, bool AFloat = false);
    // As CreateSizeExObject with the record's nSamplesPerSec, wValidBitsPerSample, nChannels
    // and dwChannelMask, checked by its rules; the fields the buffer derives itself
    // (wBitsPerSample, nBlockAlign, nAvgBytesPerSec) are ignored. A record whose sub-format is
    // IEEE float gives a float buffer (32 valid bits, else EArgumentError).
    static TRef<TSVAudioBuffer> CreateWaveFormatObject(const TSVWaveFormatExtensible* AWaveFormat,
                                                       int32_t ASize);
    // Buffers sharing AOther's store; no bytes are copied.
    static TRef<TSVAudioBuffer> CreateExObject(const TRef<TSVAudioBuffer>& AOther);
    static TRef<TSVAudioBuffer> CreateCopyObject(const TRef<ISVAudioBuffer>& AOther);
    // AOther must be an audio buffer (else EArgumentError).
    static TRef<TSVAudioBuffer> CreateUniversalObject(const TRef<IQXData>& AOther);

    static TRef<ISVAudioBuffer> Create() { return CreateObject(); }
    static TRef<ISVAudioBuffer> CreateSize(int32_t ARate, int32_t ABitsPerSample, int32_t AChannels,
                                           int32_t ASize) {
        return CreateSizeObject(ARate, ABitsPerSample, AChannels, ASize);
    }
    static TRef<ISVAudioBuffer> CreateSizeEx(int32_t ARate, int32_t ABitsPerSample,
                                             int32_t AChannels, int32_t ASize,
                                             TSVSpeakers ASpeakerMask) {
        return CreateSizeExObject(ARate, ABitsPerSample, AChannels, ASize, ASpeakerMask);
    }
    static TRef<ISVAudioBuffer> CreateData(const void* AData, int32_t ARate, int32_t ABitsPerSample,
                                           int32_t AChannels, int32_t ASize) {
        return CreateDataObject(AData, ARate, ABitsPerSample, AChannels, ASize);
    }
    static TRef<ISVAudioBuffer> CreateDataEx(const void* AData, int32_t ARate,
                                             int32_t ABitsPerSample, int32_t AChannels,
                                             int32_t ASize, TSVSpeakers ASpeakerMask) {
        return CreateDataExObject(AData, ARate, ABitsPerSample, AChannels, ASize, ASpeakerMask);
    }
    static TRef<ISVAudioBuffer> CreateFloatData(const float* AData, int32_t ARate,
                                                int32_t AChannels, uint32_t AStride,
                                                int32_t ASize) {
        return CreateFloatDataObject(AData, ARate, AChannels, AStride, ASize);
    }
    static TRef<ISVAudioBuffer> CreateFloatDataEx(const float* AData, int32_t ARate,
                                                  int32_t AChannels, uint32_t AStride,
                                                  int32_t ASize, TSVSpeakers ASpeakerMask) {
        return CreateFloatDataExObject(AData, ARate, AChannels, AStride, ASize, ASpeakerMask);
    }
    static TRef<ISVAudioBuffer> CreateFloatSizeEx(int32_t ARate, int32_t AChannels, int32_t ASize,
                                                  TSVSpeakers ASpeakerMask) {
        return CreateFloatSizeExObject(ARate, AChannels, ASize, ASpeakerMask);
    }
    static TRef<ISVAudioBuffer> CreateWaveFormat(const TSVWaveFormatExtensible* AWaveFormat,
                                                 int32_t ASize) {
        return CreateWaveFormatObject(AWaveFormat, ASize);
    }
    static TRef<ISVAudioBuffer> CreateEx(const TRef<TSVAudioBuffer>& AOther) {
        return CreateExObject(AOther);
    }
    static TRef<ISVAudioBuffer> CreateCopy(const TRef<ISVAudioBuffer>& AOther) {
        return CreateCopyObject(AOther);
    }
    static TRef<ISVAudioBuffer> CreateUniversal(const TRef<IQXData>& AOther) {
        return CreateUniversalObject(AOther);
    }

    // Format access.
    int32_t GetChannels() const override { return FChannels; }
    int32_t GetBitsPerSample() const override { return FBitsPerSample; }
    int32_t GetSamplesPerSecond() const override;
    int32_t GetDataStep() const override { return FDataStep; }
    TSVSpeakers GetChannelMask() const override { return FChannelMask; }
    int32_t GetSampleBitWidth() const override { return FSampleBitWidth; }
    TSVWaveFormatExtensible GetWaveFormat() const override;
    int32_t GetDataOffset() const override;
    const TSVWaveFormatExtensible* GetConstFormat() const noexcept { return FWaveFormat; }
    // Whether the samples are IEEE floats.
    bool IsFloat() const noexcept { return FFloat; }
    // Makes the store private with its contents first.
    PSVWaveFormatExtensible GetModifyFormat();

    bool IsEqualToValue(int32_t AValue) const override;
    bool IsEqualChannelValue(int32_t AChannel, int32_t AValue) const override;

    const void* Read() const override;
    void* Write() override;
    void* Modify() override;
    int32_t GetItem(uint32_t AIndex, uint32_t AChannel) const override;
    void SetItem(uint32_t AIndex, uint32_t AChannel, int32_t AValue) override;

    // Arithmetic.
    void Add(const TRef<ISVAudioBuffer>& AOther) override;
    void Subtract(const TRef<ISVAudioBuffer>& AOther) override;
    void Multiply(const TRef<ISVAudioBuffer>& AOther) override;
    void Divide(const TRef<ISVAudioBuffer>& AOther) override;
    void SetValue(int32_t AValue) override;
    void AddValue(int32_t AValue) override;
    void SubtractValue(int32_t AValue) override;
    void MultiplyValue(int32_t AValue) override;
    void DivideValue(int32_t AValue) override;
    void SetChannelValue(int32_t AChannel, int32_t AValue) override;
    void AddChannelValue(int32_t AChannel, int32_t AValue) override;
    void SubChannelValue(int32_t AChannel, int32_t AValue) override;
    void MulChannelValue(int32_t AChannel, int32_t AValue) override;
    void DivChannelValue(int32_t AChannel, int32_t AValue) override;
    void Zero() override;
    void MultiplyByReal(double AValue) override;

    // Shrinking keeps the store; growing keeps it too when this buffer owns it alone and it is
    // long enough, and otherwise moves to a new store (with the old bytes when APreserveData).
    // A store longer than KSVMaxStoreSize raises EArgumentError and changes nothing.
    void Resize(uint32_t ASize, bool APreserveData) override;
    TRef<IQXIntegerBuffer> GetChannel(uint32_t AChannel) const override;
    TRef<IQXRealBuffer> GetChannelAsReal(uint32_t AChannel) const override;

    // Sizes: bytes of samples, frames, and bytes of samples again (as characters).
    uint32_t GetByteSize() const override;
    uint32_t GetSize() const override;
    virtual uint32_t GetCharSize() const;

    // The store, and a new unreferenced store of ASize bytes.
    TSVSmartAudioBuffer* GetBuffer() const noexcept;
    void SetBuffer(TQXSmartBuffer* AStore);
    virtual TSVSmartAudioBuffer* MakeCopySize(uint32_t ASize);
    // A buffer sharing this buffer's store.
    TRef<TQXGenericBuffer> MakeCopy() override;

    // Copies ACount frames from ASrcOffset into ADest at ADestOffset: with CopyToAudio when
    // ADest is an audio buffer, else as bytes. A null ADest raises EAssertionFailed.
    void CopyTo(uint32_t ASrcOffset, const TRef<IQXDataBuffer>& ADest, uint32_t ADestOffset,
                uint32_t ACount) override;
    // Copies ACount frames into ADest, channels paired by speaker (speakers only ADest has are
    // set to 0), widths converted. ADest is made private with its contents first.
    void CopyToAudio(uint32_t ASrcOffset, const TRef<TSVAudioBuffer>& ADest, uint32_t ADestOffset,
                     uint32_t ACount);

protected:
    TSVAudioBuffer(const TRef<IQXData>& AOther, TQXSmartBuffer* ADataContainer, uint32_t ASize);
    ~TSVAudioBuffer() override = default;

    // Adds the format entries "Size", "Channels", "BitsPerSample", "SampleRate" and the group
    // "ChannelMask" (one Boolean per named speaker) to the generic buffer's sample bytes "Data",
    // then "ExtraChannelMask" (the mask's bits above the named speakers, written only when it
    // has any, so that every mask the buffer can carry comes back) and "ClassName".
    // Reading: a document missing any format entry leaves the buffer as it was, store and
    // samples included, and raises nothing. The same format and size keep the store and load
    // the carried bytes into it; another format rebuilds the store, whose samples are the
    // carried bytes or, when the document carries none, zeros. Numbers the buffer cannot hold,
    // carried bytes of another count than the format needs, and a document without bytes
    // whose samples would exceed KSVMaxUncarriedSampleBytes raise EReadError, leaving the
    // buffer as it was.
    void InternalSerializationRead(const TRef<IReader>& AReader) override;
    void InternalSerializationWrite(const TRef<IWriter>& AWriter) override;
    void IntPopulateCahces() override;
    // A store of at least the header's length, of the audio store class.
    void CheckContainer(const TQXSmartBuffer& AContainer) const override;

    // Caches of the header, refreshed by IntPopulateCahces.
    int32_t FChannels = 0;
    int32_t FBitsPerSample = 0;
    TSVSpeakers FChannelMask;
    int32_t FSampleBitWidth = 0;
    int32_t FDataStep = 0;
    int32_t FDataOffset = 0;
    PSVWaveFormatExtensible FWaveFormat = nullptr;
    bool FFloat = false;

private:
    // A renewed buffer's second reference, by the recycler that holds the only one.
    friend class TSVBufferRecycler;
    using TInterfacedObject::AddRefHeldAlone;

    // Refuses a float buffer to an operation on integer values (EArgumentError naming it).
    void CheckIntegerSamples(const char* AOperation) const;
    // A buffer on a new store of the given format, refused (EArgumentError) before anything is
    // allocated when the buffer cannot hold it.
    static TRef<TSVAudioBuffer> NewSized(int32_t ARate, int32_t ABitsPerSample, int32_t AChannels,
                                         int32_t ASize, TSVSpeakers AMask, bool AFloat = false);
};

// Converts Count samples, read SrcStep bytes apart from Src, to samples written DstStep bytes
// apart from Dst, mapping the full range of SrcBits onto the full range of DstBits (8-bit
// samples unsigned). Equal widths, and widths other than 8, 16, 24 and 32, write nothing.
void ConvertBits(const void* Src, int32_t SrcBits, int32_t SrcStep, void* Dst, int32_t DstBits,
                 int32_t DstStep, int32_t Count);

// Fills ADest, in its own format, from ASource with the frame count changed by
// AToRate / AFromRate (an integer step: every k-th frame taken, or each frame placed every
// k-th frame). Equal rates or AFromRate 0 copy all frames. Any reference to an audio buffer
// will do for either side (TRef<TSVAudioBuffer> converts).
// ADest keeps its own format, sample rate included: the caller builds it in the format it
// wants the frames in, normally at AToRate. The step being a whole number of frames, AToRate
// is not in general the rate the frames then have (44100 to 48000 copies frames one to one),
// so the call does not claim it in ADest's header. A source width other than 8, 16, 24 or 32
// raises EAssertionFailed "BitWidth is incorrect" and leaves ADest unchanged.
void ConvertBuffers(const TRef<ISVAudioBuffer>& ASource, uint32_t AFromRate,
                    const TRef<ISVAudioBuffer>& ADest, uint32_t AToRate);

// Recreates the buffer a serialized document describes, without knowing its class in advance:
// the class its "ClassName" entry names is created through the class registry and reads the
// document. A document that names no registered data-buffer class raises EReadError.
TRef<IQXDataBuffer> SVReadDataBuffer(const TRef<IReader>& AReader);

// Whether a record, or a buffer's header, says IEEE float samples.
bool SVIsFloatFormat(const TSVWaveFormatExtensible& AFormat) noexcept;
bool SVIsFloatBuffer(const ISVAudioBuffer& ABuffer);
// The record of float samples at AFormat's rate, channels and speakers.
TSVWaveFormatExtensible SVFloatFormatOf(const TSVWaveFormatExtensible& AFormat) noexcept;

// 44100, 22050, 11025 or 8000 Hz, 8 or 16 bits, stereo with mask 3 or mono with mask 1 or 3.
// A null record raises EAssertionFailed.
bool SVIsStandardFormat(const TSVWaveFormatExtensible* AWaveFormat);
// Channels, rate, block alignment and channel mask equal.
bool SVIsEqualAudioFormat(const TSVWaveFormatExtensible& A, const TSVWaveFormatExtensible& B);
// SVIsEqualAudioFormat, and the valid bits and integer or float samples equal too: buffers of
// one stream can pass as the other's without a conversion.
bool SVIsSameStreamFormat(const TSVWaveFormatExtensible& A, const TSVWaveFormatExtensible& B);
// Channels, rate and block alignment equal.
bool SVIsEqualAudioFormatStd(const tWAVEFORMATEX& A, const tWAVEFORMATEX& B);

// Registers TSVAudioBuffer with the class registry, so that readers recreate it by name.
void InitializeSVSimpleAudioBuffer();
void FinalizeSVSimpleAudioBuffer();

} // namespace sonvera

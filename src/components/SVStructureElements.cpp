#include "sonvera/components/SVStructureElements.h"

#include <algorithm>

#include "sonvera/platform/bases/QXPacketSize.h"
#include "sonvera/platform/runtime/UnitInit.h"

namespace sonvera {

namespace {

constexpr uint64_t KHeaderBytes = 2; // channels and bits
constexpr uint64_t KMaxChannels = UINT8_MAX;
constexpr uint64_t KMaxBits = 32;

constexpr uint64_t BytesPerSample(uint64_t ABits) {
    return (ABits + 7) / 8;
}

// The numbers at the head of a section, and what follows from them.
struct TSVAudioSection {
    uint8_t Channels = 0;
    uint8_t Bits = 0;
    uint64_t Rate = 0;
    uint64_t Frames = 0;
    uint64_t HeadBytes = 0; // channels, bits and both size fields
    uint64_t DataBytes = 0;
};

// Refuses, before anything is taken from the section, a format that no audio buffer can have;
// the sizes stay far inside 64 bits once the numbers are inside 32.
void CheckSectionFormat(TSVAudioSection& ASection) {
    if (ASection.Bits > KMaxBits)
        throw EReadError(FormatMessage("Bits per sample out of range = %u", ASection.Bits));
    if (ASection.Rate > INT32_MAX)
        throw EReadError(FormatMessage("Sample rate out of range = %llu",
                                       static_cast<unsigned long long>(ASection.Rate)));
    if (ASection.Frames > INT32_MAX)
        throw EReadError(FormatMessage("Sample count out of range = %llu",
                                       static_cast<unsigned long long>(ASection.Frames)));
    ASection.DataBytes = BytesPerSample(ASection.Bits) * ASection.Channels * ASection.Frames;
    if (ASection.DataBytes > KSVMaxStoreSize - QXStoreHeaderSize)
        throw EReadError(FormatMessage("Section data size out of range = %llu",
                                       static_cast<unsigned long long>(ASection.DataBytes)));
}

// The head of the section at byte AOffset: false while it has not arrived whole.
bool PeekSectionHead(const IBufferAccumulator& AAccumulator, uint64_t AOffset,
                     TSVAudioSection& ASection) {
    uint8_t head[KHeaderBytes + 2 * KMaxPacketByteLength];
    const uint64_t held = AAccumulator.GetSize();
    const uint64_t available =
        AOffset < held ? std::min<uint64_t>(held - AOffset, sizeof(head)) : 0;
    uint32_t rateLength = 0;
    uint32_t framesLength = 0;
    if (available < KHeaderBytes || !AAccumulator.Peek(AOffset, head, available) ||
        !DecodePacketSize(head + KHeaderBytes, available - KHeaderBytes, ASection.Rate,
                          rateLength) ||
        !DecodePacketSize(head + KHeaderBytes + rateLength, available - KHeaderBytes - rateLength,
                          ASection.Frames, framesLength))
        return false;
    ASection.Channels = head[0];
    ASection.Bits = head[1];
    ASection.HeadBytes = KHeaderBytes + rateLength + framesLength;
    CheckSectionFormat(ASection);
    return true;
}

const std::vector<TCollectionItemClass>& StructureElementClasses() {
    static const std::vector<TCollectionItemClass> classes = {
        TClassManagement::CollectionItemClassOf<TSVAudioBufferMakeStructureElement>(
            "TSVAudioBufferMakeStructureElement"),
        TClassManagement::CollectionItemClassOf<TSVAudioBufferSplitStructureElement>(
            "TSVAudioBufferSplitStructureElement")};
    return classes;
}

constinit TUnitInitCounter GSVStructureElementsCounter;

} // namespace

// --- Make element --------------------------------------------------------------------------------

TSVAudioBufferMakeStructureElement::TSVAudioBufferMakeStructureElement(
    const TPersistentNotify& AOnChange, TPersistent* AOwner, const TRef<IChangeNotifyLock>& ALock)
    : TQXBasicBufferDataMakeStructureElement(AOnChange, AOwner, ALock) {
    FInputPin = std::make_unique<TSVPXAudioSinkPin>(
        this, [AOwner](TPXPin* APin) { APin->SetComponent(AOwner); }, GetLock(),
        PXDispatchTo(this, &TSVAudioBufferMakeStructureElement::DoDispatch));
}

const TPropertyTableBase& TSVAudioBufferMakeStructureElement::ClassPropertyTable() {
    static const TPropertyTable<TSVAudioBufferMakeStructureElement> table(
        "TSVAudioBufferMakeStructureElement", TLockPersistent::ClassPropertyTable());
    return table;
}

void TSVAudioBufferMakeStructureElement::CheckValue(const TRef<ISVAudioBuffer>& AValue) const {
    const int32_t channels = AValue->GetChannels();
    const int32_t bits = AValue->GetBitsPerSample();
    if (channels < 0 || static_cast<uint64_t>(channels) > KMaxChannels)
        throw EArgumentError(FormatMessage("Channels out of range = %d", channels));
    if (bits < 0 || static_cast<uint64_t>(bits) > KMaxBits)
        throw EArgumentError(FormatMessage("Bits per sample out of range = %d", bits));
    if (AValue->GetSamplesPerSecond() < 0)
        throw EArgumentError(
            FormatMessage("Sample rate out of range = %d", AValue->GetSamplesPerSecond()));
    // The section's sample count and the bytes copied must describe the same samples.
    const uint32_t step = static_cast<uint32_t>(AValue->GetDataStep());
    if (step != BytesPerSample(bits) * channels ||
        AValue->GetByteSize() != step * AValue->GetSize())
        throw EArgumentError(FormatMessage("Frame size out of range = %d", AValue->GetDataStep()));
}

uint64_t TSVAudioBufferMakeStructureElement::GetSize(bool& AAligned) const {
    TChangeNotifyLockGuard guard(*GetLock());
    AAligned = true;
    if (!FValue)
        return 0;
    const uint64_t bytes =
        GetPacketByteLength(static_cast<uint64_t>(FValue->GetSamplesPerSecond())) +
        GetPacketByteLength(FValue->GetSize()) + GetBufferSize() + KHeaderBytes;
    return bytes * 8;
}

void TSVAudioBufferMakeStructureElement::GetData(uint8_t*& ACursor, uint32_t& ABitOffset) const {
    TChangeNotifyLockGuard guard(*GetLock());
    AlignRecordCursor(ACursor, ABitOffset);
    *ACursor++ = static_cast<uint8_t>(FValue->GetChannels());
    *ACursor++ = static_cast<uint8_t>(FValue->GetBitsPerSample());
    WritePacketSize(ACursor, static_cast<uint64_t>(FValue->GetSamplesPerSecond()));
    WritePacketSize(ACursor, FValue->GetSize());
    CopyData(ACursor);
    ACursor += GetBufferSize();
}

// --- Split element -------------------------------------------------------------------------------

const TPropertyTableBase& TSVAudioBufferSplitStructureElement::ClassPropertyTable() {
    static const TPropertyTable<TSVAudioBufferSplitStructureElement> table(
        "TSVAudioBufferSplitStructureElement", TLockPersistent::ClassPropertyTable());
    return table;
}

void TSVAudioBufferSplitStructureElement::SetOnValueReceived(TSVAudioBufferNotify AHandler) {
    CheckStopped();
    FOnValueReceived = std::move(AHandler);
}

uint64_t TSVAudioBufferSplitStructureElement::Start(const TRef<IPXNotifyOperation>&,
                                                    bool& AAligned) {
    AAligned = true;
    return KSVAudioSectionNominalBits;
}

bool TSVAudioBufferSplitStructureElement::Process(IBufferAccumulator& AAccumulator,
                                                  bool& AUnaligned) {
    if (AUnaligned) {
        if (!AAccumulator.Skip(1))
            return false;
        AUnaligned = false;
    }
    TSVAudioSection section;
    if (!PeekSectionHead(AAccumulator, 0, section))
        return false;
    if (!FStarted) {
        FStarted = true;
        NotifyOutputsOnMainThread(
            {TPXStartWaveOperation::CreateFormat(static_cast<int32_t>(section.Rate), section.Bits,
                                                 section.Channels, false),
             TPXStartPumpOperation::Create(this)});
    }
    if (section.HeadBytes + section.DataBytes > AAccumulator.GetSize())
        return false;
    const TRef<ISVAudioBuffer> buffer =
        TSVAudioBuffer::CreateSize(static_cast<int32_t>(section.Rate), section.Bits,
                                   section.Channels, static_cast<int32_t>(section.Frames));
    AAccumulator.Skip(section.HeadBytes);
    if (section.DataBytes > 0 && !AAccumulator.Read(buffer->Write(), section.DataBytes))
        return false;
    SendToOutput(buffer);
    return true;
}

bool TSVAudioBufferSplitStructureElement::ExpandBuffers(IBufferAccumulator& AAccumulator,
                                                        IBufferAccumulator*, int32_t,
                                                        int64_t& AExtraBits, int64_t& ABitPosition,
                                                        bool& AComplete, bool&) {
    ABitPosition = (ABitPosition + 7) / 8 * 8;
    TSVAudioSection section;
    if (!AAccumulator.Peek(static_cast<uint64_t>(ABitPosition) / 8, &section.Channels, 1))
        return false;
    ABitPosition += 8;
    if (!AAccumulator.Peek(static_cast<uint64_t>(ABitPosition) / 8, &section.Bits, 1))
        return false;
    ABitPosition += 8;
    uint32_t length = 0;
    if (!ExtractPacketSize(AAccumulator, static_cast<uint64_t>(ABitPosition), section.Rate, length))
        return false;
    ABitPosition += length * 8;
    AExtraBits += (length - 1) * 8;
    if (!ExtractPacketSize(AAccumulator, static_cast<uint64_t>(ABitPosition), section.Frames,
                           length))
        return false;
    ABitPosition += length * 8;
    AExtraBits += (length - 1) * 8;
    CheckSectionFormat(section);
    const auto dataBits = static_cast<int64_t>(section.DataBytes * 8);
    AExtraBits += dataBits;
    if (static_cast<uint64_t>(ABitPosition) / 8 + section.DataBytes > AAccumulator.GetSize())
        AComplete = false;
    else
        ABitPosition += dataBits;
    return false;
}

bool TSVAudioBufferSplitStructureElement::CanProcess(IBufferAccumulator& AAccumulator,
                                                     uint64_t& AOffset, bool& AUnaligned) {
    uint64_t offset = AOffset;
    if (AUnaligned) {
        if (offset + 1 >= AAccumulator.GetSize())
            return false;
        ++offset;
    }
    TSVAudioSection section;
    if (!PeekSectionHead(AAccumulator, offset, section))
        return false;
    const uint64_t end = offset + section.HeadBytes + section.DataBytes;
    if (end > AAccumulator.GetSize())
        return false;
    AOffset = end;
    AUnaligned = false;
    return true;
}

void TSVAudioBufferSplitStructureElement::SendToOutput(const TRef<ISVAudioBuffer>& AValue) {
    if (FOnValueReceived)
        FOnValueReceived(this, AValue);
    SubmitToOutput(AValue);
}

// --- Unit ----------------------------------------------------------------------------------------

void InitializeSVStructureElements() {
    GSVStructureElementsCounter.Initialize(
        [] { TClassManagement::RegisterCollectionItemClasses(StructureElementClasses()); });
}

void FinalizeSVStructureElements() {
    GSVStructureElementsCounter.Finalize(
        [] { TClassManagement::UnregisterCollectionItemClasses(StructureElementClasses()); });
}

} // namespace sonvera

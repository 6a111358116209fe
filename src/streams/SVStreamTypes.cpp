#include "sonvera/streams/SVStreamTypes.h"

#include <cstring>

#include "sonvera/platform/runtime/UnitInit.h"

namespace sonvera {

namespace {

constexpr double KDefaultRate = 11024.0;

// (1 << AChannels) - 1 where a 32-bit shift can express it.
uint32_t MaskOfChannelCount(int64_t AChannels) {
    if (AChannels <= 0 || AChannels >= 32)
        return 0;
    return (uint32_t{1} << AChannels) - 1;
}

// The fields every extensible PCM record gets, after its basic part is in place.
void MakeExtensiblePCM(TSVWaveFormatExtensible& ARecord, uint32_t AChannelMask) {
    ARecord.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    ARecord.Format.cbSize = SV_EXTENSIBLE_EXTRA_SIZE;
    ARecord.Samples.wValidBitsPerSample = ARecord.Format.wBitsPerSample;
    ARecord.dwChannelMask = AChannelMask;
    ARecord.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
}

TSVWaveFormatExtensible FormatRecord(int32_t ARate, int32_t ABitsPerSample, int32_t AChannels,
                                     uint32_t AChannelMask) {
    TSVWaveFormatExtensible record{};
    record.Format.nChannels = static_cast<uint16_t>(AChannels);
    record.Format.nSamplesPerSec = static_cast<uint32_t>(ARate);
    record.Format.wBitsPerSample = static_cast<uint16_t>(ABitsPerSample);
    // The record's own 16-bit arithmetic.
    record.Format.nBlockAlign =
        static_cast<uint16_t>(static_cast<uint16_t>(ABitsPerSample >> 3) * record.Format.nChannels);
    record.Format.nAvgBytesPerSec =
        uint32_t{record.Format.nBlockAlign} * record.Format.nSamplesPerSec;
    MakeExtensiblePCM(record, AChannelMask);
    return record;
}

const TSVWaveFormatExtensible& DefaultRecord() {
    static const TSVWaveFormatExtensible record = FormatRecord(11024, 16, 2, 3);
    return record;
}

const std::vector<TPXFormatConverterClass>& AudioConverters() {
    static const std::vector<TPXFormatConverterClass> classes = {
        TPXFormatConverterClass::Of<TPXAudioToIntFormatConverter>(
            "TPXAudioToIntFormatConverter", IID_IPXSVAudioStream, IID_IPXQXIntegerStream),
        TPXFormatConverterClass::Of<TPXAudioToRealFormatConverter>(
            "TPXAudioToRealFormatConverter", IID_IPXSVAudioStream, IID_IPXQXRealStream),
        TPXFormatConverterClass::Of<TPXAudioToBinaryFormatConverter>(
            "TPXAudioToBinaryFormatConverter", IID_IPXSVAudioStream, IID_IPXQXBinaryStream)};
    return classes;
}

constinit TUnitInitCounter GSVStreamTypesCounter;

} // namespace

// --- Start-wave operation ----------------------------------------------------------------------

TPXStartWaveOperation::TPXStartWaveOperation(double ARate,
                                             const TSVWaveFormatExtensible& AWaveFormat,
                                             bool APaused)
    : TPXStartSampleRateOperation(ARate), FWaveFormat(AWaveFormat), FPaused(APaused) {
    SetOperationClass(KOperationClass);
}

TRef<TPXStartWaveOperation> TPXStartWaveOperation::CreateFormatObject(int32_t ARate,
                                                                      int32_t ABitsPerSample,
                                                                      int32_t AChannels,
                                                                      bool APaused) {
    return MakeRef<TPXStartWaveOperation>(
        ARate, FormatRecord(ARate, ABitsPerSample, AChannels, MaskOfChannelCount(AChannels)),
        APaused);
}

TRef<TPXStartWaveOperation> TPXStartWaveOperation::CreateFormatExObject(int32_t ARate,
                                                                        int32_t ABitsPerSample,
                                                                        int32_t AChannels,
                                                                        TSVSpeakers ASpeakerMask,
                                                                        bool APaused) {
    return MakeRef<TPXStartWaveOperation>(
        ARate, FormatRecord(ARate, ABitsPerSample, AChannels, ASpeakerMask.Mask()), APaused);
}

TRef<TPXStartWaveOperation>
TPXStartWaveOperation::CreateObject(const TSVWaveFormatExtensible* AWaveFormat, bool APaused) {
    return AWaveFormat ? CreateObject(*AWaveFormat, APaused)
                       : MakeRef<TPXStartWaveOperation>(KDefaultRate, DefaultRecord(), APaused);
}

TRef<TPXStartWaveOperation>
TPXStartWaveOperation::CreateObject(const TSVWaveFormatExtensible& AWaveFormat, bool APaused) {
    // Read out of the packed record first: a forwarded reference to one of its fields may be
    // misaligned.
    const double rate = AWaveFormat.Format.nSamplesPerSec;
    return MakeRef<TPXStartWaveOperation>(rate, AWaveFormat, APaused);
}

TRef<TPXStartWaveOperation>
TPXStartWaveOperation::CreateWaveObject(float ABufferRate, const tWAVEFORMATEX* AWaveFormat,
                                        bool APaused) {
    TSVWaveFormatExtensible record = DefaultRecord();
    if (AWaveFormat) {
        record = {};
        std::memcpy(&record.Format, AWaveFormat, sizeof(tWAVEFORMATEX));
        MakeExtensiblePCM(record, MaskOfChannelCount(record.Format.nChannels));
    }
    return MakeRef<TPXStartWaveOperation>(ABufferRate, record, APaused);
}

// --- Pins ------------------------------------------------------------------------------------

const TPXPinAttributes& TSVPXAudioSourcePin::ClassAttributes() {
    static const TPXPinAttributes attributes{{"Audio"}, {{IID_IPXSVAudioStream}}};
    return attributes;
}

TSVPXAudioSourcePin::TSVPXAudioSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                                         TRef<IChangeNotifyLock> AOwnerLock,
                                         uint32_t AMaxConnections, TPXDispatchHandler AHandler)
    : TQXPXClockableSourcePin(AOwner, AOnCreated, std::move(AOwnerLock), AMaxConnections,
                              std::move(AHandler)) {
    PopulateTypes(ClassAttributes(), true);
}

bool TSVPXAudioSourcePin::Notify(const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    const bool result = TQXPXClockableSourcePin::Notify(AOperation, AState);
    if (OperationAs<TPXQXResumeOperation>(AOperation)) {
        TChangeNotifyLockGuard guard(GetOwnerLock());
        FResumeOperation = AOperation;
    } else if (OperationAs<TPXStopOperation>(AOperation)) {
        TChangeNotifyLockGuard guard(GetOwnerLock());
        FResumeOperation = nullptr;
    }
    return result;
}

TRef<IPXNotifyOperation> TSVPXAudioSourcePin::GetResumeOperation() const {
    TChangeNotifyLockGuard guard(GetOwnerLock());
    return FResumeOperation;
}

bool TSVPXAudioSourcePin::IntConnect(TPXPin* APin, TPXPin* AAfter, const TGUID& AStreamId,
                                     bool ANotify) {
    if (!TQXPXClockableSourcePin::IntConnect(APin, AAfter, AStreamId, ANotify))
        return false;
    if (ANotify)
        if (const TRef<IPXNotifyOperation> resume = GetResumeOperation())
            NotifyPin(APin, resume);
    return true;
}

const TPXPinAttributes& TSVPXAudioSinkPin::ClassAttributes() {
    return TSVPXAudioSourcePin::ClassAttributes();
}

TSVPXAudioSinkPin::TSVPXAudioSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                                     TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                                     TPXDispatchHandler AHandler)
    : TQXPXSinkPin(AOwner, AOnCreated, std::move(AOwnerLock), AMaxConnections,
                   std::move(AHandler)) {
    PopulateTypes(ClassAttributes(), true);
}

// --- Converters ------------------------------------------------------------------------------

template <class TSourcePin> void TPXAudioFormatConverter::BuildPins() {
    auto sink = std::make_unique<TSVPXAudioSinkPin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TPXAudioFormatConverter::InputOperation));
    auto source = std::make_unique<TSourcePin>(
        this, nullptr, GetLock(),
        PXDispatchTo(this, &TPXAudioFormatConverter::SourceOperationEvent));
    SetPins(std::move(sink), std::move(source));
}

bool TPXAudioFormatConverter::InputOperation(TPXPin*, TPXPin*, const TGUID&,
                                             const TRef<IPXNotifyOperation>& AOperation,
                                             uint32_t AState) {
    if (const auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation))
        return GetSourcePin()->Notify(
            TPXSuppliedBufferOperation::Create(ConvertPayload(supplied->GetData())), AState);
    return GetSourcePin()->Notify(AOperation, AState);
}

TPXAudioToIntFormatConverter::TPXAudioToIntFormatConverter() {
    BuildPins<TQXPXIntegerSourcePin>();
}

TRef<IQXData> TPXAudioToIntFormatConverter::ConvertPayload(const TRef<IQXData>& AData) const {
    return IntfCast<ISVAudioBuffer>(AData)->GetChannel(0);
}

TPXAudioToRealFormatConverter::TPXAudioToRealFormatConverter() {
    BuildPins<TQXPXRealSourcePin>();
}

TRef<IQXData> TPXAudioToRealFormatConverter::ConvertPayload(const TRef<IQXData>& AData) const {
    return IntfCast<ISVAudioBuffer>(AData)->GetChannelAsReal(0);
}

TPXAudioToBinaryFormatConverter::TPXAudioToBinaryFormatConverter() {
    BuildPins<TQXPXBinarySourcePin>();
}

TRef<IQXData> TPXAudioToBinaryFormatConverter::ConvertPayload(const TRef<IQXData>& AData) const {
    return TQXBlockBuffer::CreateUniversal(AData);
}

// --- Start-up --------------------------------------------------------------------------------

void InitializeSVStreamTypes() {
    GSVStreamTypesCounter.Initialize([] {
        PXRegisterStream(IID_IPXSVAudioStream, {"SV Audio Buffer"});
        PXRegisterDefaultHandler(IID_IPXSVAudioStream, DefaultQXChannelNotificationHandler);
        PXRegisterTypeConverters(AudioConverters());
    });
}

void FinalizeSVStreamTypes() {
    GSVStreamTypesCounter.Finalize([] {
        PXUnregisterTypeConverters(AudioConverters());
        PXRegisterDefaultHandler(IID_IPXSVAudioStream, nullptr);
        PXUnregisterStream(IID_IPXSVAudioStream);
    });
}

} // namespace sonvera

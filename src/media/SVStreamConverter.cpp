#include "media/SVStreamConverter.h"

namespace sonvera {

TSVStreamConverter::TSVStreamConverter(TPersistent* AOwner, TRef<IChangeNotifyLock> AOwnerLock,
                                       const TSVWaveFormatExtensible& ATarget, TDeliver ADeliver)
    : FDeliver(std::move(ADeliver)), FFormat(nullptr), FResample(nullptr),
      FOutput(AOwner, nullptr, AOwnerLock,
              [](TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>&, uint32_t) {
                  return false; // what comes back upstream (pump, stop) is the owner's business
              }),
      FInput(AOwner, nullptr, AOwnerLock,
             [this](TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
                    uint32_t) {
                 if (auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation))
                     FDeliver(IntfCast<ISVAudioBuffer>(supplied->GetData()));
                 return false;
             }) {
    FFormat.SetBits(ATarget.Samples.wValidBitsPerSample);
    FFormat.SetFloat(SVIsFloatFormat(ATarget)); // 32 bits alone would mean integers
    FFormat.SetChannelMask(TSVSpeakers::FromMask(ATarget.dwChannelMask));
    FResample.SetSampleRate(ATarget.Format.nSamplesPerSec);
    // The resampler runs after the format filter, on the output's width and speakers.
    if (!FOutput.Connect(FFormat.GetInputPin()) ||
        !FFormat.GetOutputPin()->Connect(FResample.GetInputPin()) ||
        !FResample.GetOutputPin()->Connect(&FInput))
        throw EAssertionFailed("Assertion failure (SVStreamConverter)");
}

TSVStreamConverter::~TSVStreamConverter() {
    FOutput.DisconnectAll();
    FInput.DisconnectAll();
}

void TSVStreamConverter::Start(const TSVWaveFormatExtensible& AInput) {
    Finish();
    FOutput.Notify(TPXStartWaveOperation::Create(AInput, false));
    FRunning = true;
}

void TSVStreamConverter::Write(const TRef<ISVAudioBuffer>& ABuffer) {
    FOutput.SubmitBuffer(ABuffer);
}

void TSVStreamConverter::Finish() {
    if (FRunning)
        FOutput.Notify(TPXStopOperation::Create());
    FRunning = false;
}

} // namespace sonvera

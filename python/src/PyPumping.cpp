#include "PyPumping.h"

#include <pybind11/pybind11.h>

#include <algorithm>

#include "sonvera/platform/runtime/MainThread.h"

namespace py = pybind11;

namespace sonvera::python {

TPySink::TPySink(TOnBuffer AOnBuffer)
    : TSVBasicAudioOut(nullptr), FOnBuffer(std::move(AOnBuffer)) {}

bool TPySink::SinkDispatch(TPXPin*, TPXPin*, const TGUID&,
                           const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
    if (auto* start = OperationAs<TPXStartWaveOperation>(AOperation)) {
        FFormat = start->GetWaveFormat();
        SetAudioFormat(&FFormat);
        if (GetMasterPumping()->GetEnabled())
            GetInputPin()->Notify(TPXMasterPumpOperation::Create());
    } else if (auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
        FOnBuffer(IntfCast<ISVAudioBuffer>(supplied->GetData()));
    }
    return false;
}

TPyArraySource::TPyArraySource(const void* ASamples, TSampleType AType, size_t AFrames,
                               size_t AChannels)
    : TSVCommonGen(nullptr), FSamples(static_cast<const uint8_t*>(ASamples)), FType(AType),
      FFrames(AFrames), FChannels(AChannels) {
    GetAudioFormat()->SetBufferSize(KBufferFrames);
}

TPyArraySource::~TPyArraySource() {
    Stop();
}

void TPyArraySource::IntStartStream() {
    if (!FFloat)
        return TSVCommonGen::IntStartStream();
    SetRate(GetSampleRate());
    NotifyOutputPins(TPXStartWaveOperation::Create(FloatBuffer(0)->GetWaveFormat(), false));
}

TRef<ISVAudioBuffer> TPyArraySource::FloatBuffer(uint32_t AFrames) {
    const TSVWaveFormatExtensible& format = *GetAudioFormat()->GetWaveFormat();
    return TSVAudioBuffer::CreateFloatSizeEx(static_cast<int32_t>(format.Format.nSamplesPerSec),
                                             format.Format.nChannels, static_cast<int32_t>(AFrames),
                                             TSVSpeakers::FromMask(format.dwChannelMask));
}

void TPyArraySource::GenerateBuffer(TRef<ISVAudioBuffer>& ABuffer, bool& ASend, bool& AStop) {
    const size_t frames = std::min<size_t>(ABuffer->GetSize(), FFrames - FNext);
    if (FFloat)
        ABuffer = FloatBuffer(static_cast<uint32_t>(frames));
    else
        ABuffer->Resize(static_cast<uint32_t>(frames), false);
    StoreSamples(FSamples + FNext * FChannels * SampleTypeSize(FType), FType,
                 static_cast<uint8_t*>(ABuffer->Write()), {ABuffer->GetSampleBitWidth(), FFloat},
                 frames * FChannels);
    FNext += frames;
    ASend = frames > 0 || FFrames == 0;
    AStop = FNext == FFrames;
}

void StartPumping(TQXBasicCommonGen& AGenerator, TSVBasicAudioOut& AConsumer) {
    const py::gil_scoped_release released;
    AConsumer.GetMasterPumping()->SetEnabled(true);
    AGenerator.Start();
}

void Pump(TQXBasicCommonGen& AGenerator, TSVBasicAudioOut& AConsumer,
          const std::function<bool()>& AMore) {
    const auto wanted = [&] { return AGenerator.GetRunning() && (!AMore || AMore()); };
    const TRef<IPXNotifyOperation> request = TPXPumpRequestOperation::Create();
    for (;;) {
        {
            const py::gil_scoped_release released;
            const auto until = std::chrono::steady_clock::now() + KSignalInterval;
            while (wanted() && std::chrono::steady_clock::now() < until) {
                AConsumer.GetInputPin()->Notify(request);
                TMainThread::ProcessQueue(); // where the stream's end arrives
            }
        }
        if (!wanted())
            return;
        if (PyErr_CheckSignals() != 0) {
            py::error_already_set raised;
            StopPumping(AGenerator);
            throw raised;
        }
    }
}

void StopPumping(TQXBasicCommonGen& AGenerator) {
    const py::gil_scoped_release released;
    AGenerator.Stop();
    TMainThread::ProcessQueue();
}

} // namespace sonvera::python

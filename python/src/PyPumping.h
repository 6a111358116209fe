// Running chains from Python: the chain moves on the calling thread as fast as its consumer
// asks (master pumping), with the GIL released; every KSignalInterval the GIL is taken back
// for Python's signal handlers, so that Ctrl-C stops the stream and raises KeyboardInterrupt.
//
// The generator and the consumer run on the calling thread only: the source is pumped from the
// consumer's pump requests, and its end arrives through the main-thread queue, which the loop
// serves.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "PySamples.h"
#include "sonvera/components/SVBasicAudioOut.h"
#include "sonvera/components/SVCommonGen.h"
#include "sonvera/platform/bases/QXBasicCommonGen.h"

namespace sonvera::python {

inline constexpr std::chrono::milliseconds KSignalInterval{50};

// The end of a chain read from Python: it takes over pumping when its stream starts and hands
// every buffer to AOnBuffer, on the pumping thread.
class TPySink : public TSVBasicAudioOut {
public:
    using TOnBuffer = std::function<void(const TRef<ISVAudioBuffer>&)>;

    explicit TPySink(TOnBuffer AOnBuffer);

    // The format the stream was started in; zero channels before.
    const TSVWaveFormatExtensible& GetStreamFormat() const noexcept { return FFormat; }

    bool SinkDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                      const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) override;

private:
    TOnBuffer FOnBuffer;
    TSVWaveFormatExtensible FFormat{};
};

// The start of a chain written from Python: AFrames frames of AChannels interleaved samples
// at ASamples, of AType, sent as buffers of the generator's format (which the caller sets), or
// as float buffers with SetFloat, converted by StoreSamples. The samples must outlive the
// stream.
class TPyArraySource : public TSVCommonGen {
public:
    static constexpr uint32_t KBufferFrames = 16384;

    TPyArraySource(const void* ASamples, TSampleType AType, size_t AFrames, size_t AChannels);
    ~TPyArraySource() override;

    // Float buffers at the format's rate and channels, whatever its width; before the start.
    void SetFloat(bool AValue) { FFloat = AValue; }

protected:
    void IntStartStream() override;
    void GenerateBuffer(TRef<ISVAudioBuffer>& ABuffer, bool& ASend, bool& AStop) override;

private:
    // A float buffer of AFrames frames at the format's rate and speakers.
    TRef<ISVAudioBuffer> FloatBuffer(uint32_t AFrames);

    const uint8_t* FSamples;
    TSampleType FType;
    size_t FFrames;
    size_t FChannels;
    size_t FNext = 0;
    bool FFloat = false;
};

// Starts AGenerator's stream with AConsumer pacing it. Called with the GIL held, as the others.
void StartPumping(TQXBasicCommonGen& AGenerator, TSVBasicAudioOut& AConsumer);

// Pumps while AGenerator runs and AMore() holds (a null AMore pumps to the end), with the GIL
// released. A signal handler that raises stops the generator, and its exception propagates.
void Pump(TQXBasicCommonGen& AGenerator, TSVBasicAudioOut& AConsumer,
          const std::function<bool()>& AMore = nullptr);

// Stops AGenerator and serves the main-thread queue once, with the GIL released.
void StopPumping(TQXBasicCommonGen& AGenerator);

} // namespace sonvera::python

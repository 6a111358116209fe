// The base of audio generators: an audio output pin and a published audio format; a pump clock
// creates one buffer per tick in the configured format, the subclass fills it (GenerateBuffer)
// and the generator sends it downstream unstamped, so that the first filter stamps it. A stream
// the subclass ends (AStop) ends with an end-stop, so that consumers keep what they received;
// one stopped from outside ends with a plain stop.
//
// Threads and locks: a tick runs on the clock's thread and holds the component lock for the
// whole tick, delivery downstream included; format changes take the same lock, so a tick never
// sees a half-changed format. Every lock taken downstream therefore nests inside this
// generator's component lock (see also the lock order of the pins and the generator base).
// A subclass stops the stream in its own destructor: a tick calls GenerateBuffer.
#pragma once

#include <atomic>
#include <memory>

#include "sonvera/format/SVAudioFormat.h"
#include "sonvera/platform/bases/QXBasicCommonGen.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera {

class TSVCommonGen : public TQXBasicCommonGen {
public:
    explicit TSVCommonGen(TPersistent* AOwner);
    ~TSVCommonGen() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TSVPXAudioSourcePin* GetOutputPin() const noexcept { return FOutputPin.get(); }
    TSVAudioFormat* GetAudioFormat() const noexcept { return FAudioFormat.get(); }
    // Assigns AFormat's published values into the generator's own format.
    void SetAudioFormat(const TSVAudioFormat& AFormat);

    // The pump interval for a rate and a buffer size, in 100 ns units: 9999999 / (rate / size)
    // in extended precision, rounded to nearest with ties to even; 0 when it is undefined.
    static int64_t PumpInterval(double ASampleRate, uint32_t ABufferSize);

protected:
    bool NotifyOutputPins(const TRef<IPXNotifyOperation>& AOperation) override;
    void IntStartStream() override;
    void StartPump() override;
    virtual uint32_t GetBufferSize();
    virtual double GetSampleRate();
    void IntPump() override;
    TRef<IPXNotifyOperation> IntStopStream() override;
    // Told the buffer size before the stream is announced; nothing by default.
    virtual void StartStream(int32_t ASize);
    // Fills ABuffer (BufferSize frames in the configured format, samples uninitialised).
    // Clearing ASend drops the buffer; setting AStop ends the stream after this tick.
    virtual void GenerateBuffer(TRef<ISVAudioBuffer>& ABuffer, bool& ASend, bool& AStop) = 0;
    // Copies ABlock's 16-bit mono samples into every channel of ABuffer, converted to its width.
    void PopulateAudio(const TRef<IQXBlockBuffer>& ABlock, TRef<ISVAudioBuffer>& ABuffer);
    // A scratch block of 2 x BufferSize bytes: one buffer of 16-bit mono samples.
    const TRef<IQXBlockBuffer>& GetIntVarBuffer() const noexcept { return FIntVarBuffer; }

private:
    void DoFormatChange(TPersistent* ASender);

    std::unique_ptr<TSVPXAudioSourcePin> FOutputPin;
    TRef<IQXBlockBuffer> FIntVarBuffer;
    std::unique_ptr<TSVAudioFormat> FAudioFormat;
    std::atomic<bool> FEnded{false}; // the subclass ended the stream
};

} // namespace sonvera

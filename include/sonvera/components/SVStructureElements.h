// The structure elements of audio buffers: one packs the latest buffer of an audio input into
// each record of a make structure, the other reads one buffer out of each record of a split
// structure and sends it on an audio output.
//
// The section of one buffer, in order: it starts on a byte boundary; channel count (1 byte);
// valid bits per sample (1 byte); samples per second and sample count (frames), each in the
// packet-size encoding (QXPacketSize.h); then the ((bits + 7) div 8) x frames x channels bytes
// of the buffer's interleaved samples as they are stored. Its nominal size is 32 bits (both
// numbers one byte long, no samples). The channel mask does not travel: a buffer read back has
// the mask of its channel count, (1 shl channels) - 1.
#pragma once

#include <memory>

#include "sonvera/platform/bases/QXStructureElements.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera {

// The nominal size of a section.
inline constexpr uint64_t KSVAudioSectionNominalBits = 32;

class TSVAudioBufferMakeStructureElement
    : public TQXBasicBufferDataMakeStructureElement<ISVAudioBuffer> {
public:
    TSVAudioBufferMakeStructureElement(const TPersistentNotify& AOnChange, TPersistent* AOwner,
                                       const TRef<IChangeNotifyLock>& ALock);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TSVPXAudioSinkPin* GetInputPin() const noexcept { return FInputPin.get(); }

    uint64_t GetSize(bool& AAligned) const override;
    void GetData(uint8_t*& ACursor, uint32_t& ABitOffset) const override;

protected:
    // Refuses with EArgumentError a buffer that no section describes or that the reading side
    // would refuse: more than 255 channels, more than 32 bits, a negative rate, or bytes that
    // are not whole frames of the channels' whole samples.
    void CheckValue(const TRef<ISVAudioBuffer>& AValue) const override;

private:
    std::unique_ptr<TSVPXAudioSinkPin> FInputPin;
};

// Sections come from outside (a file, a network), so each is checked before anything is taken
// from it: a format that no audio buffer can have (more than 32 bits, a rate or frame count
// beyond 32 bits, samples beyond the largest store) is refused with EReadError before anything
// is consumed or allocated, and a section not yet whole is waited for.
class TSVAudioBufferSplitStructureElement
    : public TQXBasicBufferSplitStructureElement<ISVAudioBuffer, TSVPXAudioSourcePin> {
public:
    using TQXBasicBufferSplitStructureElement::TQXBasicBufferSplitStructureElement;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Called on the processing thread with every buffer read, before it is sent on. Set it
    // while the structure's stream is stopped (EAssertionFailed otherwise).
    const TSVAudioBufferNotify& GetOnValueReceived() const noexcept { return FOnValueReceived; }
    void SetOnValueReceived(TSVAudioBufferNotify AHandler);

    // KSVAudioSectionNominalBits; the section is aligned.
    uint64_t Start(const TRef<IPXNotifyOperation>& AOperation, bool& AAligned) override;
    // The first section this element reads announces the stream on the main thread, while the
    // processing thread waits: a start-wave operation of the section's format, then a
    // start-pump operation from the element. Later sections announce nothing, whatever their
    // format: each buffer carries its own.
    bool Process(IBufferAccumulator& AAccumulator, bool& AUnaligned) override;
    // Always false.
    bool ExpandBuffers(IBufferAccumulator& AAccumulator, IBufferAccumulator* ASecond,
                       int32_t AIndex, int64_t& AExtraBits, int64_t& ABitPosition, bool& AComplete,
                       bool& AFlag) override;
    bool CanProcess(IBufferAccumulator& AAccumulator, uint64_t& AOffset, bool& AUnaligned) override;
    // OnValueReceived, then the output pin.
    void SendToOutput(const TRef<ISVAudioBuffer>& AValue) override;

private:
    TSVAudioBufferNotify FOnValueReceived;
    bool FStarted = false; // the processing thread's
};

// Registers both elements as collection item classes, so that structures create them by name.
void InitializeSVStructureElements();
void FinalizeSVStructureElements();

} // namespace sonvera

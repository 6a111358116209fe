// Files in one line: sonvera.read, sonvera.write and sonvera.open (a streaming reader for files
// larger than memory), through the library's file source and file writer. A sample rate asked
// for puts the resample filter in the chain; an integer type of another width than the file's
// puts the format filter there; float32 is converted at the edge (PySamples.h).
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <deque>
#include <memory>
#include <string>

#include "PyPumping.h"
#include "PySamples.h"
#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVResampleFilter.h"

namespace sonvera::python {

// An open file, read block by block: the chain runs only while a read waits for frames.
class TPyReader {
public:
    // ARate 0 keeps the file's rate. Raises the source's error when the file does not open.
    TPyReader(const std::string& APath, int32_t ARate, TSampleType AType);
    ~TPyReader();
    TPyReader(const TPyReader&) = delete;
    TPyReader& operator=(const TPyReader&) = delete;

    int32_t Rate() const;
    int32_t Channels() const;
    // The file's own sample width and codec.
    int32_t Bits() const;
    std::string Codec() const { return FSource.GetCodecName(); }
    // The length the container tells, in frames at Rate(); -1 when it tells none.
    int64_t Frames() const;
    TSampleType Type() const noexcept { return FType; }

    // Up to AFrames frames, every frame left for a negative count; no frames at the end. A
    // file that fails midway raises the source's error.
    pybind11::array Read(int64_t AFrames);
    // Stops the chain; reads raise afterwards.
    void Close();
    bool Closed() const noexcept { return FClosed; }

private:
    void Start();
    void Connect();
    // A buffer from the chain: into the whole-file array while it has room, else queued.
    void Receive(const TRef<ISVAudioBuffer>& ABuffer);
    pybind11::array ReadAll();
    void CheckError() const;
    // Moves AFrames queued frames into ATarget as FType values.
    void Take(uint8_t* ATarget, size_t AFrames);

    TSVLAVFileSource FSource{nullptr};
    TSVResampleFilter FResample{nullptr};
    TSVFormatFilter FWidth{nullptr};
    TPySink FSink;
    TSampleType FType;
    int32_t FRate = 0;
    bool FStarted = false;
    bool FClosed = false;
    std::deque<TRef<ISVAudioBuffer>> FQueue;
    size_t FQueuedFrames = 0;
    size_t FFrontTaken = 0;     // frames of FQueue.front() already taken
    uint8_t* FDirect = nullptr; // a whole-file read's array, FDirectCapacity frames long
    size_t FDirectCapacity = 0;
    size_t FDirectFrames = 0;
};

void BindFiles(pybind11::module_& AModule);

} // namespace sonvera::python

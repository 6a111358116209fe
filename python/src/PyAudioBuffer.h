// sonvera.AudioBuffer: an audio buffer whose samples NumPy sees through the buffer protocol,
// without a copy, as an array of frames x channels of the samples' type (uint8, int16, int32,
// float32).
//
// Every array taken through the protocol may write into the buffer, so taking one makes a
// shared store private first, as Modify does in C++; while such arrays live, the buffer's
// copies are real copies instead of shares of its store, so that what the arrays write never
// shows through another buffer. read() gives a read-only array that never copies: it keeps a
// share of the store, and a later write through this buffer makes the buffer private first,
// leaving that array as it was. Packed 24-bit samples have no NumPy type: to_array converts.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>

#include "PySamples.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"

namespace sonvera::python {

class TPyAudioBuffer {
public:
    explicit TPyAudioBuffer(TRef<TSVAudioBuffer> ABuffer);
    // Frames of silence, of ABits-bit samples or floats.
    TPyAudioBuffer(int32_t AFrames, int32_t AChannels, int32_t ABits, int32_t ARate, bool AFloat);
    // A buffer holding a copy of AArray's samples, frames x channels (a one-dimensional array
    // is mono): of ABits-bit samples, or with ABits 0 of the array's own kind (float32 arrays
    // make float buffers).
    static TPyAudioBuffer FromArray(const pybind11::array& AArray, int32_t ARate, int32_t ABits);

    const TRef<TSVAudioBuffer>& Buffer() const noexcept { return FBuffer; }
    // A buffer of the same samples for another owner: a share of the store, or a copy while
    // arrays may write into this buffer's store.
    TRef<TSVAudioBuffer> Share() const;
    // The samples as a new array of AType.
    pybind11::array ToArray(TSampleType AType) const;
    // A read-only array over a share of the store.
    pybind11::array ReadOnlyArray() const;
    // Where the samples are now, as Read gives it.
    uintptr_t Address() const;

    // The buffer protocol, counted so that Share knows when arrays may write.
    static int GetBuffer(PyObject* AExporter, Py_buffer* AView, int AFlags);
    static void ReleaseBuffer(PyObject* AExporter, Py_buffer* AView);

private:
    TRef<TSVAudioBuffer> FBuffer;
    int32_t FWritableExports = 0;
};

TSampleKind SampleKindOf(const TSVAudioBuffer& ABuffer);
// The buffer-protocol format of a kind of samples ('B', 'h', 'i', 'f'); BufferError for packed
// 24-bit samples.
const char* BufferFormatOf(TSampleKind AKind);

void BindAudioBuffer(pybind11::module_& AModule);

} // namespace sonvera::python

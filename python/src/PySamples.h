// How samples cross between buffers and NumPy: the array types the module speaks, the array
// type that holds each kind of sample as it is (uint8, int16 and int32 for those widths,
// float32 for float buffers), and the conversions the edge of the module makes: between float32
// and the integer widths through the library's bit-transparent float kernels (x / 2^(N-1) one
// way, rounded half to even and saturated the other), and between int32 values and packed
// 24-bit samples, refusing values outside 24 bits. Inside a chain, the format filter converts.
#pragma once

#include <pybind11/numpy.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace sonvera::python {

enum TSampleType : uint8_t { stUInt8, stInt16, stInt32, stFloat32 };

// The type of an array or a dtype argument; ValueError for the types the module does not take.
TSampleType SampleTypeOf(const pybind11::dtype& AType);
pybind11::dtype DtypeOf(TSampleType AType);
size_t SampleTypeSize(TSampleType AType);
std::string SampleTypeName(TSampleType AType);

// The integer width whose samples an array of AType holds without a conversion (8, 16 or 32);
// 0 for float32.
int32_t NativeBits(TSampleType AType);

// A buffer's samples: ABits container bits, or 32-bit floats when AFloat.
struct TSampleKind {
    int32_t Bits = 16;
    bool Float = false;
};

// ACount samples of AKind at ASource, as AType values at ATarget: copied when AType holds them
// as they are, else converted as above; other pairs raise ValueError.
void LoadSamples(const uint8_t* ASource, TSampleKind AKind, void* ATarget, TSampleType AType,
                 size_t ACount);
// The reverse: ACount AType values at ASource as samples of AKind at ATarget.
void StoreSamples(const void* ASource, TSampleType AType, uint8_t* ATarget, TSampleKind AKind,
                  size_t ACount);

// Raises ValueError naming the first of ACount values that 24 bits cannot hold.
void CheckFits24Bits(const int32_t* AValues, size_t ACount);

} // namespace sonvera::python

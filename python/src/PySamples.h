// How samples cross between buffers and NumPy: the array types the module speaks, the array
// type that holds each sample width as it is, and the two conversions that only the edge of the
// module makes (every other change of width is the format filter's, inside a chain):
// - integers of N bits to float32 as x / 2^(N-1), 8-bit bytes counted from 128 as files carry
//   them, and float32 to N-bit integers as x * 2^(N-1) rounded half to even and saturated (NaN
//   gives silence), so that integer -> float32 -> integer gives every sample back;
// - int32 values to packed 24-bit samples and back, refusing values outside 24 bits.
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

// ACount samples of ABits container bits at ASource, as AType values at ATarget. A type that
// needs neither conversion copies: its width must be ABits.
void LoadSamples(const uint8_t* ASource, int32_t ABits, void* ATarget, TSampleType AType,
                 size_t ACount);
// The reverse: ACount AType values at ASource as samples of ABits bits at ATarget. Raises
// ValueError for an int32 value that 24 bits cannot hold.
void StoreSamples(const void* ASource, TSampleType AType, uint8_t* ATarget, int32_t ABits,
                  size_t ACount);

// Raises ValueError naming the first of ACount values that 24 bits cannot hold.
void CheckFits24Bits(const int32_t* AValues, size_t ACount);

} // namespace sonvera::python

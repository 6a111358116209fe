#include "PySamples.h"

#include <cstring>

#include "sonvera/primitives/SVFloatKernels.h"
#include "sonvera/primitives/SVSampleTraits.h"

namespace py = pybind11;

namespace sonvera::python {

namespace {

constexpr int32_t K24BitMax = (1 << 23) - 1;
constexpr int32_t K24BitMin = -(1 << 23);

void UnpackInt24(const uint8_t* ASource, int32_t* ATarget, size_t ACount) {
    for (size_t i = 0; i < ACount; ++i)
        ATarget[i] = TSVSampleTraits<24>::Load(ASource + 3 * i);
}

void PackInt24(const int32_t* ASource, uint8_t* ATarget, size_t ACount) {
    CheckFits24Bits(ASource, ACount);
    for (size_t i = 0; i < ACount; ++i)
        TSVSampleTraits<24>::Store(ATarget + 3 * i, ASource[i]);
}

[[noreturn]] void RefuseConversion(TSampleType AType, int32_t ABits) {
    throw py::value_error(SampleTypeName(AType) + " samples do not hold " + std::to_string(ABits) +
                          "-bit samples as they are");
}

} // namespace

void CheckFits24Bits(const int32_t* AValues, size_t ACount) {
    for (size_t i = 0; i < ACount; ++i)
        if (AValues[i] < K24BitMin || AValues[i] > K24BitMax)
            throw py::value_error("sample " + std::to_string(AValues[i]) + " at " +
                                  std::to_string(i) + " does not fit 24 bits");
}

TSampleType SampleTypeOf(const py::dtype& AType) {
    if (AType.equal(py::dtype::of<float>()))
        return stFloat32;
    if (AType.equal(py::dtype::of<int16_t>()))
        return stInt16;
    if (AType.equal(py::dtype::of<int32_t>()))
        return stInt32;
    if (AType.equal(py::dtype::of<uint8_t>()))
        return stUInt8;
    throw py::value_error("samples of dtype " +
                          std::string(py::str(static_cast<const py::handle&>(AType))) +
                          " are not taken: use float32, int16, int32 or uint8");
}

py::dtype DtypeOf(TSampleType AType) {
    switch (AType) {
    case stUInt8:
        return py::dtype::of<uint8_t>();
    case stInt16:
        return py::dtype::of<int16_t>();
    case stInt32:
        return py::dtype::of<int32_t>();
    case stFloat32:
        break;
    }
    return py::dtype::of<float>();
}

size_t SampleTypeSize(TSampleType AType) {
    return AType == stUInt8 ? 1 : AType == stInt16 ? 2 : 4;
}

std::string SampleTypeName(TSampleType AType) {
    return std::string(py::str(static_cast<const py::handle&>(DtypeOf(AType))));
}

int32_t NativeBits(TSampleType AType) {
    return AType == stFloat32 ? 0 : static_cast<int32_t>(8 * SampleTypeSize(AType));
}

void LoadSamples(const uint8_t* ASource, TSampleKind AKind, void* ATarget, TSampleType AType,
                 size_t ACount) {
    const size_t size = SampleTypeSize(AType);
    if (AKind.Float && AType != stFloat32)
        return SVFloatToInteger(reinterpret_cast<const float*>(ASource), sizeof(float),
                                static_cast<uint8_t*>(ATarget), NativeBits(AType), size, ACount);
    if (!AKind.Float && AType == stFloat32)
        return SVIntegerToFloat(ASource, AKind.Bits, static_cast<size_t>(AKind.Bits / 8),
                                static_cast<float*>(ATarget), sizeof(float), ACount);
    if (!AKind.Float && AType == stInt32 && AKind.Bits == 24)
        return UnpackInt24(ASource, static_cast<int32_t*>(ATarget), ACount);
    if (!AKind.Float && NativeBits(AType) != AKind.Bits)
        RefuseConversion(AType, AKind.Bits);
    std::memcpy(ATarget, ASource, ACount * size);
}

void StoreSamples(const void* ASource, TSampleType AType, uint8_t* ATarget, TSampleKind AKind,
                  size_t ACount) {
    const size_t size = SampleTypeSize(AType);
    const auto* source = static_cast<const uint8_t*>(ASource);
    if (AKind.Float && AType != stFloat32)
        return SVIntegerToFloat(source, NativeBits(AType), size, reinterpret_cast<float*>(ATarget),
                                sizeof(float), ACount);
    if (!AKind.Float && AType == stFloat32)
        return SVFloatToInteger(static_cast<const float*>(ASource), sizeof(float), ATarget,
                                AKind.Bits, static_cast<size_t>(AKind.Bits / 8), ACount);
    if (!AKind.Float && AType == stInt32 && AKind.Bits == 24)
        return PackInt24(static_cast<const int32_t*>(ASource), ATarget, ACount);
    if (!AKind.Float && NativeBits(AType) != AKind.Bits)
        RefuseConversion(AType, AKind.Bits);
    std::memcpy(ATarget, ASource, ACount * size);
}

} // namespace sonvera::python

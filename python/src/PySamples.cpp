#include "PySamples.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sonvera/primitives/SVSampleTraits.h"

namespace py = pybind11;

namespace sonvera::python {

namespace {

constexpr int32_t K24BitMax = (1 << 23) - 1;
constexpr int32_t K24BitMin = -(1 << 23);

template <int32_t ABits>
void IntegersToFloats(const uint8_t* ASource, float* ATarget, size_t ACount) {
    constexpr float scale = static_cast<float>(1.0 / TSVSampleTraits<ABits>::KFullScale);
    constexpr size_t step = ABits / 8;
    for (size_t i = 0; i < ACount; ++i) {
        const uint8_t* at = ASource + i * step;
        if constexpr (ABits == 8)
            ATarget[i] = (static_cast<float>(*at) - 128.0f) * scale;
        else
            ATarget[i] = static_cast<float>(TSVSampleTraits<ABits>::Load(at)) * scale;
    }
}

template <int32_t ABits>
void FloatsToIntegers(const float* ASource, uint8_t* ATarget, size_t ACount) {
    constexpr double full = TSVSampleTraits<ABits>::KFullScale;
    constexpr size_t step = ABits / 8;
    for (size_t i = 0; i < ACount; ++i) {
        // Bounded first, then rounded in the current mode (to nearest, ties to even): the same
        // as rounding and then saturating, and lrint stays one instruction.
        const double scaled = static_cast<double>(ASource[i]) * full;
        const double bounded = std::isnan(scaled) ? 0.0 : std::clamp(scaled, -full, full - 1);
        const auto value = static_cast<int32_t>(std::lrint(bounded));
        uint8_t* at = ATarget + i * step;
        if constexpr (ABits == 8)
            *at = static_cast<uint8_t>(value + 128);
        else
            TSVSampleTraits<ABits>::Store(
                at, static_cast<typename TSVSampleTraits<ABits>::TValue>(value));
    }
}

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

void LoadSamples(const uint8_t* ASource, int32_t ABits, void* ATarget, TSampleType AType,
                 size_t ACount) {
    if (AType == stFloat32) {
        auto* target = static_cast<float*>(ATarget);
        switch (ABits) {
        case 8:
            return IntegersToFloats<8>(ASource, target, ACount);
        case 16:
            return IntegersToFloats<16>(ASource, target, ACount);
        case 24:
            return IntegersToFloats<24>(ASource, target, ACount);
        case 32:
            return IntegersToFloats<32>(ASource, target, ACount);
        default:
            RefuseConversion(AType, ABits);
        }
    }
    if (AType == stInt32 && ABits == 24)
        return UnpackInt24(ASource, static_cast<int32_t*>(ATarget), ACount);
    if (NativeBits(AType) != ABits)
        RefuseConversion(AType, ABits);
    std::memcpy(ATarget, ASource, ACount * SampleTypeSize(AType));
}

void StoreSamples(const void* ASource, TSampleType AType, uint8_t* ATarget, int32_t ABits,
                  size_t ACount) {
    if (AType == stFloat32) {
        const auto* source = static_cast<const float*>(ASource);
        switch (ABits) {
        case 8:
            return FloatsToIntegers<8>(source, ATarget, ACount);
        case 16:
            return FloatsToIntegers<16>(source, ATarget, ACount);
        case 24:
            return FloatsToIntegers<24>(source, ATarget, ACount);
        case 32:
            return FloatsToIntegers<32>(source, ATarget, ACount);
        default:
            RefuseConversion(AType, ABits);
        }
    }
    if (AType == stInt32 && ABits == 24)
        return PackInt24(static_cast<const int32_t*>(ASource), ATarget, ACount);
    if (NativeBits(AType) != ABits)
        RefuseConversion(AType, ABits);
    std::memcpy(ATarget, ASource, ACount * SampleTypeSize(AType));
}

} // namespace sonvera::python

#include "sonvera/effects/SVRemixFilter.h"

#include <cmath>
#include <sstream>

#include "sonvera/primitives/SVFloatKernels.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera {

namespace {

constexpr float KMinus3dB = 0.70710678f;

// The channel of speaker ASpeaker among AMask's, or -1.
int32_t ChannelOf(TSVSpeakers AMask, TSVSpeaker ASpeaker) {
    if (!AMask.Contains(ASpeaker))
        return -1;
    return TSVSpeakers::FromMask(AMask.Mask() & ((1u << ASpeaker) - 1)).Count();
}

// Which front side a speaker the output lacks folds into: -1 left, 1 right, 0 both.
int32_t SideOf(TSVSpeaker ASpeaker) {
    switch (ASpeaker) {
    case spFrontLeft:
    case spBackLeft:
    case spFrontLeftOfCenter:
    case spSideLeft:
    case spTopFrontLeft:
    case spTopBackLeft:
        return -1;
    case spFrontRight:
    case spBackRight:
    case spFrontRightOfCenter:
    case spSideRight:
    case spTopFrontRight:
    case spTopBackRight:
        return 1;
    default:
        return 0;
    }
}

} // namespace

TSVSpeakers SVLayoutSpeakers(const std::string& AName) {
    if (AName == "mono")
        return KSVSpeakersMono;
    if (AName == "stereo")
        return KSVSpeakersStereo;
    if (AName == "5.1")
        return KSVSpeakers5Point1;
    if (AName == "7.1")
        return KSVSpeakers7Point1;
    throw EArgumentError("remix: unknown layout '" + AName + "' (mono, stereo, 5.1 or 7.1)");
}

std::vector<float> SVRemixMatrix(TSVSpeakers AFrom, TSVSpeakers ATo) {
    const size_t inputs = AFrom.Count(), outputs = ATo.Count();
    std::vector<float> weights(outputs * inputs, 0.0f);
    if (outputs == 1 && ATo != AFrom && inputs > 1) { // the average of the stereo fold
        const std::vector<float> stereo = SVRemixMatrix(AFrom, KSVSpeakersStereo);
        for (size_t i = 0; i < inputs; ++i)
            weights[i] = (stereo[i] + stereo[inputs + i]) / 2;
        return weights;
    }
    const int32_t left = ChannelOf(ATo, spFrontLeft), right = ChannelOf(ATo, spFrontRight);
    for (TSVSpeaker speaker : SVSpeakerValues) {
        const int32_t from = ChannelOf(AFrom, speaker);
        if (from < 0 || (speaker == spSubwoofer && !ATo.Contains(spSubwoofer)))
            continue;
        const auto weight = [&](int32_t ATarget, float AValue) {
            if (ATarget >= 0)
                weights[size_t(ATarget) * inputs + size_t(from)] += AValue;
        };
        if (const int32_t to = ChannelOf(ATo, speaker); to >= 0) {
            weight(to, 1.0f);
            if (inputs == 1 && speaker == spFrontLeft) // a mono input feeds both fronts
                weight(right, 1.0f);
            continue;
        }
        const int32_t side = SideOf(speaker);
        weight(side <= 0 ? left : -1, KMinus3dB);
        weight(side >= 0 ? right : -1, KMinus3dB);
    }
    return weights;
}

std::vector<float> SVParseRemixMatrix(const std::string& AText, size_t AOutputs, size_t AInputs) {
    std::vector<float> weights;
    std::istringstream rows(AText);
    std::string row;
    size_t count = 0;
    while (std::getline(rows, row, ';')) {
        for (char& c : row)
            c = c == ',' ? ' ' : c;
        std::istringstream values(row);
        std::string value;
        size_t columns = 0;
        while (values >> value) {
            char* end = nullptr;
            const float weight = std::strtof(value.c_str(), &end);
            if (*end != '\0' || !std::isfinite(weight))
                throw EArgumentError("remix: matrix weight '" + value + "' is not a number");
            weights.push_back(weight);
            ++columns;
        }
        if (columns != AInputs)
            throw EArgumentError(
                FormatMessage("remix: matrix row %zu has %zu weights; the input has %zu channels",
                              count + 1, columns, AInputs));
        ++count;
    }
    if (count != AOutputs)
        throw EArgumentError(FormatMessage(
            "remix: matrix has %zu rows; the layout has %zu channels", count, AOutputs));
    return weights;
}

const TClassInfo& TSVRemixFilter::ClassInfo() {
    static const TClassInfo info = SVEffectClassInfo(
        "TSVRemixFilter", "remix", "Up- or downmixes to mono, stereo, 5.1 or 7.1 by matrix");
    return info;
}

const TPropertyTableBase& TSVRemixFilter::ClassPropertyTable() {
    using T = TSVRemixFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVRemixFilter", TSVEffectFilter::ClassPropertyTable())
            .String("Layout", "stereo", &T::GetLayout, &T::SetLayout)
            .String("Matrix", "", &T::GetMatrix, &T::SetMatrix);
    return table;
}

void TSVRemixFilter::SetLayout(const std::string& AValue) {
    SVLayoutSpeakers(AValue);
    SetPropValue("Layout", FLayout, AValue);
}

void TSVRemixFilter::ResetState(const TSVWaveFormatExtensible& AFormat) {
    const TSVSpeakers to = SVLayoutSpeakers(GetLayout());
    const TSVSpeakers from = TSVSpeakers::FromMask(AFormat.dwChannelMask);
    const std::string matrix = GetMatrix();
    FWeights = matrix.empty() ? SVRemixMatrix(from, to)
                              : SVParseRemixMatrix(matrix, to.Count(), AFormat.Format.nChannels);
    if (FWeights.size() != size_t(to.Count()) * AFormat.Format.nChannels)
        throw EArgumentError("remix: the input's speakers do not match its channel count");
    FSpeakers = to;
}

TSVWaveFormatExtensible
TSVRemixFilter::OutputFormatOf(const TSVWaveFormatExtensible& AInput) const {
    TSVWaveFormatExtensible format = AInput;
    format.Format.nChannels = static_cast<uint16_t>(FSpeakers.Count());
    format.dwChannelMask = FSpeakers.Mask();
    return SVFloatFormatOf(format);
}

TRef<ISVAudioBuffer> TSVRemixFilter::ProcessBuffer(const TRef<ISVAudioBuffer>& AFloats) {
    const TSVConstFloatFrames in = SVReadFloatFrames(AFloats);
    const size_t inputs = in.Channels(), outputs = size_t(FSpeakers.Count());
    if (FWeights.size() != inputs * outputs)
        return AFloats;
    const TRef<ISVAudioBuffer> out = TSVAudioBuffer::CreateFloatSizeEx(
        AFloats->GetSamplesPerSecond(), int32_t(outputs), int32_t(in.Frames()), FSpeakers);
    const TSVFloatFrames frames = SVWriteFloatFrames(out);
    SVMatrixFloat(in.Data(), inputs, frames.Data(), outputs, in.Frames(), FWeights.data());
    SVCopyStamp(*AFloats, *out);
    return out;
}

} // namespace sonvera

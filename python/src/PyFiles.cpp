#include "PyFiles.h"

#include <pybind11/stl.h>

#include <cmath>
#include <cstring>

#include <algorithm>
#include <optional>

#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/streams/SVStreamTime.h"

namespace py = pybind11;

namespace sonvera::python {

namespace {

void Connect(TPXPin* AOutput, TPXPin* AInput) {
    if (!AOutput->Connect(AInput))
        throw EAssertionFailed("Assertion failure (sonvera python)");
}

TSampleKind KindOf(const ISVAudioBuffer& ABuffer) {
    return {ABuffer.GetSampleBitWidth(), SVIsFloatBuffer(ABuffer)};
}

TSampleType SampleTypeArgument(const py::object& AType) {
    return SampleTypeOf(py::dtype::from_args(AType));
}

int32_t RateArgument(const std::optional<int32_t>& ARate) {
    if (ARate && *ARate <= 0)
        throw py::value_error("samplerate must be positive, not " + std::to_string(*ARate));
    return ARate.value_or(0);
}

std::pair<size_t, size_t> FramesAndChannelsOf(const py::array& AArray) {
    if (AArray.ndim() == 1)
        return {static_cast<size_t>(AArray.shape(0)), 1};
    if (AArray.ndim() == 2 && AArray.shape(1) > 0)
        return {static_cast<size_t>(AArray.shape(0)), static_cast<size_t>(AArray.shape(1))};
    throw py::value_error("samples must be frames x channels (or one-dimensional for mono)");
}

// Writes AArray's frames into APath through the file writer, which leaves no file when the
// stream fails or stops before its end.
void WriteFile(const std::string& APath, const py::array& AArray, int32_t ARate,
               const std::optional<std::string>& ACodec, const std::optional<int32_t>& ABitRate,
               int32_t ABits) {
    const py::array samples = py::array::ensure(AArray, py::array::c_style);
    if (!samples)
        throw py::error_already_set();
    const TSampleType type = SampleTypeOf(samples.dtype());
    const auto [frames, channels] = FramesAndChannelsOf(samples);
    if (ARate <= 0)
        throw py::value_error("samplerate must be positive, not " + std::to_string(ARate));
    // Float samples are written at 16 bits unless asked otherwise, as WAV and FLAC writers do.
    const int32_t bits = ABits != 0 ? ABits : NativeBits(type) != 0 ? NativeBits(type) : 16;

    TPyArraySource source(samples.data(), type, frames, channels);
    source.GetAudioFormat()->SetSampleRate(static_cast<uint32_t>(ARate));
    source.GetAudioFormat()->SetBits(static_cast<uint32_t>(bits));
    source.GetAudioFormat()->SetCountChannels(static_cast<uint32_t>(channels));
    // The samples must take the width as they are (or through a float conversion), before the
    // chain runs.
    if (type != stFloat32 && NativeBits(type) != bits && !(type == stInt32 && bits == 24))
        throw py::value_error(SampleTypeName(type) + " samples cannot be written at " +
                              std::to_string(bits) + " bits: pass float32 or int32 samples");
    if (type == stInt32 && bits == 24)
        CheckFits24Bits(static_cast<const int32_t*>(samples.data()), frames * channels);

    TSVLAVFileWriter writer(nullptr);
    writer.SetFileName(APath);
    if (ACodec)
        writer.GetCompression()->SetName(*ACodec);
    if (ABitRate)
        writer.GetCompression()->SetBitRate(*ABitRate);
    Connect(source.GetOutputPin(), writer.GetInputPin());
    StartPumping(source, writer);
    // The writer converts what its encoder cannot take (a rate Opus lacks), but a width asked
    // for is kept or refused: a stream stopped before its end leaves no file.
    const std::optional<TSVLAVOpenedFormat> opened = writer.GetOpenedFormat();
    std::string refusal = opened ? "" : writer.GetError();
    if (opened && ABits != 0 && opened->Format.Samples.wValidBitsPerSample != bits)
        refusal =
            "codec '" + opened->Codec + "' cannot take " + std::to_string(bits) + "-bit samples";
    if (!refusal.empty()) {
        StopPumping(source);
        // A file's own errors name it already; a codec's refusal does not.
        throw EArgumentError(refusal.rfind(APath, 0) == 0 ? refusal : APath + ": " + refusal);
    }
    Pump(source, writer);
    if (!writer.GetError().empty())
        throw Exception(writer.GetError());
}

// An iterator over a reader's blocks.
struct TPyBlocks {
    py::object Reader;
    int64_t Frames;
};

} // namespace

TPyReader::TPyReader(const std::string& APath, int32_t ARate, TSampleType AType)
    : FSink([this](const TRef<ISVAudioBuffer>& ABuffer) { Receive(ABuffer); }), FType(AType),
      FRate(ARate) {
    FSource.SetFileName(APath);
    const py::gil_scoped_release released;
    FSource.Open();
}

TPyReader::~TPyReader() {
    FSource.Stop();
}

int32_t TPyReader::Rate() const {
    return FRate != 0 ? FRate : static_cast<int32_t>(FSource.GetWaveFormat().Format.nSamplesPerSec);
}

int32_t TPyReader::Channels() const {
    return FSource.GetWaveFormat().Format.nChannels;
}

int32_t TPyReader::Bits() const {
    return FSource.GetWaveFormat().Samples.wValidBitsPerSample;
}

int64_t TPyReader::Frames() const {
    const int64_t duration = FSource.GetDuration();
    if (duration <= 0)
        return -1;
    return std::llround(static_cast<double>(duration) * Rate() / KUnitsPerSecond);
}

void TPyReader::Connect() {
    TPXPin* last = FSource.GetOutputPin();
    const auto append = [&last](TPXPin* AInput, TPXPin* AOutput) {
        python::Connect(last, AInput);
        last = AOutput;
    };
    if (FRate != 0 &&
        FRate != static_cast<int32_t>(FSource.GetWaveFormat().Format.nSamplesPerSec)) {
        FResample.SetSampleRate(static_cast<uint32_t>(FRate));
        append(FResample.GetInputPin(), FResample.GetOutputPin());
    }
    // Integer arrays get the width they hold from the format filter; float32 arrays take any
    // samples, converted as they are taken.
    const TSVWaveFormatExtensible file = FSource.GetWaveFormat();
    if (FType != stFloat32 &&
        (SVIsFloatFormat(file) || NativeBits(FType) != file.Format.wBitsPerSample)) {
        FWidth.SetBits(static_cast<uint32_t>(NativeBits(FType)));
        append(FWidth.GetInputPin(), FWidth.GetOutputPin());
    }
    python::Connect(last, FSink.GetInputPin());
}

void TPyReader::Receive(const TRef<ISVAudioBuffer>& ABuffer) {
    const size_t frames = ABuffer->GetSize();
    if (FQueue.empty() && frames <= FDirectCapacity - FDirectFrames) {
        const size_t frameBytes = static_cast<size_t>(Channels()) * SampleTypeSize(FType);
        LoadSamples(static_cast<const uint8_t*>(ABuffer->Read()), KindOf(*ABuffer),
                    FDirect + FDirectFrames * frameBytes, FType,
                    frames * static_cast<size_t>(ABuffer->GetChannels()));
        FDirectFrames += frames;
        return;
    }
    FQueuedFrames += frames;
    FQueue.push_back(ABuffer);
}

void TPyReader::Start() {
    if (FClosed)
        throw py::value_error("read from a closed file");
    if (FStarted)
        return;
    Connect();
    StartPumping(FSource, FSink);
    FStarted = true;
}

void TPyReader::CheckError() const {
    if (!FSource.GetRunning() && !FSource.GetError().empty())
        throw Exception(FSource.GetError());
}

py::array TPyReader::Read(int64_t AFrames) {
    if (AFrames < 0)
        return ReadAll();
    Start();
    const auto wanted = static_cast<size_t>(AFrames);
    if (FQueuedFrames < wanted)
        Pump(FSource, FSink, [&] { return FQueuedFrames < wanted; });
    CheckError();
    const size_t frames = std::min(wanted, FQueuedFrames);
    py::array result(DtypeOf(FType), {frames, static_cast<size_t>(Channels())});
    auto* target = static_cast<uint8_t*>(result.mutable_data());
    const py::gil_scoped_release released;
    Take(target, frames);
    return result;
}

py::array TPyReader::ReadAll() {
    Start();
    // The length the container tells is where the frames go as they arrive, converted at once,
    // so that no buffer is kept; frames beyond it queue up.
    const size_t channels = static_cast<size_t>(Channels());
    const size_t expected = static_cast<size_t>(std::max<int64_t>(Frames(), 0));
    py::array direct(DtypeOf(FType), {FQueue.empty() ? expected : 0, channels});
    FDirect = static_cast<uint8_t*>(direct.mutable_data());
    FDirectCapacity = static_cast<size_t>(direct.shape(0));
    FDirectFrames = 0;
    try {
        Pump(FSource, FSink);
    } catch (...) {
        FDirectCapacity = 0;
        throw;
    }
    FDirectCapacity = 0;
    CheckError();
    if (FQueue.empty())
        return py::array(
            py::object(direct[py::slice(0, static_cast<py::ssize_t>(FDirectFrames), 1)]));
    const size_t frameBytes = channels * SampleTypeSize(FType);
    py::array result(DtypeOf(FType), {FDirectFrames + FQueuedFrames, channels});
    auto* target = static_cast<uint8_t*>(result.mutable_data());
    const py::gil_scoped_release released;
    std::memcpy(target, FDirect, FDirectFrames * frameBytes);
    Take(target + FDirectFrames * frameBytes, FQueuedFrames);
    return result;
}

void TPyReader::Take(uint8_t* ATarget, size_t AFrames) {
    const size_t frameBytes = static_cast<size_t>(Channels()) * SampleTypeSize(FType);
    while (AFrames > 0) {
        const ISVAudioBuffer& front = *FQueue.front();
        const size_t count = std::min<size_t>(AFrames, front.GetSize() - FFrontTaken);
        const auto* samples = static_cast<const uint8_t*>(front.Read()) +
                              FFrontTaken * static_cast<size_t>(front.GetDataStep());
        LoadSamples(samples, KindOf(front), ATarget, FType,
                    count * static_cast<size_t>(front.GetChannels()));
        ATarget += count * frameBytes;
        AFrames -= count;
        FQueuedFrames -= count;
        FFrontTaken += count;
        if (FFrontTaken == front.GetSize()) {
            FQueue.pop_front();
            FFrontTaken = 0;
        }
    }
}

void TPyReader::Close() {
    if (FClosed)
        return;
    StopPumping(FSource);
    FQueue.clear();
    FQueuedFrames = 0;
    FClosed = true;
}

void BindFiles(py::module_& AModule) {
    py::class_<TPyReader>(AModule, "SoundFile", R"(
An open file, read block by block through the library's file source: the decoder runs only
while a read waits for frames, so files larger than memory stream through.

    with sonvera.open("long.flac") as f:
        for block in f.blocks(65536):
            ...)")
        .def_property_readonly("samplerate", &TPyReader::Rate)
        .def_property_readonly("channels", &TPyReader::Channels)
        .def_property_readonly("bits", &TPyReader::Bits, "The file's own sample width.")
        .def_property_readonly("codec", &TPyReader::Codec)
        .def_property_readonly("frames", &TPyReader::Frames,
                               "The length the container tells (-1 when it tells none).")
        .def_property_readonly("dtype", [](const TPyReader& A) { return DtypeOf(A.Type()); })
        .def_property_readonly("closed", &TPyReader::Closed)
        .def("read", &TPyReader::Read, py::arg("frames") = -1,
             "Up to `frames` frames (all that are left by default) as frames x channels; an "
             "empty array at the end.")
        .def(
            "blocks",
            [](py::object ASelf, int64_t AFrames) {
                if (AFrames <= 0)
                    throw py::value_error("blocks need a positive frame count");
                return TPyBlocks{std::move(ASelf), AFrames};
            },
            py::arg("frames") = 65536,
            "Arrays of `frames` frames, the last one shorter, until the end of the file.")
        .def("close", &TPyReader::Close)
        .def("__enter__", [](py::object ASelf) { return ASelf; })
        .def("__exit__", [](TPyReader& ASelf, const py::args&) { ASelf.Close(); });

    py::class_<TPyBlocks>(AModule, "_Blocks")
        .def("__iter__", [](py::object ASelf) { return ASelf; })
        .def("__next__", [](TPyBlocks& ASelf) {
            py::array block = ASelf.Reader.cast<TPyReader&>().Read(ASelf.Frames);
            if (block.shape(0) == 0)
                throw py::stop_iteration();
            return block;
        });

    AModule.def(
        "open",
        [](const std::string& APath, std::optional<int32_t> ARate, const py::object& AType) {
            return std::make_unique<TPyReader>(APath, RateArgument(ARate),
                                               SampleTypeArgument(AType));
        },
        py::arg("path"), py::arg("samplerate") = py::none(), py::arg("dtype") = "float32",
        "Opens a file for reading block by block (see SoundFile).");

    AModule.def(
        "read",
        [](const std::string& APath, std::optional<int32_t> ARate, const py::object& AType) {
            TPyReader reader(APath, RateArgument(ARate), SampleTypeArgument(AType));
            py::array samples = reader.Read(-1);
            return py::make_tuple(samples, reader.Rate());
        },
        py::arg("path"), py::arg("samplerate") = py::none(), py::arg("dtype") = "float32",
        R"(The whole file as (array, samplerate): frames x channels of float32 (full scale
1.0), int16 or int32; samplerate resamples.)");

    AModule.def("write", &WriteFile, py::arg("path"), py::arg("array"), py::arg("samplerate"),
                py::arg("codec") = py::none(), py::arg("bitrate") = py::none(), py::arg("bits") = 0,
                R"(Writes frames x channels (one-dimensional: mono) into path, the container
chosen by its extension and the codec by codec or the container's default. bits: the written
width, by default the array's (16 for float32). The file appears under its name only when it
is complete.)");
}

} // namespace sonvera::python

#include "PyAudioBuffer.h"

#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace py = pybind11;

namespace sonvera::python {

namespace {

// The shape and strides an exported view points at, owned by the view.
struct TExportLayout {
    Py_ssize_t Shape[2];
    Py_ssize_t Strides[2];
};

TExportLayout LayoutOf(const TSVAudioBuffer& ABuffer) {
    const Py_ssize_t width = ABuffer.GetSampleBitWidth() / 8;
    return {{static_cast<Py_ssize_t>(ABuffer.GetSize()), ABuffer.GetChannels()},
            {ABuffer.GetDataStep(), width}};
}

// Samples of the array as frames x channels: a one-dimensional array is mono.
std::pair<size_t, size_t> FramesAndChannels(const py::array& AArray) {
    if (AArray.ndim() == 1)
        return {static_cast<size_t>(AArray.shape(0)), 1};
    if (AArray.ndim() == 2)
        return {static_cast<size_t>(AArray.shape(0)), static_cast<size_t>(AArray.shape(1))};
    throw py::value_error("samples must be frames x channels, not " +
                          std::to_string(AArray.ndim()) + "-dimensional");
}

int32_t CheckedInt32(size_t AValue, const char* AWhat) {
    if (AValue > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw py::value_error(std::string("too many ") + AWhat +
                              " for one buffer: " + std::to_string(AValue));
    return static_cast<int32_t>(AValue);
}

} // namespace

TSampleKind SampleKindOf(const TSVAudioBuffer& ABuffer) {
    return {ABuffer.GetSampleBitWidth(), ABuffer.IsFloat()};
}

const char* BufferFormatOf(TSampleKind AKind) {
    if (AKind.Float)
        return "f";
    switch (AKind.Bits) {
    case 8:
        return "B";
    case 16:
        return "h";
    case 32:
        return "i";
    default:
        throw py::buffer_error(std::to_string(AKind.Bits) +
                               "-bit samples have no NumPy type: use to_array('int32') or "
                               "to_array('float32')");
    }
}

TPyAudioBuffer::TPyAudioBuffer(TRef<TSVAudioBuffer> ABuffer) : FBuffer(std::move(ABuffer)) {}

TPyAudioBuffer::TPyAudioBuffer(int32_t AFrames, int32_t AChannels, int32_t ABits, int32_t ARate,
                               bool AFloat)
    : FBuffer(AFloat ? TSVAudioBuffer::CreateFloatSizeExObject(ARate, AChannels, AFrames, {})
                     : TSVAudioBuffer::CreateSizeObject(ARate, ABits, AChannels, AFrames)) {
    FBuffer->Zero();
}

TPyAudioBuffer TPyAudioBuffer::FromArray(const py::array& AArray, int32_t ARate, int32_t ABits) {
    const py::array samples = py::array::ensure(AArray, py::array::c_style);
    if (!samples)
        throw py::error_already_set();
    const TSampleType type = SampleTypeOf(samples.dtype());
    const auto [frames, channels] = FramesAndChannels(samples);
    const int32_t channelCount = CheckedInt32(channels, "channels");
    const int32_t frameCount = CheckedInt32(frames, "frames");
    const TSampleKind kind{ABits != 0 ? ABits : NativeBits(type), ABits == 0 && type == stFloat32};
    TRef<TSVAudioBuffer> buffer =
        kind.Float ? TSVAudioBuffer::CreateFloatSizeExObject(ARate, channelCount, frameCount, {})
                   : TSVAudioBuffer::CreateSizeObject(ARate, kind.Bits, channelCount, frameCount);
    StoreSamples(samples.data(), type, static_cast<uint8_t*>(buffer->Write()), kind,
                 frames * channels);
    return TPyAudioBuffer(std::move(buffer));
}

TRef<TSVAudioBuffer> TPyAudioBuffer::Share() const {
    if (FWritableExports == 0)
        return TSVAudioBuffer::CreateExObject(FBuffer);
    TRef<TSVAudioBuffer> copy = TSVAudioBuffer::CreateWaveFormatObject(
        FBuffer->GetConstFormat(), static_cast<int32_t>(FBuffer->GetSize()));
    std::memcpy(copy->Write(), FBuffer->Read(), FBuffer->GetByteSize());
    return copy;
}

py::array TPyAudioBuffer::ToArray(TSampleType AType) const {
    const TSVAudioBuffer& b = *FBuffer;
    const size_t channels = static_cast<size_t>(b.GetChannels());
    py::array result(DtypeOf(AType), {static_cast<size_t>(b.GetSize()), channels});
    LoadSamples(static_cast<const uint8_t*>(b.Read()), SampleKindOf(b), result.mutable_data(),
                AType, b.GetSize() * channels);
    return result;
}

py::array TPyAudioBuffer::ReadOnlyArray() const {
    const TExportLayout layout = LayoutOf(*FBuffer);
    const char* format = BufferFormatOf(SampleKindOf(*FBuffer));
    // The array's base keeps the share, and with it the store, alive.
    const py::object share = py::cast(TPyAudioBuffer(TSVAudioBuffer::CreateExObject(FBuffer)));
    const auto& shared = share.cast<const TPyAudioBuffer&>();
    py::array result(py::dtype(format), {layout.Shape[0], layout.Shape[1]},
                     {layout.Strides[0], layout.Strides[1]}, shared.FBuffer->Read(), share);
    result.attr("setflags")(py::arg("write") = false);
    return result;
}

uintptr_t TPyAudioBuffer::Address() const {
    return reinterpret_cast<uintptr_t>(FBuffer->Read());
}

int TPyAudioBuffer::GetBuffer(PyObject* AExporter, Py_buffer* AView, int AFlags) {
    AView->obj = nullptr;
    try {
        auto& self = py::handle(AExporter).cast<TPyAudioBuffer&>();
        const char* format = BufferFormatOf(SampleKindOf(*self.FBuffer));
        auto layout = std::make_unique<TExportLayout>(LayoutOf(*self.FBuffer));
        const bool shaped = (AFlags & PyBUF_ND) == PyBUF_ND;
        AView->buf = self.FBuffer->Modify();
        AView->len = layout->Shape[0] * layout->Strides[0];
        AView->itemsize = layout->Strides[1];
        AView->readonly = 0;
        AView->ndim = shaped ? 2 : 1;
        AView->format =
            (AFlags & PyBUF_FORMAT) == PyBUF_FORMAT ? const_cast<char*>(format) : nullptr;
        AView->shape = shaped ? layout->Shape : nullptr;
        AView->strides = (AFlags & PyBUF_STRIDES) == PyBUF_STRIDES ? layout->Strides : nullptr;
        AView->suboffsets = nullptr;
        AView->internal = layout.release();
        AView->obj = py::handle(AExporter).inc_ref().ptr();
        ++self.FWritableExports;
        return 0;
    } catch (py::error_already_set& e) {
        e.restore();
    } catch (py::builtin_exception& e) {
        e.set_error();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_BufferError, e.what());
    }
    return -1;
}

void TPyAudioBuffer::ReleaseBuffer(PyObject* AExporter, Py_buffer* AView) {
    delete static_cast<TExportLayout*>(AView->internal);
    --py::handle(AExporter).cast<TPyAudioBuffer&>().FWritableExports;
}

void BindAudioBuffer(py::module_& AModule) {
    py::class_<TPyAudioBuffer> cls(AModule, "AudioBuffer", py::buffer_protocol(), R"(
Interleaved PCM samples shared copy-on-write between buffers. numpy.asarray(buffer) is a
writable frames x channels view of the samples, without a copy (uint8, int16 or int32 by the
sample width); taking it makes a shared buffer private first.)");
    auto* type = reinterpret_cast<PyHeapTypeObject*>(cls.ptr());
    type->as_buffer.bf_getbuffer = &TPyAudioBuffer::GetBuffer;
    type->as_buffer.bf_releasebuffer = &TPyAudioBuffer::ReleaseBuffer;

    cls.def(py::init<int32_t, int32_t, int32_t, int32_t, bool>(), py::arg("frames"),
            py::arg("channels") = 2, py::arg("bits") = 16, py::arg("samplerate") = 44100,
            py::arg("float") = false,
            "Frames of silence: `bits`-bit integers or, with float, floats.")
        .def_static(
            "from_array",
            [](const py::array& AArray, int32_t ARate, int32_t ABits) {
                return TPyAudioBuffer::FromArray(AArray, ARate, ABits);
            },
            py::arg("array"), py::arg("samplerate"), py::arg("bits") = 0,
            "A buffer holding a copy of the array's samples (frames x channels), of the array's "
            "kind (float32 makes a float buffer) or of `bits`: int32 values become packed 24-bit "
            "samples with bits=24, float32 (full scale 1.0) is rounded and saturated.")
        .def_property_readonly("frames",
                               [](const TPyAudioBuffer& A) { return A.Buffer()->GetSize(); })
        .def_property_readonly("channels",
                               [](const TPyAudioBuffer& A) { return A.Buffer()->GetChannels(); })
        .def_property_readonly(
            "bits", [](const TPyAudioBuffer& A) { return A.Buffer()->GetBitsPerSample(); })
        .def_property_readonly("is_float",
                               [](const TPyAudioBuffer& A) { return A.Buffer()->IsFloat(); })
        .def_property_readonly(
            "samplerate", [](const TPyAudioBuffer& A) { return A.Buffer()->GetSamplesPerSecond(); })
        .def_property_readonly(
            "channel_mask",
            [](const TPyAudioBuffer& A) { return A.Buffer()->GetChannelMask().Mask(); })
        .def_property_readonly("address", &TPyAudioBuffer::Address,
                               "Where the samples are now (changes when the store does).")
        .def("__len__", [](const TPyAudioBuffer& A) { return A.Buffer()->GetSize(); })
        .def(
            "copy", [](const TPyAudioBuffer& A) { return TPyAudioBuffer(A.Share()); },
            "A buffer of the same samples: it shares the store until either side writes (a "
            "real copy while arrays may write into this buffer).")
        .def("read", &TPyAudioBuffer::ReadOnlyArray,
             "A read-only array of the samples that never copies: later writes through this "
             "buffer leave it as it was.")
        .def(
            "to_array",
            [](const TPyAudioBuffer& A, const py::object& AType) {
                return A.ToArray(SampleTypeOf(py::dtype::from_args(AType)));
            },
            py::arg("dtype") = "float32",
            "The samples converted into a new array: float32 (full scale 1.0), or int32 for "
            "packed 24-bit samples, or the width's own type.")
        // NumPy asks for this only when the buffer protocol failed, and would otherwise make an
        // array of one object: the protocol's error is the answer.
        .def("__array__",
             [](const py::object& ASelf, const py::args&) {
                 PyObject* view = PyMemoryView_FromObject(ASelf.ptr());
                 if (!view)
                     throw py::error_already_set();
                 return py::array(py::reinterpret_steal<py::object>(view));
             })
        .def("__repr__", [](const TPyAudioBuffer& A) {
            const TSVAudioBuffer& b = *A.Buffer();
            return "<sonvera.AudioBuffer " + std::to_string(b.GetSize()) + " frames, " +
                   std::to_string(b.GetChannels()) + " channels, " +
                   (b.IsFloat() ? std::string("float")
                                : std::to_string(b.GetBitsPerSample()) + " bits") +
                   ", " + std::to_string(b.GetSamplesPerSecond()) + " Hz>";
        });
}

} // namespace sonvera::python

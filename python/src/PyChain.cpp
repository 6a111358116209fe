#include "PyChain.h"

#include <pybind11/stl.h>

#include <optional>

#include "PyPumping.h"
#include "PySamples.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace py = pybind11;

namespace sonvera::python {

namespace {

// A property value as chain text takes it.
std::string ValueText(const py::handle& AValue) {
    if (py::isinstance<py::bool_>(AValue))
        return AValue.cast<bool>() ? "true" : "false";
    return std::string(py::str(AValue));
}

std::pair<size_t, size_t> FramesAndChannelsOf(const py::array& AArray) {
    if (AArray.ndim() == 1)
        return {static_cast<size_t>(AArray.shape(0)), 1};
    if (AArray.ndim() == 2 && AArray.shape(1) > 0)
        return {static_cast<size_t>(AArray.shape(0)), static_cast<size_t>(AArray.shape(1))};
    throw py::value_error("samples must be frames x channels (or one-dimensional for mono)");
}

} // namespace

TPyChain::TPyChain(const std::string& AText)
    : FChain(AText.empty() ? TSVChain() : TSVChain::Parse(AText)) {}

std::string TPyChain::Add(const std::string& AClass, const std::string& AName,
                          const py::kwargs& AProperties) {
    const std::string name = FChain.NameOf(FChain.Add(AClass, AName));
    for (const auto& [property, value] : AProperties)
        FChain.SetProperty(name, std::string(py::str(property)), ValueText(value));
    return name;
}

void TPyChain::Connect(const std::string& AFrom, const std::string& ATo) {
    FChain.Connect(AFrom, ATo);
}

void TPyChain::Set(const std::string& AComponent, const std::string& AProperty,
                   const py::handle& AValue) {
    FChain.SetProperty(AComponent, AProperty, ValueText(AValue));
}

std::vector<std::string> TPyChain::Names() const {
    std::vector<std::string> names;
    for (const TPersistent* component : FChain.GetComponents())
        names.push_back(FChain.NameOf(*component));
    return names;
}

void TPyChain::Run() {
    RunChain(FChain);
}

void RunChain(TSVChain& AChain) {
    std::optional<py::error_already_set> raised;
    AChain.SetOnProgress([&](const TSVChain::TProgress&) {
        const py::gil_scoped_acquire held;
        if (!raised && PyErr_CheckSignals() != 0) {
            raised.emplace();
            AChain.Stop();
        }
    });
    {
        const py::gil_scoped_release released;
        AChain.Run();
    }
    AChain.SetOnProgress(nullptr);
    if (raised)
        throw *raised;
}

py::array Process(const py::array& AArray, int32_t ARate, const std::string& AText) {
    const py::array samples = py::array::ensure(AArray, py::array::c_style);
    if (!samples)
        throw py::error_already_set();
    const TSampleType type = SampleTypeOf(samples.dtype());
    const auto [frames, channels] = FramesAndChannelsOf(samples);
    if (ARate <= 0)
        throw py::value_error("samplerate must be positive, not " + std::to_string(ARate));

    TPyArraySource source(samples.data(), type, frames, channels);
    source.GetAudioFormat()->SetSampleRate(static_cast<uint32_t>(ARate));
    source.GetAudioFormat()->SetCountChannels(static_cast<uint32_t>(channels));
    if (type == stFloat32)
        source.SetFloat(true);
    else
        source.GetAudioFormat()->SetBits(static_cast<uint32_t>(NativeBits(type)));
    std::vector<TRef<ISVAudioBuffer>> buffers;
    size_t total = 0;
    TPySink sink([&](const TRef<ISVAudioBuffer>& ABuffer) {
        total += ABuffer->GetSize();
        buffers.push_back(ABuffer);
    });
    // The chain after the source and the sink it uses: it stops them when it goes.
    TSVChain chain = TSVChain::Parse(AText);
    const std::vector<TPersistent*> effects = chain.GetComponents();
    if (effects.empty())
        throw py::value_error("the chain of effects is empty");
    chain.Add(source, "python-array");
    chain.Add(sink, "python-result");
    chain.Connect("python-array", chain.NameOf(*effects.front()));
    chain.Connect(chain.NameOf(*effects.back()), "python-result");
    RunChain(chain);

    const size_t outputChannels = sink.GetStreamFormat().Format.nChannels;
    py::array result(DtypeOf(type), {total, outputChannels});
    auto* target = static_cast<uint8_t*>(result.mutable_data());
    const py::gil_scoped_release released;
    for (const TRef<ISVAudioBuffer>& buffer : buffers) {
        const size_t count = size_t{buffer->GetSize()} * outputChannels;
        LoadSamples(static_cast<const uint8_t*>(buffer->Read()),
                    {buffer->GetSampleBitWidth(), SVIsFloatBuffer(*buffer)}, target, type, count);
        target += count * SampleTypeSize(type);
    }
    return result;
}

void BindChains(py::module_& AModule) {
    py::class_<TPyChain>(AModule, "Chain", R"(
A chain of the library's components that runs as one:

    sonvera.Chain("file-source filename=in.flac ! gain gain=0.5 ! file-writer filename=out.wav").run()

or built by short name, with published properties as keyword arguments:

    chain = sonvera.Chain()
    chain.add("file-source", filename="in.flac")
    chain.add("gain", gain=0.5)
    chain.add("file-writer", filename="out.wav")
    chain.connect("file-source", "gain"); chain.connect("gain", "file-writer")
    chain.run()

run() returns when every stream has ended and raises the first failure, naming the component.)")
        .def(py::init<const std::string&>(), py::arg("text") = "")
        .def("add", &TPyChain::Add, py::arg("component"), py::arg("name") = "",
             "Adds a component by short or class name; returns the name it has in the chain.")
        .def("connect", &TPyChain::Connect, py::arg("source"), py::arg("target"))
        .def("set", &TPyChain::Set, py::arg("component"), py::arg("property"), py::arg("value"))
        .def_property_readonly("components", &TPyChain::Names)
        .def("save", &TPyChain::Save, "The chain as a document (JSON).")
        .def("run", &TPyChain::Run);

    AModule.def("process", &Process, py::arg("array"), py::arg("samplerate"), py::arg("chain"),
                R"(The array's frames through a chain of effects written as chain text without
a source or an output ("highpass frequency=80 ! limiter"), as a new array of the same type.)");
}

} // namespace sonvera::python

// The extension sonvera._sonvera. The library starts when the module loads (its start-up
// object is linked in), on the importing thread, which becomes its main thread.
#include <pybind11/pybind11.h>

#include "PyAudioBuffer.h"
#include "PyChain.h"
#include "PyFiles.h"
#include "sonvera/package/SonveraPackage.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace py = pybind11;

PYBIND11_MODULE(_sonvera, AModule) {
    AModule.doc() = "Sonvera Basic: audio buffers as NumPy arrays, files and chains.";
    // Every error the library raises, with its own one-line message.
    py::register_exception<sonvera::Exception>(AModule, "Error", PyExc_RuntimeError);
    sonvera::python::BindAudioBuffer(AModule);
    sonvera::python::BindFiles(AModule);
    sonvera::python::BindChains(AModule);
    AModule.attr("__version__") = sonvera::SonveraVersion();
}

// sonvera.Chain and sonvera.process: chains of the library's components, written as chain text
// or added by short name with their published properties as keyword arguments, run with the
// GIL released. The chain reports its progress on the running thread a few times a second;
// each report takes the GIL back for Python's signal handlers, so that Ctrl-C stops the chain
// (writers leave no file) and raises KeyboardInterrupt.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "sonvera/chain/SVChain.h"

namespace sonvera::python {

class TPyChain {
public:
    // An empty text gives a chain without components.
    explicit TPyChain(const std::string& AText);

    // A component of the registered class or short name AClass named AName (its short name when
    // empty), with AProperties set from their values' text (True and False as true and false).
    std::string Add(const std::string& AClass, const std::string& AName,
                    const pybind11::kwargs& AProperties);
    void Connect(const std::string& AFrom, const std::string& ATo);
    void Set(const std::string& AComponent, const std::string& AProperty,
             const pybind11::handle& AValue);
    std::vector<std::string> Names() const;
    std::string Save() const { return FChain.Save(); }
    void Run();

private:
    TSVChain FChain;
};

// Runs AChain to its end on this thread with the GIL released; the first failure raises, and so
// does a signal handler (after the chain has stopped).
void RunChain(TSVChain& AChain);

// AArray's frames through the chain of effects AText (chain text without a source or an
// output), as a new array of AArray's type.
pybind11::array Process(const pybind11::array& AArray, int32_t ARate, const std::string& AText);

void BindChains(pybind11::module_& AModule);

} // namespace sonvera::python

#include "sonvera/platform/runtime/Resources.h"

#include <mutex>

namespace sonvera {

namespace {

// Constant-initialised, so that modules may register from their static constructors whatever
// the order in which the modules' statics are built.
constinit std::mutex GModulesLock;
constinit TResourceModule* GModules = nullptr;

} // namespace

TResourceModule::TResourceModule(std::span<const TResource> AResources) noexcept
    : FResources(AResources) {
    std::lock_guard<std::mutex> guard(GModulesLock);
    FNext = GModules;
    GModules = this;
}

TResourceModule::~TResourceModule() {
    std::lock_guard<std::mutex> guard(GModulesLock);
    for (TResourceModule** link = &GModules; *link; link = &(*link)->FNext)
        if (*link == this) {
            *link = FNext;
            break;
        }
}

std::span<const uint8_t> FindResourceData(std::string_view AName) {
    std::lock_guard<std::mutex> guard(GModulesLock);
    for (const TResourceModule* module = GModules; module; module = module->FNext)
        for (const TResource& resource : module->FResources)
            if (resource.Name == AName)
                return resource.Data;
    return {};
}

} // namespace sonvera

// Resources a module carries: named blocks of bytes (the designer's images) compiled into the
// library and found by name for as long as it is loaded. Nothing is read from files at run time.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace sonvera {

struct TResource {
    std::string_view Name;
    std::span<const uint8_t> Data;
};

// One module's table of resources, found while the object lives. A module declares it as a
// static object of its own, so that its resources come and go with the module.
class TResourceModule {
public:
    explicit TResourceModule(std::span<const TResource> AResources) noexcept;
    ~TResourceModule();
    TResourceModule(const TResourceModule&) = delete;
    TResourceModule& operator=(const TResourceModule&) = delete;

private:
    friend std::span<const uint8_t> FindResourceData(std::string_view AName);

    std::span<const TResource> FResources;
    TResourceModule* FNext = nullptr;
};

// The bytes of the resource named AName (case matters), from the module registered last that
// has one; empty when no module has it.
std::span<const uint8_t> FindResourceData(std::string_view AName);

} // namespace sonvera

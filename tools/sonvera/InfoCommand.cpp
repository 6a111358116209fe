#include <cstdio>

#include "Commands.h"
#include "sonvera/package/SonveraPackage.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

namespace sonvera::tool {

namespace {

// Which primitive slots the vendor library supplies and which run on the portable code.
void PrintDispatchSlots() {
    const auto slots = SVDispatchSlots();
    size_t vendor = 0;
    for (const auto& slot : slots)
        vendor += slot.IsVendor() ? 1 : 0;
    std::printf("primitive slots: %zu (%zu vendor, %zu portable)\n", slots.size(), vendor,
                slots.size() - vendor);
    for (const auto& slot : slots)
        std::printf("  %-24s %s\n", slot.Name, slot.IsVendor() ? "vendor" : "portable");
}

} // namespace

int RunInfo() {
    std::printf("Sonvera Basic %s\n", SonveraVersion().c_str());
    std::printf("started: %d\n", SonveraStartCount());
    std::printf("units (start-up order):\n");
    for (const TSonveraUnit& unit : SonveraUnits())
        std::printf("  %s\n", unit.Name);
    PrintDispatchSlots();
    return 0;
}

} // namespace sonvera::tool

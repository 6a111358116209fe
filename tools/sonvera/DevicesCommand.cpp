// sonvera devices: the sound server's sinks and sources, the defaults marked.
#include <algorithm>
#include <cstdio>

#include "Commands.h"
#include "sonvera/devices/SVPulseDevices.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera::tool {

int RunDevices(const std::vector<std::string>& AArguments) {
    if (!AArguments.empty())
        throw EArgumentError("usage: sonvera devices");
    const std::vector<TSVPulseDevice> devices = SVListPulseDevices("");
    size_t width = 4;
    for (const TSVPulseDevice& device : devices)
        width = std::max(width, device.Name.size());
    for (const bool sources : {false, true}) {
        std::printf("%s:\n", sources ? "sources" : "sinks");
        for (const TSVPulseDevice& device : devices)
            if (device.IsSource == sources)
                std::printf("%c %-*s  %-20s  %s\n", device.IsDefault ? '*' : ' ',
                            static_cast<int>(width), device.Name.c_str(), device.Format.c_str(),
                            device.Description.c_str());
    }
    std::puts("(* the default)");
    return 0;
}

} // namespace sonvera::tool

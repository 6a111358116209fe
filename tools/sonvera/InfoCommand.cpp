#include <cstdio>

#include "Commands.h"
#include "sonvera/package/SonveraPackage.h"
#include "sonvera/platform/pins/PXFormatConverter.h"
#include "sonvera/platform/pins/PXStreamRegistry.h"
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

// The stream types pins can be connected over, which of them deliver through a registered
// default handler, and the converters that join different streams.
void PrintStreams() {
    const auto streams = PXRegisteredStreams();
    std::printf("streams: %zu\n", streams.size());
    for (const TPXStreamInfo& stream : streams)
        std::printf("  %s %s\n", stream.Id.ToString().c_str(), stream.Name.c_str());
    const auto handlers = PXRegisteredDefaultHandlers();
    std::printf("default handlers: %zu\n", handlers.size());
    for (const TGUID& id : handlers)
        std::printf("  %s\n", PXStreamName(id).c_str());
    const auto converters = PXRegisteredTypeConverters();
    std::printf("format converters: %zu\n", converters.size());
    for (const TPXFormatConverterClass& converter : converters)
        std::printf("  %-32s %s -> %s\n", converter.Name.c_str(),
                    PXStreamName(converter.Input).c_str(), PXStreamName(converter.Output).c_str());
}

} // namespace

int RunInfo() {
    std::printf("Sonvera Basic %s\n", SonveraVersion().c_str());
    std::printf("started: %d\n", SonveraStartCount());
    std::printf("units (start-up order):\n");
    for (const TSonveraUnit& unit : SonveraUnits())
        std::printf("  %s\n", unit.Name);
    PrintStreams();
    PrintDispatchSlots();
    return 0;
}

} // namespace sonvera::tool

// The sinks and sources of the sound server: what `sonvera devices` lists and what a device
// output or input may name in its Device property.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonvera {

struct TSVPulseDevice {
    bool IsSource = false;   // a source (an input, or the monitor of a sink), else a sink
    std::string Name;        // what Device takes
    std::string Description; // what a mixer shows
    std::string Format; // the device's own format, as the server writes it ("s16le 2ch 44100Hz")
    uint32_t Rate = 0;
    uint32_t Channels = 0;
    int32_t Bits = 0; // of integer samples; 32 for floats, 0 for other encodings
    bool IsDefault = false;
    std::string MonitorOf; // for the monitor of a sink: the sink's name
};

// Sinks first, then sources, each in the server's order; EDeviceError when the server (empty:
// the default one) cannot be reached or does not answer.
std::vector<TSVPulseDevice> SVListPulseDevices(const std::string& AServer);

} // namespace sonvera

#include "sonvera/devices/SVPulseDevices.h"

#include "sonvera/devices/SVPulseConnection.h"

namespace sonvera {

namespace {

struct TListing {
    TSVPulseConnection* Connection = nullptr;
    std::vector<TSVPulseDevice> Devices;
    std::string DefaultSink, DefaultSource;
};

int32_t BitsOf(pa_sample_format_t AFormat) {
    if (AFormat == PA_SAMPLE_FLOAT32LE || AFormat == PA_SAMPLE_FLOAT32BE)
        return 32;
    if (AFormat == PA_SAMPLE_ALAW || AFormat == PA_SAMPLE_ULAW)
        return 0;
    return static_cast<int32_t>(pa_sample_size_of_format(AFormat) * 8);
}

TSVPulseDevice DeviceOf(bool AIsSource, const char* AName, const char* ADescription,
                        const pa_sample_spec& ASpec) {
    TSVPulseDevice device;
    device.IsSource = AIsSource;
    device.Name = AName ? AName : "";
    device.Description = ADescription ? ADescription : "";
    char text[PA_SAMPLE_SPEC_SNPRINT_MAX];
    device.Format = pa_sample_spec_snprint(text, sizeof text, &ASpec);
    device.Rate = ASpec.rate;
    device.Channels = ASpec.channels;
    device.Bits = BitsOf(ASpec.format);
    return device;
}

void OnServer(pa_context*, const pa_server_info* AInfo, void* AUserData) {
    auto& listing = *static_cast<TListing*>(AUserData);
    if (AInfo) {
        listing.DefaultSink = AInfo->default_sink_name ? AInfo->default_sink_name : "";
        listing.DefaultSource = AInfo->default_source_name ? AInfo->default_source_name : "";
    }
    listing.Connection->Signal();
}

void OnSink(pa_context*, const pa_sink_info* AInfo, int, void* AUserData) {
    auto& listing = *static_cast<TListing*>(AUserData);
    if (AInfo)
        listing.Devices.push_back(
            DeviceOf(false, AInfo->name, AInfo->description, AInfo->sample_spec));
    listing.Connection->Signal();
}

void OnSource(pa_context*, const pa_source_info* AInfo, int, void* AUserData) {
    auto& listing = *static_cast<TListing*>(AUserData);
    if (AInfo) {
        TSVPulseDevice device = DeviceOf(true, AInfo->name, AInfo->description, AInfo->sample_spec);
        if (AInfo->monitor_of_sink_name)
            device.MonitorOf = AInfo->monitor_of_sink_name;
        listing.Devices.push_back(std::move(device));
    }
    listing.Connection->Signal();
}

} // namespace

std::vector<TSVPulseDevice> SVListPulseDevices(const std::string& AServer) {
    TSVPulseConnection connection(AServer, "Sonvera");
    TListing listing;
    listing.Connection = &connection;
    {
        TSVPulseConnection::TLock lock(connection);
        pa_context* context = connection.Context();
        connection.Complete(lock, pa_context_get_server_info(context, OnServer, &listing),
                            "the sound server");
        connection.Complete(lock, pa_context_get_sink_info_list(context, OnSink, &listing),
                            "the sound server's sinks");
        connection.Complete(lock, pa_context_get_source_info_list(context, OnSource, &listing),
                            "the sound server's sources");
    }
    for (TSVPulseDevice& device : listing.Devices)
        device.IsDefault =
            device.Name == (device.IsSource ? listing.DefaultSource : listing.DefaultSink);
    return std::move(listing.Devices);
}

} // namespace sonvera

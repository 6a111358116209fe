// What both sound-server devices add to their component base (the stream source for the input,
// the audio output base for the output): the connection settings they publish - Server, Device,
// Latency, StreamName, ApplicationName - read and written under the component lock, and counts
// (overruns, underruns) told to a handler on the main thread. A device whose prepared stream a
// changed setting no longer describes overrides SettingsChanged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sonvera/devices/SVPulseStream.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/platform/runtime/PropertyTable.h"

namespace sonvera {

template <class TBase> class TSVPulseComponent : public TBase {
public:
    static constexpr int32_t KDefaultLatency = 100;
    static constexpr int32_t KMaxLatency = 10'000;
    using TCountHandler = std::function<void(TPersistent* ASender, uint64_t ACount)>;

    std::string GetServer() const { return this->GetPropValue(FSettings.Server); }
    void SetServer(const std::string& AValue) { SetSetting("Server", FSettings.Server, AValue); }
    std::string GetDevice() const { return this->GetPropValue(FSettings.Device); }
    void SetDevice(const std::string& AValue) { SetSetting("Device", FSettings.Device, AValue); }
    // Milliseconds between the device and the stream's reads or writes that the stream asks
    // for (1 to 10000).
    int32_t GetLatency() const { return this->GetPropValue(FSettings.Latency); }
    void SetLatency(int32_t AValue) {
        this->SetBoundedPropValue("Latency", FSettings.Latency, AValue, 1, KMaxLatency,
                                  [this] { SettingsChanged(); });
    }
    std::string GetStreamName() const { return this->GetPropValue(FSettings.StreamName); }
    void SetStreamName(const std::string& AValue) {
        SetSetting("StreamName", FSettings.StreamName, AValue);
    }
    std::string GetApplicationName() const { return this->GetPropValue(FSettings.Application); }
    void SetApplicationName(const std::string& AValue) {
        SetSetting("ApplicationName", FSettings.Application, AValue);
    }

protected:
    // AStreamName: the stream's name as the server's mixer lists it, by default.
    TSVPulseComponent(TPersistent* AOwner, const char* AStreamName)
        : TBase(AOwner), FSettings{"", "", KDefaultLatency, AStreamName, "Sonvera"} {}

    // ATable with the settings published; AStreamName as given to the constructor.
    template <class T>
    static TPropertyTable<T> WithSettings(const TPropertyTable<T>& ATable,
                                          const char* AStreamName) {
        TPropertyTable<T> table = ATable;
        return table.String("Server", "", &T::GetServer, &T::SetServer)
            .String("Device", "", &T::GetDevice, &T::SetDevice)
            .Integer("Latency", KDefaultLatency, &T::GetLatency, &T::SetLatency)
            .String("StreamName", AStreamName, &T::GetStreamName, &T::SetStreamName)
            .String("ApplicationName", "Sonvera", &T::GetApplicationName, &T::SetApplicationName);
    }

    // Runs after a setting changed, inside the component lock; nothing by default.
    virtual void SettingsChanged() {}

    // Calls AHandler (a member of this device) with ACount on the main thread, unless the
    // device is gone by then. Any thread.
    void PostCount(const TCountHandler& AHandler, uint64_t ACount) {
        std::weak_ptr<int> alive = FAlive;
        TMainThread::Post([this, alive, handler = &AHandler, ACount] {
            if (!alive.expired() && *handler)
                (*handler)(this, ACount);
        });
    }

    TSVPulseStreamSettings FSettings;

private:
    void SetSetting(std::string_view AName, std::string& AField, const std::string& AValue) {
        this->SetPropValue(AName, AField, AValue, [this] { SettingsChanged(); });
    }

    // Lets work posted to the main thread find out that the device is gone.
    std::shared_ptr<int> FAlive = std::make_shared<int>(0);
};

} // namespace sonvera

// The named base of the codec descriptors and container formats.
#pragma once

#include <string>

#include "sonvera/format/SVAudioFormat.h"
#include "sonvera/platform/runtime/LockPersistent.h"

namespace sonvera {

// The name that leaves the choice open: a descriptor then takes its codec by identifier, a
// container format by the caller's file.
inline constexpr const char* KRVLAVAutoSelect = "Auto Select";

// An entry of a list of codecs or output formats: the short name (ciCode), the long name
// (ciDescription) or "[name] - long name" (ciBoth). A missing long name reads as empty.
std::string RVLAVListEntry(const char* AName, const char* ALongName, TRVCompressionInfo AInfo);

// Published: Name ("Auto Select"), an FFmpeg short name of a codec or of an output format.
class TRVLAVLoggingElement : public TLockPersistent {
public:
    TRVLAVLoggingElement(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                         TPersistentNotify AOnChange);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    std::string GetName() const { return GetPropValue(FName); }
    // Stored through the owner's lock; listeners hear only of a real change.
    void SetName(const std::string& AValue) { SetPropValue("Name", FName, AValue); }

private:
    std::string FName = KRVLAVAutoSelect;
};

} // namespace sonvera

#include "sonvera/format/SVSpeakers.h"

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

template <> const TEnumTypeInfo& EnumTypeInfo<TSVSpeaker>() {
    static const TEnumTypeInfo info("TSVSpeaker", {{"spFrontLeft", spFrontLeft},
                                                   {"spFrontRight", spFrontRight},
                                                   {"spFrontCenter", spFrontCenter},
                                                   {"spSubwoofer", spSubwoofer},
                                                   {"spBackLeft", spBackLeft},
                                                   {"spBackRight", spBackRight},
                                                   {"spFrontLeftOfCenter", spFrontLeftOfCenter},
                                                   {"spFrontRightOfCenter", spFrontRightOfCenter},
                                                   {"spBackCenter", spBackCenter},
                                                   {"spSideLeft", spSideLeft},
                                                   {"spSideRight", spSideRight},
                                                   {"spTopCenter", spTopCenter},
                                                   {"spTopFrontLeft", spTopFrontLeft},
                                                   {"spTopFrontCenter", spTopFrontCenter},
                                                   {"spTopFrontRight", spTopFrontRight},
                                                   {"spTopBackLeft", spTopBackLeft},
                                                   {"spTopBackCenter", spTopBackCenter},
                                                   {"spTopBackRight", spTopBackRight}});
    return info;
}

int32_t GetSVSpeakerValuesSize() noexcept {
    return KSVSpeakerCount;
}

TSVSpeaker GetSVSpeakerValues(int32_t AIndex) {
    if (AIndex < 0 || AIndex >= KSVSpeakerCount)
        throw ERangeError(FormatMessage("Index out of range = %d", AIndex));
    return SVSpeakerValues[AIndex];
}

} // namespace sonvera

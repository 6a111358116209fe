// The records, handles and callbacks of the platform's Audio Compression Manager, in the
// platform's published layouts (64-bit), for codec components of other packages. This library
// calls no part of it. The ANSI and wide forms of a record differ only in their character type.
#pragma once

#include <cstdint>

#include "sonvera/format/GMDXTypes.h"

namespace sonvera {

using HACMDRIVERID = struct HACMDRIVERID__*;
using HACMDRIVER = struct HACMDRIVER__*;
using HACMSTREAM = struct HACMSTREAM__*;
using HACMOBJ = struct HACMOBJ__*;

struct WAVEFILTER {
    uint32_t cbStruct;
    uint32_t dwFilterTag;
    uint32_t fdwFilter;
    uint32_t dwReserved[5];
};

// Byte-packed even on 64 bits, unlike the other records: the icon handle is unaligned.
#pragma pack(push, 1)
template <class TChar> struct TACMDriverDetails {
    uint32_t cbStruct;
    uint32_t fccType;
    uint32_t fccComp;
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vdwACM;
    uint32_t vdwDriver;
    uint32_t fdwSupport;
    uint32_t cFormatTags;
    uint32_t cFilterTags;
    void* hicon;
    TChar szShortName[32];
    TChar szLongName[128];
    TChar szCopyright[80];
    TChar szLicensing[128];
    TChar szFeatures[512];
};
#pragma pack(pop)

template <class TChar> struct TACMFormatTagDetails {
    uint32_t cbStruct;
    uint32_t dwFormatTagIndex;
    uint32_t dwFormatTag;
    uint32_t cbFormatSize;
    uint32_t fdwSupport;
    uint32_t cStandardFormats;
    TChar szFormatTag[48];
};

template <class TChar> struct TACMFilterTagDetails {
    uint32_t cbStruct;
    uint32_t dwFilterTagIndex;
    uint32_t dwFilterTag;
    uint32_t cbFilterSize;
    uint32_t fdwSupport;
    uint32_t cStandardFilters;
    TChar szFilterTag[48];
};

template <class TChar> struct TACMFormatDetails {
    uint32_t cbStruct;
    uint32_t dwFormatIndex;
    uint32_t dwFormatTag;
    uint32_t fdwSupport;
    tWAVEFORMATEX* pwfx;
    uint32_t cbwfx;
    TChar szFormat[128];
};

template <class TChar> struct TACMFilterDetails {
    uint32_t cbStruct;
    uint32_t dwFilterIndex;
    uint32_t dwFilterTag;
    uint32_t fdwSupport;
    WAVEFILTER* pwfltr;
    uint32_t cbwfltr;
    TChar szFilter[128];
};

// Hook procedures of the chooser dialogs: window, message, wParam, lParam.
using ACMFORMATCHOOSEHOOKPROCA = uint32_t (*)(void*, uint32_t, uintptr_t, intptr_t);
using ACMFORMATCHOOSEHOOKPROCW = ACMFORMATCHOOSEHOOKPROCA;
using ACMFILTERCHOOSEHOOKPROCA = ACMFORMATCHOOSEHOOKPROCA;
using ACMFILTERCHOOSEHOOKPROCW = ACMFORMATCHOOSEHOOKPROCA;

// The chooser dialogs' records; handles of windows and modules are plain pointers here.
template <class TChar> struct TACMFormatChoose {
    uint32_t cbStruct;
    uint32_t fdwStyle;
    void* hwndOwner;
    tWAVEFORMATEX* pwfx;
    uint32_t cbwfx;
    const TChar* pszTitle;
    TChar szFormatTag[48];
    TChar szFormat[128];
    TChar* pszName;
    uint32_t cchName;
    uint32_t fdwEnum;
    tWAVEFORMATEX* pwfxEnum;
    void* hInstance;
    const TChar* pszTemplateName;
    intptr_t lCustData;
    ACMFORMATCHOOSEHOOKPROCA pfnHook;
};

template <class TChar> struct TACMFilterChoose {
    uint32_t cbStruct;
    uint32_t fdwStyle;
    void* hwndOwner;
    WAVEFILTER* pwfltr;
    uint32_t cbwfltr;
    const TChar* pszTitle;
    TChar szFilterTag[48];
    TChar szFilter[128];
    TChar* pszName;
    uint32_t cchName;
    uint32_t fdwEnum;
    WAVEFILTER* pwfltrEnum;
    void* hInstance;
    const TChar* pszTemplateName;
    intptr_t lCustData;
    ACMFILTERCHOOSEHOOKPROCA pfnHook;
};

using ACMDRIVERDETAILSA = TACMDriverDetails<char>;
using ACMDRIVERDETAILSW = TACMDriverDetails<char16_t>;
using ACMFORMATTAGDETAILSA = TACMFormatTagDetails<char>;
using ACMFORMATTAGDETAILSW = TACMFormatTagDetails<char16_t>;
using ACMFILTERTAGDETAILSA = TACMFilterTagDetails<char>;
using ACMFILTERTAGDETAILSW = TACMFilterTagDetails<char16_t>;
using ACMFORMATDETAILSA = TACMFormatDetails<char>;
using ACMFORMATDETAILSW = TACMFormatDetails<char16_t>;
using ACMFILTERDETAILSA = TACMFilterDetails<char>;
using ACMFILTERDETAILSW = TACMFilterDetails<char16_t>;
using ACMFORMATCHOOSEA = TACMFormatChoose<char>;
using ACMFORMATCHOOSEW = TACMFormatChoose<char16_t>;
using ACMFILTERCHOOSEA = TACMFilterChoose<char>;
using ACMFILTERCHOOSEW = TACMFilterChoose<char16_t>;

struct ACMSTREAMHEADER {
    uint32_t cbStruct;
    uint32_t fdwStatus;
    uintptr_t dwUser;
    uint8_t* pbSrc;
    uint32_t cbSrcLength;
    uint32_t cbSrcLengthUsed;
    uintptr_t dwSrcUser;
    uint8_t* pbDst;
    uint32_t cbDstLength;
    uint32_t cbDstLengthUsed;
    uintptr_t dwDstUser;
    uint32_t dwReservedDriver[15];
};

// Enumeration callbacks: the driver, the record found, the caller's value and the support
// flags; a non-zero result goes on enumerating.
using ACMDRIVERENUMCB = int32_t (*)(HACMDRIVERID, uintptr_t, uint32_t);
template <class TRecord>
using TACMEnumCallback = int32_t (*)(HACMDRIVERID, TRecord*, uintptr_t, uint32_t);
using ACMFORMATTAGENUMCBA = TACMEnumCallback<ACMFORMATTAGDETAILSA>;
using ACMFORMATTAGENUMCBW = TACMEnumCallback<ACMFORMATTAGDETAILSW>;
using ACMFORMATENUMCBA = TACMEnumCallback<ACMFORMATDETAILSA>;
using ACMFORMATENUMCBW = TACMEnumCallback<ACMFORMATDETAILSW>;
using ACMFILTERTAGENUMCBA = TACMEnumCallback<ACMFILTERTAGDETAILSA>;
using ACMFILTERTAGENUMCBW = TACMEnumCallback<ACMFILTERTAGDETAILSW>;
using ACMFILTERENUMCBA = TACMEnumCallback<ACMFILTERDETAILSA>;
using ACMFILTERENUMCBW = TACMEnumCallback<ACMFILTERDETAILSW>;

// The driver type of audio codecs: the four characters "audc", the first in the lowest byte.
uint32_t ACMDRIVERDETAILS_FCCTYPE_AUDIOCODE();

} // namespace sonvera

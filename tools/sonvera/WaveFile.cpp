#include "WaveFile.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera::tool {

namespace {

// File channel positions in speaker-bit order (bit n of a channel mask is entry n).
constexpr std::array<int, 18> KSpeakerChannelMap = {SF_CHANNEL_MAP_FRONT_LEFT,
                                                    SF_CHANNEL_MAP_FRONT_RIGHT,
                                                    SF_CHANNEL_MAP_FRONT_CENTER,
                                                    SF_CHANNEL_MAP_LFE,
                                                    SF_CHANNEL_MAP_REAR_LEFT,
                                                    SF_CHANNEL_MAP_REAR_RIGHT,
                                                    SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER,
                                                    SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER,
                                                    SF_CHANNEL_MAP_REAR_CENTER,
                                                    SF_CHANNEL_MAP_SIDE_LEFT,
                                                    SF_CHANNEL_MAP_SIDE_RIGHT,
                                                    SF_CHANNEL_MAP_TOP_CENTER,
                                                    SF_CHANNEL_MAP_TOP_FRONT_LEFT,
                                                    SF_CHANNEL_MAP_TOP_FRONT_CENTER,
                                                    SF_CHANNEL_MAP_TOP_FRONT_RIGHT,
                                                    SF_CHANNEL_MAP_TOP_REAR_LEFT,
                                                    SF_CHANNEL_MAP_TOP_REAR_CENTER,
                                                    SF_CHANNEL_MAP_TOP_REAR_RIGHT};

// The largest sample area the library's 32-bit sizes can hold.
constexpr uint64_t KMaxSampleBytes = 0x7FFFFFFFull - 64;

struct TFileCloser {
    void operator()(SNDFILE* AFile) const { sf_close(AFile); }
};
using TFile = std::unique_ptr<SNDFILE, TFileCloser>;

int SpeakerBitOf(int AChannelPosition) {
    switch (AChannelPosition) {
    case SF_CHANNEL_MAP_MONO:
    case SF_CHANNEL_MAP_LEFT:
        return 0;
    case SF_CHANNEL_MAP_RIGHT:
        return 1;
    case SF_CHANNEL_MAP_CENTER:
        return 2;
    default:
        for (size_t bit = 0; bit < KSpeakerChannelMap.size(); ++bit)
            if (KSpeakerChannelMap[bit] == AChannelPosition)
                return static_cast<int>(bit);
        return -1;
    }
}

uint32_t BitsOfSubtype(int ASubtype) {
    switch (ASubtype) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8:
        return 8;
    case SF_FORMAT_PCM_16:
        return 16;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
        return 32;
    default:
        return 0;
    }
}

// The file's speaker mask, or the first channels in order when it names none we know.
uint32_t ReadChannelMask(SNDFILE* AFile, uint32_t AChannels) {
    std::vector<int> map(AChannels);
    uint32_t mask = 0;
    if (sf_command(AFile, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                   static_cast<int>(map.size() * sizeof(int))) == SF_TRUE) {
        for (int position : map) {
            const int bit = SpeakerBitOf(position);
            if (bit < 0 || (mask & (1u << bit)) != 0)
                return AChannels >= 32 ? 0xFFFFFFFFu : (1u << AChannels) - 1;
            mask |= 1u << bit;
        }
        return mask;
    }
    return AChannels >= 32 ? 0xFFFFFFFFu : (1u << AChannels) - 1;
}

// A whole file in memory behind libsndfile's virtual I/O: read-only, so that the same parse
// step serves files and bytes handed over by a caller.
struct TMemoryFile {
    const uint8_t* Data;
    sf_count_t Size;
    sf_count_t Position;
};

sf_count_t MemoryLength(void* AFile) {
    return static_cast<TMemoryFile*>(AFile)->Size;
}

sf_count_t MemorySeek(sf_count_t AOffset, int AWhence, void* AFile) {
    auto& file = *static_cast<TMemoryFile*>(AFile);
    const sf_count_t base = AWhence == SEEK_CUR   ? file.Position
                            : AWhence == SEEK_END ? file.Size
                                                  : 0;
    if (AOffset < -base || AOffset > file.Size - base)
        return -1;
    file.Position = base + AOffset;
    return file.Position;
}

sf_count_t MemoryRead(void* ATarget, sf_count_t ACount, void* AFile) {
    auto& file = *static_cast<TMemoryFile*>(AFile);
    const sf_count_t count = std::clamp<sf_count_t>(ACount, 0, file.Size - file.Position);
    if (count > 0)
        std::memcpy(ATarget, file.Data + file.Position, static_cast<size_t>(count));
    file.Position += count;
    return count;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t MemoryTell(void* AFile) {
    return static_cast<TMemoryFile*>(AFile)->Position;
}

// The parse step between libsndfile and the buffer: the opened file's format checked and its
// samples read raw.
TWaveData ReadWave(SNDFILE* AFile, const SF_INFO& AInfo, const std::string& AName) {
    const int major = AInfo.format & SF_FORMAT_TYPEMASK;
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX)
        throw EReadError(AName + ": not a WAV file");
    const uint32_t bits = BitsOfSubtype(AInfo.format & SF_FORMAT_SUBMASK);
    if (bits == 0)
        throw EReadError(AName + ": not integer PCM (float and compressed WAV are not read)");
    if (AInfo.channels < 1 || AInfo.channels > 18 || AInfo.frames < 0 || AInfo.samplerate < 1)
        throw EReadError(AName + ": unsupported channel count or size");

    TWaveData data;
    data.Rate = static_cast<uint32_t>(AInfo.samplerate);
    data.Channels = static_cast<uint32_t>(AInfo.channels);
    data.Bits = bits;
    data.ChannelMask = ReadChannelMask(AFile, data.Channels);
    const uint64_t bytes = static_cast<uint64_t>(AInfo.frames) * data.Channels * (bits / 8);
    if (bytes > KMaxSampleBytes)
        throw EReadError(AName + ": too large");
    data.Samples.resize(bytes);
    const sf_count_t read = sf_read_raw(AFile, data.Samples.data(), static_cast<sf_count_t>(bytes));
    if (read < 0 || static_cast<uint64_t>(read) != bytes)
        throw EReadError(AName + ": truncated sample data");
    return data;
}

} // namespace

uint64_t TWaveData::Frames() const {
    const uint64_t frameBytes = uint64_t{Channels} * (Bits / 8);
    return frameBytes == 0 ? 0 : Samples.size() / frameBytes;
}

TWaveData ReadWaveFile(const std::string& APath) {
    SF_INFO info{};
    TFile file(sf_open(APath.c_str(), SFM_READ, &info));
    if (!file)
        throw EReadError(APath + ": " + sf_strerror(nullptr));
    return ReadWave(file.get(), info, APath);
}

TWaveData ReadWaveMemory(const void* AData, size_t ASize, const std::string& AName) {
    TMemoryFile memory{static_cast<const uint8_t*>(AData), static_cast<sf_count_t>(ASize), 0};
    SF_VIRTUAL_IO io{MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
    SF_INFO info{};
    TFile file(sf_open_virtual(&io, SFM_READ, &info, &memory));
    if (!file)
        throw EReadError(AName + ": " + sf_strerror(nullptr));
    return ReadWave(file.get(), info, AName);
}

void WriteWaveFile(const std::string& APath, const TWaveData& AData) {
    int subtype = 0;
    switch (AData.Bits) {
    case 8:
        subtype = SF_FORMAT_PCM_U8;
        break;
    case 16:
        subtype = SF_FORMAT_PCM_16;
        break;
    case 24:
        subtype = SF_FORMAT_PCM_24;
        break;
    case 32:
        subtype = SF_FORMAT_PCM_32;
        break;
    default:
        throw EArgumentError(APath + ": cannot write " + std::to_string(AData.Bits) +
                             "-bit samples");
    }
    std::vector<int> map;
    for (size_t bit = 0; bit < KSpeakerChannelMap.size(); ++bit)
        if (AData.ChannelMask & (1u << bit))
            map.push_back(KSpeakerChannelMap[bit]);
    if (AData.Channels < 1 || map.size() != AData.Channels)
        throw EArgumentError(APath + ": the channel mask does not name one speaker per channel");

    SF_INFO info{};
    info.samplerate = static_cast<int>(AData.Rate);
    info.channels = static_cast<int>(AData.Channels);
    info.format = SF_FORMAT_WAVEX | subtype;
    if (!sf_format_check(&info))
        throw EArgumentError(APath + ": format not writable as WAV");
    TFile file(sf_open(APath.c_str(), SFM_WRITE, &info));
    if (!file)
        throw EArgumentError(APath + ": " + sf_strerror(nullptr));
    sf_command(file.get(), SFC_SET_CHANNEL_MAP_INFO, map.data(),
               static_cast<int>(map.size() * sizeof(int)));
    const auto bytes = static_cast<sf_count_t>(AData.Samples.size());
    if (sf_write_raw(file.get(), AData.Samples.data(), bytes) != bytes) {
        file.reset();
        std::remove(APath.c_str()); // no half-written file is left behind
        throw EArgumentError(APath + ": write failed");
    }
}

} // namespace sonvera::tool

#include "WaveFile.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// libsndfile, and the decoders it loads for what it takes to be other formats, print notes of
// their own on standard error; the tool reports every failure in one line of its own, so the
// notes are kept off standard error while a file is opened and read.
class TQuietStandardError {
public:
    TQuietStandardError() {
        std::fflush(stderr);
        FSaved = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        if (FSaved >= 0 && null >= 0)
            dup2(null, STDERR_FILENO);
        if (null >= 0)
            close(null);
    }
    ~TQuietStandardError() {
        if (FSaved < 0)
            return;
        std::fflush(stderr);
        dup2(FSaved, STDERR_FILENO);
        close(FSaved);
    }
    TQuietStandardError(const TQuietStandardError&) = delete;
    TQuietStandardError& operator=(const TQuietStandardError&) = delete;

private:
    int FSaved;
};

// The file must exist, be a regular file, be readable, and start as a WAV file does ("RIFF"
// or "RIFX", then "WAVE"): each failure is named as it is, before libsndfile, which would try
// every format it knows and can then misreport the cause, sees the file.
void CheckWaveHeader(const std::string& APath) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(APath, error);
    if (!std::filesystem::exists(status))
        throw EReadError(APath + ": does not exist");
    if (!std::filesystem::is_regular_file(status))
        throw EReadError(APath + ": not a regular file");
    std::ifstream file(APath, std::ios::binary);
    if (!file)
        throw EReadError(APath + ": cannot be read: " + std::strerror(errno));
    char header[12] = {};
    file.read(header, sizeof header);
    const bool riff = std::memcmp(header, "RIFF", 4) == 0 || std::memcmp(header, "RIFX", 4) == 0;
    if (file.gcount() < 12 || !riff || std::memcmp(header + 8, "WAVE", 4) != 0)
        throw EReadError(APath + ": not a WAV file");
}

// What libsndfile found wrong with a WAV file: its own words where they describe the WAV
// data, nothing where they would speak of another format or of a missing file.
std::string UnusableWaveMessage(const std::string& APath) {
    const std::string detail = sf_strerror(nullptr);
    if (detail.find("WAV") == std::string::npos)
        return APath + ": not a usable WAV file";
    return APath + ": not a usable WAV file: " + detail;
}

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

} // namespace

uint64_t TWaveData::Frames() const {
    const uint64_t frameBytes = uint64_t{Channels} * (Bits / 8);
    return frameBytes == 0 ? 0 : Samples.size() / frameBytes;
}

TWaveData ReadWaveFile(const std::string& APath) {
    CheckWaveHeader(APath);
    const TQuietStandardError quiet;
    SF_INFO info{};
    TFile file(sf_open(APath.c_str(), SFM_READ, &info));
    if (!file)
        throw EReadError(UnusableWaveMessage(APath));
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX)
        throw EReadError(APath + ": not a WAV file");
    const uint32_t bits = BitsOfSubtype(info.format & SF_FORMAT_SUBMASK);
    if (bits == 0)
        throw EReadError(APath + ": not integer PCM (float and compressed WAV are not read)");
    if (info.channels < 1 || info.channels > 18 || info.frames < 0 || info.samplerate < 1)
        throw EReadError(APath + ": unsupported channel count or size");

    TWaveData data;
    data.Rate = static_cast<uint32_t>(info.samplerate);
    data.Channels = static_cast<uint32_t>(info.channels);
    data.Bits = bits;
    data.ChannelMask = ReadChannelMask(file.get(), data.Channels);
    const uint64_t bytes = static_cast<uint64_t>(info.frames) * data.Channels * (bits / 8);
    if (bytes > KMaxSampleBytes)
        throw EReadError(APath + ": too large");
    data.Samples.resize(bytes);
    const sf_count_t read =
        sf_read_raw(file.get(), data.Samples.data(), static_cast<sf_count_t>(bytes));
    if (read < 0 || static_cast<uint64_t>(read) != bytes)
        throw EReadError(APath + ": truncated sample data");
    return data;
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

#include "sonvera/format/SVAudioFormat.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/runtime/PropertyStreaming.h"

using namespace sonvera;
using sonvera::testing::ReadInto;
using sonvera::testing::TListenerRegistration;
using sonvera::testing::TRecordingListener;
using sonvera::testing::Written;

namespace {

const std::vector<uint8_t> PcmSubFormatBytes = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::vector<uint8_t> RecordBytes(const TSVAudioFormatBasic& AFormat) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(AFormat.GetWaveFormat());
    return std::vector<uint8_t>(bytes, bytes + sizeof(TSVWaveFormatExtensible));
}

// Checks every field of ARecord against the record made by hand for ABits at AChannels and
// ARate: samples in whole bytes, bytes per second cut to the record's 32 bits.
void ExpectRecord(const TSVWaveFormatExtensible& ARecord, uint32_t ABits, uint32_t AChannels,
                  uint32_t ARate) {
    const uint32_t container = (ABits + 7) / 8;
    EXPECT_EQ(ARecord.Format.wFormatTag, 0xFFFE);
    EXPECT_EQ(ARecord.Format.nChannels, AChannels);
    EXPECT_EQ(ARecord.Samples.wValidBitsPerSample, ABits);
    EXPECT_EQ(ARecord.Format.wBitsPerSample, container * 8);
    EXPECT_EQ(ARecord.Format.nSamplesPerSec, ARate);
    EXPECT_EQ(ARecord.Format.nBlockAlign, container * AChannels);
    EXPECT_EQ(ARecord.Format.nAvgBytesPerSec, uint32_t(uint64_t{ARate} * container * AChannels));
    EXPECT_EQ(ARecord.Format.cbSize, 22);
    const auto* subFormat = reinterpret_cast<const uint8_t*>(&ARecord.SubFormat);
    EXPECT_EQ(std::vector<uint8_t>(subFormat, subFormat + 16), PcmSubFormatBytes);
}

// Counts what the owner hears: its change callback and its lock's report.
struct TOwnerLog {
    std::vector<TPersistent*> Senders; // of the change callback
    std::atomic<int> LockReports{0};

    TPersistentNotify Callback() {
        return [this](TPersistent* ASender) { Senders.push_back(ASender); };
    }
    TRef<IChangeNotifyLock> Lock() {
        return TChangeNotifyLock::Create([this](TPersistent*) { ++LockReports; });
    }
};

// A listener for AWatched; the detail is the block align its record has at that moment:
// "begin Channels 4", "done Channels 6".
TRef<TRecordingListener> WatchFormat(const TSVAudioFormatBasic& AWatched) {
    return MakeRef<TRecordingListener>([&AWatched](TPersistent* AObject) {
        return AObject == &AWatched
                   ? std::optional(std::to_string(AWatched.GetWaveFormat()->Format.nBlockAlign))
                   : std::nullopt;
    });
}

} // namespace

TEST(TSVAudioFormat, RecordFollowsBitsChannelsAndRate) {
    TSVAudioFormat format(nullptr, nullptr, nullptr);
    format.SetSampleRate(48000);
    const TSVWaveFormatExtensible& record = *format.GetWaveFormat();
    // Every width at every channel count, across each byte boundary of the container.
    for (uint32_t bits = 1; bits <= 32; ++bits) {
        for (uint32_t channels = 1; channels <= 32; ++channels) {
            SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(channels) + " channels");
            format.SetBits(bits);
            format.SetCountChannels(channels);
            ExpectRecord(record, bits, channels, 48000);
        }
    }
    // The rate is not checked, and the bytes per second keep to the record's 32 bits:
    // (2^32 - 1) x 128 leaves 2^32 - 128.
    format.SetSampleRate(0);
    ExpectRecord(record, 32, 32, 0);
    format.SetSampleRate(std::numeric_limits<uint32_t>::max());
    EXPECT_EQ(record.Format.nAvgBytesPerSec, 4294967168u);

    // The mask is stored as given, whatever the channel count, even with bits no speaker
    // stands for.
    format.SetCountChannels(6);
    format.SetChannelMask(TSVSpeakers::FromMask(0x80000003u));
    EXPECT_EQ(record.dwChannelMask, 0x80000003u);
    EXPECT_EQ(format.GetChannelMask().Mask(), 0x80000003u);
    EXPECT_EQ(record.Format.nChannels, 6);
}

TEST(TSVAudioFormat, OnlyRealChangesAreToldOnceWithTheRecordRecalculatedBetween) {
    TOwnerLog log;
    TSVOptionalAudioFormat format(log.Callback(), nullptr, log.Lock());
    auto listener = WatchFormat(format);
    TListenerRegistration registration(listener);

    // Each change, and the property and block aligns told before and after it; no property:
    // nothing may be told.
    struct TStep {
        std::function<void()> Change;
        const char* Property = nullptr;
        int Before = 0, After = 0;
    };
    const TStep steps[] = {
        {[&] { format.SetCountChannels(2); }},
        {[&] { format.SetCountChannels(3); }, "Channels", 4, 6},
        {[&] { format.SetCountChannels(3); }},
        {[&] { format.SetCountChannels(40); }, "Channels", 6, 64},
        {[&] { format.SetCountChannels(33); }}, // clamped to the same 32
        {[&] { format.SetBits(16); }},
        {[&] { format.SetBits(24); }, "Bits", 64, 96},
        {[&] { format.SetBits(99); }, "Bits", 96, 128}, // clamped to 32
        {[&] { format.SetBits(40); }},                  // clamped to the same
        {[&] { format.SetSampleRate(11025); }},
        {[&] { format.SetSampleRate(8000); }, "SampleRate", 128, 128},
        {[&] { format.SetChannelMask(KSVSpeakersStereo); }},
        {[&] { format.SetChannelMask({spFrontCenter}); }, "ChannelMask", 128, 128},
        {[&] { format.SetBufferSize(1024); }},
        {[&] { format.SetBufferSize(0); }, "BufferSize", 128, 128}, // clamped to 1
        {[&] { format.SetEnabled(false); }},
        {[&] { format.SetEnabled(true); }, "Enabled", 128, 128},
    };
    for (const TStep& step : steps) {
        const size_t callbacks = log.Senders.size();
        const int reports = log.LockReports;
        step.Change();
        const size_t told = step.Property ? 1 : 0;
        std::vector<std::string> events;
        if (step.Property)
            events = {"begin " + std::string(step.Property) + " " + std::to_string(step.Before),
                      "done " + std::string(step.Property) + " " + std::to_string(step.After)};
        EXPECT_EQ(log.Senders.size() - callbacks, told) << "step " << &step - steps;
        EXPECT_EQ(size_t(log.LockReports - reports), told) << "step " << &step - steps;
        EXPECT_EQ(listener->TakeEvents(), events) << "step " << &step - steps;
    }
    EXPECT_EQ(log.Senders, std::vector<TPersistent*>(log.Senders.size(), &format));
    ExpectRecord(*format.GetWaveFormat(), 32, 32, 8000);
}

TEST(TSVAudioFormat, StreamsOnlyNonDefaultPropertiesAndReadsThemThroughTheSetters) {
    TSVOptionalAudioFormat source(nullptr, nullptr, nullptr);
    EXPECT_EQ(Written(source), "{}");

    source.SetCountChannels(6);
    source.SetBits(24);
    source.SetSampleRate(48000);
    source.SetChannelMask(TSVSpeakers::FromMask(0x3F));
    source.SetBufferSize(256);
    source.SetEnabled(true);
    const std::string text = Written(source);
    EXPECT_EQ(text, "{\"Channels\":6,\"Bits\":24,\"SampleRate\":48000,\"ChannelMask\":"
                    "\"[spFrontLeft,spFrontRight,spFrontCenter,spSubwoofer,spBackLeft,"
                    "spBackRight]\",\"BufferSize\":256,\"Enabled\":true}");

    TOwnerLog log;
    TSVOptionalAudioFormat target(log.Callback(), nullptr, log.Lock());
    ReadInto(target, text);
    EXPECT_EQ(Written(target), text);
    // The record was recalculated while it was read: 6 x 3 bytes at 48000 Hz.
    EXPECT_EQ(RecordBytes(target), RecordBytes(source));
    EXPECT_EQ(log.Senders.size(), 6u);
    EXPECT_EQ(log.LockReports, 6);

    // A property back at its default is no longer written.
    source.SetCountChannels(2);
    source.SetEnabled(false);
    EXPECT_EQ(Written(source), "{\"Bits\":24,\"SampleRate\":48000,\"ChannelMask\":"
                               "\"[spFrontLeft,spFrontRight,spFrontCenter,spSubwoofer,"
                               "spBackLeft,spBackRight]\",\"BufferSize\":256}");

    // An unusable entry refuses the whole read, and nothing is set.
    TSVAudioFormat untouched(nullptr, nullptr, nullptr);
    const std::vector<uint8_t> before = RecordBytes(untouched);
    EXPECT_THROW(ReadInto(untouched, "{\"Channels\":4,\"ChannelMask\":\"[spNowhere]\"}"),
                 EReadError);
    EXPECT_EQ(RecordBytes(untouched), before);
}

TEST(TSVAudioFormat, ConcurrentChangesLeaveAConsistentRecord) {
    TOwnerLog log;
    TSVAudioFormat format(log.Callback(), nullptr, log.Lock());
    auto listener = WatchFormat(format);
    TListenerRegistration registration(listener);
    const TRef<IChangeNotifyLock> lock = format.GetLock();

    std::atomic<bool> writing{true};
    std::atomic<int> inconsistent{0};
    // Whether the derived fields of the record follow its stored ones, read inside the lock.
    const auto consistent = [&] {
        TChangeNotifyLockGuard guard(*lock);
        const TSVWaveFormatExtensible& record = *format.GetWaveFormat();
        const uint32_t container = (record.Samples.wValidBitsPerSample + 7) / 8;
        return record.Format.nBlockAlign == container * record.Format.nChannels &&
               record.Format.nAvgBytesPerSec ==
                   record.Format.nSamplesPerSec * record.Format.nBlockAlign;
    };
    std::thread reader([&] {
        while (writing)
            inconsistent += !consistent();
    });
    std::vector<std::thread> writers;
    const std::function<void(uint32_t)> setters[] = {
        [&](uint32_t v) { format.SetCountChannels(v & 63); },
        [&](uint32_t v) { format.SetBits(v & 63); },
        [&](uint32_t v) { format.SetSampleRate(v & 0xFFFF); },
        [&](uint32_t v) { format.SetBufferSize(v & 0xFFF); }};
    for (unsigned seed = 1; seed <= 3; ++seed) {
        writers.emplace_back([&setters, seed] {
            std::mt19937 random(seed);
            for (int i = 0; i < 3000; ++i) {
                const uint32_t value = random();
                setters[value % 4](value >> 8);
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    writing = false;
    reader.join();

    EXPECT_EQ(inconsistent, 0);
    EXPECT_TRUE(consistent());
    // Every real change was told to the listeners and to the owner exactly once.
    const std::vector<std::string> events = listener->TakeEvents();
    ASSERT_EQ(events.size() % 2, 0u);
    for (size_t i = 0; i < events.size(); i += 2) {
        ASSERT_EQ(events[i].rfind("begin ", 0), 0u) << events[i];
        ASSERT_EQ(events[i + 1].rfind("done ", 0), 0u) << events[i + 1];
    }
    EXPECT_EQ(events.size() / 2, log.Senders.size());
    EXPECT_EQ(log.Senders.size(), size_t(log.LockReports));
    EXPECT_GT(log.Senders.size(), 0u);
}

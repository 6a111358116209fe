#include "sonvera/components/SVAudioToReal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

using namespace sonvera;

namespace {

const auto* const GComponentsStart =
    sonvera::testing::StartUnits({{InitializeQXBasicDispatcher},
                                  {InitializeSVBasicDispatcher},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes}});

using TValues = std::vector<double>;

// A real-data sink that keeps what arrives: the values of each buffer and the other operations.
struct TRealSink {
    std::vector<TValues> Buffers;
    std::vector<std::string> Operations;
    TQXPXRealSinkPin Pin{
        nullptr, nullptr, nullptr,
        [this](TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
               uint32_t) {
            const auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation);
            if (!supplied)
                Operations.push_back(AOperation->GetOperation().GetClassName());
            else if (const auto values = IntfCast<IQXRealBuffer>(supplied->GetData()))
                Buffers.emplace_back(values->Read(), values->Read() + values->GetSize());
            return false;
        }};
};

// Counts the channels it converts; channels in Events are wanted without a connected pin.
class TCountingConverter : public TSVAudioToReal {
public:
    using TSVAudioToReal::TSVAudioToReal;
    std::vector<int32_t> Events, Stripped;

protected:
    bool HasChannelEvent(int32_t AChannel) override {
        return std::find(Events.begin(), Events.end(), AChannel) != Events.end();
    }
    void Strip16Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer) override {
        Stripped.push_back(AChannel);
        TSVAudioToReal::Strip16Bits(AChannel, ABuffer);
    }
};

// A converter fed by an audio source pin, with a sink on every output pin.
struct TChain {
    std::vector<std::string> Upstream; // operations that reached the source from downstream
    TSVPXAudioSourcePin Source{nullptr, nullptr, nullptr,
                               [this](TPXPin*, TPXPin*, const TGUID&,
                                      const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
                                   Upstream.push_back(AOperation->GetOperation().GetClassName());
                                   return true;
                               }};
    TCountingConverter Converter{nullptr};
    std::vector<std::unique_ptr<TRealSink>> Sinks;

    explicit TChain(int32_t APins, bool ANormalize = false) {
        Converter.SetCountChannels(APins);
        Converter.SetNormalize(ANormalize);
        Source.Connect(Converter.GetInputPin());
        for (uint32_t i = 0; i < Converter.GetOutputPins()->Count(); ++i) {
            Sinks.push_back(std::make_unique<TRealSink>());
            Converter.GetOutputPins()->Items(i)->Connect(&Sinks.back()->Pin);
        }
    }
    // Announces AFormat, then sends ABytes as one buffer of its width and channels.
    void Stream(const TSVWaveFormatExtensible& AFormat, const std::vector<uint8_t>& ABytes) {
        Source.Notify(TPXStartWaveOperation::Create(AFormat, false));
        const int32_t frameBytes =
            (AFormat.Format.wBitsPerSample + 7) / 8 * AFormat.Format.nChannels;
        Source.SubmitBuffer(TSVAudioBuffer::CreateData(
            ABytes.data(), 44100, AFormat.Format.wBitsPerSample, AFormat.Format.nChannels,
            static_cast<int32_t>(ABytes.size()) / frameBytes));
    }
    // The values each pin received from the last buffer, or nothing.
    std::vector<TValues> Received() const {
        std::vector<TValues> values;
        for (const auto& sink : Sinks)
            values.push_back(sink->Buffers.empty() ? TValues{} : sink->Buffers.back());
        return values;
    }
};

TSVWaveFormatExtensible Format(int32_t ABits, int32_t AChannels) {
    return TPXStartWaveOperation::CreateFormatObject(44100, ABits, AChannels, false)
        ->GetWaveFormat();
}

template <class T> std::vector<uint8_t> BytesOf(std::initializer_list<T> AValues) {
    std::vector<uint8_t> bytes(AValues.size() * sizeof(T));
    std::memcpy(bytes.data(), std::data(AValues), bytes.size());
    return bytes;
}

} // namespace

// Every width raw and normalised, and only what the stream format describes.
TEST(TSVAudioToReal, ReadsEveryWidthTheFormatDescribes) {
    struct TCase {
        TSVWaveFormatExtensible Format;
        std::vector<uint8_t> Bytes;
        std::vector<TValues> Expected;
        bool Normalize = false;
    };
    const std::vector<uint8_t> bytes24 = {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F};
    std::vector<uint8_t> twice24 = bytes24;
    twice24.insert(twice24.end(), bytes24.begin(), bytes24.end());
    const std::vector<uint8_t> s16 = BytesOf<int16_t>({-32768, 32767, 1, -1});
    const std::vector<uint8_t> s32 = BytesOf<int32_t>({INT32_MIN, INT32_MAX});
    constexpr double k15 = 32768.0, k23 = 8388608.0, k31 = 2147483648.0;
    TSVWaveFormatExtensible floats = Format(32, 1);
    floats.Format.wFormatTag = 3;
    floats.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    // Frames too narrow for the second channel: it gets nothing rather than bytes past the end.
    TSVWaveFormatExtensible narrow = Format(16, 2);
    narrow.Format.nBlockAlign = 2;
    const TCase cases[] = {
        // 8-bit zero level 127: 255 is +128, exactly 1.0 normalised.
        {Format(8, 1), {255, 0, 127}, {{128, -127, 0}}},
        {Format(8, 1), {255, 0, 127}, {{1.0, -0.9921875, 0}}, true},
        {Format(16, 2), s16, {{-32768, 1}, {32767, -1}}},
        {Format(16, 2), s16, {{-1.0, 1 / k15}, {32767 / k15, -1 / k15}}, true},
        // Bit 23 is the sign: FF FF 80 is -8323073, 00 00 80 is -8388608, exactly -1.0.
        {Format(24, 1), bytes24, {{-8323073, -8388608, 8388607}}},
        {Format(24, 1), bytes24, {{-8323073 / k23, -1.0, 8388607 / k23}}, true},
        {Format(24, 3), twice24, {{-8323073, -8323073}, {-8388608, -8388608}, {8388607, 8388607}}},
        {Format(32, 2), s32, {{-k31}, {k31 - 1}}},
        {Format(32, 2), s32, {{-1.0}, {(k31 - 1) / k31}}, true},
        // Three channels take the loop of any step; 24-bit stereo its word reads.
        {Format(16, 3), BytesOf<int16_t>({1, 2, 3, -4, -5, -6}), {{1, -4}, {2, -5}, {3, -6}}},
        {Format(24, 2), {1, 0, 0, 2, 0, 0, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF}, {{1, -1}, {2, -2}}},
        // A float stream is read as 32-bit integers: 1.0f is 0x3F800000.
        {floats, BytesOf<float>({1.0f}), {{1065353216.0}}},
        {Format(12, 2), {1, 2, 3, 4}, {{}, {}}},
        {Format(20, 2), {1, 2, 3, 4, 5, 6}, {{}, {}}},
        {narrow, BytesOf<int16_t>({7, 8}), {{7, 8}, {}}}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TCase& c = cases[i];
        TChain chain(c.Format.Format.nChannels, c.Normalize);
        chain.Stream(c.Format, c.Bytes);
        EXPECT_EQ(chain.Received(), c.Expected) << i;
    }
    // Before any stream starts the width is 0: buffers pass without extraction.
    TChain idle(2);
    idle.Source.SubmitBuffer(TSVAudioBuffer::CreateSize(44100, 16, 2, 4));
    EXPECT_EQ(idle.Received(), (std::vector<TValues>{{}, {}}));
}

TEST(TSVAudioToReal, OperationsTravelAsTheDispatchersSay) {
    TChain chain(4);
    chain.Stream(Format(16, 2), BytesOf<int16_t>({1, 2}));
    chain.Source.Notify(TPXQXResumeOperation::Create());
    chain.Source.Notify(TPXPauseOperation::Create()); // dropped
    chain.Source.Notify(TPXStopOperation::Create());
    // Stereo into four pins: 2 and 3 carry no stream, so they answer a query themselves.
    for (size_t i = 0; i < chain.Sinks.size(); ++i) {
        chain.Sinks[i]->Pin.Notify(TPXQueryStreamOperation::Create());
        std::vector<std::string> expected = {"TPXStartSampleRateOperation", "TPXQXResumeOperation",
                                             "TPXStopOperation"};
        if (i >= 2)
            expected.push_back("TPXIgnoreStreamOperation");
        EXPECT_EQ(chain.Sinks[i]->Operations, expected) << i;
        EXPECT_EQ(chain.Sinks[i]->Buffers.size(), i < 2 ? 1u : 0u) << i;
    }
    EXPECT_EQ(chain.Upstream,
              (std::vector<std::string>{"TPXQueryStreamOperation", "TPXQueryStreamOperation"}));
    // With nothing upstream, what comes back from a consumer goes down every pin again.
    chain.Source.Disconnect(chain.Converter.GetInputPin());
    chain.Sinks[0]->Pin.Notify(TPXStopOperation::Create());
    EXPECT_EQ(chain.Sinks[3]->Operations.back(), "TPXStopOperation");
}

TEST(TSVAudioToReal, ConvertsOnlyChannelsSomeoneWants) {
    struct TCase {
        uint32_t Connected; // a bit for each pin
        std::vector<int32_t> Events, Stripped;
    };
    const TCase cases[] = {{0b0000, {}, {}},   {0b0001, {}, {0}},        {0b0100, {}, {2}},
                           {0b0000, {1}, {1}}, {0b0101, {1}, {0, 1, 2}}, {0b1000, {3}, {}}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        TChain chain(4); // pin 3 is beyond the three-channel stream
        chain.Converter.Events = cases[i].Events;
        for (uint32_t pin = 0; pin < 4; ++pin)
            if (!((cases[i].Connected >> pin) & 1))
                chain.Converter.GetOutputPins()->Items(pin)->Disconnect(&chain.Sinks[pin]->Pin);
        chain.Stream(Format(16, 3), std::vector<uint8_t>(96));
        EXPECT_EQ(chain.Converter.Stripped, cases[i].Stripped) << i;
        for (uint32_t pin = 0; pin < 4; ++pin)
            EXPECT_EQ(chain.Sinks[pin]->Buffers.size(),
                      pin < 3 && ((cases[i].Connected >> pin) & 1) ? 1u : 0u)
                << i;
    }
}

TEST(TSVAudioToReal, ChannelCountIsClampedAndKeepsTheFirstPins) {
    TChain chain(5);
    TPXPin* first = chain.Converter.GetOutputPins()->Items(0);
    const std::pair<int32_t, int32_t> cases[] = {{0, 1}, {40, 32}, {-7, 1}, {32, 32}, {3, 3}};
    for (const auto& [set, count] : cases) {
        chain.Converter.SetCountChannels(set);
        EXPECT_EQ(chain.Converter.GetCountChannels(), count) << set;
        EXPECT_EQ(chain.Converter.GetOutputPins()->Items(0), first) << set;
    }
    EXPECT_FALSE(chain.Sinks[4]->Pin.IsConnected()); // its pin went with the first shrink

    // Published values travel by Assign; the copy builds its own three pins.
    chain.Converter.SetNormalize(true);
    TSVAudioToReal copy(nullptr);
    copy.Assign(chain.Converter);
    EXPECT_TRUE(copy.GetNormalize());
    ASSERT_EQ(copy.GetOutputPins()->Count(), 3u);
    EXPECT_EQ(copy.GetOutputPins()->Items(2)->GetOwner(), &copy);
}

// One thread streams eight channels and sends queries up from every sink while another grows
// and shrinks the pins under it: nothing waits for ever (a query waiting for the component lock
// while a pin it passes is destroyed inside that lock would), and no buffer reaches a pin that
// has left the list.
TEST(TSVAudioToReal, ChannelCountChangesWhileAnotherThreadStreams) {
    TSVPXAudioSourcePin source(nullptr, nullptr, nullptr, nullptr);
    TSVAudioToReal converter(nullptr);
    source.Connect(converter.GetInputPin());
    std::atomic<int> delivered{0}, strays{0};
    std::vector<std::unique_ptr<TQXPXRealSinkPin>> sinks;
    for (int i = 0; i < 8; ++i)
        sinks.push_back(std::make_unique<TQXPXRealSinkPin>(
            nullptr, nullptr, nullptr,
            [&](TPXPin*, TPXPin* AOther, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
                uint32_t) {
                // Buffers are delivered inside the component lock, so the list holds still.
                if (OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
                    ++delivered;
                    strays += converter.GetOutputPins()->IndexOf(AOther) < 0;
                }
                return false;
            }));
    source.Notify(TPXStartWaveOperation::CreateFormat(44100, 16, 8, false));
    const TRef<IQXData> buffer = TSVAudioBuffer::CreateSize(44100, 16, 8, 64);
    std::atomic<bool> running{true};
    std::thread streamer([&] {
        while (running) {
            source.SubmitBuffer(buffer);
            for (const auto& sink : sinks)
                sink->Notify(TPXQueryStreamOperation::Create());
        }
    });
    for (int round = 0; round < 50; ++round) {
        converter.SetCountChannels(8);
        for (uint32_t pin = 0; pin < 8; ++pin)
            converter.GetOutputPins()->Items(pin)->Connect(sinks[pin].get());
        // Shrink only once buffers flow through the new pins.
        for (const int seen = delivered; delivered < seen + 8;)
            std::this_thread::yield();
        converter.SetCountChannels(1 + round % 4);
    }
    running = false;
    streamer.join(); // every round waited for deliveries through its new pins
    EXPECT_EQ(strays.load(), 0);
}

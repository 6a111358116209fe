#include "sonvera/platform/pins/PXPins.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "sonvera/platform/pins/PXPinList.h"
#include "sonvera/platform/pins/QXPins.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXTypedBuffers.h"

using namespace sonvera;

namespace {

const auto* const GPinsStart =
    sonvera::testing::StartUnits({{InitializePXStreams, FinalizePXStreams}});

// What arrived at one pin: the operation class names, in order.
struct TJournal {
    std::vector<std::string> Entries;
    TPXDispatchHandler Handler(std::string AName, bool AResult = false) {
        return [this, AName, AResult](TPXPin* AReceiving, TPXPin*, const TGUID&,
                                      const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
            Entries.push_back(AName + ":" + AOperation->GetOperation().GetClassName() + "@" +
                              AReceiving->GetName());
            return AResult;
        };
    }
};

std::unique_ptr<TQXPXIntegerSinkPin> IntegerSink(TPXDispatchHandler AHandler = nullptr) {
    return std::make_unique<TQXPXIntegerSinkPin>(nullptr, nullptr, nullptr, std::move(AHandler));
}

std::unique_ptr<TQXPXIntegerSourcePin> IntegerSource(TPXDispatchHandler AHandler = nullptr) {
    return std::make_unique<TQXPXIntegerSourcePin>(nullptr, nullptr, nullptr, std::move(AHandler));
}

} // namespace

TEST(PXPins, ConnectionRules) {
    auto source = IntegerSource();
    auto otherSource = IntegerSource();
    auto sink = IntegerSink();
    auto realSink = std::make_unique<TQXPXRealSinkPin>(nullptr, nullptr, nullptr, nullptr);
    // Refused without a change: same direction, no common stream and no converter, self.
    EXPECT_FALSE(source->Connect(otherSource.get()));
    EXPECT_FALSE(source->Connect(realSink.get()));
    EXPECT_FALSE(source->Connect(source.get()));
    EXPECT_FALSE(source->Connect(nullptr));
    EXPECT_FALSE(source->IsConnected());
    // Either side may connect; a second connection of the pair is refused.
    EXPECT_TRUE(sink->Connect(source.get()));
    EXPECT_FALSE(source->Connect(sink.get()));
    EXPECT_TRUE(source->IsConnectedTo(sink.get()));
    EXPECT_TRUE(sink->IsConnectedTo(source.get()));
    // The sink takes one connection; the source any number.
    EXPECT_FALSE(otherSource->Connect(sink.get()));
    auto secondSink = IntegerSink();
    EXPECT_TRUE(source->Connect(secondSink.get()));
    EXPECT_EQ(source->GetConnectedPins(), (std::vector<TPXPin*>{sink.get(), secondSink.get()}));
    // Disconnecting from either side; a second time is refused.
    EXPECT_TRUE(secondSink->Disconnect(source.get()));
    EXPECT_FALSE(source->Disconnect(secondSink.get()));
    EXPECT_EQ(source->ConnectionCount(), 1u);
    // Destroying a pin disconnects it.
    sink.reset();
    EXPECT_FALSE(source->IsConnected());
}

TEST(PXPins, DeliveryRunsInConnectionOrderBothWays) {
    TJournal journal;
    auto source = IntegerSource(journal.Handler("source"));
    auto first = IntegerSink(journal.Handler("first"));
    auto second = IntegerSink(journal.Handler("second", true));
    auto unconnected = IntegerSink(journal.Handler("unconnected"));
    ASSERT_TRUE(source->Connect(first.get()));
    ASSERT_TRUE(source->Connect(second.get()));

    EXPECT_TRUE(source->Notify(TPXStopOperation::Create())); // second answers true
    EXPECT_TRUE(source->SubmitBuffer(TQXIntegerBuffer::Create()));
    EXPECT_FALSE(second->Notify(TPXPumpRequestOperation::Create())); // upstream, to the source
    EXPECT_FALSE(source->NotifyPin(first.get(), TPXPauseOperation::Create()));
    EXPECT_FALSE(source->NotifyPin(unconnected.get(), TPXPauseOperation::Create()));
    EXPECT_EQ(
        journal.Entries,
        (std::vector<std::string>{
            "first:TPXStopOperation@Integer", "second:TPXStopOperation@Integer",
            "first:TPXSuppliedBufferOperation@Integer", "second:TPXSuppliedBufferOperation@Integer",
            "source:TPXPumpRequestOperation@Integer", "first:TPXPauseOperation@Integer"}));
}

TEST(PXPins, ChangesFromInsideADeliverySkipRemovedPins) {
    auto source = IntegerSource();
    std::unique_ptr<TQXPXIntegerSinkPin> second;
    int secondCalls = 0;
    // The first sink disconnects the second (and then itself) while the source delivers.
    auto first = IntegerSink([&](TPXPin* AReceiving, TPXPin* AOther, const TGUID&,
                                 const TRef<IPXNotifyOperation>&, uint32_t) {
        AOther->Disconnect(second.get());
        AReceiving->Disconnect(AOther);
        return false;
    });
    second = IntegerSink([&](TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>&,
                             uint32_t) { return ++secondCalls, true; });
    ASSERT_TRUE(source->Connect(first.get()));
    ASSERT_TRUE(source->Connect(second.get()));
    EXPECT_FALSE(source->Notify(TPXStopOperation::Create()));
    EXPECT_EQ(secondCalls, 0);
    EXPECT_FALSE(source->IsConnected());
    EXPECT_FALSE(second->IsConnected());
}

TEST(PXPins, DeliveryNeverReachesADisconnectedOrDestroyedPin) {
    // One thread streams through a source while another connects, disconnects and destroys
    // sinks. A sink marks itself dead before it is destroyed; a delivery to a dead or freed
    // sink fails the test (or AddressSanitizer).
    auto source = IntegerSource();
    std::atomic<bool> stop{false};
    std::atomic<int64_t> delivered{0};
    struct TSink {
        std::atomic<bool> Alive{true};
        std::unique_ptr<TQXPXIntegerSinkPin> Pin;
    };
    std::atomic<int> deadDeliveries{0};
    std::thread streamer([&] {
        const TRef<IQXData> data = TQXIntegerBuffer::CreateSize(16);
        while (!stop.load())
            source->SubmitBuffer(data);
    });
    for (int round = 0; round < 500; ++round) {
        auto sink = std::make_unique<TSink>();
        TSink* raw = sink.get();
        sink->Pin = IntegerSink(
            [&, raw](TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>&, uint32_t) {
                if (!raw->Alive.load())
                    ++deadDeliveries;
                ++delivered;
                return true;
            });
        ASSERT_TRUE(source->Connect(sink->Pin.get()));
        // The first sink waits for a delivery, so that the rounds surely race a stream.
        while (round == 0 && delivered.load() == 0)
            std::this_thread::yield();
        if (round % 2 == 0) {
            ASSERT_TRUE(sink->Pin->Disconnect(source.get()));
            sink->Alive = false;
        }
        sink->Pin.reset(); // the odd rounds disconnect by destruction
        sink->Alive = false;
    }
    stop = true;
    streamer.join();
    EXPECT_EQ(deadDeliveries.load(), 0);
    EXPECT_FALSE(source->IsConnected());
    EXPECT_GT(delivered.load(), 0);
}

TEST(PXPinList, OwnsItsPinsAndForgetsOnesThatFailToBuild) {
    struct TFailingPin : TQXPXIntegerSinkPin {
        explicit TFailingPin(const TPXPinCreated& AOnCreated)
            : TQXPXIntegerSinkPin(nullptr, AOnCreated, nullptr, nullptr) {
            throw EArgumentError("refused");
        }
    };
    TPXPinList list;
    auto source = IntegerSource();
    for (int i = 0; i < 3; ++i)
        new TQXPXIntegerSinkPin(nullptr, list.PinListAddSetter(), nullptr, nullptr);
    EXPECT_THROW(new TFailingPin(list.PinListAddSetter()), EArgumentError);
    ASSERT_EQ(list.Count(), 3u);
    ASSERT_TRUE(source->Connect(list.Items(2)));
    EXPECT_EQ(list.IndexOf(list.Items(1)), 1);
    EXPECT_THROW(list.Items(3), ERangeError);
    list.Remove(2);
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_FALSE(source->IsConnected());
}

TEST(PXStreamRegistry, RegistrationsAreCountedAndClashesRefused) {
    const TGUID id = TGUID::FromString("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    PXRegisterStream(id, {"Test Stream"});
    PXRegisterStream(id, {"Test Stream"});
    EXPECT_THROW(PXRegisterStream(id, {"Another Name"}), EArgumentError);
    PXUnregisterStream(id);
    EXPECT_EQ(PXStreamName(id), "Test Stream");
    PXUnregisterStream(id);
    EXPECT_EQ(PXStreamName(id), "");
    EXPECT_EQ(PXDefaultHandler(id), &DefaultPXNotificationHandler);
}

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "TestPersistents.h"

using namespace runtime_test;

namespace {

// Counts the owner notifications a persistent's callback and its lock's owner receive.
struct TOwnerLog {
    std::vector<TPersistent*> Callbacks;
    std::vector<TPersistent*> LockReports;

    TPersistentNotify Callback() {
        return [this](TPersistent* ASender) { Callbacks.push_back(ASender); };
    }
    TRef<IChangeNotifyLock> Lock() {
        return TChangeNotifyLock::Create(
            [this](TPersistent* ASender) { LockReports.push_back(ASender); });
    }
    void Clear() {
        Callbacks.clear();
        LockReports.clear();
    }
};

class TTestComponent : public TLockComponent {
public:
    TTestComponent() : FSetting(std::make_unique<TTestSetting>(nullptr, this, GetLock())) {}

    TTestSetting& Setting() { return *FSetting; }
    std::vector<TPersistent*> ChangedSenders;

protected:
    void Changed(TPersistent* ASender) override { ChangedSenders.push_back(ASender); }

private:
    std::unique_ptr<TTestSetting> FSetting;
};

} // namespace

TEST(TLockPersistent, ARealChangeIsNotifiedOnceAndAnUnchangedSetNotNotified) {
    TOwnerLog owner;
    TTestFormat format(owner.Callback(), nullptr, owner.Lock());
    owner.Clear();
    auto listener = WatchFormat(format);
    TListenerRegistration registration(listener);
    const int calculations = format.GetCalculations();

    format.SetChannels(2);    // the current value
    format.SetChannels(0);    // clamps to 1: a change
    format.SetChannels(1);    // the clamped value again
    format.SetChannels(1000); // clamps to 32: a change
    format.SetRatio(0.5);
    format.SetRatio(std::numeric_limits<double>::quiet_NaN());
    format.SetRatio(std::numeric_limits<double>::quiet_NaN()); // NaN is NaN: no change

    // Listeners see the old derived state at begin and the recalculated one at done.
    EXPECT_EQ(listener->TakeEvents(),
              (std::vector<std::string>{"begin Channels align 4", "done Channels align 2",
                                        "begin Channels align 2", "done Channels align 64",
                                        "begin Ratio align 64", "done Ratio align 64"}));
    EXPECT_EQ(format.GetCalculations(), calculations + 2);
    EXPECT_EQ(owner.Callbacks, (std::vector<TPersistent*>(3, &format)));
    EXPECT_EQ(owner.LockReports, (std::vector<TPersistent*>(3, &format)));

    // A sub-object shares the owner's lock: its change reaches the lock's owner.
    owner.Clear();
    format.GetQuality()->SetValue(7);
    format.GetQuality()->SetValue(7);
    EXPECT_EQ(listener->TakeEvents(),
              (std::vector<std::string>{"begin Value align 64", "done Value align 64"}));
    EXPECT_EQ(owner.LockReports, (std::vector<TPersistent*>{format.GetQuality()}));
}

TEST(TLockPersistent, ListenersAreToldInsideTheLockAndCanBeUnregistered) {
    TTestFormat format(nullptr, nullptr, nullptr);
    auto listener = WatchFormat(format);
    // Whether another thread could take the format's lock at this moment.
    const auto otherThreadCanLock = [&] {
        bool entered = false;
        std::thread([&] {
            if ((entered = format.GetLock()->TryEnter()))
                format.GetLock()->Leave();
        }).join();
        return entered;
    };
    bool otherThreadGotLock = true;
    listener->OnChanging = [&] { otherThreadGotLock = otherThreadCanLock(); };
    RegisterPropertyChangeListener(listener);
    RegisterPropertyChangeListener(listener); // a second registration is the same one
    RegisterPropertyChangeListener(nullptr);
    format.SetLevel(5);
    EXPECT_FALSE(otherThreadGotLock);
    EXPECT_EQ(listener->TakeEvents(),
              (std::vector<std::string>{"begin Level align 4", "done Level align 4"}));

    UnregisterPropertyChangeListener(listener);
    format.SetLevel(6);
    EXPECT_TRUE(listener->TakeEvents().empty());
    UnregisterPropertyChangeListener(listener); // unknown now: nothing happens
    // With the change over, the lock is free for other threads again.
    EXPECT_TRUE(otherThreadCanLock());
}

TEST(TPersistent, ARefusedStateChangesNothing) {
    TTestFormat format(nullptr, nullptr, nullptr);
    const TPropertyTableBase& table = format.GetPropertyTable();
    const TPropertyInfo* level = table.Find("Level");
    const TPropertyInfo* algorithm = table.Find("Algorithm");
    const TPropertyInfo* mask = table.Find("ChannelMask");

    TPublishedState wrongKind{
        {{level, int32_t{5}}, {algorithm, std::string("taArm")}}, {}, false, {}};
    EXPECT_THROW(format.ApplyPublishedState(wrongKind), EArgumentError);
    TPublishedState noMember{{{level, int32_t{5}}, {algorithm, int64_t{3}}}, {}, false, {}};
    EXPECT_THROW(format.ApplyPublishedState(noMember), ERangeError);
    TPublishedState unnamedBit{{{level, int32_t{5}}, {mask, uint32_t{1} << 31}}, {}, false, {}};
    EXPECT_THROW(format.ApplyPublishedState(unnamedBit), ERangeError);
    const TPropertyInfo* settingValue = TTestSetting::ClassPropertyTable().Find("Value");
    TPublishedState otherTable{{{level, int32_t{5}}, {settingValue, int32_t{6}}}, {}, false, {}};
    EXPECT_THROW(format.ApplyPublishedState(otherTable), EArgumentError);
    TPublishedState badSub{
        {{level, int32_t{5}}},
        {{table.Find("Quality"), {{{settingValue, std::string("x")}}, {}, false, {}}}},
        false,
        {}};
    EXPECT_THROW(format.ApplyPublishedState(badSub), EArgumentError);
    EXPECT_EQ(format.GetLevel(), -1);
    EXPECT_EQ(format.GetAlgorithm(), taAuto);

    EXPECT_THROW(algorithm->SetValue(format, int64_t{21}), ERangeError);
    EXPECT_THROW(table.Find("Quality")->GetValue(format), EArgumentError);
    EXPECT_THROW(level->GetObject(format), EArgumentError);
    algorithm->SetValue(format, int64_t{taArm});
    EXPECT_EQ(format.GetAlgorithm(), taArm);

    // The captured state of one object applied to a fresh one reproduces it.
    format.SetGain(0.25f);
    format.GetMotion()->SetValue(12);
    TTestFormat copy(nullptr, nullptr, nullptr);
    copy.ApplyPublishedState(format.CapturePublishedState());
    EXPECT_EQ(copy.GetAlgorithm(), taArm);
    EXPECT_EQ(copy.GetGain(), 0.25f);
    EXPECT_EQ(copy.GetMotion()->GetValue(), 12);
    copy.InitDefaults();
    EXPECT_EQ(copy.GetAlgorithm(), taAuto);
    EXPECT_EQ(copy.GetMotion()->GetValue(), 0);
}

TEST(TLockComponent, ChangesOfTheComponentAndItsSubObjectsReachChanged) {
    std::unique_ptr<TTestSetting> survivor;
    {
        TTestComponent component;
        component.Setting().SetValue(3);
        component.Setting().SetValue(3);
        component.Setting().SetMode(taArm);
        EXPECT_EQ(component.ChangedSenders, (std::vector<TPersistent*>(2, &component.Setting())));
        // An object that keeps the component lock beyond the component's life.
        survivor = std::make_unique<TTestSetting>(nullptr, nullptr, component.GetLock());
        survivor->SetValue(1);
        EXPECT_EQ(component.ChangedSenders.size(), 3u);
    }
    survivor->SetValue(2); // the component is gone: nobody is told
    EXPECT_EQ(survivor->GetValue(), 2);
}

#include "sonvera/platform/runtime/Interfaces.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace sonvera;

namespace {

std::atomic<int> GAlive{0};

class ICounter : public virtual IInterface {
public:
    virtual int Next() = 0;
};

class INamed : public virtual IInterface {
public:
    virtual const char* Name() = 0;
};

class IUnrelated : public virtual IInterface {};

class TCounter : public TInterfacedObject, public virtual ICounter, public virtual INamed {
public:
    TCounter() { ++GAlive; }
    ~TCounter() override { --GAlive; }
    int Next() override { return ++FValue; }
    const char* Name() override { return "counter"; }

private:
    int FValue = 0;
};

} // namespace

TEST(TRef, CountingFromManyThreadsNeitherLeaksNorFreesEarly) {
    TRef<TCounter> shared = MakeRef<TCounter>();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([shared] {
            for (int i = 0; i < 20000; ++i) {
                TRef<INamed> copy = shared;
                TRef<IInterface> another = copy;
                ASSERT_STREQ(copy->Name(), "counter");
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(shared->RefCount(), 1);
    shared = nullptr;
    EXPECT_EQ(GAlive.load(), 0);

    // The last release may happen on any thread.
    TRef<ICounter> last = MakeRef<TCounter>();
    std::thread([held = std::move(last)]() mutable { held = nullptr; }).join();
    EXPECT_EQ(GAlive.load(), 0);
}

TEST(IntfCast, CastsSupportedInterfacesAndRefusesOthers) {
    TRef<ICounter> counter = MakeRef<TCounter>();
    TRef<INamed> named = IntfCast<INamed>(counter);
    ASSERT_TRUE(named);
    EXPECT_STREQ(named->Name(), "counter");
    EXPECT_THROW(IntfCast<IUnrelated>(counter), EIntfCastError);
    EXPECT_FALSE(IntfCast<INamed>(TRef<ICounter>()));

    TRef<IUnrelated> unrelated;
    EXPECT_FALSE(Supports<IUnrelated>(counter, unrelated));
    EXPECT_FALSE(unrelated);
    TRef<INamed> found;
    EXPECT_TRUE(Supports<INamed>(counter, found));
    EXPECT_EQ(found.get(), named.get());
    EXPECT_FALSE(Supports<INamed>(TRef<ICounter>()));
    named = nullptr;
    found = nullptr;
    counter = nullptr;
    EXPECT_EQ(GAlive.load(), 0);
}

#include "sonvera/platform/runtime/ClassManagement.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TestPersistents.h"

using namespace runtime_test;

namespace {

class IShape : public virtual IInterface {
public:
    virtual std::string Kind() = 0;
};

class TSquare : public TInterfacedObject, public virtual IShape {
public:
    std::string Kind() override { return "square"; }
};

class TCircle : public TInterfacedObject, public virtual IShape {
public:
    explicit TCircle(std::string AKind) : FKind(std::move(AKind)) {}
    std::string Kind() override { return FKind; }

private:
    std::string FKind;
};

class TPlain : public TInterfacedObject {};

} // namespace

TEST(TClassManagement, CreatesRegisteredClassesByNameAndRefusesOthers) {
    const auto square = TClassManagement::ClassOf<TSquare>("TSquare");
    const auto circle = TClassManagement::ClassOf<TCircle>(
        "TCircle", [] { return TRef<IInterface>(MakeRef<TCircle>("round")); });
    TClassManagement::RegisterClasses({square, circle});
    EXPECT_EQ(TClassManagement::Create<IShape>("TSquare")->Kind(), "square");
    EXPECT_EQ(TClassManagement::Create<IShape>("TCircle")->Kind(), "round");
    // Each call makes a new object.
    EXPECT_NE(TClassManagement::CreateObject("TSquare"), TClassManagement::CreateObject("TSquare"));
    EXPECT_EQ(MessageOf<EArgumentError>([] { TClassManagement::CreateObject("TTriangle"); }),
              "Class \"TTriangle\" is not registered");
    EXPECT_THROW(TClassManagement::CreateObject("tsquare"), EArgumentError);

    // A class that does not implement the interface asked for.
    TClassManagement::RegisterClasses({TClassManagement::ClassOf<TPlain>("TPlain")});
    EXPECT_THROW(TClassManagement::Create<IShape>("TPlain"), EIntfCastError);
    TClassManagement::RegisterClasses(
        {TClassManagement::ClassOf<TPlain>("TNothing", [] { return TRef<IInterface>(); })});
    EXPECT_THROW(TClassManagement::CreateObject("TNothing"), EAssertionFailed);
    TClassManagement::UnregisterClasses({TClassManagement::ClassOf<TPlain>("TPlain"),
                                         TClassManagement::ClassOf<TPlain>("TNothing")});

    // A name held by another class refuses the whole list.
    const auto other = TClassManagement::ClassOf<TPlain>("TOther");
    EXPECT_THROW(TClassManagement::RegisterClasses(
                     {other, TClassManagement::ClassOf<TCircle>("TSquare", circle.Factory)}),
                 EArgumentError);
    EXPECT_FALSE(TClassManagement::IsClassRegistered("TOther"));
    EXPECT_THROW(
        TClassManagement::RegisterClasses({other, TClassManagement::ClassOf<TSquare>("TOther")}),
        EArgumentError);
    EXPECT_FALSE(TClassManagement::IsClassRegistered("TOther"));
    EXPECT_THROW(TClassManagement::RegisterClasses({TClassManagement::ClassOf<TSquare>("")}),
                 EArgumentError);
    EXPECT_THROW(
        TClassManagement::RegisterClasses({TClassManagement::ClassOf<TSquare>("TEmpty", nullptr)}),
        EArgumentError);

    // Registrations count; unregistering under a different class changes nothing.
    TClassManagement::RegisterClasses({square});
    TClassManagement::UnregisterClasses(
        {TClassManagement::ClassOf<TCircle>("TSquare", circle.Factory)});
    TClassManagement::UnregisterClasses({square});
    EXPECT_TRUE(TClassManagement::IsClassRegistered("TSquare"));
    TClassManagement::UnregisterClasses({square, circle});
    EXPECT_FALSE(TClassManagement::IsClassRegistered("TSquare"));
    EXPECT_FALSE(TClassManagement::IsClassRegistered("TCircle"));
    EXPECT_THROW(TClassManagement::CreateObject("TSquare"), EArgumentError);
    TClassManagement::UnregisterClasses({square}); // not registered: nothing happens
}

TEST(TClassManagement, RegistersAndCreatesFromManyThreadsAtOnce) {
    const auto shared = TClassManagement::ClassOf<TSquare>("TSharedSquare");
    TClassManagement::RegisterClasses({shared});
    std::atomic<int> created{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const auto own = TClassManagement::ClassOf<TSquare>("TSquare" + std::to_string(t));
            for (int i = 0; i < 500; ++i) {
                TClassManagement::RegisterClasses({own, shared});
                if (TClassManagement::Create<IShape>("TSharedSquare")->Kind() == "square")
                    ++created;
                TClassManagement::UnregisterClasses({own, shared});
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(created.load(), 2000);
    // Every registration was balanced: only the first one is left.
    EXPECT_TRUE(TClassManagement::IsClassRegistered("TSharedSquare"));
    for (int t = 0; t < 4; ++t)
        EXPECT_FALSE(TClassManagement::IsClassRegistered("TSquare" + std::to_string(t)));
    TClassManagement::UnregisterClasses({shared});
    EXPECT_FALSE(TClassManagement::IsClassRegistered("TSharedSquare"));
}

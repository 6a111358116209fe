// Allocation failure through every constructor and writing operation of the audio buffer: each
// call is run once for every allocation it makes, with that allocation failing. The call must
// raise std::bad_alloc and leave every buffer it was given exactly as it was (store, sizes,
// caches, reference counts, timestamp and every byte), with no allocation left behind.

#include <functional>
#include <new>

#include "AllocationFaults.h"
#include "SVAudioBufferTestSupport.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;
using namespace sonvera::testing;

namespace {

// The buffers an operation works on, made before the fault is armed. Shared, each buffer has a
// second holder, so that writing it must first copy its store.
struct TFixture {
    TRef<TSVAudioBuffer> Target = MakeRandomBuffer(16, 2, KStereo, 64, 1);
    TRef<TSVAudioBuffer> Other = MakeRandomBuffer(16, 2, KStereo, 48, 2);
    TRef<TSVAudioBuffer> Surround = MakeRandomBuffer(24, 6, KSurround51, 40, 3);
    TRef<TQXBlockBuffer> Bytes = TQXBlockBuffer::CreateSizeObject(512);
    std::vector<float> Floats = std::vector<float>(128, 0.25f);
    TSVWaveFormatExtensible Record = Surround->GetWaveFormat();
    TRef<IReader> SameFormat =
        TJsonReader::Create(Serialized(MakeRandomBuffer(16, 2, KStereo, 64, 4)));
    TRef<IReader> NewFormat =
        TJsonReader::Create(Serialized(MakeRandomBuffer(24, 6, KSurround51, 9, 5)));
    std::vector<TRef<TQXGenericBuffer>> Holders;

    explicit TFixture(bool AShared) {
        Target->SetTimeStampBegin(1000);
        Target->SetTimeStampEnd(2000);
        if (AShared)
            for (TQXGenericBuffer* buffer : Buffers())
                Holders.push_back(buffer->MakeCopy());
    }

    std::vector<TQXGenericBuffer*> Buffers() const {
        return {Target.get(), Other.get(), Surround.get(), Bytes.get()};
    }
    std::vector<TBufferState> States() const {
        std::vector<TBufferState> states;
        for (TQXGenericBuffer* buffer : Buffers())
            states.push_back(StateOf(*buffer));
        for (const TRef<TQXGenericBuffer>& holder : Holders)
            states.push_back(StateOf(*holder));
        return states;
    }
};

using TOperation = std::function<void(TFixture&)>;

struct TCase {
    const char* Name;
    TOperation Operation;
};

// Runs AOperation with its first, second, ... allocation failing until it runs through without
// reaching the failing one. Returns the number of allocations it makes.
uint64_t SweepAllocations(const TCase& ACase, bool AShared) {
    {
        // A first run builds what the library builds once (type tables, registries).
        TFixture warmUp(AShared);
        ACase.Operation(warmUp);
    }
    for (uint64_t failAt = 1;; ++failAt) {
        TFixture fixture(AShared);
        const std::vector<TBufferState> before = fixture.States();
        const int64_t live = LiveAllocations();
        const uint64_t blocks = QXBufferAllocatorState().BlocksInUse;
        bool raised = false;
        bool fired = false;
        {
            TAllocationFault fault(failAt);
            try {
                ACase.Operation(fixture);
            } catch (const std::bad_alloc&) {
                raised = true;
            }
            fired = fault.Fired();
        }
        if (!fired)
            return failAt - 1;
        const bool freed = LiveAllocations() == live;
        const bool blocksFreed = QXBufferAllocatorState().BlocksInUse == blocks;
        const std::string where = std::string(ACase.Name) + (AShared ? ", shared" : "") +
                                  ", allocation " + std::to_string(failAt);
        const bool unchanged = fixture.States() == before;
        EXPECT_TRUE(raised) << where << ": the failure was swallowed";
        EXPECT_TRUE(freed) << where << ": an allocation was left behind";
        EXPECT_TRUE(blocksFreed) << where << ": a block was left behind";
        EXPECT_TRUE(unchanged) << where << ": a buffer changed";
        if (!raised || !freed || !blocksFreed || !unchanged)
            return failAt;
    }
}

void Drop(const TRef<ISVAudioBuffer>&) {}

const std::vector<TCase>& Constructors() {
    using B = TSVAudioBuffer;
    static const std::vector<TCase> cases = {
        {"CreateObject", [](auto&) { Drop(B::Create()); }},
        {"CreateSizeObject", [](auto&) { Drop(B::CreateSize(44100, 16, 2, 100)); }},
        {"CreateSizeExObject", [](auto&) { Drop(B::CreateSizeEx(48000, 24, 6, 10, KSurround51)); }},
        {"CreateDataObject",
         [](auto& A) { Drop(B::CreateData(A.Target->Read(), 8000, 8, 2, 32)); }},
        {"CreateDataExObject",
         [](auto& A) { Drop(B::CreateDataEx(A.Surround->Read(), 8000, 24, 6, 40, KSurround51)); }},
        {"CreateFloatDataObject interleaved",
         [](auto& A) { Drop(B::CreateFloatData(A.Floats.data(), 8000, 2, 8, 64)); }},
        {"CreateFloatDataExObject planar",
         [](auto& A) { Drop(B::CreateFloatDataEx(A.Floats.data(), 8000, 2, 64, 64, KStereo)); }},
        {"CreateWaveFormatObject", [](auto& A) { Drop(B::CreateWaveFormat(&A.Record, 20)); }},
        {"CreateExObject", [](auto& A) { Drop(B::CreateEx(A.Target)); }},
        {"CreateCopyObject", [](auto& A) { Drop(B::CreateCopy(A.Target)); }},
        {"CreateUniversalObject", [](auto& A) { Drop(B::CreateUniversal(A.Target)); }},
        {"MakeCopy", [](auto& A) { (void)A.Target->MakeCopy(); }},
        {"MakeIntfCopy", [](auto& A) { (void)A.Target->MakeIntfCopy(); }},
        {"SVReadDataBuffer", [](auto& A) { (void)SVReadDataBuffer(A.NewFormat); }},
    };
    return cases;
}

// Converts the target into the surround buffer from ARate to ATo.
void ConvertIntoSurround(TFixture& A, uint32_t ARate, uint32_t ATo) {
    TRef<ISVAudioBuffer> dest(A.Surround);
    ConvertBuffers(A.Target, ARate, dest, ATo);
}

const std::vector<TCase>& WritingOperations() {
    static const std::vector<TCase> cases = {
        {"Write", [](auto& A) { A.Target->Write(); }},
        {"Modify", [](auto& A) { A.Target->Modify(); }},
        {"GetModifyFormat", [](auto& A) { A.Target->GetModifyFormat(); }},
        {"SetItem", [](auto& A) { A.Target->SetItem(5, 1, 77); }},
        {"Add", [](auto& A) { A.Target->Add(A.Other); }},
        {"Subtract", [](auto& A) { A.Target->Subtract(A.Other); }},
        {"Multiply", [](auto& A) { A.Target->Multiply(A.Other); }},
        {"Divide", [](auto& A) { A.Target->Divide(A.Other); }},
        {"SetValue", [](auto& A) { A.Target->SetValue(3); }},
        {"AddValue", [](auto& A) { A.Target->AddValue(3); }},
        {"SubtractValue", [](auto& A) { A.Target->SubtractValue(3); }},
        {"MultiplyValue", [](auto& A) { A.Target->MultiplyValue(3); }},
        {"DivideValue", [](auto& A) { A.Target->DivideValue(3); }},
        {"SetChannelValue", [](auto& A) { A.Target->SetChannelValue(1, 3); }},
        {"AddChannelValue", [](auto& A) { A.Target->AddChannelValue(1, 3); }},
        {"SubChannelValue", [](auto& A) { A.Target->SubChannelValue(1, 3); }},
        {"MulChannelValue", [](auto& A) { A.Target->MulChannelValue(1, 3); }},
        {"DivChannelValue", [](auto& A) { A.Target->DivChannelValue(1, 3); }},
        {"Zero", [](auto& A) { A.Target->Zero(); }},
        {"MultiplyByReal", [](auto& A) { A.Target->MultiplyByReal(0.5); }},
        {"Resize growing with the data", [](auto& A) { A.Target->Resize(200, true); }},
        {"Resize growing without the data", [](auto& A) { A.Target->Resize(200, false); }},
        {"Resize shrinking", [](auto& A) { A.Target->Resize(10, true); }},
        {"CopyTo an audio buffer", [](auto& A) { A.Target->CopyTo(0, A.Surround, 4, 30); }},
        {"CopyTo itself", [](auto& A) { A.Target->CopyTo(0, A.Target, 10, 40); }},
        {"CopyTo a byte buffer", [](auto& A) { A.Target->CopyTo(0, A.Bytes, 16, 100); }},
        {"CopyToAudio", [](auto& A) { A.Surround->CopyToAudio(0, A.Target, 0, 40); }},
        {"Assign", [](auto& A) { A.Target->Assign(A.Other); }},
        {"Read of a same format", [](auto& A) { A.Target->SerializationRead(A.SameFormat); }},
        {"Read of a new format", [](auto& A) { A.Target->SerializationRead(A.NewFormat); }},
        {"GetChannel", [](auto& A) { (void)A.Target->GetChannel(1); }},
        {"GetChannelAsReal", [](auto& A) { (void)A.Target->GetChannelAsReal(0); }},
        {"ConvertBuffers down", [](auto& A) { ConvertIntoSurround(A, 44100, 22050); }},
        {"ConvertBuffers up", [](auto& A) { ConvertIntoSurround(A, 22050, 44100); }},
    };
    return cases;
}

class AllocationFailure : public ::testing::TestWithParam<bool> {};

} // namespace

TEST_P(AllocationFailure, EveryConstructorRaisesAndLeavesItsSourcesAsTheyWere) {
    for (const TCase& test : Constructors())
        EXPECT_GT(SweepAllocations(test, GetParam()), 0u) << test.Name;
}

TEST_P(AllocationFailure, EveryWritingOperationRaisesAndLeavesItsBuffersAsTheyWere) {
    for (const TCase& test : WritingOperations())
        SweepAllocations(test, GetParam());
}

INSTANTIATE_TEST_SUITE_P(SVAudioBuffer, AllocationFailure, ::testing::Bool(),
                         [](const auto& AInfo) { return AInfo.param ? "Shared" : "Private"; });

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
    static const std::vector<TCase> cases = {
        {"CreateObject", [](TFixture&) { Drop(TSVAudioBuffer::Create()); }},
        {"CreateSizeObject",
         [](TFixture&) { Drop(TSVAudioBuffer::CreateSize(44100, 16, 2, 100)); }},
        {"CreateSizeExObject",
         [](TFixture&) { Drop(TSVAudioBuffer::CreateSizeEx(48000, 24, 6, 10, KSurround51)); }},
        {"CreateDataObject",
         [](TFixture& A) { Drop(TSVAudioBuffer::CreateData(A.Target->Read(), 8000, 8, 2, 32)); }},
        {"CreateDataExObject",
         [](TFixture& A) {
             Drop(TSVAudioBuffer::CreateDataEx(A.Surround->Read(), 8000, 24, 6, 40, KSurround51));
         }},
        {"CreateFloatDataObject interleaved",
         [](TFixture& A) {
             Drop(TSVAudioBuffer::CreateFloatData(A.Floats.data(), 8000, 2, 8, 64));
         }},
        {"CreateFloatDataExObject planar",
         [](TFixture& A) {
             Drop(TSVAudioBuffer::CreateFloatDataEx(A.Floats.data(), 8000, 2, 64, 64, KStereo));
         }},
        {"CreateWaveFormatObject",
         [](TFixture& A) { Drop(TSVAudioBuffer::CreateWaveFormat(&A.Record, 20)); }},
        {"CreateExObject", [](TFixture& A) { Drop(TSVAudioBuffer::CreateEx(A.Target)); }},
        {"CreateCopyObject", [](TFixture& A) { Drop(TSVAudioBuffer::CreateCopy(A.Target)); }},
        {"CreateUniversalObject",
         [](TFixture& A) { Drop(TSVAudioBuffer::CreateUniversal(A.Target)); }},
        {"MakeCopy", [](TFixture& A) { (void)A.Target->MakeCopy(); }},
        {"MakeIntfCopy", [](TFixture& A) { (void)A.Target->MakeIntfCopy(); }},
        {"SVReadDataBuffer", [](TFixture& A) { (void)SVReadDataBuffer(A.NewFormat); }},
    };
    return cases;
}

const std::vector<TCase>& WritingOperations() {
    static const std::vector<TCase> cases = {
        {"Write", [](TFixture& A) { A.Target->Write(); }},
        {"Modify", [](TFixture& A) { A.Target->Modify(); }},
        {"ByteWrite", [](TFixture& A) { A.Target->ByteWrite(); }},
        {"ByteModify", [](TFixture& A) { A.Target->ByteModify(); }},
        {"MakeUnique", [](TFixture& A) { A.Target->MakeUnique(); }},
        {"GetModifyFormat", [](TFixture& A) { A.Target->GetModifyFormat(); }},
        {"SetItem", [](TFixture& A) { A.Target->SetItem(5, 1, 77); }},
        {"Add", [](TFixture& A) { A.Target->Add(A.Other); }},
        {"Subtract", [](TFixture& A) { A.Target->Subtract(A.Other); }},
        {"Multiply", [](TFixture& A) { A.Target->Multiply(A.Other); }},
        {"Divide", [](TFixture& A) { A.Target->Divide(A.Other); }},
        {"SetValue", [](TFixture& A) { A.Target->SetValue(3); }},
        {"AddValue", [](TFixture& A) { A.Target->AddValue(3); }},
        {"SubtractValue", [](TFixture& A) { A.Target->SubtractValue(3); }},
        {"MultiplyValue", [](TFixture& A) { A.Target->MultiplyValue(3); }},
        {"DivideValue", [](TFixture& A) { A.Target->DivideValue(3); }},
        {"SetChannelValue", [](TFixture& A) { A.Target->SetChannelValue(1, 3); }},
        {"AddChannelValue", [](TFixture& A) { A.Target->AddChannelValue(1, 3); }},
        {"SubChannelValue", [](TFixture& A) { A.Target->SubChannelValue(1, 3); }},
        {"MulChannelValue", [](TFixture& A) { A.Target->MulChannelValue(1, 3); }},
        {"DivChannelValue", [](TFixture& A) { A.Target->DivChannelValue(1, 3); }},
        {"Zero", [](TFixture& A) { A.Target->Zero(); }},
        {"MultiplyByReal", [](TFixture& A) { A.Target->MultiplyByReal(0.5); }},
        {"Resize growing with the data", [](TFixture& A) { A.Target->Resize(200, true); }},
        {"Resize growing without the data", [](TFixture& A) { A.Target->Resize(200, false); }},
        {"Resize shrinking", [](TFixture& A) { A.Target->Resize(10, true); }},
        {"CopyTo an audio buffer", [](TFixture& A) { A.Target->CopyTo(0, A.Surround, 4, 30); }},
        {"CopyTo itself", [](TFixture& A) { A.Target->CopyTo(0, A.Target, 10, 40); }},
        {"CopyTo a byte buffer", [](TFixture& A) { A.Target->CopyTo(0, A.Bytes, 16, 100); }},
        {"CopyToAudio", [](TFixture& A) { A.Surround->CopyToAudio(0, A.Target, 0, 40); }},
        {"Assign", [](TFixture& A) { A.Target->Assign(A.Other); }},
        {"SerializationRead of the same format",
         [](TFixture& A) { A.Target->SerializationRead(A.SameFormat); }},
        {"SerializationRead of a new format",
         [](TFixture& A) { A.Target->SerializationRead(A.NewFormat); }},
        {"GetChannel", [](TFixture& A) { (void)A.Target->GetChannel(1); }},
        {"GetChannelAsReal", [](TFixture& A) { (void)A.Target->GetChannelAsReal(0); }},
        {"ConvertBuffers to a lower rate",
         [](TFixture& A) {
             TRef<ISVAudioBuffer> dest(A.Surround);
             ConvertBuffers(A.Target, 44100, dest, 22050);
         }},
        {"ConvertBuffers to a higher rate",
         [](TFixture& A) {
             TRef<ISVAudioBuffer> dest(A.Surround);
             ConvertBuffers(A.Target, 22050, dest, 44100);
         }},
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

// A generator streams a ramp on its own clock while seven threads connect sinks to its output
// and disconnect them again, over and over, for a given time. Within one connection every
// buffer a sink receives must continue the ramp where the previous one ended: a buffer lost or
// delivered twice breaks it, and so does a delivery after Disconnect has returned (the sink's
// owner starts the next connection's count then). The main thread pumps the main-thread queue.
// The package's loader starts the library.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "sonvera/components/SVBasicAudioOut.h"
#include "sonvera/components/SVCommonGen.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;

namespace {

constexpr int KSinks = 7;

// Sample n of the stream is n, as 16-bit samples.
class TRampGen : public TSVCommonGen {
public:
    using TSVCommonGen::TSVCommonGen;
    ~TRampGen() override { Stop(); }

protected:
    void GenerateBuffer(TRef<ISVAudioBuffer>& ABuffer, bool&, bool&) override {
        auto* samples = reinterpret_cast<int16_t*>(GetIntVarBuffer()->Write());
        for (uint32_t i = 0; i < GetIntVarBuffer()->GetByteSize() / 2; ++i)
            samples[i] = static_cast<int16_t>(FNext++);
        PopulateAudio(GetIntVarBuffer(), ABuffer);
    }

private:
    uint16_t FNext = 0;
};

// Counts the buffers of each connection and the places where the ramp does not continue.
// Between Connect and Disconnect only the delivering thread touches the counts, and outside
// that only the owner: the pins promise that no delivery runs once Disconnect has returned.
class TCheckingSink : public TSVBasicAudioOut {
public:
    using TSVBasicAudioOut::TSVBasicAudioOut;
    int64_t Buffers = 0;
    int64_t Breaks = 0;

    void BeginConnection() { FHasLast = false; }

    bool SinkDispatch(TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
                      uint32_t) override {
        auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation);
        if (!supplied)
            return false;
        const auto buffer = IntfCast<ISVAudioBuffer>(supplied->GetData());
        for (uint32_t i = 0; i < buffer->GetSize(); ++i) {
            const auto sample = static_cast<int16_t>(buffer->GetItem(i, 0));
            if (FHasLast && sample != static_cast<int16_t>(FLast + 1))
                ++Breaks;
            FLast = sample;
            FHasLast = true;
        }
        ++Buffers;
        return false;
    }

private:
    bool FHasLast = false;
    int16_t FLast = 0;
};

void ConnectAndDisconnect(TRampGen& AGen, TCheckingSink& ASink, unsigned ASeed,
                          std::chrono::steady_clock::time_point AEnd, std::atomic<int64_t>& AFailed,
                          std::atomic<int64_t>& AConnections) {
    std::mt19937 random(ASeed);
    while (std::chrono::steady_clock::now() < AEnd) {
        ASink.BeginConnection();
        if (!AGen.GetOutputPin()->Connect(ASink.GetInputPin())) {
            ++AFailed;
            continue;
        }
        ++AConnections;
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        if (!AGen.GetOutputPin()->Disconnect(ASink.GetInputPin()))
            ++AFailed;
    }
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const uint64_t blocksBefore = QXBufferAllocatorState().BlocksInUse;
    std::atomic<int64_t> failed{0};
    std::atomic<int64_t> connections{0};
    int64_t buffers = 0;
    int64_t breaks = 0;
    {
        TRampGen gen(nullptr);
        gen.GetAudioFormat()->SetCountChannels(1);
        gen.GetAudioFormat()->SetSampleRate(48000);
        gen.GetAudioFormat()->SetBufferSize(48);
        std::vector<std::unique_ptr<TCheckingSink>> sinks;
        for (int s = 0; s < KSinks; ++s)
            sinks.push_back(std::make_unique<TCheckingSink>(nullptr));

        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        gen.Start();
        std::vector<std::thread> threads;
        for (int s = 0; s < KSinks; ++s)
            threads.emplace_back(ConnectAndDisconnect, std::ref(gen), std::ref(*sinks[s]),
                                 777u + static_cast<unsigned>(s), end, std::ref(failed),
                                 std::ref(connections));
        while (std::chrono::steady_clock::now() < end) {
            TMainThread::ProcessQueue();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        for (std::thread& thread : threads)
            thread.join();
        gen.Stop();
        for (const auto& sink : sinks) {
            buffers += sink->Buffers;
            breaks += sink->Breaks;
        }
    }
    const bool booksBalanced = QXBufferAllocatorState().BlocksInUse == blocksBefore;
    std::printf("pin stress: %d sinks, %d s, %lld connections, %lld buffers delivered, %lld ramp "
                "breaks, %lld refused connects or disconnects, allocator books %s\n",
                KSinks, seconds, static_cast<long long>(connections.load()),
                static_cast<long long>(buffers), static_cast<long long>(breaks),
                static_cast<long long>(failed.load()), booksBalanced ? "balanced" : "UNBALANCED");
    return breaks == 0 && failed == 0 && buffers > 0 && booksBalanced ? 0 : 1;
}

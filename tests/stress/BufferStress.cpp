// Eight threads share, copy, write and release audio buffers through a common pool for a given
// time. Every buffer holds one value in all its samples, and no two buffers in the pool hold the
// same value. A buffer that changes under a holder that did not write it, a buffer lost or in
// the pool twice, or a store left behind in the allocator's books is reported, and the program
// fails. The package's loader starts the library.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;

namespace {

constexpr int KThreads = 8;
constexpr size_t KSlots = 64;
constexpr int32_t KFrames = 256;

std::atomic<int32_t> GNextValue{1};
std::atomic<int64_t> GCreated{0};
std::atomic<int64_t> GReleased{0};
std::atomic<int64_t> GOperations{0};
std::atomic<int64_t> GFailures{0};

void Fail(const char* AWhat, int32_t AValue) {
    if (GFailures.fetch_add(1) < 10)
        std::fprintf(stderr, "stress: %s (value %d)\n", AWhat, AValue);
}

int32_t ValueOf(const TSVAudioBuffer& ABuffer) {
    return ABuffer.GetItem(0, 0);
}

void Expect(const TSVAudioBuffer& ABuffer, int32_t AValue, const char* AWhat) {
    if (!ABuffer.IsEqualToValue(AValue))
        Fail(AWhat, AValue);
}

class TPool {
public:
    TRef<TSVAudioBuffer> Take(size_t ASlot) {
        std::lock_guard<std::mutex> guard(FLock);
        return std::move(FSlots[ASlot]);
    }
    // Puts ABuffer into the first free slot from ASlot on; a full pool releases it.
    void Put(size_t ASlot, TRef<TSVAudioBuffer> ABuffer) {
        std::lock_guard<std::mutex> guard(FLock);
        for (size_t i = 0; i < KSlots; ++i) {
            TRef<TSVAudioBuffer>& slot = FSlots[(ASlot + i) % KSlots];
            if (!slot) {
                slot = std::move(ABuffer);
                return;
            }
        }
        ++GReleased;
    }
    // The pool holds created less released buffers, each of one value, no value twice.
    void Check() {
        std::lock_guard<std::mutex> guard(FLock);
        std::set<int32_t> values;
        int64_t held = 0;
        for (const TRef<TSVAudioBuffer>& buffer : FSlots) {
            if (!buffer)
                continue;
            ++held;
            const int32_t value = ValueOf(*buffer);
            Expect(*buffer, value, "a pooled buffer holds two values");
            if (!values.insert(value).second)
                Fail("two pooled buffers hold one value", value);
        }
        if (held != GCreated - GReleased)
            Fail("buffers lost or duplicated; pooled", static_cast<int32_t>(held));
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(FLock);
        FSlots.assign(KSlots, nullptr);
    }

private:
    std::mutex FLock;
    std::vector<TRef<TSVAudioBuffer>> FSlots = std::vector<TRef<TSVAudioBuffer>>(KSlots);
};

TRef<TSVAudioBuffer> NewBuffer(int32_t AFrames) {
    TRef<TSVAudioBuffer> buffer = TSVAudioBuffer::CreateSizeObject(48000, 32, 2, AFrames);
    buffer->SetValue(GNextValue++);
    ++GCreated;
    return buffer;
}

// A sharing copy that a thread keeps across its turns while the buffer goes back to the pool,
// where other threads write it.
struct TKept {
    TRef<TSVAudioBuffer> Buffer;
    int32_t Value;
};

void Work(TPool& APool, unsigned ASeed, std::chrono::steady_clock::time_point AEnd) {
    std::mt19937 random(ASeed);
    std::optional<TKept> kept;
    while (std::chrono::steady_clock::now() < AEnd) {
        ++GOperations;
        const size_t slot = random() % KSlots;
        TRef<TSVAudioBuffer> buffer = APool.Take(slot);
        if (!buffer) {
            APool.Put(slot, NewBuffer(KFrames));
            continue;
        }
        const int32_t value = ValueOf(*buffer);
        Expect(*buffer, value, "a taken buffer holds two values");
        switch (random() % 6) {
        case 0: // released
            buffer = nullptr;
            ++GReleased;
            continue;
        case 1: { // copied and the copy rewritten
            TRef<TSVAudioBuffer> copy = TSVAudioBuffer::CreateExObject(buffer);
            copy->SetValue(GNextValue++);
            ++GCreated;
            Expect(*buffer, value, "writing a copy changed its original");
            APool.Put(random() % KSlots, std::move(copy));
            break;
        }
        case 2: // rewritten in place, or in a private copy while a kept copy shares it
            buffer->SetValue(GNextValue++);
            break;
        case 3: // a sharing copy kept for later turns
            if (kept)
                Expect(*kept->Buffer, kept->Value, "a kept copy changed under its holder");
            kept = TKept{TSVAudioBuffer::CreateExObject(buffer), value};
            break;
        case 4: // resized, the new frames filled
            buffer->Resize(static_cast<uint32_t>(KFrames / 2 + random() % KFrames), true);
            buffer->SetValue(value);
            break;
        default: // written through without changing
            buffer->MultiplyValue(1);
            Expect(*buffer, value, "multiplying by one changed a buffer");
            break;
        }
        APool.Put(slot, std::move(buffer));
    }
    if (kept)
        Expect(*kept->Buffer, kept->Value, "a kept copy changed under its holder");
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const uint64_t blocksBefore = QXBufferAllocatorState().BlocksInUse;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    TPool pool;
    std::vector<std::thread> threads;
    for (int t = 0; t < KThreads; ++t)
        threads.emplace_back(Work, std::ref(pool), 1234u + static_cast<unsigned>(t), end);
    for (std::thread& thread : threads)
        thread.join();
    pool.Check();
    pool.Clear();
    if (QXBufferAllocatorState().BlocksInUse != blocksBefore)
        Fail("stores left in the allocator's books", 0);
    std::printf("stress: %d threads, %d s, %lld operations, %lld buffers created, %lld released, "
                "%lld failures\n",
                KThreads, seconds, static_cast<long long>(GOperations.load()),
                static_cast<long long>(GCreated.load()), static_cast<long long>(GReleased.load()),
                static_cast<long long>(GFailures.load()));
    return GFailures == 0 ? 0 : 1;
}

// The recycler hands a buffer back only when nothing else can reach it, and then exactly as a
// new one would be: the same header bytes, no timestamp, earlier timestamp views detached.

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "SVAudioBufferTestSupport.h"
#include "sonvera/buffers/SVBufferRecycler.h"

using namespace sonvera;
using namespace sonvera::testing;

namespace {

std::vector<uint8_t> StoreHeader(const TRef<TSVAudioBuffer>& ABuffer) {
    const auto* at = static_cast<const uint8_t*>(ABuffer->GetBuffer()->GetData());
    return {at, at + 40};
}

void FillWith(const TRef<TSVAudioBuffer>& ABuffer, uint8_t AByte) {
    std::memset(ABuffer->Write(), AByte, ABuffer->GetByteSize());
}

bool HoldsOnly(const TRef<TSVAudioBuffer>& ABuffer, uint8_t AByte) {
    const auto* at = static_cast<const uint8_t*>(ABuffer->Read());
    return std::all_of(at, at + ABuffer->GetByteSize(), [&](uint8_t b) { return b == AByte; });
}

} // namespace

TEST(TSVBufferRecycler, RenewsOnlyWhatNothingElseReachesAndThenAsANewBuffer) {
    // What the last buffer's holders do with it before the next one is asked for, and whether
    // that next one may be the same object.
    struct TCase {
        const char* Name;
        std::function<TRef<TSVAudioBuffer>(const TRef<TSVAudioBuffer>&)> Keep;
        int32_t Bits, Channels, Frames;
        bool Float, Renewed;
    };
    const auto dropped = [](const TRef<TSVAudioBuffer>&) { return TRef<TSVAudioBuffer>(); };
    const TCase cases[] = {
        {"dropped", dropped, 16, 2, 1152, false, true},
        {"dropped, same bytes as another format", dropped, 32, 1, 1152, false, true},
        {"dropped, float", dropped, 32, 1, 1152, true, true},
        {"dropped, another length", dropped, 16, 2, 1000, false, false},
        {"still held", [](const TRef<TSVAudioBuffer>& A) { return A; }, 16, 2, 1152, false, false},
        {"store shared by a copy",
         [](const TRef<TSVAudioBuffer>& A) { return TSVAudioBuffer::CreateExObject(A); }, 16, 2,
         1152, false, false},
        {"ownership given up",
         [](const TRef<TSVAudioBuffer>& A) {
             A->RemoveOwnerShip();
             return TRef<TSVAudioBuffer>();
         },
         16, 2, 1152, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSVBufferRecycler recycler;
        TRef<TSVAudioBuffer> last = recycler.SizeEx(44100, 16, 2, 1152, TSVSpeakers::FromMask(3));
        FillWith(last, 0xA5);
        last->SetTimeStampAvailable(true);
        last->SetTimeStampBegin(10);
        last->SetTimeStampEnd(20);
        const TRef<IRVTimeStamp> view = last->GetTimeStamp();
        const TSVAudioBuffer* lastObject = last.get();
        const TRef<TSVAudioBuffer> kept = c.Keep(last);
        last = nullptr;

        const TSVSpeakers mask = TSVSpeakers::FromMask(c.Channels == 2 ? 3 : 4);
        const TRef<TSVAudioBuffer> next =
            c.Float ? recycler.FloatSizeEx(48000, c.Channels, c.Frames, mask)
                    : recycler.SizeEx(48000, c.Bits, c.Channels, c.Frames, mask);
        const TRef<TSVAudioBuffer> fresh =
            c.Float ? TSVAudioBuffer::CreateFloatSizeExObject(48000, c.Channels, c.Frames, mask)
                    : TSVAudioBuffer::CreateSizeExObject(48000, c.Bits, c.Channels, c.Frames, mask);
        EXPECT_EQ(next.get() == lastObject, c.Renewed);
        EXPECT_EQ(StoreHeader(next), StoreHeader(fresh));
        EXPECT_EQ(next->GetSize(), fresh->GetSize());
        EXPECT_EQ(next->IsFloat(), c.Float);
        EXPECT_FALSE(next->GetTimeStampAvailable());
        EXPECT_EQ(next->GetTimeStampBegin(), 0);
        EXPECT_EQ(next->GetTimeStampEnd(), 0);
        if (c.Renewed) {
            EXPECT_THROW(view->GetBegin(), EAssertionFailed);
        }
        // Whatever else still holds the old samples sees them as they were.
        if (kept) {
            EXPECT_TRUE(HoldsOnly(kept, 0xA5));
        }
        // A format no buffer can hold is refused and the last buffer stays to be renewed.
        const TSVAudioBuffer* nextObject = next.get();
        EXPECT_THROW(recycler.SizeEx(48000, 40, 2, 1152, mask), EArgumentError);
        EXPECT_EQ(next.get(), nextObject);
    }
}

// Buffers handed to another thread, which checks each one's samples after the producer has
// gone on and drops it: a buffer renewed while still held would show another buffer's bytes.
TEST(TSVBufferRecycler, ABufferHeldOnAnotherThreadIsNeverRenewedUnderIt) {
    constexpr int KBuffers = 4000;
    std::mutex lock;
    std::condition_variable ready;
    std::deque<std::pair<TRef<TSVAudioBuffer>, uint8_t>> queue;
    bool done = false;
    int damaged = 0;
    std::thread consumer([&] {
        for (;;) {
            std::unique_lock<std::mutex> guard(lock);
            ready.wait(guard, [&] { return done || !queue.empty(); });
            if (queue.empty())
                return;
            auto [buffer, expected] = std::move(queue.front());
            queue.pop_front();
            guard.unlock();
            std::this_thread::yield();
            damaged += !HoldsOnly(buffer, expected);
        }
    });
    TSVBufferRecycler recycler;
    for (int i = 0; i < KBuffers; ++i) {
        TRef<TSVAudioBuffer> buffer = recycler.SizeEx(48000, 16, 2, 256, TSVSpeakers{});
        FillWith(buffer, static_cast<uint8_t>(i));
        {
            std::lock_guard<std::mutex> guard(lock);
            queue.emplace_back(std::move(buffer), static_cast<uint8_t>(i));
        }
        ready.notify_one();
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        done = true;
    }
    ready.notify_one();
    consumer.join();
    EXPECT_EQ(damaged, 0);
}

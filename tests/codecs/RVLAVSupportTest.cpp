#include "sonvera/codecs/RVLAVSupport.h"
#include "sonvera/codecs/RVLAVObjects.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

using namespace sonvera;

TEST(RVLAVSupport, StartsAtLoadSilencedAndCountsExplicitStarts) {
    ASSERT_EQ(RVLAVSupportStartCount(), 1);
    EXPECT_EQ(av_log_get_flags(), AV_LOG_SKIP_REPEATED);
    // Errors, logged in pieces under a codec's name, are kept for the failing call and never
    // printed; what is below an error is dropped.
    TRVLAVCodecContext context = NewLAVCodecContext(avcodec_find_encoder(AV_CODEC_ID_FLAC));
    testing::internal::CaptureStderr();
    av_log(context.get(), AV_LOG_ERROR, "rate %d ", 546338);
    av_log(context.get(), AV_LOG_ERROR, "refused\n");
    av_log(context.get(), AV_LOG_WARNING, "a warning\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(TakeLAVLoggedError(), "flac: rate 546338 refused");
    EXPECT_EQ(TakeLAVLoggedError(), "");
    InitializeRVLAVSupport();
    EXPECT_EQ(RVLAVSupportStartCount(), 2);
    FinalizeRVLAVSupport();
    EXPECT_EQ(RVLAVSupportStartCount(), 1);
    LAVLockExecute([] {}); // the lock survived the balanced pair
}

TEST(RVLAVSupport, LockIsReleasedWhenTheProcedureRaisesAndSerialisesThreads) {
    EXPECT_THROW(LAVLockExecute([] { throw std::runtime_error("codec failed"); }),
                 std::runtime_error);
    // Another thread gets the lock, so the raise released it; the threads' unguarded counter
    // stays exact only if the lock really excludes them.
    int counter = 0;
    auto work = [&counter] {
        for (int i = 0; i < 1000; ++i)
            LAVLockExecute([&counter] { ++counter; });
    };
    std::thread first(work), second(work);
    first.join();
    second.join();
    EXPECT_EQ(counter, 2000);
}

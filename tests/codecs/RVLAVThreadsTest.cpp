// Codec objects used from four threads at once; run under ThreadSanitizer too.
#include "sonvera/codecs/RVLAVFileFormat.h"
#include "sonvera/codecs/RVLAVPlayerAudio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>

#include "RVLAVTestMedia.h"

using namespace sonvera;
using namespace codecs_test;

namespace {

constexpr int KThreads = 4;
constexpr int KRounds = 10;

// One thread's round: an encoder opened into a muxer that writes no file and closed again, and
// a player audio opening and closing its decoder.
bool EncoderAndPlayerRound(TSVLAVAudioCompression& AEncoder, int ALevel) {
    int error = 0;
    TRVLAVOutputContext output =
        OpenLAVOutput("unused", av_guess_format("null", nullptr, nullptr), error);
    if (!AEncoder.Open(AV_CODEC_ID_FLAC, false) || !AEncoder.OpenStream(output.get()))
        return false;
    AEncoder.GetCompressionLevel()->SetValue(ALevel % 13);
    AEncoder.ApplySettings();
    const bool encoderOpened = OpenToneEncoder(AEncoder, output.get()) == 0 &&
                               AEncoder.GetCodecContext()->compression_level == ALevel % 13;
    AEncoder.Close();

    TRVLAVCodecContext decoding = DecoderContext("pcm_s16le", 2, KToneRate);
    std::unique_ptr<TRVLAVPlayerAudio> player;
    TRVLAVPlayerAudio::Create(StoreIn(player), nullptr, nullptr);
    const bool playerOpened = player->TryOpen(0, 0, decoding.get(), error);
    player->Close();
    return encoderOpened && playerOpened;
}

} // namespace

TEST(RVLAVThreads, DescriptorsOpenAndCloseFromFourThreadsAtOnce) {
    ReleaseLAVFileFormatLists(); // so that the threads race to build them
    const AVOutputFormat* flv = av_guess_format("flv", nullptr, nullptr);
    std::unique_ptr<TSVLAVAudioCompressions> shared;
    TSVLAVAudioCompressions::Create(StoreIn(shared), nullptr, nullptr, nullptr,
                                    [flv] { return flv; });

    std::barrier start(KThreads);
    std::atomic<int> rounds{0};
    const TRVLAVAudioFileFormats* lists[KThreads] = {};
    int32_t counts[KThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < KThreads; ++t)
        threads.emplace_back([&, t] {
            std::unique_ptr<TSVLAVAudioCompression> encoder;
            TSVLAVAudioCompression::Create(StoreIn(encoder), nullptr, nullptr);
            encoder->GetCompressionLevel()->SetMode(pmCustom);
            start.arrive_and_wait();
            counts[t] = shared->Count();
            lists[t] = &TRVLAVAudioFileFormat::GetAvailableFormats();
            for (int round = 0; round < KRounds; ++round)
                rounds += EncoderAndPlayerRound(*encoder, t + round) ? 1 : 0;
        });
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_EQ(rounds.load(), KThreads * KRounds);
    for (int t = 0; t < KThreads; ++t) {
        EXPECT_EQ(counts[t], 12) << t; // flv's tag table, filled once
        EXPECT_EQ(lists[t], &TRVLAVAudioFileFormat::GetAvailableFormats());
    }
}

#include "sonvera/codecs/RVLAVAudioCompression.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "RVLAVTestMedia.h"

using namespace sonvera;
using namespace codecs_test;

TEST(RVLAVAudioCompression, ToneSurvivesFlacAndWavThroughEncoderAndPlayerUnchanged) {
    const struct {
        const char* Name;
        AVCodecID ID;
        const char* File;
    } cases[] = {{"flac", AV_CODEC_ID_FLAC, "tone.flac"},
                 {KRVLAVAutoSelect, AV_CODEC_ID_PCM_S16LE, "tone.wav"}};
    const std::vector<int16_t> tone = StereoTone(10000);
    for (const auto& c : cases) {
        std::unique_ptr<TSVLAVAudioCompression> encoder;
        std::unique_ptr<TRVLAVPlayerAudio> player;
        TSVLAVAudioCompression::Create(StoreIn(encoder), nullptr, nullptr).SetName(c.Name);
        TRVLAVPlayerAudio::Create(StoreIn(player), nullptr, nullptr);
        const std::string file = TempPath(c.File);
        ASSERT_EQ(EncodeTone(*encoder, c.ID, file, tone), 0) << c.File;
        const std::vector<uint8_t> decoded = PlayFirstAudio(*player, file);
        ASSERT_EQ(decoded.size(), tone.size() * sizeof(int16_t)) << c.File;
        EXPECT_EQ(std::memcmp(decoded.data(), tone.data(), decoded.size()), 0) << c.File;
        std::remove(file.c_str());
    }
}

TEST(RVLAVAudioCompression, CustomSettingsReachTheContextOnlyThroughApplySettings) {
    int changes = 0;
    std::unique_ptr<TSVLAVAudioCompression> encoder;
    TSVLAVAudioCompression::Create(StoreIn(encoder), nullptr, nullptr, [&changes](TPersistent*) {
        ++changes;
    }).SetName("flac");
    encoder->GetGlobalQuality()->SetMode(pmCustom);
    encoder->GetGlobalQuality()->SetValue(5);
    encoder->GetGlobalQuality()->SetValue(5);
    EXPECT_EQ(changes, 3);                       // name, mode, value once
    encoder->GetCompressionLevel()->SetValue(7); // the value alone, then the mode
    encoder->GetCompressionLevel()->SetMode(pmCustom);
    encoder->GetProfile()->SetValue(3); // stays pmDefault

    int error = 0;
    for (int cycle = 0; cycle < 2; ++cycle) {
        TRVLAVOutputContext output =
            OpenLAVOutput("unused", av_guess_format("null", nullptr, nullptr), error);
        ASSERT_TRUE(encoder->Open(AV_CODEC_ID_NONE, false));
        EXPECT_EQ(encoder->GetGlobalQuality()->GetCurrentValue(), 0); // no stream yet
        ASSERT_TRUE(encoder->OpenStream(output.get()));
        const AVCodecContext* context = encoder->GetCodecContext();
        EXPECT_EQ(context->global_quality, 0);
        EXPECT_EQ(context->compression_level, FF_COMPRESSION_DEFAULT);
        encoder->ApplySettings();
        EXPECT_EQ(context->global_quality, 5);
        EXPECT_EQ(context->compression_level, 7);
        EXPECT_EQ(context->profile, FF_PROFILE_UNKNOWN);
        encoder->GetGlobalQuality()->SetValue(6 + cycle); // written through at once
        EXPECT_EQ(context->global_quality, 6 + cycle);
        encoder->Close();
        EXPECT_EQ(encoder->GetCodecContext(), nullptr);
        EXPECT_EQ(encoder->GetCompressionLevel()->GetCurrentValue(), 0);
        EXPECT_EQ(encoder->GetCompressionLevel()->GetValue(), 7);
        encoder->GetGlobalQuality()->SetValue(5); // no stream: kept, written nowhere
    }
}

TEST(RVLAVAudioCompression, OpensByNameOrByIdentifier) {
    const struct {
        const char* Name;
        AVCodecID ID;
        bool Decoder;
        const char* Expected; // null: nothing found
    } cases[] = {{KRVLAVAutoSelect, AV_CODEC_ID_FLAC, false, "flac"},
                 {KRVLAVAutoSelect, AV_CODEC_ID_MP3, true, "mp3float"},
                 {"pcm_s16le", AV_CODEC_ID_FLAC, false, "pcm_s16le"},
                 {"pcm_s16le", AV_CODEC_ID_FLAC, true, "pcm_s16le"},
                 {"no such codec", AV_CODEC_ID_FLAC, true, nullptr},
                 {KRVLAVAutoSelect, AV_CODEC_ID_NONE, false, nullptr}};
    for (const auto& c : cases) {
        std::unique_ptr<TSVLAVAudioCompression> descriptor;
        TSVLAVAudioCompression::Create(StoreIn(descriptor), nullptr, nullptr).SetName(c.Name);
        descriptor->Close(); // before Open: nothing to do
        EXPECT_EQ(descriptor->Open(c.ID, c.Decoder), c.Expected != nullptr) << c.Name;
        EXPECT_NE(descriptor->GetFrame(), nullptr);
        if (c.Expected) {
            EXPECT_STREQ(descriptor->GetCodec()->name, c.Expected);
        }
        descriptor->Close();
        descriptor->Close();
        EXPECT_EQ(descriptor->GetFrame(), nullptr);
        EXPECT_EQ(descriptor->GetCodec() != nullptr, c.Expected != nullptr); // kept by Close
    }
}

TEST(RVLAVAudioCompression, NamesFollowLongNamesIdentifiersAndCodecSources) {
    std::unique_ptr<TSVLAVAudioDecompression> decoder;
    TSVLAVAudioDecompression::Create(StoreIn(decoder), nullptr, nullptr);
    decoder->SetName("no such codec");
    EXPECT_EQ(decoder->GetLongName(), "");
    EXPECT_EQ(decoder->GetID(), AV_CODEC_ID_NONE);
    decoder->SetLongName("AAC (Advanced Audio Coding)"); // shared by aac and aac_fixed
    EXPECT_EQ(decoder->GetName(), "aac");
    decoder->SetLongName("no such long name");
    decoder->SetID(AVCodecID(999999));
    EXPECT_EQ(decoder->GetName(), "aac");
    decoder->SetID(AV_CODEC_ID_MP3);
    EXPECT_EQ(decoder->GetName(), "mp3float");
    EXPECT_EQ(decoder->GetID(), AV_CODEC_ID_MP3);

    std::unique_ptr<TSVLAVAudioCompression> fromSource;
    TSVLAVAudioCompression::CreateEx(StoreIn(fromSource), nullptr, nullptr,
                                     [] { return avcodec_find_decoder(AV_CODEC_ID_FLAC); });
    EXPECT_EQ(fromSource->GetName(), "flac");
    EXPECT_THROW(TSVLAVAudioCompression::Create(nullptr, nullptr, nullptr), EAssertionFailed);
}

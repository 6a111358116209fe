#include "sonvera/codecs/RVLAVFileFormat.h"

#include <gtest/gtest.h>

using namespace sonvera;

namespace {

std::vector<const AVOutputFormat*> Muxers() {
    std::vector<const AVOutputFormat*> muxers;
    void* iterator = nullptr;
    while (const AVOutputFormat* format = av_muxer_iterate(&iterator))
        muxers.push_back(format);
    return muxers;
}

// A catalog that counts how often it fills itself.
class TCountingCatalog : public TSVLAVAudioCompressions {
public:
    TCountingCatalog(TRVLAVFormatSource ASource)
        : TSVLAVAudioCompressions(nullptr, nullptr, nullptr, std::move(ASource), nullptr) {}
    int Populations = 0;

protected:
    void Populate() override {
        ++Populations;
        TSVLAVAudioCompressions::Populate();
    }
};

} // namespace

TEST(RVLAVFileFormat, ProcessWideListsHoldEveryMuxerOnceInFFmpegsOrder) {
    const std::vector<const AVOutputFormat*> muxers = Muxers();
    TRVLAVAudioFileFormats& audio = TRVLAVAudioFileFormat::GetAvailableFormats();
    TGMLAVVideoFileFormats& video = TGMLAVVideoFileFormat::GetAvailableFormats();
    ASSERT_EQ(audio.Count(), int32_t(muxers.size()));
    ASSERT_EQ(video.Count(), int32_t(muxers.size()));
    const std::vector<std::string> codes = TRVLAVFileFormat::GetAvailableFormatNames(ciCode);
    std::vector<std::string> both;
    TRVLAVFileFormat::GetAvailableFormatNames(both, ciBoth);
    for (size_t i = 0; i < muxers.size(); ++i) {
        EXPECT_EQ(audio.Items(int32_t(i)).GetAVFormat(), muxers[i]);
        EXPECT_EQ(video.Items(int32_t(i)).GetName(), muxers[i]->name);
        EXPECT_EQ(codes[i], muxers[i]->name);
        EXPECT_EQ(both[i], std::string("[") + muxers[i]->name + "] - " + muxers[i]->long_name);
    }
    EXPECT_THROW(audio.Items(audio.Count()), ERangeError);
}

TEST(RVLAVFileFormat, DescribesItsOutputFormat) {
    const struct {
        const char* Name;
        const char* Mime;
        std::vector<std::string> Extensions;
        const char* DefaultAudio; // null: none
        const char* DefaultVideo;
    } cases[] = {{"adts", "audio/aac", {"aac", "adts"}, "aac", nullptr},
                 {"null", "", {}, "pcm_s16le", "wrapped_avframe"},
                 {"gif", "image/gif", {"gif"}, nullptr, "gif"},
                 {"a64", "", {"a64", " A64"}, nullptr, nullptr}, // its video codec has no decoder
                 {"wav", "audio/x-wav", {"wav"}, "pcm_s16le", nullptr}};
    for (const auto& c : cases) {
        const AVOutputFormat* muxer = av_guess_format(c.Name, nullptr, nullptr);
        ASSERT_NE(muxer, nullptr) << c.Name;
        std::unique_ptr<TGMLAVVideoFileFormatItem> format;
        TGMLAVVideoFileFormatItem::Create(StoreIn(format), nullptr, muxer);
        EXPECT_EQ(format->GetName(), c.Name);
        EXPECT_EQ(format->GetMimeType(), c.Mime);
        EXPECT_EQ(format->GetExtentions(), c.Extensions) << c.Name;
        TSVLAVAudioCompression* audio = format->GetDefaultAudioCompression();
        EXPECT_EQ(audio != nullptr, c.DefaultAudio != nullptr) << c.Name;
        if (audio) {
            EXPECT_EQ(audio->GetName(), c.DefaultAudio);
            EXPECT_EQ(format->GetDefaultAudioCompression(), audio); // made once
        }
        TGMLAVVideoCompression* video = format->GetDefaultVideoCompression();
        EXPECT_EQ(video != nullptr, c.DefaultVideo != nullptr) << c.Name;
        if (video) {
            EXPECT_EQ(video->GetName(), c.DefaultVideo);
        }
    }

    std::unique_ptr<TRVLAVAudioFileFormat> none;
    TRVLAVAudioFileFormat::Create(StoreIn(none), nullptr, nullptr, [] { return nullptr; });
    EXPECT_EQ(none->GetDescription(), "");
    EXPECT_EQ(none->GetMimeType(), "");
    EXPECT_TRUE(none->GetExtentions().empty());
    EXPECT_EQ(none->GetDefaultAudioCompression(), nullptr);
    EXPECT_EQ(none->GetAudioCompressions()->Count(), 0);
}

TEST(RVLAVFileFormat, ChoosesByNameOrByTheCallersFile) {
    std::unique_ptr<TRVLAVAudioFileFormat> format;
    TRVLAVAudioFileFormat::Create(StoreIn(format), nullptr, nullptr, nullptr);
    const AVOutputFormat* wav = av_guess_format("wav", nullptr, nullptr);
    const struct {
        const char* Name;
        const char* File;
        const AVOutputFormat* Expected;
    } cases[] = {{KRVLAVAutoSelect, "wav", wav},
                 {KRVLAVAutoSelect, "c:\\dir\\song.WAV", wav},
                 {KRVLAVAutoSelect, "song.xyz", nullptr},
                 {"WAV", "song.mp3", wav},
                 {"no such format", "song.wav", nullptr}};
    for (const auto& c : cases) {
        format->SetName(c.Name);
        EXPECT_EQ(format->GetFormat(c.File), c.Expected) << c.Name << " " << c.File;
    }
}

TEST(RVLAVCompressions, CatalogsWalkTheTagTablesOnceUpToTheFirstGap) {
    for (const AVOutputFormat* muxer : Muxers()) {
        std::vector<AVCodecID> expected;
        for (unsigned tag = 0; av_codec_get_id(muxer->codec_tag, tag) != AV_CODEC_ID_NONE; ++tag)
            if (avcodec_find_decoder(av_codec_get_id(muxer->codec_tag, tag)))
                expected.push_back(av_codec_get_id(muxer->codec_tag, tag));
        TCountingCatalog catalog([muxer] { return muxer; });
        ASSERT_EQ(catalog.Count(), int32_t(expected.size())) << muxer->name;
        EXPECT_EQ(catalog.Populations, 1);
        for (int32_t i = 0; i < catalog.Count(); ++i) {
            TSVLAVAudioCompression& item = catalog.Items(i);
            EXPECT_EQ(item.GetID(), expected[size_t(i)]) << muxer->name;
            EXPECT_EQ(item.GetName(), avcodec_find_decoder(expected[size_t(i)])->name);
            EXPECT_EQ(item.GetMediaType(), AVMEDIA_TYPE_AUDIO); // whatever the codec's kind
        }
    }
    TCountingCatalog empty([] { return nullptr; });
    EXPECT_EQ(empty.Count(), 0);
    EXPECT_THROW(empty.Items(0), ERangeError);
}

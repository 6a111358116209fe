#include "sonvera/codecs/RVLAVVideoCompression.h"
#include "sonvera/codecs/RVLAVAudioCompression.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/runtime/PropertyStreaming.h"

#include <gtest/gtest.h>

#include <functional>

#include "TestSupport.h"

using namespace sonvera;

namespace {

int64_t PrivateOption(const AVCodecContext* AContext, const char* AName) {
    int64_t value = -12345;
    av_opt_get_int(const_cast<AVCodecContext*>(AContext), AName, AV_OPT_SEARCH_CHILDREN, &value);
    return value;
}

// An encoder descriptor for ACodec with an open stream in a muxer that writes no file.
struct TOpenEncoder {
    std::unique_ptr<TGMLAVVideoCompression> Descriptor;
    TRVLAVOutputContext Output;

    explicit TOpenEncoder(const char* ACodec) {
        TGMLAVVideoCompression::Create(StoreIn(Descriptor), nullptr, nullptr).SetName(ACodec);
        int error = 0;
        Output = OpenLAVOutput("unused", av_guess_format("null", nullptr, nullptr), error);
        EXPECT_TRUE(Descriptor->Open(AV_CODEC_ID_NONE, false)) << ACodec;
        EXPECT_TRUE(Descriptor->OpenStream(Output.get()));
    }
    ~TOpenEncoder() { Descriptor->Close(); }
};

} // namespace

TEST(GMLAVVideoCompression, ANewEncoderStoresNothing) {
    std::unique_ptr<TGMLAVVideoCompression> encoder;
    TGMLAVVideoCompression::Create(StoreIn(encoder), nullptr, nullptr);
    EXPECT_EQ(sonvera::testing::Written(*encoder), "{}");
    encoder->GetQuantizer()->GetMax()->SetMode(pmCustom);
    encoder->GetIDCTAlgorithm()->SetValue(idctFaan); // only its mode is ever stored
    EXPECT_EQ(sonvera::testing::Written(*encoder), R"({"Quantizer":{"Max":{"Mode":"pmCustom"}}})");
}

TEST(GMLAVVideoCompression, SettingsReachFieldsAndPrivateOptionsOnlyWhenApplied) {
    using TSet = std::function<void(TGMLAVVideoCompression&)>;
    using TCheck = std::function<void(const AVCodecContext&, const TGMLAVVideoCompression&)>;
    auto custom = [](auto* ASetting, auto AValue) {
        ASetting->SetValue(AValue);
        ASetting->SetMode(pmCustom);
    };
    const struct {
        const char* Codec;
        TSet Set;
        TCheck Check;
    } cases[] = {
        {"mpeg4", [&](auto& d) { d.GetQuantizer()->GetMax()->SetValue(40); },
         [](auto& c, auto&) { EXPECT_EQ(c.qmax, 31); }}, // pmDefault: FFmpeg's own
        {"mpeg4", [&](auto& d) { custom(d.GetQuantizer()->GetMax(), 40); },
         [](auto& c, auto&) { EXPECT_EQ(c.qmax, 40); }},
        {"mpeg4", [&](auto& d) { custom(d.GetQuantizer()->GetCompression(), 1.5f); },
         [](auto& c, auto&) { EXPECT_EQ(c.qcompress, 1.0f); }},
        {"mpeg4", [&](auto& d) { custom(d.GetRateControl()->GetBitRate(), 300000); },
         [](auto& c, auto&) { EXPECT_EQ(c.bit_rate, 300000); }},
        {"mpeg4", [&](auto& d) { custom(d.GetIDCTAlgorithm(), idctSimple); },
         [](auto& c, auto&) { EXPECT_EQ(c.idct_algo, FF_IDCT_SIMPLE); }},
        {"mpeg4", [&](auto& d) { custom(d.GetFrameSkip()->GetComparisonFunction(), cfChroma); },
         [](auto& c, auto& d) {
             EXPECT_EQ(PrivateOption(&c, "skip_cmp"), 256);
             EXPECT_EQ(d.GetFrameSkip()->GetComparisonFunction()->GetCurrentValue(), cfChroma);
             av_opt_set_int(const_cast<AVCodecContext*>(&c), "skip_cmp", 300,
                            AV_OPT_SEARCH_CHILDREN);
             EXPECT_EQ(d.GetFrameSkip()->GetComparisonFunction()->GetCurrentValue(),
                       cfAbsDifferences);
         }},
        {"mpeg4", [&](auto& d) { custom(d.GetMotionEstimation()->GetAlgorithm(), 6); },
         [](auto& c, auto& d) {
             EXPECT_EQ(PrivateOption(&c, "motion_est"), 2); // x1
             EXPECT_EQ(d.GetMotionEstimation()->GetAlgorithm()->GetCurrentValue(), 6);
         }},
        {"mpeg4", [&](auto& d) { custom(d.GetMotionEstimation()->GetAlgorithm(), 2); },
         [](auto& c, auto&) { EXPECT_EQ(PrivateOption(&c, "motion_est"), 1); }}, // no equivalent
        {"mpeg4", [&](auto& d) { custom(d.GetCoderType(), ctAc); }, // mpeg4 has no coder
         [](auto& c, auto&) { EXPECT_EQ(PrivateOption(&c, "coder"), -12345); }},
        {"ffv1", [&](auto& d) { custom(d.GetCoderType(), ctAc); },
         [](auto& c, auto&) { EXPECT_EQ(PrivateOption(&c, "coder"), 1); }},
        {"ffv1", [&](auto& d) { custom(d.GetCoderType(), ctRaw); }, // would mean range_tab
         [](auto& c, auto&) { EXPECT_EQ(PrivateOption(&c, "coder"), 0); }},
        {"ffv1", [&](auto& d) { custom(d.GetContextModel(), 1); },
         [](auto& c, auto&) { EXPECT_EQ(PrivateOption(&c, "context"), 1); }},
        {"ffvhuff", [&](auto& d) { custom(d.GetContextModel(), 1); },
         [](auto& c, auto&) { EXPECT_EQ(PrivateOption(&c, "context"), 0); }},
    };
    for (const auto& c : cases) {
        TOpenEncoder opened(c.Codec);
        TGMLAVVideoCompression& descriptor = *opened.Descriptor;
        const int qmax = descriptor.GetCodecContext()->qmax;
        c.Set(descriptor);
        // Written through at once only where the mode was already custom when the value came.
        EXPECT_EQ(descriptor.GetCodecContext()->qmax, qmax);
        descriptor.ApplySettings();
        c.Check(*descriptor.GetCodecContext(), descriptor);
    }
}

TEST(RVLAVCompression, EachClassListsFFmpegsCodecsOfItsKindInFFmpegsOrder) {
    using TList = std::vector<std::string> (*)(TRVCompressionInfo);
    const struct {
        TList List;
        AVMediaType Type;
        bool Decoders;
    } classes[] = {{TSVLAVAudioCompression::GetAvailableCompressions, AVMEDIA_TYPE_AUDIO, false},
                   {TSVLAVAudioDecompression::GetAvailableCompressions, AVMEDIA_TYPE_AUDIO, true},
                   {TGMLAVVideoCompression::GetAvailableCompressions, AVMEDIA_TYPE_VIDEO, false},
                   {TGMLAVVideoDecompression::GetAvailableCompressions, AVMEDIA_TYPE_VIDEO, true}};
    for (const auto& c : classes) {
        std::vector<std::string> both, codes, descriptions;
        void* iterator = nullptr;
        while (const AVCodec* codec = av_codec_iterate(&iterator))
            if (codec->type == c.Type && bool(av_codec_is_decoder(codec)) == c.Decoders) {
                both.push_back(std::string("[") + codec->name + "] - " + codec->long_name);
                codes.push_back(codec->name);
                descriptions.push_back(codec->long_name);
            }
        EXPECT_EQ(c.List(ciBoth), both);
        EXPECT_EQ(c.List(ciCode), codes);
        EXPECT_EQ(c.List(ciDescription), descriptions);
    }
    std::vector<std::string> list{"stale"};
    TSVLAVAudioDecompression::GetAvailableCompressions(list, ciCode);
    EXPECT_EQ(list, TSVLAVAudioDecompression::GetAvailableCompressions(ciCode));
}

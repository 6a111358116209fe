#include "sonvera/codecs/RVLAVVideoCompression.h"
#include "sonvera/codecs/RVLAVAudioCompression.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/runtime/PropertyStreaming.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(RVLAVCompression, EachClassListsOnlyCodecsOfItsKindUnderEveryNaming) {
    using TList = std::vector<std::string> (*)(TRVCompressionInfo);
    const struct {
        TList List;
        const char* Listed;
        const char* Absent; // of the other direction or the other media type
    } classes[] = {{TSVLAVAudioCompression::GetAvailableCompressions, "flac", "mp3float"},
                   {TSVLAVAudioDecompression::GetAvailableCompressions, "mp3float", "mpeg4"},
                   {TGMLAVVideoCompression::GetAvailableCompressions, "mpeg4", "flac"},
                   {TGMLAVVideoDecompression::GetAvailableCompressions, "h264", "mp3float"}};
    for (const auto& c : classes) {
        const std::vector<std::string> codes = c.List(ciCode), both = c.List(ciBoth),
                                       descriptions = c.List(ciDescription);
        ASSERT_EQ(both.size(), codes.size());
        ASSERT_EQ(descriptions.size(), codes.size());
        for (size_t i = 0; i < codes.size(); ++i)
            EXPECT_EQ(both[i], "[" + codes[i] + "] - " + descriptions[i]);
        EXPECT_NE(std::find(codes.begin(), codes.end(), c.Listed), codes.end()) << c.Listed;
        EXPECT_EQ(std::find(codes.begin(), codes.end(), c.Absent), codes.end()) << c.Absent;
    }
    std::vector<std::string> list{"stale"};
    TSVLAVAudioDecompression::GetAvailableCompressions(list, ciCode);
    EXPECT_EQ(list, TSVLAVAudioDecompression::GetAvailableCompressions(ciCode));
}

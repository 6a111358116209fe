#include "sonvera/codecs/RVLAVCompressionOptions.h"
#include "sonvera/codecs/RVLAVAudioCompression.h"
#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/runtime/PropertyStreaming.h"

#include <gtest/gtest.h>

using namespace sonvera;

TEST(RVLAVCompressionOptions, ApplyInCollectionOrderToTheObjectItselfOnly) {
    const AVCodec* flac = avcodec_find_encoder_by_name("flac");
    ASSERT_NE(flac, nullptr);
    TRVLAVCodecContext context = NewLAVCodecContext(flac);
    int64_t precision = 0;
    ASSERT_EQ(av_opt_get_int(context->priv_data, "lpc_coeff_precision", 0, &precision), 0);

    TRVLAVCompressionOptions options(nullptr, nullptr, nullptr);
    auto add = [&options]<class TOption>(const char* AName, auto AValue) {
        TOption& option = options.Add<TOption>();
        option.SetName(AName);
        option.SetValue(AValue);
    };
    add.operator()<TRVLAVCompressionOptionInteger>("compression_level", 5);
    add.operator()<TRVLAVCompressionOptionString>("b", "128k");
    add.operator()<TRVLAVCompressionOptionReal>("qcomp", 0.25);
    add.operator()<TRVLAVCompressionOptionSingle>("qblur", 0.75f);
    add.operator()<TRVLAVCompressionOptionInt64>("g", int64_t{99});
    add.operator()<TRVLAVCompressionOptionInteger>("no_such_option", 1);
    add.operator()<TRVLAVCompressionOptionInteger>("lpc_coeff_precision", 3); // private
    add.operator()<TRVLAVCompressionOptionInteger>("compression_level", 8);   // overrides 5
    options.Apply(context.get());

    EXPECT_EQ(context->compression_level, 8);
    EXPECT_EQ(context->bit_rate, 128000);
    EXPECT_EQ(context->qcompress, 0.25f);
    EXPECT_EQ(context->qblur, 0.75f);
    EXPECT_EQ(context->gop_size, 99);
    int64_t after = 0;
    av_opt_get_int(context->priv_data, "lpc_coeff_precision", 0, &after);
    EXPECT_EQ(after, precision);
    EXPECT_THROW(options.Apply(nullptr), EAssertionFailed);
}

TEST(RVLAVCompressionOptions, RegisteredAtStartUpAndCopiedWithTheirClasses) {
    // Added by their registered names, so that a class left unregistered refuses.
    const std::vector<std::string> expected = {
        "TRVLAVCompressionOptionInteger", "TRVLAVCompressionOptionInt64",
        "TRVLAVCompressionOptionReal", "TRVLAVCompressionOptionSingle",
        "TRVLAVCompressionOptionString"};

    int changes = 0;
    TRVLAVCompressionOptions source(nullptr, nullptr, nullptr);
    for (const std::string& name : expected)
        source.AddItem(name).SetName(name.substr(23));
    static_cast<TRVLAVCompressionOptionReal&>(source.Items(2)).SetValue(2.5);
    TRVLAVCompressionOptions copy(nullptr, nullptr, [&changes](TPersistent*) { ++changes; });
    copy.Add<TRVLAVCompressionOptionString>().SetName("dropped");
    copy.Assign(source);
    ASSERT_EQ(copy.Count(), 5);
    for (int32_t i = 0; i < copy.Count(); ++i) {
        EXPECT_EQ(copy.Items(i).ClassName(), expected[i]);
        EXPECT_EQ(copy.Items(i).GetName(), source.Items(i).GetName());
    }
    EXPECT_EQ(static_cast<TRVLAVCompressionOptionReal&>(copy.Items(2)).GetValue(), 2.5);
    EXPECT_GT(changes, 0);

    EXPECT_THROW(copy.AddItem("TSVAudioBuffer"), EArgumentError);
    EXPECT_THROW(copy.Items(5), ERangeError);
    EXPECT_THROW(copy.Delete(-1), ERangeError);
    EXPECT_EQ(copy.Count(), 5);
    copy.Delete(0);
    EXPECT_EQ(copy.Items(0).ClassName(), expected[1]);
    copy.Clear();
    EXPECT_EQ(copy.Count(), 0);
}

// A stored descriptor keeps its options: their classes, names, values and order come back from
// the document, and a document naming a class that is no option changes nothing.
TEST(RVLAVCompressionOptions, StreamedWithTheDescriptor) {
    std::unique_ptr<TSVLAVAudioCompression> stored, loaded;
    TSVLAVAudioCompression::Create(StoreIn(stored), nullptr, nullptr).SetName("flac");
    TSVLAVAudioCompression::Create(StoreIn(loaded), nullptr, nullptr);
    TRVLAVCompressionOptions& options = *stored->GetOptions();
    options.Add<TRVLAVCompressionOptionInt64>().SetValue(int64_t{1} << 40);
    options.Add<TRVLAVCompressionOptionString>().SetValue("128k");
    options.Add<TRVLAVCompressionOptionSingle>().SetValue(0.1f);
    for (int32_t i = 0; i < options.Count(); ++i)
        options.Items(i).SetName("option" + std::to_string(i));
    loaded->GetOptions()->Add<TRVLAVCompressionOptionInteger>().SetName("replaced");

    const TRef<TJsonWriter> writer = TJsonWriter::CreateObject();
    WritePublishedProperties(*stored, writer);
    const std::string text = writer->Text();
    ReadPublishedProperties(*loaded, TJsonReader::Create(text));
    const TRef<TJsonWriter> again = TJsonWriter::CreateObject();
    WritePublishedProperties(*loaded, again);
    EXPECT_EQ(again->Text(), text);
    ASSERT_EQ(loaded->GetOptions()->Count(), 3);
    EXPECT_EQ(loaded->GetOptions()->Items(2).ClassName(), "TRVLAVCompressionOptionSingle");
    EXPECT_EQ(
        static_cast<TRVLAVCompressionOptionSingle&>(loaded->GetOptions()->Items(2)).GetValue(),
        0.1f);

    std::string foreign = text;
    foreign.replace(foreign.find("TRVLAVCompressionOptionString"), 29, "TSVAudioBuffer");
    EXPECT_THROW(ReadPublishedProperties(*loaded, TJsonReader::Create(foreign)), EReadError);
    EXPECT_EQ(loaded->GetOptions()->Count(), 3);
}

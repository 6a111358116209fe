#include "sonvera/codecs/RVLAVCompression.h"

#include "sonvera/codecs/RVLAVSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "RVLAVSupport";

} // namespace

TRVLAVCompression::TRVLAVCompression(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                     TRVLAVCodecSource AOnGetCodec, TPersistentNotify AOnChange)
    : TRVLAVLoggingElement(AOwner, std::move(ALock), AOnChange), FOnChange(std::move(AOnChange)),
      FOnGetCodec(std::move(AOnGetCodec)) {
    if (!FOnGetCodec)
        FOnGetCodec = [this] { return avcodec_find_decoder_by_name(GetName().c_str()); };
    FOptions = std::make_unique<TRVLAVCompressionOptions>(this, GetLock(), FOnChange);
}

TRVLAVCompression::~TRVLAVCompression() {
    try {
        ReleaseFFmpegObjects();
    } catch (const EAssertionFailed&) {
        // The codec unit has already shut down: no codec can be opening any more, so the
        // context is freed without the lock.
        FCodecCtx.reset();
    }
}

const TPropertyTableBase& TRVLAVCompression::ClassPropertyTable() {
    using T = TRVLAVCompression;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TRVLAVCompression", TRVLAVLoggingElement::ClassPropertyTable())
            .Object("GlobalQuality", &T::GetGlobalQuality)
            .Object("CompressionLevel", &T::GetCompressionLevel)
            .Object("Profile", &T::GetProfile)
            .Object("Level", &T::GetLevel)
            .Object("CoderType", &T::GetCoderType)
            .Object("Options", &T::GetOptions)
            .Integer("BitRate", 400000, &T::GetBitRate, &T::SetBitRate);
    return table;
}

void TRVLAVCompression::Init() {
    FGlobalQuality = NewFieldSetting<TRVIntegerSetting>(-1, &AVCodecContext::global_quality, this);
    FCompressionLevel =
        NewFieldSetting<TRVIntegerSetting>(-1, &AVCodecContext::compression_level, this);
    FProfile = NewFieldSetting<TRVIntegerSetting>(0, &AVCodecContext::profile, this);
    FLevel = NewFieldSetting<TRVIntegerSetting>(0, &AVCodecContext::level, this);
}

void TRVLAVCompression::TakeCodecName() {
    if (const AVCodec* codec = FOnGetCodec())
        SetName(codec->name);
}

bool TRVLAVCompression::Open(AVCodecID AID, bool ADecoder) {
    Close();
    const std::string name = GetName();
    if (name == KRVLAVAutoSelect)
        FCodec = ADecoder ? avcodec_find_decoder(AID) : avcodec_find_encoder(AID);
    else
        FCodec = ADecoder ? avcodec_find_decoder_by_name(name.c_str())
                          : avcodec_find_encoder_by_name(name.c_str());
    FFrame = NewLAVFrame();
    return FCodec != nullptr;
}

bool TRVLAVCompression::OpenStream(AVFormatContext* AContext) {
    Assert(AContext != nullptr, KUnitName);
    TRVLAVCodecContext context = NewLAVCodecContext(FCodec);
    AVStream* stream = avformat_new_stream(AContext, nullptr);
    if (!stream)
        return false;
    if (FStream)
        LAVLockExecute([this] { FCodecCtx.reset(); });
    FCodecCtx = std::move(context);
    FStream = stream;
    return true;
}

void TRVLAVCompression::ApplySettings() {
    for (TRVBasicSetting* setting : PublishedObjectsOf<TRVBasicSetting>(*this))
        setting->ApplySettings();
}

void TRVLAVCompression::Close() {
    ReleaseFFmpegObjects();
}

void TRVLAVCompression::ReleaseFFmpegObjects() {
    if (FStream) {
        LAVLockExecute([this] { FCodecCtx.reset(); });
        FStream = nullptr;
    }
    FFrame.reset();
}

std::string TRVLAVCompression::GetLongName() const {
    const AVCodec* codec = FOnGetCodec();
    return codec && codec->long_name ? codec->long_name : "";
}

AVCodecID TRVLAVCompression::GetID() const {
    const AVCodec* codec = FOnGetCodec();
    return codec ? codec->id : AV_CODEC_ID_NONE;
}

void TRVLAVCompression::SetLongName(const std::string& AValue) {
    void* iterator = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&iterator))
        if (codec->long_name && AValue == codec->long_name) {
            SetName(codec->name);
            return;
        }
}

void TRVLAVCompression::SetID(AVCodecID AID) {
    if (const AVCodec* codec = avcodec_find_decoder(AID))
        SetName(codec->name);
}

std::vector<std::string> TRVLAVCompression::AvailableCompressions(AVMediaType AType, bool ADecoders,
                                                                  TRVCompressionInfo AInfo) {
    std::vector<std::string> list;
    void* iterator = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&iterator)) {
        const bool kind = ADecoders ? av_codec_is_decoder(codec) : av_codec_is_encoder(codec);
        if (codec->type == AType && kind)
            list.push_back(RVLAVListEntry(codec->name, codec->long_name, AInfo));
    }
    return list;
}

} // namespace sonvera

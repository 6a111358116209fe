#include "sonvera/codecs/RVLAVFileFormat.h"

#include <utility>

namespace sonvera {

namespace {

std::vector<std::string> SplitAtCommas(const std::string& AText) {
    std::vector<std::string> pieces;
    if (AText.empty())
        return pieces;
    size_t start = 0;
    for (size_t comma = AText.find(','); comma != std::string::npos;
         comma = AText.find(',', start)) {
        pieces.push_back(AText.substr(start, comma - start));
        start = comma + 1;
    }
    pieces.push_back(AText.substr(start));
    return pieces;
}

// The process-wide lists, built under GListsLock on first use. They are freed only by
// ReleaseLAVFileFormatLists: a static destructor of their own might run before the codec
// library's shut-down, which then would free them a second time.
constinit std::mutex GListsLock;
constinit TRVLAVAudioFileFormats* GAudioFormats = nullptr;
constinit TGMLAVVideoFileFormats* GVideoFormats = nullptr;

// One item per muxer, in FFmpeg's order.
template <class TItem, class TList> std::unique_ptr<TList> AllFormats() {
    auto list = std::make_unique<TList>();
    void* iterator = nullptr;
    while (const AVOutputFormat* format = av_muxer_iterate(&iterator))
        TItem::Create([&list](std::unique_ptr<TItem> AItem) { list->Add(std::move(AItem)); },
                      nullptr, format);
    return list;
}

} // namespace

// ---- TRVLAVFileFormat -----------------------------------------------------------------------

TRVLAVFileFormat::TRVLAVFileFormat(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                   TRVLAVFormatSource AOnGetFormat, TPersistentNotify AOnChange)
    : TRVLAVLoggingElement(AOwner, std::move(ALock), AOnChange),
      FOnGetFormat(std::move(AOnGetFormat)), FOnChange(std::move(AOnChange)) {
    TSVLAVAudioCompressions::Create(StoreIn(FAudioCompressions),
                                    dynamic_cast<TLockComponent*>(AOwner), this, GetLock(),
                                    FOnGetFormat, FOnChange);
}

TRVLAVFileFormat::~TRVLAVFileFormat() = default;

std::string TRVLAVFileFormat::GetDescription() const {
    const AVOutputFormat* format = GetAVFormat();
    return format && format->long_name ? format->long_name : "";
}

std::string TRVLAVFileFormat::GetMimeType() const {
    const AVOutputFormat* format = GetAVFormat();
    return format && format->mime_type ? format->mime_type : "";
}

std::vector<std::string> TRVLAVFileFormat::GetExtentions() const {
    const AVOutputFormat* format = GetAVFormat();
    return SplitAtCommas(format && format->extensions ? format->extensions : "");
}

TSVLAVAudioCompression* TRVLAVFileFormat::GetDefaultAudioCompression() {
    TChangeNotifyLockGuard guard(*GetLock());
    if (FDefaultAudioCompression)
        return FDefaultAudioCompression.get();
    const AVOutputFormat* format = GetAVFormat();
    if (!format || format->audio_codec == AV_CODEC_ID_NONE)
        return nullptr;
    const AVCodecID id = format->audio_codec;
    return &TSVLAVAudioCompression::CreateEx(
        StoreIn(FDefaultAudioCompression), this, GetLock(),
        [id] { return avcodec_find_decoder(id); }, FOnChange);
}

const AVOutputFormat* TRVLAVFileFormat::GetFormat(const std::string& AFileName) const {
    const std::string name = GetName();
    if (name != KRVLAVAutoSelect)
        return av_guess_format(name.c_str(), nullptr, nullptr);
    return av_guess_format(AFileName.c_str(), AFileName.c_str(), nullptr);
}

std::vector<std::string> TRVLAVFileFormat::GetAvailableFormatNames(TRVCompressionInfo AInfo) {
    std::vector<std::string> list;
    void* iterator = nullptr;
    while (const AVOutputFormat* format = av_muxer_iterate(&iterator))
        list.push_back(RVLAVListEntry(format->name, format->long_name, AInfo));
    return list;
}

void TRVLAVFileFormat::GetAvailableFormatNames(std::vector<std::string>& AList,
                                               TRVCompressionInfo AInfo) {
    AList = GetAvailableFormatNames(AInfo);
}

// ---- Audio formats --------------------------------------------------------------------------

TRVLAVAudioFileFormat&
TRVLAVAudioFileFormat::Create(const TOnCreated<TRVLAVAudioFileFormat>& AOnCreated,
                              TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                              TRVLAVFormatSource AOnGetFormat, TPersistentNotify AOnChange) {
    return HandOver(AOnCreated,
                    std::unique_ptr<TRVLAVAudioFileFormat>(new TRVLAVAudioFileFormat(
                        AOwner, std::move(ALock), std::move(AOnGetFormat), std::move(AOnChange))));
}

const TPropertyTableBase& TRVLAVAudioFileFormat::ClassPropertyTable() {
    static const TPropertyTable<TRVLAVAudioFileFormat> table(
        "TRVLAVAudioFileFormat", TRVLAVLoggingElement::ClassPropertyTable());
    return table;
}

TRVLAVAudioFileFormats& TRVLAVAudioFileFormat::GetAvailableFormats() {
    std::lock_guard<std::mutex> guard(GListsLock);
    if (!GAudioFormats)
        GAudioFormats = AllFormats<TRVLAVAudioFileFormatItem, TRVLAVAudioFileFormats>().release();
    return *GAudioFormats;
}

TRVLAVAudioFileFormatItem&
TRVLAVAudioFileFormatItem::Create(const TOnCreated<TRVLAVAudioFileFormatItem>& AOnCreated,
                                  TPersistent* AOwner, const AVOutputFormat* AAVFormat) {
    std::unique_ptr<TRVLAVAudioFileFormatItem> item(new TRVLAVAudioFileFormatItem(
        AOwner, nullptr, [AAVFormat] { return AAVFormat; }, nullptr));
    if (AAVFormat)
        item->SetName(AAVFormat->name);
    return HandOver(AOnCreated, std::move(item));
}

// ---- Video formats --------------------------------------------------------------------------

TGMLAVVideoFileFormat::TGMLAVVideoFileFormat(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                             TRVLAVFormatSource AOnGetFormat,
                                             TPersistentNotify AOnChange)
    : TRVLAVFileFormat(AOwner, std::move(ALock), AOnGetFormat, std::move(AOnChange)) {
    TGMLAVVideoCompressions::Create(StoreIn(FVideoCompressions),
                                    dynamic_cast<TLockComponent*>(AOwner), this, GetLock(),
                                    std::move(AOnGetFormat), GetOnChange());
}

TGMLAVVideoFileFormat::~TGMLAVVideoFileFormat() = default;

TGMLAVVideoFileFormat&
TGMLAVVideoFileFormat::Create(const TOnCreated<TGMLAVVideoFileFormat>& AOnCreated,
                              TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                              TRVLAVFormatSource AOnGetFormat, TPersistentNotify AOnChange) {
    return HandOver(AOnCreated,
                    std::unique_ptr<TGMLAVVideoFileFormat>(new TGMLAVVideoFileFormat(
                        AOwner, std::move(ALock), std::move(AOnGetFormat), std::move(AOnChange))));
}

const TPropertyTableBase& TGMLAVVideoFileFormat::ClassPropertyTable() {
    static const TPropertyTable<TGMLAVVideoFileFormat> table(
        "TGMLAVVideoFileFormat", TRVLAVLoggingElement::ClassPropertyTable());
    return table;
}

TGMLAVVideoCompression* TGMLAVVideoFileFormat::GetDefaultVideoCompression() {
    TChangeNotifyLockGuard guard(*GetLock());
    if (FDefaultVideoCompression)
        return FDefaultVideoCompression.get();
    const AVOutputFormat* format = GetAVFormat();
    if (!format || format->video_codec == AV_CODEC_ID_NONE)
        return nullptr;
    const AVCodec* decoder = avcodec_find_decoder(format->video_codec);
    if (!decoder)
        return nullptr;
    return &TGMLAVVideoCompression::CreateEx(
        StoreIn(FDefaultVideoCompression), this, GetLock(), [decoder] { return decoder; },
        GetOnChange());
}

TGMLAVVideoFileFormats& TGMLAVVideoFileFormat::GetAvailableFormats() {
    std::lock_guard<std::mutex> guard(GListsLock);
    if (!GVideoFormats)
        GVideoFormats = AllFormats<TGMLAVVideoFileFormatItem, TGMLAVVideoFileFormats>().release();
    return *GVideoFormats;
}

TGMLAVVideoFileFormatItem&
TGMLAVVideoFileFormatItem::Create(const TOnCreated<TGMLAVVideoFileFormatItem>& AOnCreated,
                                  TPersistent* AOwner, const AVOutputFormat* AAVFormat) {
    std::unique_ptr<TGMLAVVideoFileFormatItem> item(new TGMLAVVideoFileFormatItem(
        AOwner, nullptr, [AAVFormat] { return AAVFormat; }, nullptr));
    if (AAVFormat)
        item->SetName(AAVFormat->name);
    return HandOver(AOnCreated, std::move(item));
}

void ReleaseLAVFileFormatLists() {
    std::unique_ptr<TRVLAVAudioFileFormats> audio;
    std::unique_ptr<TGMLAVVideoFileFormats> video;
    {
        std::lock_guard<std::mutex> guard(GListsLock);
        audio.reset(std::exchange(GAudioFormats, nullptr));
        video.reset(std::exchange(GVideoFormats, nullptr));
    }
}

} // namespace sonvera

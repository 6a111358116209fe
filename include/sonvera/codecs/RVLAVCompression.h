// The codec descriptor: one FFmpeg codec named by its short name (or chosen by identifier when
// the name is "Auto Select"), the settings a user tunes for it, and, while a component encodes
// or decodes with it, the FFmpeg objects of that use.
//
// The driving component calls Open, then (an encoder writing a container) OpenStream, then
// ApplySettings and GetOptions()->Apply(GetCodecContext()), sets the context's format fields,
// opens the codec with avcodec_open2 under LAVLockExecute, copies the context into the stream
// with avcodec_parameters_from_context, runs its own loop on GetFrame() and ends with Close.
// FFmpeg's streams no longer carry a codec context, so the descriptor owns one per open stream:
// settings read and write it only while the stream is open (a zero value and a dropped write
// otherwise), and a fresh one is made by every OpenStream, as a closed context cannot be opened
// again.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "sonvera/codecs/RVLAVCompressionOptions.h"
#include "sonvera/codecs/RVLAVCreation.h"
#include "sonvera/codecs/RVLAVLoggingElement.h"
#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/codecs/RVLAVSettings.h"
#include "sonvera/format/SVAudioFormat.h"

namespace sonvera {

// Where a descriptor's codec comes from; may return null.
using TRVLAVCodecSource = std::function<const AVCodec*()>;

// Published: Name ("Auto Select"), GlobalQuality (-1), CompressionLevel (-1), Profile (0),
// Level (0) - integer settings writing the context fields of those names - CoderType (video
// descriptors only), Options, BitRate (400000, kept for the driver and written nowhere).
// Setting properties are set by their setters (SetGlobalQuality(...)), which assign the given
// object's state into the owned one: the owned objects are never replaced.
class TRVLAVCompression : public TRVLAVLoggingElement {
public:
    ~TRVLAVCompression() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    virtual AVMediaType GetMediaType() const = 0;
    virtual bool IsDecompression() const { return false; }

    // Closes first, then finds the decoder (ADecoder) or encoder: by AID when Name is
    // "Auto Select", else by Name. A frame is allocated whatever is found; returns whether a
    // codec was.
    bool Open(AVCodecID AID, bool ADecoder);
    // Adds a stream to the output container AContext and makes the stream's codec context
    // from the codec; an open stream's context is released first. False (and no stream) when
    // FFmpeg adds none. A null AContext raises EAssertionFailed.
    bool OpenStream(AVFormatContext* AContext);
    // Writes every setting in pmCustom mode into the codec context of the open stream. The
    // options are not applied here.
    void ApplySettings();
    // Releases the codec context (closing the codec under the global codec lock), forgets the
    // stream (the container frees it) and frees the frame. The codec is kept.
    virtual void Close();

    const AVCodec* GetCodec() const noexcept { return FCodec; }
    AVStream* GetStream() const noexcept { return FStream; }
    AVFrame* GetFrame() const noexcept { return FFrame.get(); }
    // The context settings write to; null while no stream is open.
    AVCodecContext* GetCodecContext() const noexcept { return FStream ? FCodecCtx.get() : nullptr; }

    // The long name and identifier of the codec this descriptor stands for ("" and
    // AV_CODEC_ID_NONE when there is none).
    std::string GetLongName() const;
    AVCodecID GetID() const;
    // Name becomes the short name of the first codec FFmpeg lists with exactly this long name;
    // no match changes nothing.
    void SetLongName(const std::string& AValue);
    // Name becomes the short name of the decoder for AID; none changes nothing.
    void SetID(AVCodecID AID);

    int32_t GetBitRate() const { return GetPropValue(FBitRate); }
    void SetBitRate(int32_t AValue) { SetPropValue("BitRate", FBitRate, AValue); }

    TRVIntegerSetting* GetGlobalQuality() const noexcept { return FGlobalQuality.get(); }
    void SetGlobalQuality(const TRVIntegerSetting& AValue) { FGlobalQuality->Assign(AValue); }
    TRVIntegerSetting* GetCompressionLevel() const noexcept { return FCompressionLevel.get(); }
    void SetCompressionLevel(const TRVIntegerSetting& AValue) { FCompressionLevel->Assign(AValue); }
    TRVIntegerSetting* GetProfile() const noexcept { return FProfile.get(); }
    void SetProfile(const TRVIntegerSetting& AValue) { FProfile->Assign(AValue); }
    TRVIntegerSetting* GetLevel() const noexcept { return FLevel.get(); }
    void SetLevel(const TRVIntegerSetting& AValue) { FLevel->Assign(AValue); }
    TRVVideoCoderTypeSetting* GetCoderType() const noexcept { return FCoderType.get(); }
    void SetCoderType(const TRVVideoCoderTypeSetting& AValue) { FCoderType->Assign(AValue); }
    TRVLAVCompressionOptions* GetOptions() const noexcept { return FOptions.get(); }
    void SetOptions(const TRVLAVCompressionOptions& AValue) { FOptions->Assign(AValue); }

protected:
    // AOnGetCodec null: the codec is looked up as a decoder by Name on every call.
    TRVLAVCompression(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                      TRVLAVCodecSource AOnGetCodec, TPersistentNotify AOnChange);

    // Creates the settings; video descriptors add theirs. Run once, by Created.
    virtual void Init();

    // Finishes a descriptor built by a class's Create or CreateEx: runs Init, takes the name of
    // a codec the source already gives (CreateEx), and hands it to its owner.
    template <class T>
    static T& Created(const TOnCreated<T>& AOnCreated, std::unique_ptr<T> ADescriptor,
                      bool ANameFromCodec) {
        static_cast<TRVLAVCompression&>(*ADescriptor).Init(); // virtual: the class's own Init
        if (ANameFromCodec)
            ADescriptor->TakeCodecName();
        return HandOver(AOnCreated, std::move(ADescriptor));
    }

    // The entries of the codecs FFmpeg lists of AType that decode (ADecoders) or encode.
    static std::vector<std::string> AvailableCompressions(AVMediaType AType, bool ADecoders,
                                                          TRVCompressionInfo AInfo);

    // A setting bound to one field of the open stream's codec context; the value converts to
    // the field's type (and back, saturated where the field is wider).
    template <class TSetting, class TField>
    std::unique_ptr<TSetting>
    NewFieldSetting(decltype(std::declval<TSetting>().GetDefault()) ADefault,
                    TField AVCodecContext::*AField, TPersistent* AOwner);
    // A setting bound by its own getter and setter (routes that are not plain fields).
    template <class TSetting>
    std::unique_ptr<TSetting>
    NewBoundSetting(decltype(std::declval<TSetting>().GetDefault()) ADefault,
                    typename TSetting::TGetter AGetter, typename TSetting::TSetter ASetter,
                    TPersistent* AOwner) {
        return std::make_unique<TSetting>(AOwner, GetLock(), ADefault, std::move(AGetter),
                                          std::move(ASetter), FOnChange);
    }

    const TPersistentNotify& GetOnChange() const noexcept { return FOnChange; }

    std::unique_ptr<TRVVideoCoderTypeSetting> FCoderType;

private:
    void TakeCodecName();
    void ReleaseFFmpegObjects();

    TPersistentNotify FOnChange;
    TRVLAVCodecSource FOnGetCodec;
    std::unique_ptr<TRVIntegerSetting> FGlobalQuality;
    std::unique_ptr<TRVIntegerSetting> FCompressionLevel;
    std::unique_ptr<TRVIntegerSetting> FProfile;
    std::unique_ptr<TRVIntegerSetting> FLevel;
    std::unique_ptr<TRVLAVCompressionOptions> FOptions;
    int32_t FBitRate = 400000;
    const AVCodec* FCodec = nullptr;
    AVStream* FStream = nullptr;
    TRVLAVCodecContext FCodecCtx;
    TRVLAVFrame FFrame;
};

// The class-level side of the descriptor class TSelf, built on TBase: its two factories and the
// codec lists it offers, answered for the class without an instance (by TSelf's ClassMediaType
// and ClassIsDecompression). TSelf befriends it, so that only these factories build it.
template <class TSelf, class TBase> class TRVLAVCompressionClass : public TBase {
public:
    // The codec is looked up as a decoder by Name on every call.
    static TSelf& Create(const TOnCreated<TSelf>& AOnCreated, TPersistent* AOwner,
                         TRef<IChangeNotifyLock> ALock, TPersistentNotify AOnChange = nullptr) {
        return TRVLAVCompression::Created(
            AOnCreated,
            std::unique_ptr<TSelf>(
                new TSelf(AOwner, std::move(ALock), nullptr, std::move(AOnChange))),
            false);
    }
    // The codec comes from AOnGetCodec; Name is taken from the codec it gives now, if any.
    static TSelf& CreateEx(const TOnCreated<TSelf>& AOnCreated, TPersistent* AOwner,
                           TRef<IChangeNotifyLock> ALock, TRVLAVCodecSource AOnGetCodec,
                           TPersistentNotify AOnChange = nullptr) {
        return TRVLAVCompression::Created(
            AOnCreated,
            std::unique_ptr<TSelf>(
                new TSelf(AOwner, std::move(ALock), std::move(AOnGetCodec), std::move(AOnChange))),
            true);
    }

    // Every codec FFmpeg lists of the class's media kind that decodes (decompression classes)
    // or encodes, in FFmpeg's order: the short name (ciCode), the long name (ciDescription) or
    // "[name] - long name" (ciBoth).
    static std::vector<std::string> GetAvailableCompressions(TRVCompressionInfo AInfo) {
        return TRVLAVCompression::AvailableCompressions(TSelf::ClassMediaType(),
                                                        TSelf::ClassIsDecompression(), AInfo);
    }
    static void GetAvailableCompressions(std::vector<std::string>& AList,
                                         TRVCompressionInfo AInfo) {
        AList = GetAvailableCompressions(AInfo);
    }

protected:
    using TBase::TBase;
};

namespace rvlav_detail {

// A context field as a setting's value: saturated when the field is wider, and an enumeration
// value FFmpeg holds that the enumeration does not name reads as its zero member.
template <class TValue, class TField> TValue FromField(TField AField) {
    if constexpr (std::is_enum_v<TValue>)
        return EnumTypeInfo<TValue>().HasValue(static_cast<int64_t>(AField))
                   ? static_cast<TValue>(AField)
                   : TValue{};
    else if constexpr (std::is_integral_v<TValue> && sizeof(TField) > sizeof(TValue))
        return static_cast<TValue>(std::clamp<TField>(AField, std::numeric_limits<TValue>::min(),
                                                      std::numeric_limits<TValue>::max()));
    else
        return static_cast<TValue>(AField);
}

} // namespace rvlav_detail

template <class TSetting, class TField>
std::unique_ptr<TSetting>
TRVLAVCompression::NewFieldSetting(decltype(std::declval<TSetting>().GetDefault()) ADefault,
                                   TField AVCodecContext::*AField, TPersistent* AOwner) {
    using TValue = std::decay_t<decltype(ADefault)>;
    return NewBoundSetting<TSetting>(
        ADefault,
        [this, AField]() -> TValue {
            const AVCodecContext* context = GetCodecContext();
            return context ? rvlav_detail::FromField<TValue>(context->*AField) : TValue{};
        },
        [this, AField](const TValue& AValue) {
            if (AVCodecContext* context = GetCodecContext())
                context->*AField = static_cast<TField>(AValue);
        },
        AOwner);
}

} // namespace sonvera

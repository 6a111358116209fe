// Codec catalogs: the codec descriptors a container format can carry, found through the
// format's codec tag tables the first time anyone looks into the catalog.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "sonvera/codecs/RVLAVAudioCompression.h"
#include "sonvera/codecs/RVLAVCreation.h"
#include "sonvera/codecs/RVLAVVideoCompression.h"
#include "sonvera/platform/runtime/LockPersistent.h"

namespace sonvera {

// Where a format descriptor or catalog gets its output format; may return null.
using TRVLAVFormatSource = std::function<const AVOutputFormat*()>;

// Owns descriptors of class T (TSVLAVAudioCompression or TGMLAVVideoCompression). The first
// Count or Items fills it - once, also when two threads ask at the same time - through Populate:
// tag values 0, 1, 2, ... are mapped to codec identifiers by the format's tag tables until one
// maps to none, and each identifier that has a decoder gets a descriptor whose codec is that
// decoder. Items are neither sorted nor de-duplicated; the item class alone decides the media
// kind. A tag table that does not start at 0 and run without gaps is listed only up to its first
// gap.
template <class T> class TGMLAVTypedCompressions : public TLockPersistent {
public:
    static TGMLAVTypedCompressions& Create(const TOnCreated<TGMLAVTypedCompressions>& AOnCreated,
                                           TLockComponent* AOwnerComponent, TPersistent* AOwner,
                                           TRef<IChangeNotifyLock> ALock,
                                           TRVLAVFormatSource AOnGetFormat,
                                           TPersistentNotify AOnChange = nullptr) {
        return HandOver(AOnCreated,
                        std::unique_ptr<TGMLAVTypedCompressions>(new TGMLAVTypedCompressions(
                            AOwnerComponent, AOwner, std::move(ALock), std::move(AOnGetFormat),
                            std::move(AOnChange))));
    }

    int32_t Count() const {
        Populated();
        return FItems.Count();
    }
    T& Items(int32_t AIndex) const {
        Populated();
        return FItems.Items(AIndex);
    }
    TLockComponent* GetOwnerComponent() const noexcept { return FOwnerComponent; }
    const TRVLAVFormatSource& GetOnGetFormat() const noexcept { return FOnGetFormat; }

protected:
    TGMLAVTypedCompressions(TLockComponent* AOwnerComponent, TPersistent* AOwner,
                            TRef<IChangeNotifyLock> ALock, TRVLAVFormatSource AOnGetFormat,
                            TPersistentNotify AOnChange)
        : TLockPersistent(AOnChange, AOwner, std::move(ALock)), FOwnerComponent(AOwnerComponent),
          FOnGetFormat(std::move(AOnGetFormat)), FOnChange(std::move(AOnChange)) {}

    virtual void Populate() {
        const AVOutputFormat* format = FOnGetFormat ? FOnGetFormat() : nullptr;
        if (!format)
            return;
        for (unsigned tag = 0;; ++tag) {
            const AVCodecID id = av_codec_get_id(format->codec_tag, tag);
            if (id == AV_CODEC_ID_NONE)
                return;
            if (const AVCodec* decoder = avcodec_find_decoder(id))
                T::CreateEx([this](std::unique_ptr<T> AItem) { FItems.Add(std::move(AItem)); },
                            this, GetLock(), [decoder] { return decoder; }, FOnChange);
        }
    }

private:
    void Populated() const {
        std::call_once(FPopulated,
                       [this] { const_cast<TGMLAVTypedCompressions*>(this)->Populate(); });
    }

    TLockComponent* FOwnerComponent;
    TRVLAVFormatSource FOnGetFormat;
    TPersistentNotify FOnChange;
    TRVLAVOwningList<T> FItems;
    mutable std::once_flag FPopulated;
};

using TSVLAVAudioCompressions = TGMLAVTypedCompressions<TSVLAVAudioCompression>;
using TGMLAVVideoCompressions = TGMLAVTypedCompressions<TGMLAVVideoCompression>;

} // namespace sonvera

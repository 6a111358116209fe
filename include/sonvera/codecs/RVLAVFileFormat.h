// Container file formats: the descriptor of one FFmpeg output format - its names, MIME type,
// extensions, the codecs it can carry and its default codecs - and the two process-wide lists
// of every output format FFmpeg offers, built on first use (once, also when two threads ask at
// the same time) and released when the codec library shuts down.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sonvera/codecs/RVLAVCompressions.h"
#include "sonvera/codecs/RVLAVLoggingElement.h"

namespace sonvera {

// Published: Name ("Auto Select"), an output format's short name. A format source giving no
// format leaves the description, MIME type and extensions empty and the default codecs null.
class TRVLAVFileFormat : public TRVLAVLoggingElement {
public:
    ~TRVLAVFileFormat() override;

    const AVOutputFormat* GetAVFormat() const { return FOnGetFormat ? FOnGetFormat() : nullptr; }
    std::string GetDescription() const;
    std::string GetMimeType() const;
    // The format's extension text split at each ",", pieces as they are ("a64, A64" gives "a64"
    // and " A64"); no text gives no extension.
    std::vector<std::string> GetExtentions() const;

    // The audio codecs the format's tag tables name.
    TSVLAVAudioCompressions* GetAudioCompressions() const noexcept {
        return FAudioCompressions.get();
    }
    // Made on the first request when the format has a default audio codec, and kept: a
    // descriptor whose codec is the decoder of that codec on every call (none: no name, an
    // empty description).
    TSVLAVAudioCompression* GetDefaultAudioCompression();

    // With a Name other than "Auto Select", the format of that short name (case-insensitive;
    // null when FFmpeg knows none). With "Auto Select", AFileName is taken as a short name and
    // else guessed from by its extension ("wav" and "c:\dir\song.wav" both give WAV).
    const AVOutputFormat* GetFormat(const std::string& AFileName) const;

    // Every output format FFmpeg lists, duplicates kept, in its order: the short name (ciCode),
    // the long name (ciDescription) or "[name] - long name" (ciBoth).
    static std::vector<std::string> GetAvailableFormatNames(TRVCompressionInfo AInfo);
    static void GetAvailableFormatNames(std::vector<std::string>& AList, TRVCompressionInfo AInfo);

protected:
    TRVLAVFileFormat(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                     TRVLAVFormatSource AOnGetFormat, TPersistentNotify AOnChange);

    const TPersistentNotify& GetOnChange() const noexcept { return FOnChange; }

private:
    TRVLAVFormatSource FOnGetFormat;
    TPersistentNotify FOnChange;
    std::unique_ptr<TSVLAVAudioCompressions> FAudioCompressions;
    std::unique_ptr<TSVLAVAudioCompression> FDefaultAudioCompression;
};

class TRVLAVAudioFileFormat;
using TRVLAVAudioFileFormats = TRVLAVOwningList<TRVLAVAudioFileFormat>;

class TRVLAVAudioFileFormat : public TRVLAVFileFormat {
public:
    static TRVLAVAudioFileFormat& Create(const TOnCreated<TRVLAVAudioFileFormat>& AOnCreated,
                                         TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                         TRVLAVFormatSource AOnGetFormat,
                                         TPersistentNotify AOnChange = nullptr);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // One item per output format FFmpeg lists, in its order; the same list on every call. The
    // caller does not own it.
    static TRVLAVAudioFileFormats& GetAvailableFormats();

protected:
    using TRVLAVFileFormat::TRVLAVFileFormat;
};

// A format bound to one output format, with a lock of its own and that format's name.
class TRVLAVAudioFileFormatItem : public TRVLAVAudioFileFormat {
public:
    static TRVLAVAudioFileFormatItem&
    Create(const TOnCreated<TRVLAVAudioFileFormatItem>& AOnCreated, TPersistent* AOwner,
           const AVOutputFormat* AAVFormat);

protected:
    using TRVLAVAudioFileFormat::TRVLAVAudioFileFormat;
};

class TGMLAVVideoFileFormat;
using TGMLAVVideoFileFormats = TRVLAVOwningList<TGMLAVVideoFileFormat>;

// Adds the video codecs.
class TGMLAVVideoFileFormat : public TRVLAVFileFormat {
public:
    static TGMLAVVideoFileFormat& Create(const TOnCreated<TGMLAVVideoFileFormat>& AOnCreated,
                                         TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                         TRVLAVFormatSource AOnGetFormat,
                                         TPersistentNotify AOnChange = nullptr);
    ~TGMLAVVideoFileFormat() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TGMLAVVideoCompressions* GetVideoCompressions() const noexcept {
        return FVideoCompressions.get();
    }
    // Made on the first request that finds a decoder for the format's default video codec, and
    // kept; null while there is none.
    TGMLAVVideoCompression* GetDefaultVideoCompression();

    static TGMLAVVideoFileFormats& GetAvailableFormats();

protected:
    TGMLAVVideoFileFormat(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                          TRVLAVFormatSource AOnGetFormat, TPersistentNotify AOnChange);

private:
    std::unique_ptr<TGMLAVVideoCompressions> FVideoCompressions;
    std::unique_ptr<TGMLAVVideoCompression> FDefaultVideoCompression;
};

class TGMLAVVideoFileFormatItem : public TGMLAVVideoFileFormat {
public:
    static TGMLAVVideoFileFormatItem&
    Create(const TOnCreated<TGMLAVVideoFileFormatItem>& AOnCreated, TPersistent* AOwner,
           const AVOutputFormat* AAVFormat);

protected:
    using TGMLAVVideoFileFormat::TGMLAVVideoFileFormat;
};

// Frees both process-wide lists; the codec library's shut-down calls it.
void ReleaseLAVFileFormatLists();

} // namespace sonvera

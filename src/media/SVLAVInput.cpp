#include "sonvera/media/SVLAVInput.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr int KStreamBufferSize = 64 * 1024;
constexpr int KPollMilliseconds = 100;

using TIOOpen = int (*)(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**);

bool Lists(const std::string& AList, const std::string& AName) {
    size_t start = 0;
    while (start <= AList.size()) {
        const size_t comma = std::min(AList.find(',', start), AList.size());
        if (AList.compare(start, comma - start, AName) == 0)
            return true;
        start = comma + 1;
    }
    return false;
}

// Whether any of a demuxer's names ("mov,mp4,m4a") is on the list.
bool ListsAnyOf(const std::string& AList, const char* ANames) {
    const std::string names = ANames ? ANames : "";
    size_t start = 0;
    while (start < names.size()) {
        const size_t comma = std::min(names.find(',', start), names.size());
        if (Lists(AList, names.substr(start, comma - start)))
            return true;
        start = comma + 1;
    }
    return false;
}

// The descriptor a name reads through our own poll, or -1 when FFmpeg opens it: `-` and
// `pipe:[N]`, and local FIFOs, sockets and devices (opened here without waiting for a writer).
int OpenStream(const std::string& AName, bool& AOwned) {
    AOwned = false;
    if (AName == "-" || AName == "pipe:")
        return STDIN_FILENO;
    if (AName.rfind("pipe:", 0) == 0) {
        char* end = nullptr;
        const long fd = std::strtol(AName.c_str() + 5, &end, 10);
        return *end == '\0' && fd >= 0 && fd <= INT32_MAX ? static_cast<int>(fd) : STDIN_FILENO;
    }
    const std::string path = AName.rfind("file:", 0) == 0 ? AName.substr(5) : AName;
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))
        return -1;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw EReadError(AName + ": " + std::strerror(errno));
    AOwned = true;
    return fd;
}

} // namespace

struct TSVLAVInput::TGuard {
    std::string Name;
    std::string Allowed;
    std::function<bool()> Interrupted;
    std::string Refusal;
    AVFormatContext* Outer = nullptr;
    TIOOpen DefaultOpen = nullptr;
    int Fd = -1;
    bool OwnsFd = false;
    AVIOContext* Stream = nullptr; // ours, reading Fd
    AVIOContext* Bytes = nullptr;  // FFmpeg's, on a file or an allowed protocol

    ~TGuard() {
        if (Stream) {
            av_freep(&Stream->buffer);
            avio_context_free(&Stream);
        }
        avio_closep(&Bytes);
        if (OwnsFd)
            close(Fd);
    }

    bool Stopped() const { return Interrupted && Interrupted(); }

    static int CheckInterrupt(void* AGuard) { return static_cast<TGuard*>(AGuard)->Stopped(); }

    // Waits for bytes (or the end) without ever blocking past a tenth of a second unasked.
    static int ReadStream(void* AGuard, uint8_t* ABuffer, int ASize) {
        const TGuard& guard = *static_cast<TGuard*>(AGuard);
        for (;;) {
            if (guard.Stopped())
                return AVERROR_EXIT;
            pollfd wait{guard.Fd, POLLIN, 0};
            const int ready = poll(&wait, 1, KPollMilliseconds);
            if (ready < 0 && errno != EINTR)
                return AVERROR(errno);
            if (ready <= 0)
                continue;
            const ssize_t count = read(guard.Fd, ABuffer, static_cast<size_t>(ASize));
            if (count > 0)
                return static_cast<int>(count);
            if (count == 0)
                return AVERROR_EOF;
            if (errno != EINTR && errno != EAGAIN)
                return AVERROR(errno);
        }
    }

    std::string Refuse(const char* ADemuxer) {
        const std::string names = ADemuxer ? ADemuxer : "this";
        const std::string name = names.substr(0, names.find(','));
        return "the " + name + " demuxer opens further files named inside the input (allow '" +
               name + "' to read it)";
    }

    // The input itself is open before the demuxer runs: every open is of a file the demuxer
    // found named inside the input.
    static int Open(AVFormatContext* AContext, AVIOContext** APb, const char* AUrl, int AFlags,
                    AVDictionary** AOptions) {
        if (AContext->interrupt_callback.callback != &CheckInterrupt)
            return AVERROR(EPERM); // a context of our own demuxer's making, not guarded
        auto& guard = *static_cast<TGuard*>(AContext->interrupt_callback.opaque);
        const AVInputFormat* demuxer = guard.Outer->iformat;
        if (demuxer && ListsAnyOf(guard.Allowed, demuxer->name))
            return guard.DefaultOpen(AContext, APb, AUrl, AFlags, AOptions);
        if (guard.Refusal.empty())
            guard.Refusal = guard.Refuse(demuxer ? demuxer->name : nullptr);
        return AVERROR(EPERM);
    }

    // The input's own bytes: our poll on a stream, else FFmpeg's protocol (local files and
    // allowed ones), under the allow-list and the interrupt.
    int OpenOwn(AVDictionary** AOptions) {
        if (Fd < 0) {
            const AVIOInterruptCB interrupt{&CheckInterrupt, this};
            return avio_open2(&Bytes, Name.c_str(), AVIO_FLAG_READ, &interrupt, AOptions);
        }
        auto* buffer = static_cast<unsigned char*>(av_malloc(KStreamBufferSize));
        Stream = buffer ? avio_alloc_context(buffer, KStreamBufferSize, 0, this, &ReadStream,
                                             nullptr, nullptr)
                        : nullptr;
        if (!Stream) {
            av_free(buffer);
            throw std::bad_alloc();
        }
        Stream->seekable = 0;
        return 0;
    }

    AVIOContext* Own() const { return Stream ? Stream : Bytes; }
};

// Demuxers that open the files they name through contexts of their own, out of the guard's
// reach: refused by name once the input is probed as one.
constexpr const char* KOpeningDemuxers = "concat,imf";

TSVLAVInput::TSVLAVInput(const std::string& AName, const std::string& AAllowed,
                         std::function<bool()> AInterrupted)
    : FGuard(std::make_unique<TGuard>()) {
    TGuard& guard = *FGuard;
    guard.Name = AName == "-" ? "pipe:" : AName;
    guard.Allowed = std::string(KSVLAVDefaultInputs) + (AAllowed.empty() ? "" : "," + AAllowed);
    guard.Interrupted = std::move(AInterrupted);

    const char* protocol = avio_find_protocol_name(guard.Name.c_str());
    if (protocol && !Lists(guard.Allowed, protocol))
        throw EReadError(AName + ": reading through the " + protocol +
                         " protocol is not allowed (allow '" + protocol + "' to read it)");

    guard.Fd = OpenStream(AName, guard.OwnsFd);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", guard.Allowed.c_str(), 0);
    int error = guard.OpenOwn(&options);
    const AVInputFormat* format = nullptr;
    if (error >= 0)
        error = av_probe_input_buffer2(guard.Own(), &format, guard.Name.c_str(), nullptr, 0, 0);
    if (error >= 0 && format && ListsAnyOf(KOpeningDemuxers, format->name) &&
        !ListsAnyOf(guard.Allowed, format->name))
        guard.Refusal = guard.Refuse(format->name);
    AVFormatContext* raw = nullptr;
    if (error >= 0 && guard.Refusal.empty()) {
        raw = avformat_alloc_context();
        if (!raw) {
            av_dict_free(&options);
            throw std::bad_alloc();
        }
        raw->interrupt_callback = {&TGuard::CheckInterrupt, &guard};
        raw->pb = guard.Own();
        guard.Outer = raw;
        guard.DefaultOpen = raw->io_open;
        raw->io_open = &TGuard::Open;
        // Opening the input took its copy; what the demuxer opens needs one too.
        av_dict_set(&options, "protocol_whitelist", guard.Allowed.c_str(), 0);
        error = avformat_open_input(&raw, guard.Name.c_str(), format, &options);
    }
    av_dict_free(&options);
    if (error >= 0 && raw) {
        FContext.reset(raw);
        error = avformat_find_stream_info(raw, nullptr);
    }
    if (error < 0 || !guard.Refusal.empty())
        throw EReadError(AName + ": " + ErrorText(error < 0 ? error : AVERROR(EPERM)));
}

TSVLAVInput::~TSVLAVInput() = default;

std::string TSVLAVInput::ErrorText(int AError) const {
    if (!FGuard->Refusal.empty())
        return FGuard->Refusal;
    if (AError == AVERROR_EXIT && FGuard->Stopped())
        return "interrupted";
    return SVLAVErrorText(AError);
}

} // namespace sonvera

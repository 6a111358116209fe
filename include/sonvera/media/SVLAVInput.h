// An FFmpeg demuxer opened on an input nobody vouches for (an uploaded file, a name a user
// typed), for the file source and the tool's probe.
//
// What it may read: local files and pipes (`-`, `pipe:` and `pipe:N` read standard input or
// descriptor N), and nothing a demuxer finds named inside the input. A name through another
// protocol (`concat:`, `http://`) is refused before anything is opened, and a demuxer that
// opens further files while reading (a playlist, a concatenation list, an image sequence) has
// that open refused and the whole input with it; either refusal is one line naming the
// protocol or demuxer. AAllowed widens this, like FFmpeg's protocol and format allow-lists: a
// comma-separated list of protocol and demuxer names ("hls,http,tcp").
//
// Interrupting: AInterrupted is asked while an open or a read waits; true ends the wait within
// a tenth of a second with AVERROR_EXIT. Pipes, FIFOs and devices are read through a poll that
// wakes for it (and for signals), since a read on them may block for as long as their writer
// likes; local files and the allowed protocols go through FFmpeg's own interrupt callback.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sonvera/codecs/RVLAVObjects.h"

namespace sonvera {

// The allow-list when nothing widens it.
inline constexpr const char* KSVLAVDefaultInputs = "file,pipe";

class TSVLAVInput {
public:
    // Opens AName and probes its streams; raises EReadError naming AName and the cause (an
    // interrupted open says "interrupted").
    TSVLAVInput(const std::string& AName, const std::string& AAllowed,
                std::function<bool()> AInterrupted = nullptr);
    ~TSVLAVInput();
    TSVLAVInput(const TSVLAVInput&) = delete;
    TSVLAVInput& operator=(const TSVLAVInput&) = delete;

    AVFormatContext& Context() const noexcept { return *FContext; }
    // The text for a read that failed with AError: why the guard refused it where it did,
    // else FFmpeg's.
    std::string ErrorText(int AError) const;

    struct TGuard;

private:
    std::unique_ptr<TGuard> FGuard;
    TRVLAVInputContext FContext; // freed before the guard, whose stream and callbacks it uses
};

} // namespace sonvera

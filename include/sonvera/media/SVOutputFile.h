// Where a file writer's bytes go, so that a file is replaced only whole and only a file is
// replaced.
//
// A regular file (or nothing) at the name is written under a temporary name in the same folder
// (".name.part-PID-N.ext"), created with the replaced file's mode and, where the process may
// set it, its owner; Commit renames it over the name, and otherwise it is removed. A symlink is
// followed: its target is what is replaced, and the link stays. A device, FIFO or socket,
// `-` (standard output) and a name through another FFmpeg protocol ("pipe:1") are written
// directly as streams: nothing is created, renamed or removed there.
#pragma once

#include <string>

namespace sonvera {

class TSVOutputFile {
public:
    // Raises Exception naming AName when its folder takes no temporary file or it names a
    // folder.
    explicit TSVOutputFile(const std::string& AName);
    // Removes the temporary file unless it was committed.
    ~TSVOutputFile();
    TSVOutputFile(const TSVOutputFile&) = delete;
    TSVOutputFile& operator=(const TSVOutputFile&) = delete;

    // What the muxer opens: the temporary file, the stream's path, or an FFmpeg URL.
    const std::string& GetPath() const noexcept { return FPath; }
    bool IsStream() const noexcept { return FTarget.empty(); }
    // Renames the temporary file over the target; raises Exception naming the output when the
    // rename fails (the temporary is then removed). Nothing for a stream.
    void Commit();

private:
    std::string FName;
    std::string FTarget; // the file replaced; empty for a stream
    std::string FPath;
    bool FCommitted = false;
};

} // namespace sonvera

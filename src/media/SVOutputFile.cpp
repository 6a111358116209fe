#include "sonvera/media/SVOutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

namespace fs = std::filesystem;

// Links are followed this deep, as the kernel does.
constexpr int KMaxLinks = 40;

std::atomic<unsigned> GTemporaries{0};

[[noreturn]] void Raise(const std::string& AName, int AErrno) {
    throw Exception(AName + ": " + std::strerror(AErrno));
}

// The file a chain of symlinks ends at (which need not exist yet).
fs::path FollowLinks(const std::string& AName) {
    fs::path path = AName;
    for (int depth = 0; depth < KMaxLinks; ++depth) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        const fs::path target = fs::read_symlink(path);
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    Raise(AName, ELOOP);
}

} // namespace

TSVOutputFile::TSVOutputFile(const std::string& AName) : FName(AName), FPath(AName) {
    if (AName == "-") {
        FPath = "pipe:1";
        return;
    }
    const char* protocol = avio_find_protocol_name(AName.c_str());
    if (protocol && std::strcmp(protocol, "file") != 0)
        return; // pipe: and the like
    const fs::path target = FollowLinks(AName.rfind("file:", 0) == 0 ? AName.substr(5) : AName);
    struct stat status {};
    const bool exists = stat(target.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode))
        Raise(AName, EISDIR);
    if (exists && !S_ISREG(status.st_mode)) {
        FPath = target.string(); // a device, FIFO or socket: written in place
        return;
    }
    // Built by appending: g++ 12 at -O3 misreads `"." + std::string&&` as an overlapping copy.
    std::string name = ".";
    name += target.stem().string();
    name += ".part-" + std::to_string(getpid()) + "-" + std::to_string(GTemporaries++);
    name += target.extension().string();
    const fs::path temporary = target.parent_path() / name;
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        exists ? (status.st_mode & 07777) : 0666);
    if (fd < 0)
        Raise(AName, errno);
    if (exists) {
        // The owner first: a change of owner clears set-id bits. Only root may give a file away.
        if (fchown(fd, status.st_uid, status.st_gid) != 0 &&
            fchown(fd, static_cast<uid_t>(-1), status.st_gid) != 0) {
            // Neither: the file stays the process's own, as a new file would be.
        }
        // The umask narrowed the mode at creation.
        if (fchmod(fd, status.st_mode & 07777) != 0) {
            const int error = errno;
            close(fd);
            unlink(temporary.c_str());
            Raise(AName, error);
        }
    }
    close(fd);
    FTarget = target.string();
    FPath = temporary.string();
}

TSVOutputFile::~TSVOutputFile() {
    if (!IsStream() && !FCommitted)
        unlink(FPath.c_str());
}

void TSVOutputFile::Commit() {
    if (IsStream() || FCommitted)
        return;
    if (rename(FPath.c_str(), FTarget.c_str()) != 0)
        Raise(FName, errno);
    FCommitted = true;
}

} // namespace sonvera

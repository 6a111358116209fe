#include "sonvera/platform/signal/IPPLoader.h"

#include <dlfcn.h>

#include <mutex>
#include <utility>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

enum TVendorFamily { vfSignal, vfImage };

// The vendor's signal and image libraries. Each is opened on its first look-up, trying its
// file names in order; a library that none of them opens stays absent for the rest of the
// process. Handles are never closed: bound slots point into them until the process ends.
class TVendorLibraries {
public:
    void* Handle(TVendorFamily AFamily) {
        std::lock_guard<std::mutex> guard(FLock);
        TLibrary& library = FLibraries[AFamily];
        if (!library.Tried) {
            library.Handle = OpenFirst(library.FileNames);
            library.Tried = true;
        }
        return library.Handle;
    }

    void SetFileNames(std::vector<std::string> ASignal, std::vector<std::string> AImage) {
        std::lock_guard<std::mutex> guard(FLock);
        Assert(!FLibraries[vfSignal].Tried && !FLibraries[vfImage].Tried, "IPPLoader",
               "Vendor library paths set after the first look-up");
        FLibraries[vfSignal].FileNames = std::move(ASignal);
        FLibraries[vfImage].FileNames = std::move(AImage);
    }

private:
    struct TLibrary {
        std::vector<std::string> FileNames;
        bool Tried = false;
        void* Handle = nullptr;
    };

    static void* OpenFirst(const std::vector<std::string>& AFileNames) {
        for (const std::string& name : AFileNames) {
            if (void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL))
                return handle;
        }
        return nullptr;
    }

    std::mutex FLock;
    TLibrary FLibraries[2] = {{{"libipps.so"}}, {{"libippi.so"}}};
};

TVendorLibraries& VendorLibraries() {
    static TVendorLibraries libraries;
    return libraries;
}

void* LookUp(TVendorFamily AFamily, const char* AName) {
    if (AName == nullptr)
        return nullptr;
    void* handle = VendorLibraries().Handle(AFamily);
    return handle == nullptr ? nullptr : dlsym(handle, AName);
}

} // namespace

void* GetIPPSProcAddress(const char* AName) {
    return LookUp(vfSignal, AName);
}

void* GetIPPIProcAddress(const char* AName) {
    return LookUp(vfImage, AName);
}

void SetIPPLibraryPathsForTesting(std::vector<std::string> ASignalPaths,
                                  std::vector<std::string> AImagePaths) {
    VendorLibraries().SetFileNames(std::move(ASignalPaths), std::move(AImagePaths));
}

} // namespace sonvera

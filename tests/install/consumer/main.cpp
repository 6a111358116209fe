// An outside program: it sees the library only through its installed headers and package.
#include <cstdio>

#include <sonvera/Sonvera.h>

int main() {
    if (sonvera::SonveraStartCount() < 1) {
        std::fprintf(stderr, "library was not started at load\n");
        return 1;
    }
    if (sonvera::RVLAVSupportStartCount() < 1) {
        std::fprintf(stderr, "codec library was not started at load\n");
        return 1;
    }
    std::printf("consumer linked Sonvera %s with codecs\n", sonvera::SonveraVersion().c_str());
    return 0;
}

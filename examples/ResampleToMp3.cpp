// A FLAC file resampled to 48 kHz and written as an MP3, in a chain of three components; any
// failure is one exception naming the component and the cause. Without arguments it makes its
// own input first: two seconds of tone through the same kind of chain.
//     example_ResampleToMp3 [IN.flac OUT.mp3]
#include <cstdio>
#include <exception>
#include <string>

#include <sonvera/Sonvera.h>

using namespace sonvera;

int main(int argc, char** argv) {
    const std::string in = argc > 2 ? argv[1] : "example-tone.flac";
    const std::string out = argc > 2 ? argv[2] : "example-tone.mp3";
    try {
        if (argc <= 2)
            TSVChain::Parse("tone duration=2s ! file-writer filename=" + in).Run();

        TSVChain chain =
            TSVChain::Parse("file-source filename=" + in +
                            " ! resample samplerate=48kHz ! file-writer filename=" + out);
        chain.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("%s written\n", out.c_str());
}

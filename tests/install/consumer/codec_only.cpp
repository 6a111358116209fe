// An outside program that names nothing of the core library itself: it opens a WAV file it
// writes by hand with the file source and asks the file writer what FLAC would take. Linked
// with --as-needed, it loads the core library only through the codec library.
#include <cstdint>
#include <cstdio>
#include <fstream>

#include <sonvera/media/SVLAVFileSource.h>
#include <sonvera/media/SVLAVFileWriter.h>

namespace {

void Put(std::ofstream& AFile, uint32_t AValue, int ABytes) {
    for (int i = 0; i < ABytes; ++i)
        AFile.put(static_cast<char>(AValue >> (8 * i)));
}

// One second of a 16-bit mono ramp at 8000 Hz.
void WriteWave(const char* AName) {
    std::ofstream file(AName, std::ios::binary);
    const uint32_t frames = 8000;
    file.write("RIFF", 4);
    Put(file, 36 + 2 * frames, 4);
    file.write("WAVEfmt ", 8);
    Put(file, 16, 4), Put(file, 1, 2), Put(file, 1, 2), Put(file, 8000, 4), Put(file, 16000, 4);
    Put(file, 2, 2), Put(file, 16, 2);
    file.write("data", 4);
    Put(file, 2 * frames, 4);
    for (uint32_t i = 0; i < frames; ++i)
        Put(file, (i * 7) & 0xFFFF, 2);
}

} // namespace

int main() {
    WriteWave("codec-only.wav");
    sonvera::TSVLAVFileSource source(nullptr);
    sonvera::TSVLAVFileWriter writer(nullptr);
    source.SetFileName("codec-only.wav");
    writer.SetFileName("codec-only.flac");
    source.Open();
    const sonvera::TSVWaveFormatExtensible format = writer.NegotiateFormat(source.GetWaveFormat());
    if (format.Format.nSamplesPerSec != 8000 || format.Samples.wValidBitsPerSample != 16) {
        std::fprintf(stderr, "codec-only program: FLAC would get %u Hz, %d bits\n",
                     format.Format.nSamplesPerSec, format.Samples.wValidBitsPerSample);
        return 1;
    }
    std::printf("codec-only program: 8000 Hz 16-bit mono goes into FLAC as it is\n");
    return 0;
}

// A second of a stereo 16-bit tone, converted to 24-bit 5.1 and written as a JSON document.
#include <cmath>
#include <cstdio>

#include <sonvera/Sonvera.h>

using namespace sonvera;

int main() {
    const TRef<ISVAudioBuffer> stereo = TSVAudioBuffer::CreateSize(44100, 16, 2, 44100);
    TSVSamples<16> samples = SVWriteSamples<16>(stereo);
    for (uint32_t frame = 0; frame < samples.Frames(); ++frame)
        samples(frame, 0) = samples(frame, 1) = int16_t(16000 * std::sin(frame * 0.0627));

    const TRef<ISVAudioBuffer> surround =
        TSVAudioBuffer::CreateSizeEx(44100, 24, 6, 44100, KSVSpeakers5Point1);
    ConvertBuffers(stereo, 44100, surround, 44100);

    const TRef<TJsonWriter> document = TJsonWriter::CreateObject();
    surround->SerializationWrite(document);
    std::printf("%u frames of 5.1, front left %d, centre %d, %zu bytes of JSON\n",
                surround->GetSize(), surround->GetItem(25, 0), surround->GetItem(25, 2),
                document->Text().size());
}

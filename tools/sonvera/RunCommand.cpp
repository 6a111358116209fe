// sonvera run: runs a chain written as chain text or saved as a chain document, with the same
// progress line, summary, one-line errors and no partial files as convert.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "Commands.h"
#include "Conversion.h"
#include "ProgressLine.h"
#include "SignalGuard.h"
#include "sonvera/chain/SVChain.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/platform/bases/QXBasicCommonGen.h"
#include "sonvera/platform/pins/PXPins.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera::tool {

namespace {

constexpr const char* KRunUsage =
    "usage: sonvera run \"CHAIN TEXT\" | CHAIN.json [--quiet] [--verbose]\n"
    "       sonvera run --save CHAIN.json \"CHAIN TEXT\"";

constexpr const char* KRunHelp =
    "\n"
    "Runs a chain of components until every stream has ended. Chain text:\n"
    "  COMPONENT PROPERTY=VALUE ...     a component by its short name (sonvera inspect lists\n"
    "                                   them) and its published properties; names match\n"
    "                                   without regard to case or dashes, sub-objects by dots\n"
    "                                   (compression.bitrate=192k)\n"
    "  A ! B                            connects A's output to B's input\n"
    "  name=NAME                        names a component (by default its short name)\n"
    "  NAME. ! ...                      a further branch from a named component's output\n"
    "  ... ! NAME.                      a branch that ends in a named component's input\n"
    "  NAME.N                           its output (or input) N, counting from 0\n"
    "Values take units: -6dB, 48kHz, 192k, 250ms, 2s; quote values with blanks.\n"
    "\n"
    "  sonvera run \"file-source filename=in.flac ! gain gain=-6dB ! file-writer "
    "filename=out.wav\"\n"
    "  sonvera run \"tone name=t duration=2 ! file-writer filename=a.wav  t. ! resample\n"
    "               samplerate=48k ! file-writer filename=b.flac\"\n"
    "\n"
    "--verbose names, after the summary, the format each connection carried (rate, channels,\n"
    "sample format) and the one each file writer encoded, so that a chain that stays in float\n"
    "shows it; when the run fails, it names those seen before the failure.\n"
    "--save writes the chain as a document instead of running it; sonvera run CHAIN.json runs\n"
    "it. Outputs appear under their names only when complete; Ctrl-C stops the chain, leaves\n"
    "no partial file and exits with 130.\n";

struct TRunLine {
    std::string Text;
    std::string Document; // a chain document to run
    std::string SaveTo;
    bool Quiet = false;
    bool Verbose = false;
    bool Help = false;
};

// A word of the command line as chain text. A whole chain text passes as it is; a single
// PROPERTY=VALUE word whose value has blanks is quoted again, so that
// `sonvera run file-source "filename=my song.flac" ! ...` reads as it was meant.
std::string ChainWord(const std::string& AWord) {
    const size_t equals = AWord.find('=');
    if (equals == std::string::npos || AWord.find('!') != std::string::npos ||
        AWord.find_first_of(" \t\n") == std::string::npos || AWord.find_first_of(" \t\n") < equals)
        return AWord;
    std::string quoted = AWord.substr(0, equals + 1) + "\"";
    for (size_t i = equals + 1; i < AWord.size(); ++i) {
        if (AWord[i] == '"' || AWord[i] == '\\')
            quoted.push_back('\\');
        quoted.push_back(AWord[i]);
    }
    return quoted + "\"";
}

bool IsDocumentName(const std::string& AWord) {
    return AWord.size() > 5 && AWord.compare(AWord.size() - 5, 5, ".json") == 0 &&
           AWord.find_first_of(" \t!=") == std::string::npos;
}

TRunLine ParseRunArguments(const std::vector<std::string>& AArguments) {
    TRunLine line;
    std::vector<std::string> words;
    for (size_t i = 0; i < AArguments.size(); ++i) {
        if (AArguments[i] == "--quiet")
            line.Quiet = true;
        else if (AArguments[i] == "--verbose")
            line.Verbose = true;
        else if (AArguments[i] == "--save" && i + 1 < AArguments.size())
            line.SaveTo = AArguments[++i];
        else if (AArguments[i] == "--help" || AArguments[i] == "-h")
            line.Help = true;
        else if (AArguments[i].rfind("--", 0) == 0)
            throw EArgumentError("unknown option " + AArguments[i] + "\n" + KRunUsage);
        else
            words.push_back(AArguments[i]);
    }
    if (line.Help)
        return line;
    if (words.empty())
        throw EArgumentError(KRunUsage);
    if (words.size() == 1 && line.SaveTo.empty() && IsDocumentName(words[0])) {
        line.Document = words[0];
        return line;
    }
    for (const std::string& word : words) {
        if (!line.Text.empty())
            line.Text += ' ';
        line.Text += ChainWord(word);
    }
    return line;
}

std::string ReadDocument(const std::string& APath) {
    std::ifstream file(APath, std::ios::binary);
    if (!file)
        throw EReadError(APath + ": cannot be read");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void PrintSummary(TSVChain& AChain, int64_t APosition, double ASeconds) {
    for (TPersistent* component : AChain.GetComponents())
        if (auto* writer = dynamic_cast<TSVLAVFileWriter*>(component))
            std::printf("%s: %llu frames\n", writer->GetFileName().c_str(),
                        static_cast<unsigned long long>(writer->GetFramesWritten()));
    const double audio = static_cast<double>(APosition) / KUnitsPerSecond;
    std::printf("%s of audio in %.3f s, %.1fx real time\n", FormatStreamTime(APosition).c_str(),
                ASeconds, ASeconds > 0 ? audio / ASeconds : 0.0);
}

std::string Describe(const TSVWaveFormatExtensible& AFormat) {
    const std::string samples =
        SVIsFloatFormat(AFormat)
            ? "32-bit float"
            : std::to_string(AFormat.Samples.wValidBitsPerSample) + "-bit integer";
    return std::to_string(AFormat.Format.nSamplesPerSec) + " Hz, " +
           std::to_string(AFormat.Format.nChannels) + " channel(s), " + samples;
}

// The format each connection carries, as its output pin last announced it. A stop clears what
// a pin announced, so the formats are caught while the chain runs, at every progress report.
class TConnectionFormats {
public:
    void Catch(const TSVChain& AChain) {
        const std::vector<TSVChain::TConnection>& connections = AChain.GetConnections();
        FSeen.resize(connections.size());
        for (size_t i = 0; i < connections.size(); ++i) {
            std::vector<TPXPin*> outputs = PXPinsOf(AChain.Find(connections[i].From));
            std::erase_if(outputs, [](const TPXPin* APin) { return !APin->IsSource(); });
            const auto* pin =
                connections[i].Output < outputs.size()
                    ? dynamic_cast<TSVPXAudioSourcePin*>(outputs[connections[i].Output])
                    : nullptr;
            const TRef<IPXNotifyOperation> start = pin ? pin->GetResumeOperation() : nullptr;
            if (const auto* wave = start ? OperationAs<TPXStartWaveOperation>(start) : nullptr)
                FSeen[i] = wave->GetWaveFormat();
        }
    }

    // Every connection, or with AKnownOnly those whose format was seen.
    void Print(const TSVChain& AChain, bool AKnownOnly = false) const {
        const std::vector<TSVChain::TConnection>& connections = AChain.GetConnections();
        for (size_t i = 0; i < connections.size() && i < FSeen.size(); ++i) {
            const TSVChain::TConnection& link = connections[i];
            if (AKnownOnly && !FSeen[i])
                continue;
            const std::string format = FSeen[i] ? Describe(*FSeen[i]) : "no stream seen";
            std::printf("%s.%u -> %s.%u: %s\n", link.From.c_str(), link.Output, link.To.c_str(),
                        link.Input, format.c_str());
            if (const auto* writer = dynamic_cast<const TSVLAVFileWriter*>(AChain.Find(link.To));
                writer && FSeen[i])
                PrintEncoder(link.To, *writer, *FSeen[i]);
        }
    }

private:
    // The encoder AWriter opened for a stream of AFormat, the sample format it is handed and,
    // when the writer converts the stream first, the format it converts to.
    static void PrintEncoder(const std::string& AName, const TSVLAVFileWriter& AWriter,
                             const TSVWaveFormatExtensible& AFormat) {
        const std::optional<TSVLAVOpenedFormat> opened = AWriter.GetOpenedFormat();
        if (!opened)
            return; // the run's failure line names the writer and the cause
        const TSVWaveFormatExtensible& encoded = opened->Format;
        const bool converted = !SVIsSameStreamFormat(encoded, AFormat);
        std::printf("%s encodes with %s from %s samples%s\n", AName.c_str(), opened->Codec.c_str(),
                    opened->SampleFormat.c_str(),
                    converted ? (" after converting to " + Describe(encoded)).c_str() : "");
    }

    std::vector<std::optional<TSVWaveFormatExtensible>> FSeen;
};

int RunChain(TSVChain& AChain, bool AQuiet, bool AVerbose) {
    TConnectionFormats formats;
    TRunningChain running{&AChain, {}};
    for (TPersistent* component : AChain.GetComponents())
        if (auto* source = dynamic_cast<TSVLAVFileSource*>(component))
            running.Sources.push_back(source);
    const auto start = std::chrono::steady_clock::now();
    int64_t position = 0;
    {
        TProgressLine progress(!AQuiet && isatty(STDERR_FILENO));
        AChain.SetOnProgress([&](const TSVChain::TProgress& AProgress) {
            if (AVerbose)
                formats.Catch(AChain);
            progress.Update(AProgress.Position, AProgress.Duration);
        });
        const TSignalGuard signals(StopChain, &running);
        try {
            AChain.Start();
            if (AVerbose) // every start has reached its connections; no stop has yet
                formats.Catch(AChain);
            AChain.Wait();
        } catch (const std::exception&) {
            if (AVerbose) { // what was seen before the failure, which follows on its own line
                formats.Print(AChain, true);
                std::fflush(stdout);
            }
            throw;
        }
        if (AChain.GetStopped())
            TSignalGuard::ThrowIfCaught();
    }
    for (TPersistent* component : AChain.GetComponents())
        if (auto* source = dynamic_cast<TQXBasicCommonGen*>(component))
            position = std::max(position, source->GetStreamPosition());
    if (!AQuiet)
        PrintSummary(
            AChain, position,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (AVerbose)
        formats.Print(AChain);
    return 0;
}

} // namespace

int RunRun(const std::vector<std::string>& AArguments) {
    const TRunLine line = ParseRunArguments(AArguments);
    if (line.Help) {
        std::printf("%s\n%s", KRunUsage, KRunHelp);
        return 0;
    }
    TSVChain chain = line.Document.empty() ? TSVChain::Parse(line.Text)
                                           : TSVChain::Load(ReadDocument(line.Document));
    if (!line.SaveTo.empty()) {
        std::ofstream file(line.SaveTo, std::ios::binary | std::ios::trunc);
        if (!(file << chain.Save()) || !file.flush())
            throw Exception(line.SaveTo + ": cannot be written");
        return 0;
    }
    return RunChain(chain, line.Quiet, line.Verbose);
}

} // namespace sonvera::tool

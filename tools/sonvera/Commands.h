// The sonvera tool's commands; each returns the process exit code. Errors are raised as
// exceptions, which main prints as one line.
#pragma once

#include <string>
#include <vector>

namespace sonvera::tool {

// Prints the library version, its units and where each primitive slot is bound.
int RunInfo();

// Builds a tone with a generator component, sends it through the format and gain filters into
// a WAV and a FLAC writer, converts the FLAC back to WAV and prints a table of the three files
// as the file source reads them.
int RunDemo();

// sonvera convert IN OUT [--codec NAME] [--format NAME] [--bits 8|16|24|32]
//                 [--layout mono|stereo|5.1|7.1] [--rate HZ] [--gain DB] [--bitrate BPS]
//                 [--option NAME=VALUE]... [--allow NAME,...] [--quiet]
// --allow widens what the input may read beyond local files and pipes: FFmpeg protocol and
// demuxer names ("hls,http,tcp").
int RunConvert(const std::vector<std::string>& AArguments);
// What sonvera convert --help prints.
extern const char* const KConvertHelp;

// sonvera analyze FILE [--json] [--png OUT.png] [--size WIDTHxHEIGHT]
int RunAnalyze(const std::vector<std::string>& AArguments);

// sonvera codecs [--audio|--video] [--decoders|--encoders]
int RunCodecs(const std::vector<std::string>& AArguments);
// sonvera formats [--audio]: --audio lists only the containers that carry audio
int RunFormats(const std::vector<std::string>& AArguments);
// sonvera probe FILE
int RunProbe(const std::vector<std::string>& AArguments);

// sonvera play FILE [--device NAME] [--latency MS] [--quiet]
int RunPlay(const std::vector<std::string>& AArguments);
// sonvera record OUT [--device NAME] [--duration SECONDS] [--rate HZ] [--channels N]
//                [--bits 8|16|24|32] [--latency MS] [--quiet]
int RunRecord(const std::vector<std::string>& AArguments);
// sonvera devices
int RunDevices(const std::vector<std::string>& AArguments);

} // namespace sonvera::tool

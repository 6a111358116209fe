// Chain text: one line that describes a chain, read the way pipelines are written elsewhere.
//
//     file-source filename=in.flac ! resample samplerate=48kHz ! gain gain=-6dB ! file-writer
//     filename=out.wav
//
// - A component is its registered short name (or class name) followed by PROPERTY=VALUE words;
//   `name=NAME` names it (by default its short name, then "gain2", "gain3").
// - `!` connects the component before it to the one after it (the first free matching pins).
// - A word NAME. refers to a named component, before or after it is described: it starts a
//   further branch (`NAME. ! ...`) or ends one in that component (`... ! NAME.`). NAME.N picks
//   its output N (or input N, at the end of a branch), counting from 0.
// - Values may be quoted with "..." or '...' (a backslash escapes the next character in double
//   quotes); units as SVPropertyText.h reads them.
//
//     tone name=t duration=2 ! file-writer filename=a.wav  t. ! gain gain=0.5 ! file-writer
//     filename=b.wav
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sonvera {

class TSVChain;

struct TSVChainTextElement {
    std::string Class;
    std::string Name; // empty: the chain names it
    std::vector<std::pair<std::string, std::string>> Properties;
};

struct TSVChainTextLink {
    size_t From = 0; // element indices
    int32_t Output = -1;
    size_t To = 0;
    int32_t Input = -1;
};

struct TSVChainTextDescription {
    std::vector<TSVChainTextElement> Elements;
    std::vector<TSVChainTextLink> Links;
};

// Reads the text; EArgumentError naming the offending word when it does not describe a chain.
// Nothing is created: classes and properties are checked by SVBuildChain.
TSVChainTextDescription SVParseChainText(const std::string& AText);

// Adds the elements to AChain, sets their properties and makes the links, in text order.
void SVBuildChain(TSVChain& AChain, const TSVChainTextDescription& ADescription);

} // namespace sonvera

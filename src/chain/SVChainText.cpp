#include "sonvera/chain/SVChainText.h"

#include <cctype>
#include <optional>

#include "sonvera/chain/SVChain.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

// Pin numbers beyond any component's pins; a larger one is a typing error.
constexpr int64_t KMaxPinIndex = 65535;

struct TWord {
    std::string Text;
    size_t Equals = std::string::npos; // of the first '=' outside quotes
    bool Link = false;                 // a '!'
};

std::string Quoted(const std::string& AWord) {
    return "'" + AWord + "'";
}

std::vector<TWord> SplitWords(const std::string& AText) {
    std::vector<TWord> words;
    size_t at = 0;
    while (at < AText.size()) {
        const char c = AText[at];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++at;
            continue;
        }
        if (c == '!') {
            words.push_back({"!", std::string::npos, true});
            ++at;
            continue;
        }
        TWord word;
        while (at < AText.size() && !std::isspace(static_cast<unsigned char>(AText[at])) &&
               AText[at] != '!') {
            const char quote = AText[at];
            if (quote != '"' && quote != '\'') {
                if (quote == '=' && word.Equals == std::string::npos)
                    word.Equals = word.Text.size();
                word.Text.push_back(quote);
                ++at;
                continue;
            }
            const size_t opened = at++;
            while (at < AText.size() && AText[at] != quote) {
                if (quote == '"' && AText[at] == '\\' && at + 1 < AText.size())
                    ++at;
                word.Text.push_back(AText[at++]);
            }
            if (at == AText.size())
                throw EArgumentError("unterminated quote in " + Quoted(AText.substr(opened)));
            ++at;
        }
        words.push_back(std::move(word));
    }
    return words;
}

// A reference to a named component: "NAME." or "NAME.N".
struct TReference {
    std::string Name;
    int32_t Pin = -1;
};

std::optional<TReference> ReferenceOf(const TWord& AWord) {
    const size_t dot = AWord.Text.rfind('.');
    if (AWord.Equals != std::string::npos || dot == std::string::npos || dot == 0)
        return std::nullopt;
    const std::string pin = AWord.Text.substr(dot + 1);
    if (!pin.empty() &&
        (pin.size() > 5 || pin.find_first_not_of("0123456789") != std::string::npos))
        return std::nullopt;
    TReference reference{AWord.Text.substr(0, dot), -1};
    if (!pin.empty()) {
        const int64_t index = std::stoll(pin);
        if (index > KMaxPinIndex)
            throw EArgumentError("pin number in " + Quoted(AWord.Text) + " is too large");
        reference.Pin = static_cast<int32_t>(index);
    }
    return reference;
}

// One end of a link while the text is read: an element, or a name resolved at the end.
struct TEnd {
    std::optional<size_t> Element;
    std::string Name;
    int32_t Pin = -1;
};

struct TPendingLink {
    TEnd From;
    TEnd To;
};

class TChainTextReader {
public:
    explicit TChainTextReader(const std::string& AText) : FWords(SplitWords(AText)) {}

    TSVChainTextDescription Read() {
        if (FWords.empty())
            throw EArgumentError("the chain text is empty");
        for (const TWord& word : FWords)
            ReadWord(word);
        if (FLinkPending)
            throw EArgumentError("'!' at the end needs a component after it");
        ResolveLinks();
        return std::move(FDescription);
    }

private:
    void ReadWord(const TWord& AWord) {
        if (AWord.Link)
            ReadLink();
        else if (AWord.Equals != std::string::npos)
            ReadProperty(AWord);
        else if (const std::optional<TReference> reference = ReferenceOf(AWord))
            Reach({std::nullopt, reference->Name, reference->Pin}, false);
        else if (AWord.Text.empty())
            throw EArgumentError("an empty word where a component was expected");
        else {
            FDescription.Elements.push_back({AWord.Text, {}, {}});
            Reach({FDescription.Elements.size() - 1, {}, -1}, true);
        }
    }

    void ReadLink() {
        if (!FLast)
            throw EArgumentError("'!' needs a component before it");
        if (FLinkPending)
            throw EArgumentError("'! !': a component is missing between them");
        FLinkPending = true;
    }

    void ReadProperty(const TWord& AWord) {
        const std::string name = AWord.Text.substr(0, AWord.Equals);
        if (FLinkPending || !FCurrent)
            throw EArgumentError("property " + Quoted(AWord.Text) + " has no component before it");
        if (name.empty())
            throw EArgumentError("property " + Quoted(AWord.Text) + " has no name");
        TSVChainTextElement& element = FDescription.Elements[*FCurrent];
        const std::string value = AWord.Text.substr(AWord.Equals + 1);
        if (name == "name") {
            if (value.empty() || value.find('.') != std::string::npos)
                throw EArgumentError("the name in " + Quoted(AWord.Text) +
                                     " must be a word without dots");
            element.Name = value;
        } else {
            element.Properties.emplace_back(name, value);
        }
    }

    // A component reached by a word: linked from the last one when a '!' came between them. A
    // reference's pin number belongs to the side it is used on: its input at the end of a
    // branch, its output at the start of one.
    void Reach(TEnd AEnd, bool ADescribed) {
        FCurrent = ADescribed ? AEnd.Element : std::nullopt;
        if (FLinkPending) {
            FLinks.push_back({*FLast, AEnd});
            AEnd.Pin = -1;
        }
        FLinkPending = false;
        FLast = AEnd;
    }

    size_t Resolve(const TEnd& AEnd) const {
        if (AEnd.Element)
            return *AEnd.Element;
        size_t found = FDescription.Elements.size();
        for (size_t i = 0; i < FDescription.Elements.size(); ++i)
            if (FDescription.Elements[i].Name == AEnd.Name) {
                if (found != FDescription.Elements.size())
                    throw EArgumentError("two components named " + Quoted(AEnd.Name));
                found = i;
            }
        if (found == FDescription.Elements.size())
            throw EArgumentError("no component named " + Quoted(AEnd.Name));
        return found;
    }

    void ResolveLinks() {
        for (const TPendingLink& link : FLinks)
            FDescription.Links.push_back(
                {Resolve(link.From), link.From.Pin, Resolve(link.To), link.To.Pin});
    }

    std::vector<TWord> FWords;
    TSVChainTextDescription FDescription;
    std::vector<TPendingLink> FLinks;
    std::optional<TEnd> FLast;      // what a '!' links from
    std::optional<size_t> FCurrent; // what properties belong to
    bool FLinkPending = false;
};

} // namespace

TSVChainTextDescription SVParseChainText(const std::string& AText) {
    return TChainTextReader(AText).Read();
}

void SVBuildChain(TSVChain& AChain, const TSVChainTextDescription& ADescription) {
    std::vector<std::string> names;
    for (const TSVChainTextElement& element : ADescription.Elements) {
        const std::string& name = AChain.NameOf(AChain.Add(element.Class, element.Name));
        for (const auto& [property, value] : element.Properties)
            AChain.SetProperty(name, property, value);
        names.push_back(name);
    }
    for (const TSVChainTextLink& link : ADescription.Links)
        AChain.Connect(names[link.From], names[link.To], link.Output, link.Input);
}

} // namespace sonvera

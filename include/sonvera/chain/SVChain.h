// A chain of components that runs as one: it owns its components (created by registered class or
// short name, or given), connects their pins, starts every source, pumps the main-thread queue
// until every stream has ended and raises the first failure as one exception naming the
// component and the cause.
//
//     TSVChain chain = TSVChain::Parse("file-source filename=in.flac ! resample samplerate=48k"
//                                      " ! file-writer filename=out.mp3");
//     chain.Run();
//
// Who drives: a chain with one source that is not set to Realtime is rendered by its first output
// (TSVBasicAudioOut::Render) on the thread that waits, as fast as the output consumes; a source
// set to Realtime runs on its clock; an output that paces its chain itself (master pumping, as a
// sound device's does) drives its source; several sources run on their own clocks, as fast as
// the chain takes buffers unless set otherwise. The chain knows components only through the class
// registry, their published properties and the pins they own, so components registered by any
// library work in it unchanged.
//
// Threads: a chain is built, started, waited for and destroyed on one thread, which becomes the
// main thread (it pumps the queue). Stop may be called from any thread or a signal handler: it
// only asks, and the thread in Run or Wait ends the chain. Destroying a chain stops its sources,
// which ends every stream downstream in order, and then destroys the components it owns, last
// added first.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sonvera/platform/runtime/Persistent.h"

namespace sonvera {

class TSVChain {
public:
    struct TProgress {
        int64_t Position = 0; // stream time reached, 100 ns units
        int64_t Duration = 0; // 0 when unknown
        double Speed = 0;     // stream time per wall-clock time
    };
    using TOnProgress = std::function<void(const TProgress& AProgress)>;

    // A connection as made: output pin From.Output feeds input pin To.Input (indices count a
    // component's output pins and its input pins separately, in the order the component made
    // them).
    struct TConnection {
        std::string From;
        uint32_t Output = 0;
        std::string To;
        uint32_t Input = 0;
    };

    TSVChain();
    TSVChain(TSVChain&& AOther) noexcept;
    TSVChain& operator=(TSVChain&& AOther) noexcept;
    ~TSVChain();

    // A chain built from one line of chain text (SVChainText.h); EArgumentError pointing at the
    // offending word.
    static TSVChain Parse(const std::string& AText);
    // A chain built from a document Save wrote (SVChainDocument.h); EReadError naming what is
    // wrong.
    static TSVChain Load(const std::string& ADocument);
    std::string Save() const;

    // Creates a component of the registered class or short name AClass. AName names it in the
    // chain; empty gives its short name (then "gain2", "gain3" for further ones). An unknown
    // class or a name in use raises EArgumentError.
    TPersistent& Add(const std::string& AClass, const std::string& AName = {});
    // Takes AComponent over.
    TPersistent& Add(std::unique_ptr<TPersistent> AComponent, const std::string& AName = {});
    // Uses AComponent, which must outlive the chain.
    TPersistent& Add(TPersistent& AComponent, const std::string& AName = {});

    // Null when no component has that name.
    TPersistent* Find(const std::string& AName) const;
    // The name of a component of the chain; EArgumentError for another.
    const std::string& NameOf(const TPersistent& AComponent) const;
    std::vector<TPersistent*> GetComponents() const;
    const std::vector<TConnection>& GetConnections() const noexcept;

    // Sets a published property from text (SVPropertyText.h); EArgumentError "unknown property
    // 'gian' of gain", or naming the property and why the value was refused.
    void SetProperty(const std::string& AComponent, const std::string& AProperty,
                     const std::string& AText);

    // Connects an output pin of AFrom to an input pin of ATo: the given indices, or (-1) the
    // first free pins whose streams match, else the first matching ones (an output may feed
    // several inputs, an input take several outputs where its component allows). Refusals raise
    // EArgumentError: "resample's output (audio) cannot feed file-source (no input)".
    void Connect(const std::string& AFrom, const std::string& ATo, int32_t AOutput = -1,
                 int32_t AInput = -1);

    // Start, then Wait.
    void Run();
    // Starts every source (a rendered chain then moves as Wait asks for buffers); nothing when
    // running. A source that refuses to start stops the ones
    // started before it and raises, naming it. A chain without a source, or with a component
    // whose inputs are all unconnected, is refused with EArgumentError.
    void Start();
    // Renders the chain, or pumps the main-thread queue while the sources run, until every
    // stream has ended or Stop was asked; then raises the first component's failure
    // ("file-writer: ...").
    void Wait();
    // Asks the chain to end; safe from any thread and from a signal handler.
    void Stop() noexcept;
    // Whether Stop was asked during the last run.
    bool GetStopped() const noexcept;
    bool GetRunning() const;

    // Called on the waiting thread a few times a second while the chain runs.
    void SetOnProgress(TOnProgress AOnProgress);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace sonvera

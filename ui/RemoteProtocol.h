#pragma once
// The remote-control protocol: commands "KEYWORD[:value];" arriving as text
// in arbitrary pieces, executed in order, with replies for the queries and
// for unknown keywords. Knows nothing of sockets, so it can be fed directly.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class RemoteActions;

class RemoteProtocol {
public:
    // Text without ";" beyond this is not a command any more: the client is
    // dropped rather than letting one peer grow the buffer without bound.
    static constexpr std::size_t MaxPending = 64 * 1024;

    using Send = std::function<void(const std::string&)>;
    // Runs a function at the next pass of the event loop.
    using Defer = std::function<void(std::function<void()>)>;
    // With `defer`, the commands that came with a START's own text run at
    // the run's first event pump, as those arriving later do: a query sent
    // in the same packet as the START is answered during the run, not after.
    RemoteProtocol(RemoteActions& actions, Send send, Defer defer = {});

    // Appends the text and runs every complete command. Re-entrant: a START
    // runs the measurement, whose event pumping may feed further text, which
    // a nested call consumes from the same buffer. False when the pending
    // text exceeded MaxPending (the buffer is then emptied).
    bool Feed(std::string_view data);
    // As Feed, but only the polls "IS_READY?" and "FINISHED?" at the head of
    // the pending text are answered; the first other command and all after it
    // wait for the next Feed, so that nothing acts from inside a step that
    // talks to an instrument, and commands keep their order.
    bool AnswerPolls(std::string_view data);
    // The peer went away: an unfinished command is dropped.
    void Reset() {
        buffer_.clear();
        start_ = 0;
    }
    std::string Pending() const { return buffer_.substr(start_); }

private:
    bool Take(std::string_view data, bool pollsOnly);
    static bool IsPoll(const std::string& key);
    void Execute(const std::string& keyword, const std::string& value, bool hasValue);
    bool SetSetting(const std::string& key, const std::string& value, bool hasValue);
    bool SetLevel(const std::string& value);
    bool SetSignalType(const std::string& value);
    void RunAction(const std::string& key);
    static void RefuseDuringRun(const std::string& key);

    RemoteActions& actions_;
    Send send_;
    Defer defer_;
    std::string buffer_;
    std::size_t start_ = 0;
};

// The remote-control protocol: parsing, range checks and dispatch.

#include "RemoteProtocol.h"

#include "CrossMix.h"
#include "General.h"
#include "NoCase.h"
#include "RemoteActions.h"
#include "SettingNumber.h"
#include "StringOp.h"

#include <algorithm>
#include <optional>

namespace {

// A value is read as the box of its setting reads a typed text (regional
// separators, one number and nothing else), so the remote stores exactly the
// values the window would store and refuses the rest.
template <typename T> std::optional<T> Typed(const std::string& value) {
    return SettingNumber::ReadAs<T>(value).value;
}

std::optional<std::int16_t> Integer(const std::string& value, int lo, int hi) {
    const auto v = Typed<std::int16_t>(value);
    if (!v || *v < lo || *v > hi) return std::nullopt;
    return v;
}

// True exactly when the leading number is 1; anything else clears the flag.
bool Flag(const std::string& value) {
    const auto v = StringOp::LeadingNumber(value);
    return v && *v == 1.0;
}

// The protocol is ASCII: a letter that only Unicode rules upper-case to an
// ASCII one (a long s, a dotless i) does not make a keyword.
std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), UpperAscii);
    return text;
}

} // namespace

RemoteProtocol::RemoteProtocol(RemoteActions& actions, Send send, Defer defer)
    : actions_(actions), send_(std::move(send)), defer_(std::move(defer)) {}

bool RemoteProtocol::Feed(std::string_view data) {
    // Blanks and line ends around the whole buffer do not count. The buffer
    // is consumed from start_ rather than copied per command, so a packet of
    // many commands costs its length, not its length squared; a nested call
    // continues from the same start_.
    auto isEnd = [](char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\0'; };
    buffer_.append(data);
    while (buffer_.size() > start_ && isEnd(buffer_.back()))
        buffer_.pop_back();
    for (;;) {
        while (start_ < buffer_.size() && isEnd(buffer_[start_]))
            ++start_;
        const auto end = buffer_.find(';', start_);
        if (end == std::string::npos) break;
        const std::string command = buffer_.substr(start_, end - start_);
        start_ = end + 1;
        const auto colon = command.find(':');
        const bool hasValue = colon != std::string::npos;
        Execute(command.substr(0, colon), hasValue ? command.substr(colon + 1) : std::string(),
                hasValue);
    }
    buffer_.erase(0, start_);
    start_ = 0;
    if (buffer_.size() <= MaxPending) return true;
    buffer_.clear();
    return false;
}

void RemoteProtocol::Execute(const std::string& keyword, const std::string& value, bool hasValue) {
    const std::string key = Upper(keyword);
    if (key == "IS_READY?" || key == "FINISHED?") {
        const std::string name = key.substr(0, key.size() - 1);
        send_(name + (actions_.StartEnabled() ? ":1;" : ":0;"));
    } else if (key == "SETUP" || key == "START" || key == "CLOSEALL") {
        RunAction(key);
    } else if (!SetSetting(key, value, hasValue)) {
        send_("UNKNOWN:" + keyword);
    }
}

void RemoteProtocol::RunAction(const std::string& key) {
    // A run pumps events, so these can arrive while one is in progress; a
    // nested run or windows closed under the running handler would corrupt it.
    if (General::MeasureBusy) {
        CrossMix::AddStatus("Remote " + key + " refused: a measurement is in progress.");
        return;
    }
    if (key == "SETUP")
        actions_.Setup();
    else if (key == "START") {
        // Nothing else makes a nested pass take the rest of this text: a
        // client that waits for the answer to its query sends nothing more.
        // Empty text runs what is pending; after the run there is none.
        if (defer_) defer_([this] { Feed({}); });
        actions_.Start();
    } else
        actions_.CloseAll();
}

// False only for keywords that are not settings. A value that is missing or
// outside the setting's range is refused and leaves the setting as it was.
bool RemoteProtocol::SetSetting(const std::string& key, const std::string& value, bool hasValue) {
    auto refuse = [&] {
        CrossMix::AddStatus("Remote " + key + ": value \"" + value + "\" refused.");
    };
    auto setInt = [&](std::int16_t& target, int lo, int hi) {
        if (const auto v = hasValue ? Integer(value, lo, hi) : std::nullopt)
            target = *v;
        else
            refuse();
    };
    auto setReal = [&](double& target) {
        if (const auto v = hasValue ? Typed<double>(value) : std::nullopt)
            target = *v;
        else
            refuse();
    };
    auto setFlag = [&](bool& target) {
        if (hasValue)
            target = Flag(value);
        else
            refuse();
    };
    if (key == "LEVEL") {
        if (hasValue && Typed<float>(value))
            actions_.SetTargetLevelText(value);
        else
            refuse();
    } else if (key == "SIGNALTYPE") {
        if (const auto v = hasValue ? Integer(value, 0, 3) : std::nullopt)
            actions_.SetSignalType(*v);
        else
            refuse();
    } else if (key == "AMBEFOREPM")
        setFlag(General::AMBeforePM);
    else if (key == "AMAMORDER")
        setInt(General::AMAMOrder, 2, 19);
    else if (key == "AMPMORDER")
        setInt(General::AMPMOrder, 2, 19);
    else if (key == "AMAMPOINTS")
        setInt(General::AMAMGrid, 1, 32767);
    else if (key == "AMPMPOINTS")
        setInt(General::AMPMGrid, 1, 32767);
    else if (key == "AMAMLOWLIM")
        setReal(General::AMAMLowLim);
    else if (key == "AMPMLOWLIM")
        setReal(General::AMPMLowLim);
    else if (key == "AMAMLOWIGN")
        setFlag(General::AMAMLowIgn);
    else if (key == "AMPMLOWIGN")
        setFlag(General::AMPMLowIgn);
    else if (key == "AMAMLOWSET")
        setFlag(General::AMAMLowSet);
    else if (key == "AMPMLOWSET")
        setFlag(General::AMPMLowSet);
    else
        return false;
    return true;
}

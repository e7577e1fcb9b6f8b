// The remote-control protocol: parsing, range checks and dispatch.

#include "RemoteProtocol.h"

#include "CrossMix.h"
#include "General.h"
#include "NoCase.h"
#include "RemoteActions.h"
#include "RunStart.h"
#include "RunState.h"
#include "SettingNumber.h"
#include "StringOp.h"

#include <algorithm>
#include <functional>
#include <iterator>
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
    return Take(data, false);
}

bool RemoteProtocol::AnswerPolls(std::string_view data) {
    return Take(data, true);
}

bool RemoteProtocol::Take(std::string_view data, bool pollsOnly) {
    // Blanks and line ends around whole commands do not count; those at the
    // end of an unfinished command are its own, so that the same bytes mean
    // the same however they are split. The buffer is consumed from start_
    // rather than copied per command, so a packet of many commands costs its
    // length, not its length squared; a nested call continues from the same
    // start_.
    auto isEnd = [](char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\0'; };
    buffer_.append(data);
    for (;;) {
        while (start_ < buffer_.size() && isEnd(buffer_[start_]))
            ++start_;
        const auto end = buffer_.find(';', start_);
        if (end == std::string::npos) break;
        const std::string command = buffer_.substr(start_, end - start_);
        const auto colon = command.find(':');
        const std::string keyword = command.substr(0, colon);
        // Anything else waits for a pass where it may act, in its order.
        if (pollsOnly && !IsPoll(Upper(keyword))) break;
        start_ = end + 1;
        const bool hasValue = colon != std::string::npos;
        Execute(keyword, hasValue ? command.substr(colon + 1) : std::string(), hasValue);
    }
    buffer_.erase(0, start_);
    start_ = 0;
    if (buffer_.size() <= MaxPending) return true;
    buffer_.clear();
    return false;
}

bool RemoteProtocol::IsPoll(const std::string& key) {
    return key == "IS_READY?" || key == "FINISHED?";
}

void RemoteProtocol::Execute(const std::string& keyword, const std::string& value, bool hasValue) {
    const std::string key = Upper(keyword);
    if (IsPoll(key)) {
        // Stop enables Start while the run still unwinds: ready only once the
        // run and its end message are over.
        const bool ready = !RunState::UnderWay() && actions_.StartEnabled();
        send_(key.substr(0, key.size() - 1) + (ready ? ":1;" : ":0;"));
    } else if (key == "SETUP" || key == "START" || key == "CLOSEALL") {
        RunAction(key);
    } else if (!SetSetting(key, value, hasValue)) {
        send_("UNKNOWN:" + keyword);
    }
}

void RemoteProtocol::RunAction(const std::string& key) {
    // A run pumps events, so these can arrive while one is under way; a
    // nested run or windows closed under the running handler would corrupt it.
    if (RunState::UnderWay()) {
        RefuseDuringRun(key);
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

void RemoteProtocol::RefuseDuringRun(const std::string& key) {
    CrossMix::AddStatus("Remote " + key + " refused: a measurement is in progress.");
}

bool RemoteProtocol::SetLevel(const std::string& value) {
    // A level the start would refuse is refused now, while the client can
    // still be told; a start refused later shows a box nobody answers.
    const auto level = Typed<float>(value);
    return level && RunStart::TargetLevelRefusal(*level).empty() &&
           actions_.SetTargetLevelText(value);
}

bool RemoteProtocol::SetSignalType(const std::string& value) {
    const auto type = Integer(value, 0, 3);
    if (!type || !RunStart::SignalTypeRefusal(*type).empty()) return false;
    actions_.SetSignalType(*type);
    return true;
}

// False only for keywords that are not settings. A value that is missing,
// outside the setting's range or one the start would refuse on its own is
// refused and leaves the setting as it was; so is every value during a run,
// which reads the settings as it goes.
bool RemoteProtocol::SetSetting(const std::string& key, const std::string& value, bool hasValue) {
    using Store = std::function<bool()>; // whether the value was taken
    auto setInt = [&value](std::int16_t& target, int lo, int hi) -> Store {
        return [&value, t = &target, lo, hi] {
            const auto v = Integer(value, lo, hi);
            if (v) *t = *v;
            return v.has_value();
        };
    };
    auto setReal = [&value](double& target) -> Store {
        return [&value, t = &target] {
            const auto v = Typed<double>(value);
            if (v) *t = *v;
            return v.has_value();
        };
    };
    auto setFlag = [&value](bool& target) -> Store {
        return [&value, t = &target] {
            *t = Flag(value);
            return true;
        };
    };
    const std::pair<const char*, Store> setters[] = {
        {"LEVEL", [this, &value] { return SetLevel(value); }},
        {"SIGNALTYPE", [this, &value] { return SetSignalType(value); }},
        {"AMBEFOREPM", setFlag(General::AMBeforePM)},
        {"AMAMORDER", setInt(General::AMAMOrder, 2, 19)},
        {"AMPMORDER", setInt(General::AMPMOrder, 2, 19)},
        {"AMAMPOINTS", setInt(General::AMAMGrid, 1, 32767)},
        {"AMPMPOINTS", setInt(General::AMPMGrid, 1, 32767)},
        {"AMAMLOWLIM", setReal(General::AMAMLowLim)},
        {"AMPMLOWLIM", setReal(General::AMPMLowLim)},
        {"AMAMLOWIGN", setFlag(General::AMAMLowIgn)},
        {"AMPMLOWIGN", setFlag(General::AMPMLowIgn)},
        {"AMAMLOWSET", setFlag(General::AMAMLowSet)},
        {"AMPMLOWSET", setFlag(General::AMPMLowSet)},
    };
    const auto* setter = std::find_if(std::begin(setters), std::end(setters),
                                      [&](const auto& s) { return key == s.first; });
    if (setter == std::end(setters)) return false;
    if (RunState::UnderWay())
        RefuseDuringRun(key);
    else if (!hasValue || !setter->second())
        CrossMix::AddStatus("Remote " + key + ": value \"" + value + "\" refused.");
    return true;
}

#include "Waveform.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace simbench {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool ParseCount(std::string_view s, unsigned long long& value) {
    s = Trim(s);
    if (s.empty()) return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

struct Transition {
    unsigned long long position;
    int state;
};

} // namespace

std::optional<MarkerEdges> MarkerListEdges(std::string_view list, std::size_t samples) {
    std::vector<Transition> transitions;
    int before = 0; // state in force before the entry being read
    list = Trim(list);
    while (!list.empty()) {
        const std::size_t semi = list.find(';');
        std::string_view entry = Trim(list.substr(0, semi));
        list = semi == std::string_view::npos ? std::string_view() : list.substr(semi + 1);
        if (entry.empty()) continue;
        const std::size_t colon = entry.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        unsigned long long state = 0;
        if (!ParseCount(entry.substr(colon + 1), state) || state > 1) return std::nullopt;
        const std::string_view where = entry.substr(0, colon);
        const std::size_t dash = where.find('-');
        unsigned long long first = 0;
        if (!ParseCount(where.substr(0, dash), first)) return std::nullopt;
        transitions.push_back({first, static_cast<int>(state)});
        if (dash != std::string_view::npos) {
            // A range holds its state through its last position, then the
            // line returns to what it was before the range.
            unsigned long long last = 0;
            if (!ParseCount(where.substr(dash + 1), last) || last < first) return std::nullopt;
            transitions.push_back({last + 1, before});
        } else {
            before = static_cast<int>(state);
        }
    }
    std::stable_sort(
        transitions.begin(), transitions.end(),
        [](const Transition& a, const Transition& b) { return a.position < b.position; });
    // Collapse to the state in force from each position on (the last entry
    // naming a position wins).
    std::vector<Transition> effective;
    for (const Transition& t : transitions) {
        if (t.position >= samples) break;
        if (!effective.empty() && effective.back().position == t.position)
            effective.back().state = t.state;
        else
            effective.push_back(t);
    }
    MarkerEdges edges;
    if (effective.empty()) return edges;
    const int endState = effective.back().state;
    int previous = endState; // the cycle wraps around
    if (effective.front().position != 0) {
        if (endState == 1) edges.falling = 0;
        previous = 0;
    }
    for (const Transition& t : effective) {
        if (previous == 0 && t.state == 1 && edges.rising < 0)
            edges.rising = static_cast<long>(t.position);
        if (previous == 1 && t.state == 0 && edges.falling < 0)
            edges.falling = static_cast<long>(t.position);
        previous = t.state;
    }
    return edges;
}

MarkerEdges PulseEdges(long onTime, long offTime, std::size_t samples) {
    MarkerEdges edges;
    const long n = static_cast<long>(samples);
    if (onTime <= 0 || offTime <= 0 || onTime >= n) return edges; // constant line
    const long period = onTime + offTime;
    const bool highAtEnd = (n - 1) % period < onTime;
    if (!highAtEnd)
        edges.rising = 0;
    else if (period < n)
        edges.rising = period;
    edges.falling = onTime;
    return edges;
}

std::optional<std::string> Waveform::Tag(std::string_view tag) const {
    for (const auto& [name, value] : tags)
        if (name == tag) return value;
    return std::nullopt;
}

MarkerEdges Waveform::Marker(int line) const {
    const auto list = Tag("MARKER LIST " + std::to_string(line));
    if (!list) return {};
    return MarkerListEdges(*list, Samples()).value_or(MarkerEdges{});
}

std::optional<Waveform> DecodeWaveform(std::string_view file, bool requireSigned,
                                       std::size_t maxSamples, std::string& why) {
    static_assert(std::endian::native == std::endian::little,
                  "sample words are copied as little-endian");
    Waveform wv;
    std::size_t pos = 0;
    for (;;) {
        if (pos >= file.size() || file[pos] != '{') {
            why = "tag expected at byte " + std::to_string(pos);
            return std::nullopt;
        }
        const std::size_t colon = file.find(':', pos);
        if (colon == std::string_view::npos) {
            why = "tag without ':'";
            return std::nullopt;
        }
        const std::string_view name = file.substr(pos + 1, colon - pos - 1);
        if (name.substr(0, 9) == "WAVEFORM-") {
            unsigned long long length = 0;
            if (!ParseCount(name.substr(9), length) || length < 3) {
                why = "bad WAVEFORM length";
                return std::nullopt;
            }
            if (file.substr(colon + 1, 4) != " 0,#") {
                why = "WAVEFORM tag must continue with \" 0,#\"";
                return std::nullopt;
            }
            const std::size_t data = colon + 5;
            const unsigned long long bytes = length - 3;
            if (bytes % 4 != 0 || data + bytes + 1 != file.size() || file.back() != '}') {
                why = "WAVEFORM length " + std::to_string(length) + " does not match the " +
                      std::to_string(file.size() - data) + " bytes after it";
                return std::nullopt;
            }
            if (bytes / 4 > maxSamples) {
                why = "waveform longer than the ARB memory";
                return std::nullopt;
            }
            wv.words.resize(static_cast<std::size_t>(bytes / 2));
            std::memcpy(wv.words.data(), file.data() + data, static_cast<std::size_t>(bytes));
            break;
        }
        const std::size_t close = file.find('}', colon);
        if (close == std::string_view::npos) {
            why = "tag " + std::string(name) + " not closed";
            return std::nullopt;
        }
        wv.tags.emplace_back(std::string(name),
                             std::string(Trim(file.substr(colon + 1, close - colon - 1))));
        pos = close + 1;
    }

    const auto type = wv.Tag("TYPE");
    const char* expected = requireSigned ? "KLD-WV,0" : "WV,0";
    if (!type || *type != expected) {
        why = std::string("TYPE must be ") + expected;
        return std::nullopt;
    }
    wv.packing = requireSigned ? Waveform::Packing::Signed : Waveform::Packing::OffsetBinary;
    if (const auto samples = wv.Tag("SAMPLES")) {
        unsigned long long n = 0;
        if (!ParseCount(*samples, n) || n != wv.Samples()) {
            why = "SAMPLES tag does not match the data";
            return std::nullopt;
        }
    } else if (requireSigned) {
        why = "SAMPLES tag missing";
        return std::nullopt;
    }
    if (const auto clock = wv.Tag("CLOCK")) {
        const std::string_view c = Trim(*clock);
        const auto r = std::from_chars(c.data(), c.data() + c.size(), wv.clockHz);
        if (r.ec != std::errc() || r.ptr != c.data() + c.size() || !(wv.clockHz > 0)) {
            why = "bad CLOCK tag";
            return std::nullopt;
        }
    }
    if (const auto crest = wv.Tag("CRESTFACTOR")) {
        const std::string_view c = Trim(*crest);
        const auto r = std::from_chars(c.data(), c.data() + c.size(), wv.crestDb);
        if (r.ec != std::errc() || r.ptr != c.data() + c.size() || !(wv.crestDb >= 0) ||
            !std::isfinite(wv.crestDb)) {
            why = "bad CRESTFACTOR tag";
            return std::nullopt;
        }
    }
    for (int line = 1; line <= 4; ++line) {
        const auto list = wv.Tag("MARKER LIST " + std::to_string(line));
        if (list && !MarkerListEdges(*list, wv.Samples())) {
            why = "bad MARKER LIST " + std::to_string(line);
            return std::nullopt;
        }
    }
    return wv;
}

} // namespace simbench

#pragma once
// The make-up of a simulated bench: which instrument family plays each role,
// how each identifies itself, the ports, the amplifier and analyzer models,
// the seed and the faults to show. Read from command-line options and from a
// configuration file of the same keys.

#include "Amplifier.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace simbench {

enum class Family { BOXW, VRTA, KLD, KLI, DANE, HOB, HOC, HOD, External };

std::string_view FamilyName(Family f);
std::optional<Family> FamilyFromName(std::string_view name); // case-insensitive

enum Role : unsigned { ModSourceRole = 1, RfRole = 2, AnalyzerRole = 4 };

// "modsource", "rf", "analyzer"; several roles joined by ','.
std::string RoleNames(unsigned roles);
std::optional<Role> RoleFromName(std::string_view name);

struct Fault {
    enum class Kind {
        Unlock,           // the reference lock queries report "unlocked"
        TriggerUnplugged, // no trigger cable: external-trigger captures come back empty
        Mute,             // after `count` messages the instrument stops answering
        Drop,  // the next block, in or out, is cut in the middle and the connection closed
        Error, // the command with header `header` fails with an execution error
        Slow,  // every answer waits `count` milliseconds
    };
    Kind kind = Kind::Unlock;
    Role role = AnalyzerRole;
    long count = 0;
    std::string header;
};

// Parses "unlock=rf", "trigger-unplugged", "mute=analyzer,3", "drop=analyzer",
// "error=rf,SOUR:POW:LIM", "slow=analyzer,500".
std::optional<Fault> ParseFault(std::string_view text, std::string& why);

struct BenchConfig {
    std::string host = "127.0.0.1";
    Family modSource = Family::BOXW;
    Family rf = Family::VRTA;
    Family analyzer = Family::HOB;
    int portModSource = 0; // 0: an ephemeral port
    int portRf = 0;
    int portAnalyzer = 0;
    std::optional<std::string> idn[3]; // by role index 0 modsource, 1 rf, 2 analyzer
    std::optional<std::string> opt[3];
    unsigned long long seed = 1;
    AmplifierParams amplifier;
    double converterLevelDbm = -10; // PEP of the external converter's full scale
    long triggerLatency = 1;        // samples from the marker edge to the first captured sample
    std::optional<double>
        carrierPhaseDeg;        // generator-to-analyzer phase; drawn from the seed when unset
    double analyzerDanl = -150; // analyzer noise density at 0 dB attenuation, dBm/Hz
    double adcHeadroomDb = 3;   // envelope clipping above the reference level
    std::vector<Fault> faults;
    std::string logDir;
    std::string waveformDir;
    std::string truthFile; // "-" writes to standard output
    // What the server holds for its clients. Input: the bytes of unexecuted
    // messages over all connections, room for two of the largest uploads.
    // Output: the answers one client has not read yet; past it the bench
    // stops taking that client's messages until the client reads.
    std::size_t inputLimitBytes = std::size_t(256) << 20;
    std::size_t outputLimitBytes = std::size_t(4) << 20;
};

// Whether the modulation source and the RF generator are one instrument: the
// measurement treats equal families as one instrument, so the bench does too.
inline bool SharedSource(const BenchConfig& c) {
    return (c.modSource == Family::VRTA && c.rf == Family::VRTA) ||
           (c.modSource == Family::KLD && c.rf == Family::KLD);
}

// Sets one key ("rf", "amp-gain", "fault", ...) from its text value.
bool ApplyOption(BenchConfig& config, std::string_view key, std::string_view value,
                 std::string& why);
// Reads "key = value" lines ('#' starts a comment).
bool LoadConfigFile(BenchConfig& config, const std::string& path, std::string& why);

enum class ParseResult { Run, Help, Error };
// Command line: --key value or --key=value, --config FILE, --help. Options are
// applied in order, so a later option overrides the configuration file.
ParseResult ParseCommandLine(int argc, const char* const* argv, BenchConfig& config,
                             std::string& why);

std::string HelpText();

} // namespace simbench

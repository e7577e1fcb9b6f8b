#pragma once
// The simulated bench as a child process: started with the given options and
// a command-log folder, it serves until the object goes. Its start-up lines
// name the resource of each role.

#include "../support/patience.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

// Options written as one text, split at blanks (for values without blanks).
inline std::vector<std::string> Args(const std::string& text) {
    std::istringstream words(text);
    std::vector<std::string> out;
    for (std::string w; words >> w;)
        out.push_back(w);
    return out;
}

class SimBench {
public:
    explicit SimBench(const std::vector<std::string>& options) {
        QStringList args;
        for (const std::string& o : options)
            args << QString::fromStdString(o);
        args << "--log-dir" << logs.path();
        process.setProgram(QUILLON_SIMBENCH);
        process.setArguments(args);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start();
        if (!process.waitForStarted(kPatientMs)) return;
        std::string pending;
        while (process.waitForReadyRead(kPatientMs) || process.canReadLine()) {
            while (process.canReadLine()) {
                const std::string line = process.readLine().trimmed().toStdString();
                if (line == "READY") {
                    ready = true;
                    return;
                }
                Parse(line);
            }
        }
    }
    ~SimBench() {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;

    // The resource of a role ("modsource", "rf", "analyzer"), empty when the
    // bench has no instrument in it.
    std::string Resource(const std::string& role) const {
        auto it = resources.find(role);
        return it == resources.end() ? std::string() : it->second;
    }
    // Every message the instrument of `logName` ("analyzer", "modsource",
    // "modsource+rf", ...) received, one per line.
    std::vector<std::string> Log(const std::string& logName) const {
        std::ifstream in(logs.filePath(QString::fromStdString(logName + ".log")).toStdString());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    bool ready = false;
    std::map<std::string, std::string> resources; // by role
    std::map<std::string, std::string> families;  // by role
    std::map<std::string, std::string> settings;  // of the BENCH line, by name

private:
    // INSTRUMENT <roles> <family> <resource>, or BENCH <name>=<value> ...
    void Parse(const std::string& line) {
        std::istringstream words(line);
        std::string tag, roles, family, resource;
        words >> tag;
        if (tag == "BENCH") {
            for (std::string word; words >> word;)
                if (const auto eq = word.find('='); eq != std::string::npos)
                    settings[word.substr(0, eq)] = word.substr(eq + 1);
            return;
        }
        words >> roles >> family >> resource;
        if (tag != "INSTRUMENT") return;
        std::istringstream each(roles);
        for (std::string role; std::getline(each, role, ',');) {
            resources[role] = resource;
            families[role] = family;
        }
    }

    QTemporaryDir logs;
    QProcess process;
};

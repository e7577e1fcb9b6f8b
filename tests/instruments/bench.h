#pragma once
// A scripted instrument on the loopback fake server, a recorder of a
// session's signals, a private temporary folder and the command-log reader
// shared by the instrument tests.

#include "../platform/visa_fake_server.h"
#include "VIF.h"

#include <QObject>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

// Grants the tests the session's private parts.
struct VIFTestPeer {
    static std::string TrimAll(const std::string& t) { return VIF::TrimAll(t); }
    static std::string Decode(std::int32_t s) { return VIF::DecodeVISAError(s); }
    static void SetHandle(VIF& v, std::int32_t h) { v.InstrumentHandle = h; }
    static void SaveSet(VIF& v, std::uint32_t attr, std::int32_t value) {
        v.VIFAttrChange(attr, 0, value);
    }
    static void Restore(VIF& v, std::uint32_t attr) { v.VIFAttrChange(attr, 1); }
    static std::int32_t BufRead(VIF& v, std::string& buf, std::int32_t n, std::int32_t& got) {
        return v.VIFviBufRead(v.InstrumentHandle, buf, n, got);
    }
};

// Answers by whole lines: each line has a queue of answers, the last of which
// stays; "SYST:ERR?" takes the queued errors and then reports no error.
class Instrument {
public:
    void On(const std::string& line, std::vector<std::string> answers) {
        std::lock_guard<std::mutex> g(lock_);
        answers_[line] = std::deque<std::string>(answers.begin(), answers.end());
    }
    void QueueErrors(const std::vector<std::string>& errors) {
        std::lock_guard<std::mutex> g(lock_);
        errors_.insert(errors_.end(), errors.begin(), errors.end());
    }
    // An error entry that appears once the line has been received.
    void ErrorAfter(const std::string& line, const std::string& error) {
        std::lock_guard<std::mutex> g(lock_);
        errorAfter_[line] = error;
    }
    std::vector<FakeStep> Answer(const std::string& line) {
        std::lock_guard<std::mutex> g(lock_);
        if (auto e = errorAfter_.find(line); e != errorAfter_.end()) errors_.push_back(e->second);
        auto it = answers_.find(line);
        if (it != answers_.end() && !it->second.empty()) {
            std::string a = it->second.front();
            if (it->second.size() > 1) it->second.pop_front();
            if (a.empty()) return {};
            return {Send(a)};
        }
        if (line == "SYST:ERR?") {
            if (errors_.empty()) return {Send("0,\"No error\"\n")};
            std::string e = errors_.front();
            errors_.pop_front();
            return {Send(e + "\n")};
        }
        return {};
    }

private:
    std::mutex lock_;
    std::map<std::string, std::deque<std::string>> answers_;
    std::map<std::string, std::string> errorAfter_;
    std::deque<std::string> errors_;
};

struct Bench {
    std::shared_ptr<Instrument> inst = std::make_shared<Instrument>();
    FakeScpiServer server{[i = inst](const std::string& line) { return i->Answer(line); }};
    std::string Resource() const { return server.Resource(); }
};

// The signals of a session as text lines, progress values apart.
struct Events {
    std::vector<std::string> lines;
    std::vector<float> progress;
    explicit Events(VIF& v) {
        QObject::connect(&v, &VIF::VIFSCPIError,
                         [this](const std::string& c, const std::string& e) {
                             lines.push_back("SCPI|" + c + "|" + e);
                         });
        QObject::connect(&v, &VIF::VIFCommandExecuted, [this](const std::string& c, bool ok) {
            lines.push_back("EXEC|" + c + "|" + (ok ? "1" : "0"));
        });
        QObject::connect(&v, &VIF::VIFVIFError, [this](const std::string& c, const std::string& e) {
            lines.push_back("VIF|" + c + "|" + e);
        });
        QObject::connect(&v, &VIF::VIFInformation,
                         [this](const std::string& m) { lines.push_back("INFO|" + m); });
        QObject::connect(&v, &VIF::VIFProgress, [this](float p) { progress.push_back(p); });
    }
};

// A fresh folder that is also the process's temporary folder, so that left
// temporary files can be counted.
struct TempFolder {
    std::filesystem::path path;
    std::string oldTmp;
    TempFolder() {
        const char* t = std::getenv("TMPDIR");
        oldTmp = t != nullptr ? t : "";
        std::string pattern = (std::filesystem::path("/tmp") / "quillon_vif_XXXXXX").string();
        path = ::mkdtemp(pattern.data());
        ::setenv("TMPDIR", path.c_str(), 1);
    }
    ~TempFolder() {
        if (oldTmp.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", oldTmp.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(path))
            if (e.path().filename().string().rfind(prefix, 0) == 0) ++n;
        return n;
    }
};

inline std::string ReadAll(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The command log's lines (each ends with CR LF).
inline std::vector<std::string> LogLines(const std::string& file) {
    std::string all = ReadAll(file);
    std::vector<std::string> lines;
    std::size_t start = 0, end;
    while ((end = all.find("\r\n", start)) != std::string::npos) {
        lines.push_back(all.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// A line against a pattern in which "<A>" stands for one or more upper-case
// hex digits (an address), "<N>" for one or more decimal digits and
// everything else for itself.
inline bool Like(std::string_view line, std::string_view pattern) {
    while (!pattern.empty()) {
        const bool hex = pattern.substr(0, 3) == "<A>";
        const bool dec = pattern.substr(0, 3) == "<N>";
        if (hex || dec) {
            auto ok = [&](char c) {
                return (c >= '0' && c <= '9') || (hex && c >= 'A' && c <= 'F');
            };
            std::size_t n = 0;
            while (n < line.size() && ok(line[n]))
                ++n;
            if (n == 0) return false;
            // Shortest first, so that a digit after the token can still match.
            for (std::size_t k = 1; k <= n; ++k)
                if (Like(line.substr(k), pattern.substr(3))) return true;
            return false;
        }
        if (line.empty() || line.front() != pattern.front()) return false;
        line.remove_prefix(1);
        pattern.remove_prefix(1);
    }
    return line.empty();
}

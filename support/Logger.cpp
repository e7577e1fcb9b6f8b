#include "Logger.h"

#include "Services.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

std::string Digits(int value, std::size_t width) {
    std::string s = std::to_string(value);
    if (s.size() < width) s.insert(0, width - s.size(), '0');
    return s;
}

} // namespace

bool Logger::OpenLog(const std::string& fileName, bool clear) {
    fileName_ = fileName;
    std::error_code ec;
    if (clear && std::filesystem::exists(fileName, ec)) {
        // Emptied and released again: every line opens the file for itself.
        std::FILE* f = std::fopen(fileName.c_str(), "wb");
        if (!f) return false;
        std::fclose(f);
    }
    return true;
}

void Logger::CloseLog(const std::string&) {}

bool Logger::Log(const std::string& text, bool endLine) {
    if (!endLine) {
        buffer_ += text;
        return true;
    }
    std::string line = buffer_ + text;
    buffer_.clear();
    if (timeStamp_) line = FormatTimeStamp(Services::Clock().Now(), timeStampHiRes_) + " | " + line;
    return WriteLogLine(line);
}

std::string Logger::FormatTimeStamp(const QDateTime& time, bool hiRes) {
    const QDate d = time.date();
    const QTime t = time.time();
    std::string stamp = Digits(d.year(), 4) + "-" + Digits(d.month(), 2) + "-" +
                        Digits(d.day(), 2) + " " + Digits(t.hour(), 2) + ":" +
                        Digits(t.minute(), 2) + ":" + Digits(t.second(), 2);
    if (hiRes) stamp += ":" + Digits(t.msec(), 4);
    return stamp;
}

bool Logger::WriteLogLine(const std::string& text) {
    if (fileName_.empty()) return false;
    std::FILE* f = std::fopen(fileName_.c_str(), "ab");
    if (!f) return false;
    const std::string line = text + "\r\n";
    const bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    return std::fclose(f) == 0 && written;
}

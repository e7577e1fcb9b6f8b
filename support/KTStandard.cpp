#include "KTStandard.h"

#include "RootDebug.h"
#include "Services.h"
#include "StringOp.h"

#include <QFileInfo>
#include <filesystem>
#include <system_error>

#ifndef QUILLON_VERSION_MAJOR
#error "the build passes the program's version numbers"
#endif

namespace KTStandard {

namespace {

std::string Digits(int value, int width) {
    std::string s = std::to_string(value < 0 ? -value : value);
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return value < 0 ? "-" + s : s;
}

std::string Number(int value) {
    return StringOp::StripLineEnds(std::to_string(value));
}

} // namespace

TimeRecord ToTimeRecord(const QDateTime& time) {
    const QDate d = time.date();
    const QTime t = time.time();
    TimeRecord r;
    r.Year = static_cast<std::int16_t>(d.year());
    r.Month = static_cast<std::int16_t>(d.month());
    r.Day = static_cast<std::int16_t>(d.day());
    r.Hour = static_cast<std::int16_t>(t.hour());
    r.Minute = static_cast<std::int16_t>(t.minute());
    r.Second = static_cast<std::int16_t>(t.second());
    r.Milliseconds = static_cast<std::int16_t>(t.msec());
    return r;
}

TimeRecord GetNowTimeRecord() {
    return ToTimeRecord(Services::Clock().Now());
}

std::string GetISOTimeString(const TimeRecord& time) {
    return GetISOTimeString(time, General::RootDebugInstance());
}

std::string GetISOTimeString(const TimeRecord& time, RootDebug& trace) {
    RootDebug::Scope scope(trace, "KTStandard", "", "GetISOTimeString");
    return Digits(time.Year, 4) + "-" + Digits(time.Month, 2) + "-" + Digits(time.Day, 2) + " " +
           Digits(time.Hour, 2) + ":" + Digits(time.Minute, 2) + ":" + Digits(time.Second, 2) +
           "." + Digits(time.Milliseconds, 4);
}

std::string AboutVersionText(int major, int minor, int revision, const QDateTime& fileTime) {
    std::string text = major == 0 ? "ALPHA " : "Version " + Number(major) + ".";
    text += Number(minor);
    if (revision != 0 && major != 0) text += " BETA " + Number(revision);
    const QDate d = fileTime.date();
    const QTime t = fileTime.time();
    text += " from " + Digits(d.day(), 2) + "." + Digits(d.month(), 2) + "." + Digits(d.year(), 4);
    if (revision != 0)
        text +=
            " " + Digits(t.hour(), 2) + ":" + Digits(t.minute(), 2) + ":" + Digits(t.second(), 2);
    return text;
}

std::string GetAboutFormVersion() {
    RootDebug& trace = General::RootDebugInstance();
    RootDebug::Scope scope(trace, "KTStandard", "", "GetAboutFormVersion");
    // The zero date, which is what an unreadable file time shows.
    QDateTime fileTime(QDate(1899, 12, 30), QTime(0, 0));
    std::error_code ec;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    const QFileInfo info(QString::fromStdString(program.string()));
    if (!ec && info.exists()) {
        fileTime = info.lastModified();
    } else {
        trace.LogRuntimeError("KTStandard", "", "GetAboutFormVersion", "",
                              RuntimeError{53, "KTStandard", "File not found"});
    }
    return AboutVersionText(QUILLON_VERSION_MAJOR, QUILLON_VERSION_MINOR, QUILLON_VERSION_PATCH,
                            fileTime);
}

} // namespace KTStandard

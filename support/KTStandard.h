#pragma once
// Small services the windows and the diagnostics share: the local time as a
// record with milliseconds, its ISO-like text and the about box's version
// line. (The caption height lives with the widgets, in support/windows.)

#include <QDateTime>
#include <cstdint>
#include <string>

class RootDebug;

namespace KTStandard {

// The platform's system-time layout.
struct TimeRecord {
    std::int16_t Year = 0;
    std::int16_t Month = 0;
    std::int16_t DayOfWeek = 0; // never filled
    std::int16_t Day = 0;
    std::int16_t Hour = 0;
    std::int16_t Minute = 0;
    std::int16_t Second = 0;
    std::int16_t Milliseconds = 0;
};

TimeRecord ToTimeRecord(const QDateTime& time);
// One reading of the clock service, so date, time and milliseconds agree.
TimeRecord GetNowTimeRecord();

// "2005-10-25 14:03:07.0123": four-digit milliseconds. Traced on the program's
// diagnostics object, or on `trace` when given.
std::string GetISOTimeString(const TimeRecord& time);
std::string GetISOTimeString(const TimeRecord& time, RootDebug& trace);

// "Version 3.2 from 25.10.2005", "Version 3.2 BETA 7 from 25.10.2005 14:03:07",
// "ALPHA 9 from 25.10.2005": the program's version and its file's date.
std::string GetAboutFormVersion();
std::string AboutVersionText(int major, int minor, int revision, const QDateTime& fileTime);

} // namespace KTStandard

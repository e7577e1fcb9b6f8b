#pragma once
// A plain text log file written line by line. A line can be assembled from
// several pieces; each finished line gets a time stamp. Every line is
// appended by opening the file, writing and closing it again, so other
// programs can read the file between lines.

#include <QDateTime>
#include <string>

class Logger {
public:
    // Keeps the file name; with `clear`, an existing file is emptied. False
    // when the file could not be emptied.
    bool OpenLog(const std::string& fileName, bool clear);
    // Nothing is held open between lines, so there is nothing to release;
    // the argument is not used.
    void CloseLog(const std::string& unused = {});
    // With `endLine` false the text waits in the line buffer; with true the
    // buffer and the text make one line. False when no file has been named or
    // the line could not be written (the line is then dropped).
    bool Log(const std::string& text, bool endLine);

    bool SafeMode() const { return true; }
    bool TimeStamp() const { return timeStamp_; }
    bool TimeStampHiRes() const { return timeStampHiRes_; }

    // "2005-10-25 14:03:07", or "2005-10-25 14:03:07:0123" with milliseconds.
    static std::string FormatTimeStamp(const QDateTime& time, bool hiRes);

private:
    bool WriteLogLine(const std::string& text);

    std::string fileName_;
    bool timeStamp_ = true;
    bool timeStampHiRes_ = false;
    std::string buffer_;
};

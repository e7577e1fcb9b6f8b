#pragma once
// The HTML measurement report of the last run: the document built from the
// shared state, its picture folder, and the show and save commands of the
// main window's menu.
//
// The document is Latin-1 with every other character as a character
// reference; operator texts, instrument answers and file names are escaped.
// Pictures are PNG files in "<file name>_IMG" beside the report, linked
// relatively so that a report and its folder can be moved together.

#include <QDateTime>
#include <array>
#include <string>
#include <string_view>

// What the report reads from the equipment setup window: the texts of its
// analyzer list and of its reference-source list.
struct ReportSetupTexts {
    std::string AnalyzerList;
    std::string RefList;
};

namespace HtmlReport {

inline constexpr const char* DefaultFileName = "CurrentReport.html";

// The text of the document (UTF-8, CR LF line ends, without the final line
// end the writer adds). `decimal` is the regional decimal separator;
// `pictureLinks` are the links of pictures 0..8 as they appear in the src
// attribute, an empty one for a picture that is missing.
std::string BuildDocument(const ReportSetupTexts& setup, const QDateTime& now, char decimal,
                          const std::array<std::string, 9>& pictureLinks);

// &, <, >, " and ' as character entities.
std::string Escape(std::string_view text);

// UTF-8 text as Latin-1 bytes; characters beyond Latin-1 (and bytes that are
// not UTF-8) become numeric character references.
std::string ToLatin1(std::string_view utf8);

// Writes folder/fileName, with the report items the options chose, and with
// item 2 saves the pictures first. The file is replaced only when it has been
// written completely. A failure is shown to the operator in a message box and
// answered false; nothing of the run's data changes either way.
bool WriteHtmlReport(const std::string& folder, const std::string& fileName,
                     const ReportSetupTexts& setup);

// "Show Measurement Report": writes CurrentReport.html into the program's
// folder and hands it to the desktop's viewer.
bool ShowMeasurementReport(const std::string& programFolder, const ReportSetupTexts& setup);

// "Save Measurement Report": asks for a file name (starting in
// `initialFolder`) and writes the report there; false when cancelled.
bool SaveMeasurementReport(const std::string& initialFolder, const ReportSetupTexts& setup);

} // namespace HtmlReport

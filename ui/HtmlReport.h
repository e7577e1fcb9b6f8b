#pragma once
// The HTML measurement report of the last run: the document built from the
// shared state, its picture folder, and the show and save commands of the
// main window's menu.
//
// The document is Latin-1 with every other character as a character
// reference; operator texts, instrument answers and file names are escaped.
// Pictures are PNG files in "<file name>_IMG" beside the report, linked
// relatively so that a report and its folder can be moved together, and shown
// at their own size.

#include <QDateTime>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
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

// One picture as the document shows it: its link as it appears in the src
// attribute (empty for a picture that is missing) and its own size.
struct PictureLink {
    std::string link;
    QSize size;
};

// The text of the document (UTF-8, CR LF line ends, without the final line
// end the writer adds). `decimal` is the regional decimal separator.
std::string BuildDocument(const ReportSetupTexts& setup, const QDateTime& now, char decimal,
                          const std::array<PictureLink, 9>& pictures);

// The report texts (operator, company, device, comments) as the settings file
// and the shared state hold them: Latin-1, as they always have been, and
// UTF-8 where the text holds a character beyond Latin-1. InfoText reads
// either; StoredInfoText chooses Latin-1 where it reads back as the same text.
QString InfoText(std::string_view stored);
std::string StoredInfoText(const QString& text);

// &, <, >, " and ' as character entities.
std::string Escape(std::string_view text);

// UTF-8 text as Latin-1 bytes; characters beyond Latin-1 (and bytes that are
// not UTF-8) become numeric character references.
std::string ToLatin1(std::string_view utf8);

// Writes folder/fileName, with the report items the options chose, and with
// item 2 its pictures. Every new file is written completely beside the old
// one before any old one is replaced, and a failure while replacing puts the
// old ones back, so a report is either wholly new or wholly old. A failure is
// shown to the operator in a message box and answered false; nothing of the
// run's data changes either way.
bool WriteHtmlReport(const std::string& folder, const std::string& fileName,
                     const ReportSetupTexts& setup);

// Tests only: called with each file's path just before it replaces the old
// one; false makes that replacement fail as a failing rename would. An empty
// function restores the default.
void SetReplaceCheckForTest(std::function<bool(const QString& path)> check);

// "Show Measurement Report": writes CurrentReport.html into the program's
// folder and hands it to the desktop's viewer; true once the desktop's
// launcher has started. A launcher that finds no viewer is reported when it
// ends, as a failure to start one is at once.
bool ShowMeasurementReport(const std::string& programFolder, const ReportSetupTexts& setup);

// "Save Measurement Report": asks for a file name (starting in
// `initialFolder`) and writes the report there, adding ".html" to a name
// without an extension (asking first before that replaces a file); false when
// cancelled.
bool SaveMeasurementReport(const std::string& initialFolder, const ReportSetupTexts& setup);

} // namespace HtmlReport

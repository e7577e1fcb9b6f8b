#pragma once
// What the about box shows about the system and about installed files: the
// system folders, a readable operating-system version, the version data and
// dates of a file; and opening documents and links with the desktop.
//
// Version data is the binary version-information block of Windows files
// (fixed file information, string tables, translations). Files here carry
// none, except the program's own executable, whose block is made from the
// build's version; a host or test can supply the data for other files.

#include <QDateTime>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QUrl;

namespace VersionInfo {

struct FileVersionRecord {
    std::string Comments;
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion; // a.b.c.d
    std::string InternalName;
    std::string LegalCopyright;
    std::string LegalTrademarks;
    std::string OriginalFileName;
    std::string ProductName;
    std::string ProductVersion; // a.b.c.d
    std::string PrivateBuild;
    std::string SpecialBuild;
    std::string FileFlags; // "Debug PreRel " ...
    std::string FileOS;
    std::string FileType;
    std::string FileSubType;
    std::string Summary;
    std::string Label;
    QDateTime DateCreated; // invalid when unknown
    QDateTime DateLastAccessed;
    QDateTime DateLastModified;
};

// Opens a file, document or link (http:, mailto:, ...) with the desktop's
// default handler. Like the shell call it stands for, the result is greater
// than 32 on success, 2 when the target is neither an existing file nor a
// link, and 31 when nothing could open it.
std::int32_t ShellOpen(const std::string& target);

// How ShellOpen hands a target to the desktop; true when it was opened. An
// empty function restores the default (the desktop services of Qt).
using UrlOpener = std::function<bool(const QUrl&)>;
void SetUrlOpener(UrlOpener opener);

// The operating system's installation folder ("/usr").
std::string GetWindowsDir();
// The folder of the system's shared libraries (where the C library lives).
std::string GetSystemDir();
// Distribution, kernel and kernel build, for example
// "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64, build #1 SMP ...".
std::string GetOSVersionText();

// The version record of a file. A missing file fills only Summary ("File ...
// not found!"); a file without version data gives an entirely empty record.
FileVersionRecord GetFileVersionText(const std::string& file);

// The string `key` of the string table `langCodePage` (8 hexadecimal digits,
// language then code page); "" when there is none.
std::string GetStringFileInfo(const std::vector<std::uint8_t>& versionData, const std::string& key,
                              const std::string& langCodePage);

// High and low 16 bits, as signed numbers (a half of 65535 gives -1).
std::int16_t HiWord(std::int32_t value);
std::int16_t LoWord(std::int32_t value);

// Where GetFileVersionText gets a file's version data; an empty result means
// none. An empty function restores the default.
using VersionDataProvider = std::function<std::vector<std::uint8_t>(const std::string& file)>;
void SetVersionDataProvider(VersionDataProvider provider);

} // namespace VersionInfo

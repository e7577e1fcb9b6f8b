// Builds and writes the HTML measurement report.

#include "HtmlReport.h"

#include "CrossMix.h"
#include "General.h"
#include "HOx.h"
#include "IQFileReader.h"
#include "Leveling.h"
#include "NumberText.h"
#include "RunState.h"
#include "Services.h"
#include "StringOp.h"

#include <QBuffer>
#include <QByteArrayView>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace HtmlReport {
namespace {

constexpr const char* kCRLF = "\r\n";
constexpr const char* kTableStart = "<table border=1 cellspacing=0 bordercolor=#555555>";
constexpr const char* kMiddleDot = "\xC2\xB7";
constexpr const char* kDatePattern = "mmm dd, yyyy hh:mm:ss";
constexpr const char* kErrorTitle = "REPORT ERROR";

// The document and the number style it is written in.
class Doc {
public:
    explicit Doc(char decimal) : decimal_(decimal) {}

    void Line(std::string_view text) {
        text_ += text;
        text_ += kCRLF;
    }
    void Raw(std::string_view text) { text_ += text; }
    void RowStart() { Line("  <tr>"); }
    void RowEnd() { Line("  </tr>"); }
    void Label(std::string_view label) {
        Line("    <td bgcolor=#CCCCCC width=170><B>" + std::string(label) + "</B></td>");
    }
    void Value(std::string_view value) {
        Line("    <td bgcolor=#FFFFFF width=160>" + std::string(value) + "</td>");
    }
    void WideValue(std::string_view value) {
        Line("    <td bgcolor=#FFFFFF width=500>" + std::string(value) + "</td>");
    }
    void Pair(std::string_view label, std::string_view value) {
        Label(label);
        Value(value);
    }
    void WideRow(std::string_view label, std::string_view value) {
        RowStart();
        Label(label);
        WideValue(value);
        RowEnd();
    }

    std::string Fmt(double value, std::string_view pattern) const {
        return NumberText::FormatNumber(value, pattern, decimal_);
    }
    // The shortest text of a number, with the regional separator.
    std::string GeneralForm(double value) const {
        std::string s = NumberText::Plain(value);
        if (s.starts_with(".")) s.insert(0, "0");
        if (s.starts_with("-.")) s.insert(1, "0");
        std::replace(s.begin(), s.end(), '.', decimal_);
        return s;
    }

    const std::string& Text() const { return text_; }

private:
    char decimal_;
    std::string text_;
};

std::string Trim(std::string_view text) {
    return StringOp::TrimWhite(text);
}

// The text without a multi-byte UTF-8 character cut short at its end.
std::string_view WithoutCutCharacter(std::string_view text) {
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto c = static_cast<unsigned char>(text[text.size() - back]);
        if ((c & 0xC0) == 0x80) continue; // a continuation byte: its start lies further back
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? text.substr(0, text.size() - back) : text;
    }
    return text;
}

// A text of the shared state (settings file, instrument answers) as UTF-8.
std::string Utf8(std::string_view stored) {
    return InfoText(stored).toStdString();
}

const SweepPoint* LastPoint() {
    return General::SweepPoints.empty() ? nullptr : &General::SweepPoints.back();
}

// A value of the last point with its pattern and unit; empty without a point.
std::string PointValue(const Doc& d, double SweepPoint::*field, std::string_view pattern,
                       std::string_view unit) {
    const SweepPoint* p = LastPoint();
    return p ? d.Fmt(p->*field, pattern) + std::string(unit) : std::string();
}

// The last element of a result array with its pattern and unit; empty when
// the array is.
std::string LastValue(const Doc& d, const std::vector<double>& values, std::string_view pattern,
                      std::string_view unit) {
    return values.empty() ? std::string() : d.Fmt(values.back(), pattern) + std::string(unit);
}

std::string AnalyzerName(const std::string& listText) {
    if (listText.starts_with("DANE")) return "DANE+DANE-R7D";
    if (listText.starts_with("PAVT")) return "PAVT";
    return listText.substr(0, 3);
}

std::string ModulatorName(std::int32_t type) {
    switch (type) {
    case 0:
        return "BOXW";
    case 1:
        return "VRTA-R4Q";
    case 2:
        return "KLD-R2M/R2N";
    default:
        return "unknown";
    }
}

std::string ConverterName(std::int32_t type) {
    switch (type) {
    case 0:
        return "EXTERNAL";
    case 1:
        return "VRTA";
    case 2:
        return "KLD";
    default:
        return "unknown";
    }
}

struct SignalTexts {
    std::string type, parameters;
};

SignalTexts TestSignalTexts(const Doc& d) {
    SignalTexts t;
    const std::string rate = PointValue(d, &SweepPoint::Rate, "#0.0##", "");
    const std::string length =
        ", " + NumberText::Plain(static_cast<double>(General::NoiseLength)) + " samples";
    switch (General::SignalType) {
    case 0:
        t.type = "Bandlimited Noise";
        t.parameters = "Bandwidth " + rate + " MHz, Init Value " +
                       Trim(NumberText::Plain(General::NoiseSeed)) + length;
        break;
    case 1:
        t.type = "Dual Tone";
        t.parameters = "Tone Spacing" + rate + " MHz (from each other)" + length;
        break;
    case 2:
        t.type =
            "Plenwave file: " + Escape(QString::fromLocal8Bit(General::PlenwavePath).toStdString());
        t.parameters = Escape(IQFileReader::WaveFileInfoLine(General::WaveHeader));
        break;
    default:
        break;
    }
    t.type += ", clock rate " + d.Fmt(General::NoiseClock, "##0.0####") + " MHz";
    return t;
}

// "y = (c0) · x<sup>0</sup> + ... " ending in one blank; empty without
// coefficients.
std::string Equation(const Doc& d, const std::vector<double>& coefficients) {
    if (coefficients.empty()) return {};
    std::string text = "y = ";
    for (std::size_t k = 0; k < coefficients.size(); ++k)
        text += "(" + d.Fmt(coefficients[k], "0.00000E+0") + ") " + kMiddleDot + " x<sup>" +
                d.GeneralForm(static_cast<double>(k)) + "</sup> + ";
    text.resize(text.size() - 2);
    return text;
}

std::string AnalyzerBaseband(const Doc& d) {
    return d.Fmt(HOx::IQSampleRate / 1e6, "##0.000") + " MHz sampling rate, " +
           d.GeneralForm(HOx::IQSamples) + " samples, " + d.GeneralForm(General::RBW / 1e6) +
           " MHz baseband filter";
}

void Head(Doc& d, const std::string& date) {
    d.Line("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"");
    d.Line("\"http://www.w3.org/TR/html4/loose.dtd\">");
    d.Line("<html>");
    d.Line("<head>");
    d.Line("<title>Quillon Measurement Report, generated " + date + "</title>");
    // On screen every picture shows at its own size; on paper a picture wider
    // than its share of the page shrinks to fit, keeping its proportions.
    d.Line("<style type=\"text/css\" media=print>img { max-width: 100%; height: auto }</style>");
    d.Line("</head>");
    d.Line("<body>");
}

std::string OrDashes(const std::string& text) {
    return text.empty() ? std::string("---") : Escape(Trim(Utf8(text)));
}

void ReportInformations(Doc& d, const std::string& date) {
    d.Line("<H1 align=center>General Results</H1>");
    d.Line("<H2 align=center>Report Informations</H2>");
    d.Line(kTableStart);
    std::string generated = date;
    if (!General::Company.empty()) generated += " by " + Escape(Trim(Utf8(General::Company)));
    d.RowStart();
    d.Pair("Report Generated", generated);
    d.Pair("Operator", OrDashes(General::Operator));
    d.RowEnd();
    d.RowStart();
    d.Pair("Device under test", OrDashes(General::DUT));
    d.Pair("Comments", OrDashes(General::Note));
    d.RowEnd();
    d.Line("  </table>");
}

void InstrumentSetup(Doc& d, const ReportSetupTexts& setup) {
    d.Line("<H2 align=center>Instrument Setup</H2>");
    d.Line(kTableStart);
    d.RowStart();
    d.Pair("Baseband generator", ModulatorName(General::ModulatorType));
    d.Pair("IQ Modulator", ConverterName(General::RFConverterType));
    d.RowEnd();
    d.RowStart();
    d.Pair("Signal Analyzer", Escape(Trim(AnalyzerName(setup.AnalyzerList))));
    d.Pair("10 MHz Reference Frequency by", Escape(Trim(setup.RefList)));
    d.RowEnd();
    d.Line("</table>");
    d.Line("<BR>");
    d.Line(kTableStart);
    d.WideRow("BB Generator ID", Escape(Utf8(General::ModSourceID)));
    d.WideRow("IQ Modulator", Escape(Utf8(General::RFSourceID)));
    d.WideRow("Analyzer ID", Escape(Utf8(General::AnalyzerID)));
    d.Line("</table>");
}

void RFSignalSetup(Doc& d) {
    d.Line("<H2 align=center>RF Signal Setup</H2>");
    d.Line(kTableStart);
    d.RowStart();
    d.Pair("IQ Modulator<BR>Frequency", PointValue(d, &SweepPoint::GenFreq, "###0.0#", " MHz"));
    d.Pair("Analyzer<BR>Frequency", PointValue(d, &SweepPoint::AnaFreq, "###0.0#", " MHz"));
    d.RowEnd();
    d.RowStart();
    d.Pair("DUT<BR>Target RMS input level", d.Fmt(General::TargetLevel, "###0.0") + " dBm");
    d.Pair("DUT<BR>Dwell time", d.Fmt(General::ApplyAndMeasurement, "###0") + " s");
    d.RowEnd();
    d.RowStart();
    d.Pair("IQ Modulator RF<BR>RMS Level",
           d.Fmt(Leveling::InputRMSLevel(General::GenRMSLevel), "#0.0#") + " dBm");
    d.Pair("Analyzer<BR>Ref Level", d.Fmt(General::AnaRefLevel, "##0.0#") + " dBm");
    d.RowEnd();
    d.RowStart();
    d.Pair("IQ Modulator RF<BR>Peak Level Limit",
           d.Fmt(General::MaximumPeakGeneratorLevel, "#0.0") + " dBm");
    d.Pair("RF Analyzer<BR>RF Attenuation", d.Fmt(General::AnaRFAttenuation, "#0") + " dB");
    d.RowEnd();
    d.Line("</table>");
}

void BasebandSetup(Doc& d) {
    const SignalTexts signal = TestSignalTexts(d);
    d.Line("<H2 align=center>Baseband Setup</H2>");
    d.Line(kTableStart);
    d.WideRow("Test Signal Type", signal.type + ", Baseband Filter:" +
                                      NumberText::Plain(static_cast<double>(General::IQFilter)) +
                                      " ");
    d.WideRow("Parameters", signal.parameters);
    d.WideRow("Analyzer Baseband Setup", AnalyzerBaseband(d));
    d.Line("</table>");
}

void NumericResults(Doc& d) {
    d.Line("<H2 align=center>Numeric Measurement Results</H2>");
    d.Line("<H3 align=center>Auto Leveling</H3>");
    d.Line(kTableStart);
    d.RowStart();
    d.Label("RMS Output Level");
    d.Label("Gain");
    d.RowEnd();
    d.RowStart();
    d.Value(LastValue(d, General::LevelOutput, "#0.00", " dBm"));
    d.Value(LastValue(d, General::LevelGain, "#0.00", " dB"));
    d.RowEnd();
    d.Line("</table>");
    d.Line("<H3 align=center>Misc Parameters</H3>");
    d.Line(kTableStart);
    d.RowStart();
    d.Pair("Crest Factor<BR>Amplifier Input", d.Fmt(General::CrestIn, "#0.00") + " dB");
    d.Pair("Crest Factor<BR>Amplifier Output", d.Fmt(General::CrestOut, "#0.00") + " dB");
    d.RowEnd();
    d.RowStart();
    d.Pair("Noise @ Generator OFF", d.Fmt(General::NoiseGenOff, "#0.00") + " dBm/Hz");
    d.Pair("Dynamic Margin<BR>(negativ = overload)",
           d.Fmt(General::DynamicMargin, "#0.00") + " dBfs");
    d.RowEnd();
    d.Line("</table>");
}

void GridHeader(Doc& d, std::string_view title, double fullScale) {
    d.Line("    <td bgcolor=#CCCCCC width=160 align=center><B>" + std::string(title) +
           "</B><BR>(1 = " + d.Fmt(fullScale, "##0.0#") + " dBm)</td>");
}

// The gridded curves side by side; the longer grid sets the row count and
// the shorter one leaves its cells out.
void GriddedTable(Doc& d) {
    const auto& s = General::SignalStore;
    d.Line(kTableStart);
    d.RowStart();
    const double inputScale = Leveling::FullScaleLevel(General::GenRMSLevel);
    GridHeader(d, "Input Amplitude [lin]", inputScale);
    const double gain = General::CurveGain > 0 ? 20 * std::log10(General::CurveGain) : 0.0;
    GridHeader(d, "Output Amplitude [lin]", General::AnaRefLevel + gain);
    GridHeader(d, "Input Amplitude [lin]", inputScale);
    d.Line("    <td bgcolor=#CCCCCC width=160 align=center><B>Phase Difference [rad]</B></td>");
    d.RowEnd();
    const std::size_t amam = std::min(s[30].size(), s[31].size());
    const std::size_t ampm = std::min(s[32].size(), s[33].size());
    for (std::size_t i = 0; i < std::max(amam, ampm); ++i) {
        d.RowStart();
        for (std::size_t slot : {std::size_t{30}, std::size_t{32}}) {
            if (i >= (slot == 30 ? amam : ampm)) continue;
            d.Value(d.Fmt(s[slot][i], "0.0000000E+00"));
            d.Value(d.Fmt(s[slot + 1][i], "0.0000000E+00"));
        }
        d.RowEnd();
    }
    d.Line("</table>");
}

void NonlinearParameters(Doc& d) {
    d.Raw("<H1 align=center style=\"page-break-before:always\">Nonlinear Parameters</H1>");
    d.Line("<H2 align=center>Polynomial Representation</H2>");
    d.Line(kTableStart);
    d.WideRow("AM/AM<BR>Equation", Equation(d, General::AMAMCoeff));
    d.WideRow("AM/PM<BR>Equation", Equation(d, General::AMPMCoeff));
    d.WideRow("AM/AM<BR>Inverse Equation", Equation(d, General::AMAMPreCoeff));
    d.WideRow("AM/PM<BR>Inverse Equation", Equation(d, General::AMPMPreCoeff));
    d.Line("</table>");
    d.Line("<H2 align=center>Gridded Representation</H2>");
    GriddedTable(d);
}

// A picture at its own size: a picture rendered for the report is never
// stretched or squeezed by the page.
std::string Image(const PictureLink& picture) {
    if (picture.link.empty()) return {};
    return "<img src=\"" + picture.link + "\" " + " width=" + std::to_string(picture.size.width()) +
           " height=" + std::to_string(picture.size.height()) + ">";
}

void GraphicalResults(Doc& d, const std::array<PictureLink, 9>& pictures) {
    d.Raw("<H1 align=center style=\"page-break-before:always\">Graphical Results - Detailed</H1>");
    d.Line(kTableStart);
    for (std::size_t row = 0; row < 4; ++row) {
        d.RowStart();
        for (std::size_t n = 2 * row; n < 2 * row + 2; ++n)
            d.Line("    <td bgcolor=#FFFFFF width=300>" + Image(pictures[n]));
        d.RowEnd();
    }
    d.Line("</table>");
    d.Raw("<H1 align=center>graphical results - ACP result</H1>");
    d.Line(Image(pictures[8]));
}

// The picture folder's name beside a report file.
std::string PictureFolderName(const std::string& fileName) {
    return fileName + "_IMG";
}

std::string PictureFileName(std::size_t n) {
    return "IMG" + std::to_string(n) + ".png";
}

// Message texts are Latin-1.
void ShowError(const QString& text) {
    Services::Messages().Message(kErrorTitle, text.toLatin1().toStdString(),
                                 Services::MsgIcon::Critical, Services::MsgButtons::OK);
}

std::function<bool(const QString&)>& ReplaceCheck() {
    static std::function<bool(const QString&)> check;
    return check;
}

bool Rename(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// The file a path finally stands for: a report or picture reached through a
// link is replaced at the link's target, as QSaveFile writes it.
QString Resolved(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? path : target;
}

// One file of the report. Stage writes the new content whole beside the old
// file (or notes that the file is to go); Replace puts it in place and keeps
// the old file aside; Restore puts the old file back; DropOld lets it go once
// the whole report is in place.
class ReportFile {
public:
    explicit ReportFile(const QString& path)
        : path_(path), target_(Resolved(path)), save_(target_) {}

    bool Stage(const std::optional<QByteArray>& bytes) {
        if (!bytes) {
            // a picture missing now takes its old file along, but never a folder
            remove_ = true;
            target_ = path_;
            return true;
        }
        if (!save_.open(QIODevice::WriteOnly)) return Fail(save_.errorString());
        if (save_.write(*bytes) != bytes->size() || !save_.flush()) {
            const QString error = save_.errorString();
            save_.cancelWriting();
            return Fail(error);
        }
        return true;
    }

    bool Replace() {
        if (ReplaceCheck() && !ReplaceCheck()(path_)) return Fail("it could not be put in place");
        const QFileInfo old(target_);
        if (remove_ && !old.isFile() && !old.isSymLink()) return true;
        if (old.exists() || old.isSymLink()) {
            QString aside;
            do {
                aside =
                    target_ + ".old-" + QString::number(QRandomGenerator::global()->generate(), 36);
            } while (QFileInfo::exists(aside));
            if (!Rename(target_, aside)) return Fail(QString::fromLocal8Bit(std::strerror(errno)));
            old_ = aside;
        }
        replaced_ = true;
        if (remove_ || save_.commit()) return true;
        return Fail(save_.errorString());
    }

    void Restore() {
        if (!replaced_) return;
        if (old_.isEmpty())
            QFile::remove(target_);
        else
            Rename(old_, target_);
    }

    void DropOld() {
        if (!old_.isEmpty()) QFile::remove(old_);
    }

    const QString& Path() const { return path_; }
    const QString& Error() const { return error_; }

private:
    bool Fail(const QString& error) {
        error_ = error;
        return false;
    }

    QString path_, target_, old_, error_;
    QSaveFile save_;
    bool remove_ = false, replaced_ = false;
};

std::optional<QByteArray> Png(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return std::nullopt;
    return png;
}

// Pictures 0..8 staged in the picture folder, with the links the document
// gives them; false (with the operator told) when one cannot be.
bool StagePictures(const QString& folder, const std::string& folderName,
                   std::vector<std::unique_ptr<ReportFile>>& files,
                   std::array<PictureLink, 9>& links) {
    const QByteArray encodedFolder = QUrl::toPercentEncoding(QString::fromStdString(folderName));
    for (std::size_t n = 0; n < links.size(); ++n) {
        const QString name = QString::fromStdString(PictureFileName(n));
        auto& file = files.emplace_back(std::make_unique<ReportFile>(folder + "/" + name));
        const QImage& image = General::Pictures[n];
        std::optional<QByteArray> png;
        if (!image.isNull()) {
            png = Png(image);
            if (!png) {
                ShowError("The picture " + file->Path() + " could not be encoded.");
                return false;
            }
            links[n] = {Escape(encodedFolder.toStdString() + "/" + name.toStdString()),
                        image.size()};
        }
        if (!file->Stage(png)) {
            ShowError("The picture " + file->Path() + " could not be saved: " + file->Error());
            return false;
        }
    }
    return true;
}

// Puts every staged file in place, the page last; on a failure every file
// already replaced gets its old version back.
bool ReplaceAll(std::vector<std::unique_ptr<ReportFile>>& files) {
    for (std::size_t k = 0; k < files.size(); ++k) {
        if (files[k]->Replace()) continue;
        for (std::size_t j = k + 1; j-- > 0;)
            files[j]->Restore();
        const bool page = k + 1 == files.size();
        ShowError((page ? "The measurement report " : "The picture ") + files[k]->Path() +
                  (page ? " could not be written: " : " could not be saved: ") + files[k]->Error());
        return false;
    }
    for (auto& file : files)
        file->DropOld();
    return true;
}

} // namespace

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string ToLatin1(std::string_view utf8) {
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    std::string out;
    out.reserve(utf8.size());
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        char32_t code = it->unicode();
        if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
            code = QChar::surrogateToUcs4(*it, *(it + 1));
            ++it;
        }
        if (code < 256)
            out += static_cast<char>(code);
        else
            out += "&#" + std::to_string(static_cast<std::uint32_t>(code)) + ";";
    }
    return out;
}

std::string BuildDocument(const ReportSetupTexts& setup, const QDateTime& now, char decimal,
                          const std::array<PictureLink, 9>& pictures) {
    Doc d(decimal);
    const std::string date = NumberText::FormatDateTime(NumberText::BrokenDown(now), kDatePattern);
    Head(d, date);
    if (General::PrintItem[0]) {
        ReportInformations(d, date);
        InstrumentSetup(d, setup);
        RFSignalSetup(d);
        BasebandSetup(d);
        NumericResults(d);
    }
    if (General::PrintItem[1]) NonlinearParameters(d);
    if (General::PrintItem[2]) GraphicalResults(d, pictures);
    d.Line("</body>");
    d.Raw("</html>");
    return d.Text();
}

QString InfoText(std::string_view stored) {
    const QByteArrayView bytes(stored.data(), static_cast<qsizetype>(stored.size()));
    if (bytes.isValidUtf8()) return QString::fromUtf8(bytes);
    // The settings file's reader takes a text up to a byte count, which may
    // cut a UTF-8 character short at its end.
    const std::string_view whole = WithoutCutCharacter(stored);
    const QByteArrayView rest(whole.data(), static_cast<qsizetype>(whole.size()));
    const bool hasMultiByte = std::any_of(
        whole.begin(), whole.end(), [](char c) { return static_cast<unsigned char>(c) > 127; });
    if (whole.size() < stored.size() && hasMultiByte && rest.isValidUtf8())
        return QString::fromUtf8(rest);
    return QString::fromLatin1(bytes);
}

std::string StoredInfoText(const QString& text) {
    const bool latin1 =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 256; });
    if (latin1) {
        std::string bytes = text.toLatin1().toStdString();
        if (InfoText(bytes) == text) return bytes;
    }
    return text.toUtf8().toStdString();
}

void SetReplaceCheckForTest(std::function<bool(const QString& path)> check) {
    ReplaceCheck() = std::move(check);
}

bool WriteHtmlReport(const std::string& folder, const std::string& fileName,
                     const ReportSetupTexts& setup) {
    const QString dir = QString::fromStdString(folder);
    const std::string folderName = PictureFolderName(fileName);
    const QString pictures = dir + "/" + QString::fromStdString(folderName);
    std::vector<std::unique_ptr<ReportFile>> files;
    std::array<PictureLink, 9> links;
    bool madeFolder = false;
    // A failed write takes back what it made: its staged files and a picture
    // folder it created.
    auto fail = [&] {
        files.clear();
        if (madeFolder) QDir().rmdir(pictures);
        return false;
    };
    if (General::PrintItem[2]) {
        if (!QFileInfo(pictures).isDir()) {
            if (!QDir(dir).mkdir(QString::fromStdString(folderName))) {
                ShowError("The picture folder " + pictures + " could not be created.");
                return false;
            }
            madeFolder = true;
        }
        if (!StagePictures(pictures, folderName, files, links)) return fail();
    }
    const std::string document =
        BuildDocument(setup, Services::Clock().Now(), NumberText::RegionalDecimal(), links);
    const QByteArray bytes = QByteArray::fromStdString(ToLatin1(document) + kCRLF);
    auto& page = files.emplace_back(
        std::make_unique<ReportFile>(dir + "/" + QString::fromStdString(fileName)));
    if (!page->Stage(bytes)) {
        ShowError("The measurement report " + page->Path() +
                  " could not be written: " + page->Error());
        return fail();
    }
    if (!ReplaceAll(files)) return fail();
    return true;
}

bool ShowMeasurementReport(const std::string& programFolder, const ReportSetupTexts& setup) {
    if (!WriteHtmlReport(programFolder, DefaultFileName, setup)) return false;
    const QString path = QDir(QString::fromStdString(programFolder)).filePath(DefaultFileName);
    // The launcher may find no viewer in the middle of a run, whose status
    // list then says so at once; the box would halt the run until answered,
    // so it waits for the run's end.
    const auto noViewer = [path] {
        const QString text = "No viewer could open the measurement report " + path + ".";
        if (RunState::UnderWay()) CrossMix::AddStatus(text.toLatin1().toStdString());
        RunState::AfterRun([text] { ShowError(text); });
    };
    // The desktop's launcher may find no viewer long after it started.
    if (Services::UrlOpener().Open(QUrl::fromLocalFile(path).toString().toStdString(),
                                   [noViewer](bool opened) {
                                       if (!opened) noViewer();
                                   }))
        return true;
    noViewer();
    return false;
}

bool SaveMeasurementReport(const std::string& initialFolder, const ReportSetupTexts& setup) {
    const std::string chosen = Services::FileDialogs().SaveFile(
        "Save Measurement Report", initialFolder, "HTML report file (*.html);;all files (*.*)");
    QFileInfo info(QString::fromLocal8Bit(chosen));
    if (info.fileName().isEmpty()) return false;
    if (info.suffix().isEmpty()) {
        // The dialog asked about replacing the name as typed, not this one.
        const QString name = info.filePath();
        info.setFile(name.endsWith('.') ? name + "html" : name + ".html");
        if (info.exists() && Services::Messages().Message(
                                 "Save Measurement Report",
                                 (info.fileName() + " already exists.\nDo you want to replace it?")
                                     .toLatin1()
                                     .toStdString(),
                                 Services::MsgIcon::Question,
                                 Services::MsgButtons::YesNo) != Services::MsgAnswer::Yes)
            return false;
    }
    return WriteHtmlReport(info.absolutePath().toStdString(), info.fileName().toStdString(), setup);
}

} // namespace HtmlReport

// Builds and writes the HTML measurement report.

#include "HtmlReport.h"

#include "General.h"
#include "HOx.h"
#include "IQFileReader.h"
#include "Leveling.h"
#include "NumberText.h"
#include "Services.h"
#include "StringOp.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <cmath>
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
        t.type = "Plenwave file: " + Escape(General::PlenwavePath);
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
    d.Line("</head>");
    d.Line("<body>");
}

std::string OrDashes(const std::string& text) {
    return text.empty() ? std::string("---") : Escape(Trim(text));
}

void ReportInformations(Doc& d, const std::string& date) {
    d.Line("<H1 align=center>General Results</H1>");
    d.Line("<H2 align=center>Report Informations</H2>");
    d.Line(kTableStart);
    std::string generated = date;
    if (!General::Company.empty()) generated += " by " + Escape(Trim(General::Company));
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
    d.WideRow("BB Generator ID", Escape(General::ModSourceID));
    d.WideRow("IQ Modulator", Escape(General::RFSourceID));
    d.WideRow("Analyzer ID", Escape(General::AnalyzerID));
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
    GridHeader(d, "Output Amplitude [lin]", General::AnaRefLevel);
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

std::string Image(const std::string& link, std::string_view size) {
    return link.empty() ? std::string()
                        : "<img src=\"" + link + "\" " + " " + std::string(size) + ">";
}

void GraphicalResults(Doc& d, const std::array<std::string, 9>& links) {
    d.Raw("<H1 align=center style=\"page-break-before:always\">Graphical Results - Detailed</H1>");
    d.Line(kTableStart);
    for (std::size_t row = 0; row < 4; ++row) {
        d.RowStart();
        for (std::size_t n = 2 * row; n < 2 * row + 2; ++n)
            d.Line("    <td bgcolor=#FFFFFF width=300>" + Image(links[n], "width=301 height=157"));
        d.RowEnd();
    }
    d.Line("</table>");
    d.Raw("<H1 align=center>graphical results - ACP result</H1>");
    d.Line(Image(links[8], "width=602 height=314"));
}

// The picture folder's name beside a report file.
std::string PictureFolderName(const std::string& fileName) {
    return fileName + "_IMG";
}

std::string PictureFileName(std::size_t n) {
    return "IMG" + std::to_string(n) + ".png";
}

void ShowError(const std::string& text) {
    Services::Messages().Message(kErrorTitle, text, Services::MsgIcon::Critical,
                                 Services::MsgButtons::OK);
}

// Writes bytes to a file, replacing an older one only once everything is on
// disk; the error text on failure.
std::string SaveReplacing(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
    if (file.write(bytes) != bytes.size()) {
        const std::string error = file.errorString().toStdString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit()) return file.errorString().toStdString();
    return {};
}

// Saves pictures 0..8 into the picture folder; the relative links of those
// saved. A missing picture gets no file (an older one of its name is
// removed) and no link.
bool SavePictures(const QString& folder, const std::string& fileName,
                  std::array<std::string, 9>& links) {
    const std::string folderName = PictureFolderName(fileName);
    const QString path = folder + "/" + QString::fromStdString(folderName);
    if (!QDir().mkpath(path)) {
        ShowError("The picture folder " + path.toStdString() + " could not be created.");
        return false;
    }
    const QByteArray encodedFolder = QUrl::toPercentEncoding(QString::fromStdString(folderName));
    for (std::size_t n = 0; n < links.size(); ++n) {
        const QString picture = path + "/" + QString::fromStdString(PictureFileName(n));
        const QImage& image = General::Pictures[n];
        if (image.isNull()) {
            QFile::remove(picture);
            continue;
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        if (std::string error = SaveReplacing(picture, png); !error.empty()) {
            ShowError("The picture " + picture.toStdString() + " could not be saved: " + error);
            return false;
        }
        links[n] = Escape(encodedFolder.toStdString() + "/" + PictureFileName(n));
    }
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
                          const std::array<std::string, 9>& pictureLinks) {
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
    if (General::PrintItem[2]) GraphicalResults(d, pictureLinks);
    d.Line("</body>");
    d.Raw("</html>");
    return d.Text();
}

bool WriteHtmlReport(const std::string& folder, const std::string& fileName,
                     const ReportSetupTexts& setup) {
    const QString dir = QString::fromStdString(folder);
    std::array<std::string, 9> links;
    if (General::PrintItem[2] && !SavePictures(dir, fileName, links)) return false;
    const std::string document =
        BuildDocument(setup, Services::Clock().Now(), NumberText::RegionalDecimal(), links);
    const std::string bytes = ToLatin1(document) + kCRLF;
    const QString path = dir + "/" + QString::fromStdString(fileName);
    if (std::string error = SaveReplacing(path, QByteArray::fromStdString(bytes)); !error.empty()) {
        ShowError("The measurement report " + path.toStdString() +
                  " could not be written: " + error);
        return false;
    }
    return true;
}

bool ShowMeasurementReport(const std::string& programFolder, const ReportSetupTexts& setup) {
    if (!WriteHtmlReport(programFolder, DefaultFileName, setup)) return false;
    const QString path = QDir(QString::fromStdString(programFolder)).filePath(DefaultFileName);
    if (Services::UrlOpener().Open(QUrl::fromLocalFile(path).toString().toStdString())) return true;
    ShowError("No viewer could open the measurement report " + path.toStdString() + ".");
    return false;
}

bool SaveMeasurementReport(const std::string& initialFolder, const ReportSetupTexts& setup) {
    const std::string chosen = Services::FileDialogs().SaveFile(
        "Save Measurement Report", initialFolder, "HTML files (*.html *.htm);;All files (*)");
    if (chosen.empty()) return false;
    const QFileInfo info(QString::fromStdString(chosen));
    return WriteHtmlReport(info.absolutePath().toStdString(), info.fileName().toStdString(), setup);
}

} // namespace HtmlReport

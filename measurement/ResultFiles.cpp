// The I/Q point file and the curve file.

#include "ResultFiles.h"

#include "General.h"
#include "NumberText.h"
#include "Services.h"
#include "StringOp.h"

#include <QSaveFile>
#include <array>
#include <string_view>

namespace DISC {
namespace {

const std::vector<double>& Slot(std::size_t k) {
    return General::SignalStore[k];
}

double At(const std::vector<double>& v, std::size_t i) {
    return i < v.size() ? v[i] : 0.0;
}

std::string Signed(double v, std::string_view pattern) {
    return SignPrefix(v) + StringOp::FormatDot(v, pattern);
}

bool WriteWhole(const std::string& fileName, const std::string& text) {
    QSaveFile file(QString::fromStdString(fileName));
    return file.open(QIODevice::WriteOnly) &&
           file.write(text.data(), qint64(text.size())) == qint64(text.size()) && file.commit();
}

void Failed(const std::string& fileName) {
    Services::Messages().Message("Save", "The file " + fileName + " could not be written.",
                                 Services::MsgIcon::Critical, Services::MsgButtons::OK);
}

} // namespace

std::string SignPrefix(double value) {
    return value > 0 ? "+" : "";
}

bool SaveIQPointFile(const std::string& fileName) {
    static constexpr std::array names = {"  POINT",    " INPUT I ", " INPUT Q ",  "OUTPUT I",
                                         "OUTPUT Q",   "INPUT AMP", "OUTPUT AMP", "INPUT PHA",
                                         "OUTPUT PHA", "PHASE DIFF"};
    // The degree sign is the single byte 0xB0 of the file's code page.
    static constexpr std::array units = {"   NR. ",    "  [LIN]  ",    "  [LIN]  ",  " [LIN]  ",
                                         " [LIN]  ",   "  [LIN]  ",    "  [LIN]   ", "  [rad]  ",
                                         "   [rad]  ", "   [\xB0]    "};
    std::string text;
    for (const auto* row : {&names, &units}) {
        for (std::size_t k = 0; k < row->size(); ++k)
            text += std::string(k ? "\t" : "") + (*row)[k];
        text += "\r\n";
    }
    text += "\r\n";
    const std::size_t n = Slot(0).size();
    text.reserve(text.size() + n * 110);
    for (std::size_t i = 0; i < n; ++i) {
        text += StringOp::FormatDot(double(i + 1), "00000000");
        for (std::size_t s = 0; s < 4; ++s)
            text += "\t" + Signed(At(Slot(s), i), "00.00000");
        text += "\t" + StringOp::FormatDot(At(General::InputAmplitude, i), "00.000000");
        text += "\t" + StringOp::FormatDot(At(General::OutputAmplitude, i), "00.000000");
        text += "\t" + Signed(At(General::InputPhase, i), "00.00000");
        text += "\t" + Signed(At(General::OutputPhase, i), "00.00000");
        text += "\t" + Signed(At(General::PhaseDifference, i), "000.000000") + "\r\n";
    }
    return WriteWhole(fileName, text);
}

std::string AMPMFileText(char decimal) {
    auto value = [&](double v) {
        return SignPrefix(v) + NumberText::FormatNumber(v, "0.000000", decimal);
    };
    auto pairs = [&](std::size_t xs, std::size_t ys, const char* separator) {
        std::string out;
        for (std::size_t k = 0; k < Slot(xs).size(); ++k)
            out += "    " + value(Slot(xs)[k]) + separator + value(At(Slot(ys), k)) + "\r\n";
        return out;
    };
    const std::string equals(46, '='), dashes(46, '-');
    return " RESULTS OF AM/AM AND AM/PM CURVE CALCULATION\r\n" + equals + "\r\n" +
           "  AM/AM curve data as value pairs\r\n" + dashes + "\r\n" +
           " input amplitude | output amplitude\r\n" + "      [lin]      |       [lin]\r\n" +
           pairs(30, 31, "    |    ") + equals + "\r\n" + "  AM/PM curve data as value pairs\r\n" +
           dashes + "\r\n" + " input amplitude | phase difference\r\n" +
           "      [lin]      |      [rad]\r\n" + pairs(32, 33, "    |   ");
}

void SaveAMPMFile() {
    if (!General::DataPresent) {
        ShowNoRunMessage();
        return;
    }
    const std::string fileName =
        Services::FileDialogs().SaveFile("AM/AM- and AM/PM data file", "", "all files (*)");
    if (fileName.empty()) return;
    if (!WriteWhole(fileName, AMPMFileText(NumberText::RegionalDecimal()))) Failed(fileName);
}

void ShowNoRunMessage() {
    Services::Messages().Message("NO DATA", "You have to run a measurement first!",
                                 Services::MsgIcon::Information, Services::MsgButtons::OK);
}

} // namespace DISC

// Predistorting an external I/Q file, and the debug dump of the test signal.

#include "PredistortFile.h"

#include "CrossMix.h"
#include "DSP.h"
#include "General.h"
#include "IEC.h"
#include "IECMacros.h"
#include "IQFileReader.h"
#include "Services.h"
#include "SetHandle.h"
#include "StringOp.h"
#include "TestSigGen.h"
#include "VIF.h"
#include "WVClass.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <optional>

namespace PredistortFile {
namespace {

void Tell(const std::string& text, Services::MsgIcon icon = Services::MsgIcon::Warning) {
    CrossMix::AddStatus(text);
    Services::Messages().Message("Predistore Existing File", text, icon, Services::MsgButtons::OK);
}

bool HasCurve(const std::vector<double>& coeff) {
    return std::any_of(coeff.begin(), coeff.end(), [](double c) { return c != 0.0; });
}

// The method box's leading number, rounded; nullopt when cancelled, so that
// cancelling applies nothing instead of silently choosing AM only.
std::optional<std::int16_t> AskMode() {
    const std::string answer =
        Services::InputBoxes().InputBox("Disto: (0: AM, 1:PM, 2:AM+PM)", "distoring method", "2");
    if (StringOp::TrimWhite(answer).empty()) return std::nullopt;
    const auto v = StringOp::LeadingNumber(answer);
    if (!v || std::abs(*v) > 32767) return std::int16_t{-1};
    return std::int16_t(std::nearbyint(*v));
}

bool ReadFile(const std::string& path, std::vector<double>& I, std::vector<double>& Q,
              WaveFileHeader& header) {
    std::int32_t status = 0, got = 0;
    IQFileReader::OpenWaveFile(header, path, status);
    if (status == IQFileReader::StatusOK)
        status = IQFileReader::ReadWaveData(I, Q, header.PairCount, got);
    IQFileReader::CloseWaveFile();
    if (status != IQFileReader::StatusOK || got != header.PairCount || got <= 0) {
        Tell("The file " + path + " cannot be read as an I/Q file (status " +
             std::to_string(status) + "). Nothing was uploaded.");
        return false;
    }
    if (!DSP::IntMath().ArrayNormalizeIQ(I, Q, I, Q, 1.0)) {
        Tell("The file " + path +
             " holds no signal (all zero or not finite). Nothing was uploaded.");
        return false;
    }
    return true;
}

void SetUpWaveform(const std::string& name, const WaveFileHeader& header,
                   const std::vector<double>& I, const std::vector<double>& Q) {
    WVClass& wv = General::TestSignal();
    if (General::ModulatorType >= 0 && General::ModulatorType <= 2)
        wv.SetARBType(General::ModulatorType);
    wv.SetSamples(std::int32_t(I.size()));
    wv.SetFileDate(Services::Clock().Now().toString("yyyy-MM-dd-hh:mm:ss").toStdString());
    wv.SetClockInHz(header.ClockHz);
    wv.SetComment(General::WVTagComment);
    wv.SetCopyRight(General::WVTagCopyRight);
    wv.SetFileName(name);
    wv.SetCrestFactor(DSP::IntMath().ArrayCrestIQ(I, Q));
}

} // namespace

std::string NameProblem(const std::string& name) {
    if (name.empty()) return "The instrument file name is empty.";
    if (name.size() > 64) return "The instrument file name is longer than 64 characters.";
    for (unsigned char c : name)
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\'')
            return "The instrument file name may hold no quotes, control or non-ASCII characters.";
    return {};
}

void DistExFile_Click() {
    if (!General::DataPresent ||
        !(HasCurve(General::AMAMPreCoeff) || HasCurve(General::AMPMPreCoeff))) {
        Tell("There are no predistortion curves yet: measure the amplifier first.");
        return;
    }
    const std::string path = Services::FileDialogs().OpenFile(
        "select file for predistortion", General::PlenwavePath, "IQ-File (*.ibn);;all files (*)");
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return;
    std::vector<double> I, Q, distI, distQ;
    WaveFileHeader header;
    if (!ReadFile(path, I, Q, header)) return;
    const auto mode = AskMode();
    if (!mode) return;
    TestSigGen::DistortTestSignal(I, Q, distI, distQ, *mode);
    const std::string name = StringOp::TrimWhite(Services::InputBoxes().InputBox(
        "Please enter file name for the instrument", "FILE NAME", "QUILEXT"));
    if (name.empty()) return;
    if (const std::string problem = NameProblem(name); !problem.empty()) {
        Tell(problem + " Nothing was uploaded.");
        return;
    }
    const auto session = IEC::Instance().ModSourVIF();
    if (!session) {
        Tell(
            "There is no modulation source: run the instrument setup first. Nothing was uploaded.");
        return;
    }
    SetUpWaveform(name, header, distI, distQ);
    if (General::TestSignal().UploadWV(*session, distI, distQ, 4096) != WVClass::UploadOK) {
        Tell("The predistorted waveform " + name + " could not be uploaded.");
        return;
    }
    if (!IECMacros::LoadARBWaveform(name)) {
        Tell("The predistorted waveform " + name + " could not be loaded into the ARB.");
        return;
    }
    CrossMix::AddStatus("predistorted file " + path + " loaded as " + name);
}

std::string DumpFileName() {
    return (std::filesystem::path(SetHandle::ProgramFolder()) / "QuillonTest.BIN").string();
}

void DumpIt_Click() {
    TestSigGen::MakeNoiseSignal();
    QByteArray bytes;
    bytes.reserve(qsizetype(4 * (General::TestSignalI.size() + General::TestSignalQ.size())));
    for (const auto* part : {&General::TestSignalI, &General::TestSignalQ})
        for (double v : *part) {
            const quint32 le = qToLittleEndian(std::bit_cast<quint32>(float(v)));
            bytes.append(reinterpret_cast<const char*>(&le), 4);
        }
    // Rewritten whole: an older, longer dump must not keep its tail.
    QSaveFile file(QString::fromStdString(DumpFileName()));
    const bool ok =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (ok) {
        Services::Messages().Message("Dump Signal", "DONE.", Services::MsgIcon::Information,
                                     Services::MsgButtons::OK);
    } else {
        Tell("The test signal could not be written to " + DumpFileName() + ".");
    }
}

} // namespace PredistortFile

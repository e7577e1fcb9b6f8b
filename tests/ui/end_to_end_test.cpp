// The whole program against the simulated bench, driven as a test program
// drives it: settings and registry in a temporary folder, remote control on a
// free port, "SETUP;", "START;" and "FINISHED?;" polled until the run ends.
// The fitted curves are then held against the bench's true amplifier. Texts
// typed into the settings windows that are no number (or levels no
// instrument can set) refuse the start before anything reaches the bench.

#include "../instruments/bench_truth.h"
#include "ACPSetup.h"
#include "ButtonForm.h"
#include "Configure.h"
#include "DSP.h"
#include "General.h"
#include "HtmlReport.h"
#include "MainForm.h"
#include "NumberText.h"
#include "RemoteServer.h"
#include "ResultForm.h"
#include "RunState.h"
#include "SetupGUI.h"
#include "Verification.h"
#include "browser_view.h"
#include "remote_run.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

namespace {

struct EndToEnd : RemoteRunFixture {
    // Every message each of the bench's instruments has received.
    static std::vector<std::vector<std::string>> Logs(const SimBench& bench) {
        std::vector<std::vector<std::string>> logs;
        for (const char* name : {"modsource", "rf", "analyzer", "modsource+rf"})
            logs.push_back(bench.Log(name));
        return logs;
    }
    // Types into the box as the operator does, its old text selected and
    // replaced key by key, and presses Start; what the start showed.
    std::vector<std::string> TypeAndStart(QLineEdit* box, const char* text) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
        EXPECT_EQ(box->text().toStdString(), text);
        big.shown.clear();
        ButtonForm::Instance().StartB->click();
        return big.shown;
    }
};

std::string NoNumber(const std::string& caption, const std::string& text) {
    return caption + ": \"" + text + "\" is not a valid number! Please enter correct value";
}

} // namespace

TEST_F(EndToEnd, ARemoteRunMeasuresTheBenchAmplifier) {
    const std::string truthFile = folder.filePath("truth.txt").toStdString();
    SimBench bench(Args("--truth-file " + truthFile));
    ASSERT_TRUE(bench.ready);
    RemoteRun run(folder.path().toStdString(), bench);
    MainForm& main = run.main;
    ASSERT_TRUE(main.Remote().IsListening());
    EXPECT_EQ(run.Ask("IS_READY?;"), "IS_READY:0;") << "nothing to start before the discovery";
    // An output level of -5 dBm, 10 dB below the amplifier's saturation: the
    // signal's peaks reach into compression, where the curves have something
    // to show.
    ASSERT_TRUE(run.Setup("LEVEL:-5;SETUP;")) << (status.lines.empty() ? "" : status.lines.back());

    // Measurement with all three predistortion variants verified.
    ButtonForm::Instance().Mode[1]->click();
    for (QCheckBox* variant : ButtonForm::Instance().Dist)
        variant->setChecked(true);

    ASSERT_TRUE(run.Start()) << General::RunErrorText;
    EXPECT_GT(run.busyPolls, 0) << "the queries were answered while the run was in progress";
    // A plausibility question would stop a remote run until someone answers.
    for (const std::string& text : big.shown)
        EXPECT_EQ(text.find("Continue?"), std::string::npos) << text;
    EXPECT_TRUE(General::DataPresent) << General::RunErrorText;
    EXPECT_EQ(General::RunErrorText, "");
    const auto rf = bench.Log("rf");
    ASSERT_FALSE(rf.empty());
    EXPECT_EQ(rf.back() == "SYST:ERR?" ? rf[rf.size() - 2] : rf.back(), "OUTP:STAT OFF");

    // Compression and phase rotation against input power over the top 20 dB,
    // relative to the smallest level compared, as the truth table gives them.
    // The generator level the leveling found is the peak envelope power of
    // the amplifier's input (the leveling gain adds the crest factor back).
    const auto& ref = General::SignalStore;
    double peak = 0;
    for (std::size_t k = 0; k < ref[0].size(); ++k)
        peak = std::max(peak, std::hypot(ref[0][k], ref[1][k]));
    const double top = General::GenRMSLevel;
    const MathClass& math = DSP::IntMath();
    double gain0 = 0, phase0 = 0, truthGain0 = 0, truthPhase0 = 0, worstGain = 0, worstPhase = 0;
    int rows = 0;
    for (const TruthRow& t : ReadTruth(truthFile)) {
        if (t.pin < top - 20 || t.pin > top) continue;
        const double x = std::pow(10.0, (t.pin - top) / 20) * peak;
        const double gain = 20 * std::log10(math.PolyCalc(General::AMAMCoeff, x) / x);
        const double phase = math.PolyCalc(General::AMPMCoeff, x) * 180 / M_PI;
        if (rows++ == 0) gain0 = gain, phase0 = phase, truthGain0 = t.gain, truthPhase0 = t.phase;
        if (std::getenv("E2E_DUMP"))
            std::printf("pin %.2f x %.4f gain %.3f truth %.3f phase %.2f truth %.2f\n", t.pin, x,
                        gain, t.gain, phase, t.phase);
        worstGain = std::max(worstGain, std::abs((gain - gain0) - (t.gain - truthGain0)));
        worstPhase = std::max(worstPhase, std::abs((phase - phase0) - (t.phase - truthPhase0)));
    }
    EXPECT_GT(rows, 40);
    EXPECT_LT(worstGain, 0.2) << "dB";
    EXPECT_LT(worstPhase, 2.0) << "degrees";
    std::printf("end to end: %d truth rows, worst AM/AM %.3f dB, worst AM/PM %.3f deg\n", rows,
                worstGain, worstPhase);

    // Every variant was uploaded under its own name, captured and evaluated.
    const auto mod = bench.Log("modsource");
    for (const char* name : {"'QUILAM--'", "'QUIL--PM'", "'QUILAMPM'"})
        EXPECT_TRUE(std::any_of(mod.begin(), mod.end(), [&](const std::string& l) {
            return l.rfind(std::string("MMEM:DATA ") + name, 0) == 0;
        })) << name;
    ASSERT_GE(General::SweepPoints.size(), 2u);
    const auto& power = General::SweepPoints[1].ChannelPower;
    for (int r = 0; r < 3; ++r)
        EXPECT_NE(power[std::size_t(r)][3], 0.0) << "row " << r;
    for (int k = 2; k < 5; ++k)
        EXPECT_FALSE(General::ChannelPowers[std::size_t(k)].empty()) << k;
    // AM+PM, the variant verified last, against the amplifier without it.
    const double lower = power[2][2] - power[1][2], upper = power[2][4] - power[1][4];
    EXPECT_GE(lower, 10.0) << "dB better in the lower adjacent channel";
    EXPECT_GE(upper, 10.0) << "dB better in the upper adjacent channel";
    // The measured predistorted spectrum against its simulation, over the
    // main channel.
    const auto& measured = General::ChannelPowers[4];
    const auto& simulated = Verification::Run::Instance().Current().DisplaySpectrum;
    // Both are spectra of noise: bins scatter, so the shapes are compared by
    // their mean difference after the mean offset. The offset itself is the
    // lower drive of the predistorted waveform: scaled to the converter's
    // full scale, its larger crest factor plays at a lower RMS level than the
    // simulation assumes.
    double offset = 0, residual = 0;
    ASSERT_EQ(measured.size(), simulated.size());
    ASSERT_FALSE(measured.empty());
    const double binsPerMHz = double(measured.size()) / (General::SamplingRate / 1e6);
    const auto centre = std::ptrdiff_t(measured.size() / 2);
    const auto half = std::ptrdiff_t(General::ACP.MainBW / 2 * binsPerMHz * 0.9);
    const double bins = double(2 * half + 1);
    for (std::ptrdiff_t k = centre - half; k <= centre + half; ++k)
        offset += (measured[std::size_t(k)] - simulated[std::size_t(k)]) / bins;
    for (std::ptrdiff_t k = centre - half; k <= centre + half; ++k)
        residual += std::abs(measured[std::size_t(k)] - simulated[std::size_t(k)] - offset) / bins;
    EXPECT_LT(residual, 1.0) << "dB between the measured and simulated spectrum shapes";
    std::printf("end to end: ACP improvement with AM+PM %.1f dB (lower) %.1f dB (upper); "
                "measured spectrum %.2f dB from the simulated one, shapes within %.2f dB on "
                "average in the main channel\n",
                lower, upper, offset, residual);

    // The report of this run, as a browser shows it.
    ReportSetupTexts texts;
    General::PrintItem = {true, true, true, true};
    ASSERT_TRUE(
        HtmlReport::WriteHtmlReport(folder.path().toStdString(), "CurrentReport.html", texts));
    const BrowserView view = LoadInBrowser(folder.filePath("CurrentReport.html"));
    ASSERT_TRUE(view.error.empty()) << view.error;
    EXPECT_EQ(view.images.size(), 9);
    for (const QString& image : view.images)
        EXPECT_GT(image.section('=', -1).toInt(), 0) << image.toStdString();
    const std::string crest = NumberText::FormatNumber(General::CrestIn, "0.00") + " dB";
    EXPECT_TRUE(view.cells.contains(QString::fromStdString(crest))) << crest;

    EXPECT_GT(ResultForm::Instance().parentWidget()->height(), main.ClientArea()->height() / 2)
        << "the result window keeps the height the main window gave it";
}

TEST_F(EndToEnd, ATextThatIsNoNumberForItsSettingRefusesTheStartBeforeAnythingIsSent) {
    SimBench bench(Args(""));
    ASSERT_TRUE(bench.ready);
    RemoteRun run(folder.path().toStdString(), bench);
    ASSERT_TRUE(run.Setup("SETUP;")) << (status.lines.empty() ? "" : status.lines.back());
    SetupGUI& setup = SetupGUI::Instance();
    // A remote level reaches the target box only as a text the box takes: one
    // it would refuse leaves the box and the target as they were, with a
    // status line naming it, so that no later start stops at a dialog. The
    // answer to the query that follows it comes once the level has been read.
    const auto remote = [&](const char* command) {
        status.lines.clear();
        run.client.write(command);
        return run.Ask("IS_READY?;");
    };
    EXPECT_EQ(remote("LEVEL: -7 ;"), "IS_READY:1;");
    EXPECT_EQ(General::TargetLevel, -7.0f);
    const std::string level = setup.TargetPower->text().toStdString();
    // -10 with 40000 blanks inside: one number, but the box would keep only
    // its first 32767 characters, and with them another number.
    const std::string longTen = "-1" + std::string(40000, ' ') + "0";
    for (const auto& [command, value] :
         {std::pair<std::string, std::string>{"LEVEL:-10dBm;", "-10dBm"},
          {"LEVEL:1e400;", "1e400"},
          {"LEVEL:;", ""},
          // a level the start would refuse: refused now, not by a box at the start
          {"LEVEL:100;", "100"},
          {"LEVEL:" + longTen + ";", longTen}}) {
        SCOPED_TRACE(command.substr(0, 20));
        EXPECT_EQ(remote(command.c_str()), "IS_READY:1;");
        EXPECT_EQ(setup.TargetPower->text().toStdString(), level);
        EXPECT_EQ(General::TargetLevel, -7.0f);
        EXPECT_EQ(status.lines, std::vector<std::string>{std::string("Remote LEVEL: value \"") +
                                                         value + "\" refused."});
    }
    Configure::Show();
    Configure& options = Configure::Instance();
    QPointer<ACPSetup> acp = ACPSetup::Open();
    const auto sent = Logs(bench);
    using Lines = std::vector<std::string>;
    const struct {
        QLineEdit* box;
        const char* text;
        Lines refusals;
    } cases[] = {
        // 10000 on the way to 1e400: once the limit of the DUT's protection
        {setup.RefPowLim, "1e400", {NoNumber("Peak level limit [dBm]", "1e400")}},
        {setup.TargetPower, "1e400", {NoNumber("Target RMS level [dBm]", "1e400")}},
        {setup.TargetPower, "", {NoNumber("Target RMS level [dBm]", "")}},
        {setup.Delay, "0.5s", {NoNumber("Delay [s]", "0.5s")}},
        {setup.NoiseInit, "40000", {NoNumber("Noise init", "40000")}},
        {setup.BOXWClock, "1e", {NoNumber("Clock [MHz]", "1e")}},
        {setup.GenFreq,
         "1000 MHz",
         {NoNumber("Generator frequency [MHz]", "1000 MHz"),
          NoNumber("Analyzer frequency [MHz]", "1000 MHz")}},
        {options.AnaAtt, "1,5", {NoNumber("peak mixer level [dBm]", "1,5")}},
        {options.AMGridText, "6o", {NoNumber("AM/AM grid points", "6o")}},
        {options.NetworkPort, "-", {NoNumber("TCP/IP port (1 to 32767)", "-")}},
        {acp->MainChanText, "3.84x", {NoNumber("Main Chan channel bandwidth [MHz]", "3.84x")}},
        {acp->UpSpaceText[2], ".", {NoNumber("ALT2 Up channel spacing [MHz]", ".")}},
        {acp->Parameter, "0", {NoNumber("detector points", "0")}},
        // numbers, but no generator or analyzer family sets them
        {setup.RefPowLim,
         "31",
         {"Peak level limit 31 dBm is outside what the RF generators deliver (-145 to +30 "
          "dBm)! Please select correct value"}},
        {setup.TargetPower,
         "-131",
         {"Target RMS level -131 dBm is outside what the analyzers measure (-130 to +30 "
          "dBm)! Please select correct value"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const QString before = c.box->text();
        EXPECT_EQ(TypeAndStart(c.box, c.text), c.refusals);
        c.box->setText(before);
    }

    // With a target no analyzer measures as the one refusal left: a box of a
    // channel pair not in use, a dialog closed meanwhile, whose settings kept
    // the last number the box held, and the BOXW's I and Q box while another
    // source is chosen refuse nothing.
    const Lines target = {"Target RMS level 40 dBm is outside what the analyzers measure (-130 "
                          "to +30 dBm)! Please select correct value"};
    EXPECT_EQ(TypeAndStart(acp->UpChanText[1], "x"),
              Lines{NoNumber("ALT1 Up channel bandwidth [MHz]", "x")});
    acp->Channels->setCurrentIndex(acp->Channels->findText("1"));
    EXPECT_EQ(TypeAndStart(setup.TargetPower, "40"), target);
    const double mainBW = General::ACP.MainBW;
    EXPECT_EQ(TypeAndStart(acp->MainChanText, "x"),
              Lines{NoNumber("Main Chan channel bandwidth [MHz]", "x")});
    acp->OK->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(acp.isNull());
    EXPECT_EQ(TypeAndStart(setup.BOXWIQAmp, "x"), Lines{NoNumber("I and Q [V]", "x")});
    setup.Add(EquipmentLists::Role::ModSource, "VRTA-R4Q", bench.Resource("modsource"));
    setup.SelectLast(EquipmentLists::Role::ModSource);
    EXPECT_EQ(TypeAndStart(setup.BOXWIQAmp, "y"), target);
    big.shown.clear();
    ButtonForm::Instance().StartB->click();
    EXPECT_EQ(big.shown, target);
    EXPECT_EQ(General::ACP.MainBW, mainBW);
    EXPECT_EQ(Logs(bench), sent) << "nothing reached an instrument";
}

TEST_F(EndToEnd, CommandsSentWithAStartDoNotActInsideItsRun) {
    SimBench bench(Args(""));
    ASSERT_TRUE(bench.ready);
    RemoteRun run(folder.path().toStdString(), bench);
    ASSERT_TRUE(run.Setup("LEVEL:-5;SETUP;")) << (status.lines.empty() ? "" : status.lines.back());
    ButtonForm::Instance().Mode[1]->click();
    for (QCheckBox* variant : ButtonForm::Instance().Dist)
        variant->setChecked(true);
    const auto identifications = [&] {
        const auto log = bench.Log("analyzer");
        return std::count(log.begin(), log.end(), "*IDN?");
    };
    const auto uploads = [&] {
        const auto log = bench.Log("modsource");
        return std::count_if(log.begin(), log.end(), [](const std::string& l) {
            return l.rfind("MMEM:DATA 'QUILAMPM'", 0) == 0;
        });
    };
    // What the program had done when it first answered "FINISHED:1;".
    struct AtFinish {
        bool seen = false, underWay = true, data = false;
        long uploads = 0;
    } at;
    QObject::connect(&run.client, &QTcpSocket::readyRead, [&] {
        if (at.seen || run.replies.find("FINISHED:1;") == std::string::npos) return;
        at = {true, RunState::UnderWay(), General::DataPresent, long(uploads())};
    });

    // A plain run tells how many identifications a run itself sends.
    long before = identifications();
    ASSERT_TRUE(run.Start()) << General::RunErrorText;
    const long perRun = identifications() - before;
    for (const char* commands : {"START;SETUP;", "START;CLOSEALL;", "START;LEVEL:-9;SETUP;"}) {
        SCOPED_TRACE(commands);
        before = identifications();
        const long uploaded = uploads();
        big.shown.clear();
        at = {};
        ASSERT_TRUE(run.Start(commands)) << General::RunErrorText;
        EXPECT_EQ(run.replies.find("FINISHED:1;"), run.replies.rfind("FINISHED:"))
            << "every answer before the last was 0: " << run.replies;
        EXPECT_FALSE(at.underWay) << "finished while the run was under way";
        EXPECT_TRUE(at.data) << "finished before the results were whole";
        EXPECT_EQ(at.uploads, uploaded + 1) << "the AM+PM variant was uploaded before";
        EXPECT_EQ(identifications() - before, perRun) << "no discovery inside the run";
        EXPECT_EQ(std::count(big.shown.begin(), big.shown.end(), "scanning for instruments..."), 0);
        EXPECT_NE(Verification::Run::Instance().CurrentView(), nullptr)
            << "the run's verification window stays";
        EXPECT_EQ(General::TargetLevel, -5.0f) << "a level sent during the run changed nothing";
        EXPECT_EQ(General::RunErrorText, "");
        const std::string refused =
            std::string("Remote ") +
            (std::string(commands).find("SETUP") != std::string::npos ? "SETUP" : "CLOSEALL") +
            " refused: a measurement is in progress.";
        EXPECT_TRUE(std::count(status.lines.begin(), status.lines.end(), refused)) << refused;
    }
}

// Every absolute level a whole run shows, against the simulated bench's truth:
// the result window, the verification's channel powers, the report, the
// printed summary's fit errors and the result files of a remote run, each held
// against what bench_levels.py computes from the bench's truth file, the
// waveforms it was sent and the settings its instruments received. The
// predistorted variants meet the amplifier at the drive of the curves they
// invert, whichever way the generator reads its level. A dual tone, whose
// cross spectrum is two lines, finds the bench's delay and its curves; so do
// both signals whatever the carrier phase between generator and analyzer.

#include "ButtonForm.h"
#include "General.h"
#include "HtmlReport.h"
#include "RTFView.h"
#include "ResultFiles.h"
#include "ResultForm.h"
#include "remote_run.h"

#include <QCheckBox>
#include <QDateTime>
#include <QProcess>
#include <QRadioButton>
#include <QTextEdit>
#include <array>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

struct Bench {
    const char* name;
    const char* options;
    const char* target; // dBm
    bool levelIsRMS;    // the generator reads its level as the RMS level (VRTA's own ARB)
};

const Bench kBenches[] = {
    {"Default", "", "-5", false},
    {"KldSalehHod",
     "--modsource KLD --rf KLD --analyzer HOD --amp-model saleh --amp-gain 25 "
     "--amp-psat 3 --amp-pm 15",
     "-7", false},
    {"VrtaVrta", "--modsource VRTA --rf VRTA", "-5", true},
};

// The number that ends the last line of `log` that begins with `command`.
double LastSetting(const std::vector<std::string>& log, const std::string& command) {
    double value = std::nan("");
    for (const std::string& line : log)
        if (line.rfind(command, 0) == 0) value = std::stod(line.substr(command.size()));
    return value;
}

// The number on the line after the caption in the result window's text.
double ResultLine(const std::string& text, const std::string& caption) {
    const auto at = text.find(caption + "\n");
    return at == std::string::npos ? std::nan("") : std::stod(text.substr(at + caption.size() + 1));
}

// The number that follows the `n`th occurrence of `mark` after `from` in the report.
double ReportNumber(const std::string& html, const std::string& from, const std::string& mark,
                    int n = 1) {
    auto at = html.find(from);
    for (int k = 0; k < n && at != std::string::npos; ++k)
        at = html.find(mark, at + (k ? 1 : 0));
    return at == std::string::npos ? std::nan("") : std::stod(html.substr(at + mark.size()));
}

// The number in the `n`th value cell after a label of the report.
double ReportCell(const std::string& html, const std::string& label, int n = 1) {
    return ReportNumber(html, label, "<td bgcolor=#FFFFFF width=160>", n);
}

// Mean power of columns `first` and `first` + 1 (I and Q) of the I/Q point file.
double MeanPower(const std::string& file, int first) {
    std::ifstream in(file);
    double sum = 0;
    std::size_t n = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::vector<double> v;
        for (std::string f; std::getline(fields, f, '\t');)
            v.push_back(std::atof(f.c_str()));
        if (v.size() != 10 || line[0] == ' ') continue;
        sum += v[std::size_t(first)] * v[std::size_t(first)] +
               v[std::size_t(first) + 1] * v[std::size_t(first) + 1];
        ++n;
    }
    return sum / double(n);
}

// The waveforms of the predistorted variants, AM, PM and AM+PM.
const std::array<std::string, 3> kVariants = {"QUILAM--", "QUIL--PM", "QUILAMPM"};

// A whole run on the simulated bench, and what the truth script makes of it.
struct TruthRun : RemoteRunFixture {
    // Measures with predistortion on, verifying the chosen variants.
    // `signal` are the commands that choose the test signal, noise if none.
    void Measure(RemoteRun& run, const char* target, const std::array<bool, 3>& variants,
                 const char* signal = "") {
        ASSERT_TRUE(run.Setup(std::string(signal) + "LEVEL:" + target + ";SETUP;"))
            << (status.lines.empty() ? "" : status.lines.back());
        ButtonForm::Instance().Mode[1]->click();
        for (std::size_t k = 0; k < 3; ++k)
            ButtonForm::Instance().Dist[k]->setChecked(variants[k]);
        ASSERT_TRUE(run.Start()) << General::RunErrorText;
        ASSERT_TRUE(General::DataPresent) << General::RunErrorText;
    }

    // What bench_levels.py computes from the bench's truth, the waveforms it
    // was sent and the settings its instruments received.
    std::map<std::string, double> Truth(const SimBench& bench, const std::string& dir,
                                        bool levelIsRMS) {
        const bool shared = bench.Resource("modsource") == bench.Resource("rf");
        const std::string rfLog = dir + "/rf.log";
        std::ofstream log(rfLog);
        for (const std::string& line : bench.Log(shared ? "modsource+rf" : "rf"))
            log << line << "\n";
        log.close();
        QStringList args = {QString(QUILLON_TEST_DATA) + "/ui/bench_levels.py"};
        auto option = [&](const char* name, const std::string& value) {
            args << name << QString::fromStdString(value);
        };
        auto number = [](double v) { return QString::number(v, 'g', 17).toStdString(); };
        option("--truth", dir + "/truth.txt");
        option("--waveforms", dir + "/waveforms");
        option("--reference", "QUIL----");
        option("--predistorted", kVariants[2]);
        args << "--variants";
        const std::array<bool, 3> verified{General::VerifyAM, General::VerifyPM,
                                           General::VerifyAMPM};
        for (std::size_t k = 0; k < 3; ++k)
            if (verified[k]) args << QString::fromStdString(kVariants[k]);
        option("--rf-log", rfLog);
        option("--clock", number(General::NoiseClock * 1e6));
        option("--main-bw", number(General::ACP.MainBW * 1e6));
        option("--acp-space", number(General::ACP.UpperSpace[0] * 1e6));
        option("--acp-bw", number(General::ACP.UpperBW[0] * 1e6));
        option("--depth", number(General::SamplingDepth));
        option("--attenuation",
               number(LastSetting(bench.Log("analyzer"), "INP:ATT:AUTO OFF;:INP:ATT ")));
        option("--ref-level", number(LastSetting(bench.Log("analyzer"), "DISP:TRAC:Y:RLEV ")));
        option("--trigger-latency", bench.settings.at("trigger_latency"));
        option("--danl", "-150"); // the bench's analyzer noise at 0 dB attenuation
        option("--curves", dir + "/curves.txt");
        option("--amam-order", number(General::AMAMOrder));
        option("--ampm-order", number(General::AMPMOrder));
        if (levelIsRMS) args << "--level-is-rms";
        std::ofstream(dir + "/curves.txt") << DISC::AMPMFileText('.');
        QProcess python;
        python.start(QUILLON_PYTHON, args);
        std::map<std::string, double> t;
        EXPECT_TRUE(python.waitForFinished(60000));
        EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
        std::istringstream lines(python.readAllStandardOutput().toStdString());
        for (std::string name; lines >> name;)
            lines >> t[name];
        return t;
    }

    // The bench's options, with its truth and waveforms written into `dir`.
    static std::string BenchOptions(const std::string& options, const std::string& dir) {
        QDir().mkpath(QString::fromStdString(dir + "/waveforms"));
        return options + " --truth-file " + dir + "/truth.txt --waveform-dir " + dir + "/waveforms";
    }

    // A whole run and its truth, in a program folder and a registry of its
    // own, so that one test may compare several benches.
    std::map<std::string, double> RunIn(const std::string& name, const std::string& options,
                                        bool levelIsRMS, const std::array<bool, 3>& variants,
                                        const char* target = "-5", const char* signal = "") {
        const std::string dir = folder.path().toStdString() + "/" + name;
        SetHandle::SetProgramFolder(dir);
        Registry::UserStore().SetFile(dir + "/registry.txt");
        SimBench bench(Args(BenchOptions(options, dir)));
        EXPECT_TRUE(bench.ready) << name;
        if (!bench.ready) return {};
        RemoteRun run(dir, bench);
        Measure(run, target, variants, signal);
        // A run that did not finish; a mismatch of an earlier run leaves this
        // one its truth.
        if (HasFatalFailure()) return {};
        return Truth(bench, dir, levelIsRMS);
    }
};

// A result of the truth script; NaN when it gave none.
double Result(const std::map<std::string, double>& t, const std::string& name) {
    const auto it = t.find(name);
    return it == t.end() ? std::nan("") : it->second;
}

struct AbsoluteLevels : TruthRun, ::testing::WithParamInterface<Bench> {};

} // namespace

TEST_P(AbsoluteLevels, EveryShownLevelIsTheBenchsTruth) {
    const Bench& b = GetParam();
    const std::string dir = folder.path().toStdString();
    SimBench bench(Args(BenchOptions(b.options, dir)));
    ASSERT_TRUE(bench.ready);
    RemoteRun run(dir, bench);
    ASSERT_NO_FATAL_FAILURE(Measure(run, b.target, {false, false, true}));

    // What Quillon shows.
    const std::string window = ResultForm::Instance().ResField->toPlainText().toStdString();
    const std::string html = HtmlReport::BuildDocument({}, QDateTime::currentDateTime(), '.', {});
    const std::string points = dir + "/points.txt";
    ASSERT_TRUE(DISC::SaveIQPointFile(points));
    const double fullScale = ReportNumber(html, "Gridded Representation", "(1 = ");
    const auto& powers = General::SweepPoints.back().ChannelPower;

    // What the bench says they are.
    std::map<std::string, double> t = Truth(bench, dir, b.levelIsRMS);

    struct Check {
        const char* what;
        double shown, truth, tolerance;
    };
    const double refLevel = ReportCell(html, "Analyzer<BR>Ref Level");
    const Check checks[] = {
        {"result window: DUT Output level", ResultLine(window, "DUT Output level"), t["output"],
         0.1},
        {"result window: DUT Gain", ResultLine(window, "DUT Gain"), t["gain"], 0.1},
        {"result window: noise level", ResultLine(window, "Noise Level, RF generator OFF"),
         t["noise_density"], 0.5},
        {"result window: crest factor of the reference",
         ResultLine(window, "Crest factor Reference Signal"), t["crest_in"], 0.01},
        {"result window: crest factor of the output",
         ResultLine(window, "Crest factor Measured Signal"), t["crest_out"], 0.1},
        {"result window: dynamic margin", ResultLine(window, "Analyzer dynamic margin"),
         t["dynamic_margin"], 0.1},
        {"result window: group delay (ns)", ResultLine(window, "Group delay"), t["group_delay"],
         1.0},
        {"verification: reference, main channel", powers[0][3], t["main_reference"], 0.1},
        {"verification: amplifier, main channel", powers[1][3], t["main_amplifier"], 0.1},
        {"verification: predistorted, main channel", powers[2][3], t["main_predistorted"], 0.1},
        {"report: RMS Output Level", ReportCell(html, "Auto Leveling"), t["output"], 0.1},
        {"report: Gain", ReportCell(html, "Auto Leveling", 2), t["gain"], 0.1},
        {"report: IQ Modulator RF RMS Level", ReportCell(html, "RF<BR>RMS Level"), t["input_rms"],
         0.1},
        {"report: Input (1 = ...)", fullScale, t["full_scale"], 0.1},
        {"report: Output (1 = ...)", ReportNumber(html, "Gridded Representation", "(1 = ", 2),
         t["output_full_scale"], 0.1},
        {"report: Noise @ Generator OFF", ReportCell(html, "Noise @ Generator OFF"),
         t["noise_density"], 0.5},
        {"summary: AM/AM error", General::AMAMError, t["amam_error"], 0.2},
        {"summary: AM/AM inverse error", General::AMAMInvError, t["amam_inverse_error"], 0.2},
        // As tight as the AM/AM errors' 0.2 dB (2.3 %).
        {"summary: AM/PM error", General::AMPMError, t["ampm_error"], 0.023 * t["ampm_error"]},
        {"I/Q point file: input", 10 * std::log10(MeanPower(points, 1)) + fullScale, t["input_rms"],
         0.1},
        {"I/Q point file: output", 10 * std::log10(MeanPower(points, 3)) + refLevel, t["output"],
         0.1},
    };
    for (const Check& c : checks) {
        EXPECT_NEAR(c.shown, c.truth, c.tolerance) << b.name << ", " << c.what;
    }
}

// A VRTA playing its own ARB reads its level as the waveform's RMS level. A
// predistorted variant, of a higher crest factor than the reference, must be
// played so that its full scale has the peak envelope power the curves were
// measured at; the predistortion then works there as well as on a generator
// that reads its level as that peak.
TEST_F(TruthRun, VariantsMeetTheAmplifierAtTheDriveOfTheirCurves) {
    // A strongly compressing amplifier at an output of -5 dBm: the AM+PM
    // variant's crest factor lies 2.5 dB above the reference's.
    const std::string amplifier = " --amp-model saleh --amp-gain 25 --amp-psat 3 --amp-pm 15";
    const auto kld =
        RunIn("KldKld", "--modsource KLD --rf KLD" + amplifier, false, {false, false, true});
    ASSERT_FALSE(HasFailure());
    const auto vrta =
        RunIn("VrtaVrta", "--modsource VRTA --rf VRTA" + amplifier, true, {true, true, true});
    ASSERT_FALSE(HasFailure());
    for (const std::string& v : kVariants)
        EXPECT_NEAR(Result(vrta, "full_scale_" + v), Result(vrta, "full_scale"), 0.05) << v;
    EXPECT_GE(Result(vrta, "acp_improvement"), Result(kld, "acp_improvement") - 3)
        << "the AM+PM variant's adjacent-channel improvement through the true amplifier";
}

// A dual tone's cross spectrum has power in its two tone bins only. Its run
// finishes without a question, finds the bench's delay (a dual tone shows it
// only modulo its envelope's period, 16 samples here; the bench's 2.37 lie
// well within half of that) and draws the amplifier's true curves.
TEST_F(TruthRun, DualToneFindsTheBenchsDelayAndCurves) {
    struct Case {
        const char* name;
        const char* options;
        const char* target;
    };
    for (const Case& c : {Case{"Default", "", "-3"},
                          Case{"KldKldHod",
                               "--modsource KLD --rf KLD --analyzer HOD --amp-model saleh "
                               "--amp-gain 25 --amp-psat 3 --amp-pm 15",
                               "-7"}}) {
        SCOPED_TRACE(c.name);
        big.shown.clear();
        const auto t = RunIn(std::string("DualTone") + c.name, c.options, false,
                             {false, false, true}, c.target, "SIGNALTYPE:1;");
        ASSERT_FALSE(t.empty());
        for (const std::string& text : big.shown)
            EXPECT_EQ(text.find("Continue?"), std::string::npos) << text;
        EXPECT_NEAR(General::GroupDelay, Result(t, "group_delay"), 1.0);
        // The truth turns over the compared range, and the curves follow it
        // far closer than it turns.
        EXPECT_GE(Result(t, "curve_points"), 10);
        EXPECT_GT(Result(t, "curve_compression"), 0.2);
        EXPECT_GT(Result(t, "curve_phase_swing"), 0.7);
        EXPECT_LT(Result(t, "amam_truth_error"), 0.05);
        EXPECT_LT(Result(t, "ampm_truth_error"), 0.25);
        std::printf("%s: group delay %.4f ns (truth %.4f), AM/AM within %.4f dB, AM/PM within "
                    "%.4f deg over %g points (truth: %.2f dB compression, %.2f deg AM/PM)\n",
                    c.name, General::GroupDelay, Result(t, "group_delay"),
                    Result(t, "amam_truth_error"), Result(t, "ampm_truth_error"),
                    Result(t, "curve_points"), Result(t, "curve_compression"),
                    Result(t, "curve_phase_swing"));
    }
}

// The carrier phase between generator and analyzer is whatever the bench's
// cables make it. Near half a turn, with the amplifier's AM/PM added, the
// phase differences of the samples and the aligned cross spectrum lie on both
// ends of ±180°. A noise run and a dual-tone run there still find the bench's
// delay, no timing difference remains, and the AM/PM curve has the true shape
// and sits where the truth puts it.
TEST_F(TruthRun, CarrierPhaseNearHalfATurnMeasuresTheTruth) {
    struct Case {
        const char* name;
        const char* target;
        const char* signal;
    };
    for (const Case& c : {Case{"Noise", "-5", ""}, Case{"DualTone", "-3", "SIGNALTYPE:1;"}}) {
        SCOPED_TRACE(c.name);
        big.shown.clear();
        const auto t = RunIn(std::string("HalfTurn") + c.name, "--carrier-phase 179", false,
                             {false, false, true}, c.target, c.signal);
        ASSERT_FALSE(t.empty());
        for (const std::string& text : big.shown)
            EXPECT_EQ(text.find("Continue?"), std::string::npos) << text;
        EXPECT_NEAR(General::GroupDelay, Result(t, "group_delay"), 1.0);
        EXPECT_NEAR(General::TimingErrorCorrected, 0.0, 1e-3);
        EXPECT_LT(Result(t, "amam_truth_error"), 0.05);
        EXPECT_LT(Result(t, "ampm_truth_error"), 0.25);
        EXPECT_NEAR(Result(t, "ampm_offset_error"), 0.0, 0.05);
    }
}

INSTANTIATE_TEST_SUITE_P(Benches, AbsoluteLevels, ::testing::ValuesIn(kBenches),
                         [](const auto& info) { return std::string(info.param.name); });

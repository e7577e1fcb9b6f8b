// One sweep point's capture half against the simulated bench: the commands
// each analyzer family and each generator pairing receives, the records it
// stores, leveling and noise floor against the bench's amplifier model, and
// the faults that end a point with the RF off and the sessions still usable.

#include "../instruments/patient_session.h"
#include "../instruments/simbench_process.h"
#include "../support/fakes.h"
#include "General.h"
#include "HOx.h"
#include "IEC.h"
#include "NumberText.h"
#include "PointCapture.h"
#include "RecordLevels.h"
#include "StringOp.h"
#include "TestSigGen.h"
#include "VIF.h"
#include "WVClass.h"
#include "curve_support.h"
#include "measurement_fakes.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr std::int32_t kDepth = 16384;

std::vector<std::string> Commands(const std::vector<std::string>& log, std::size_t from = 0) {
    std::vector<std::string> out;
    for (std::size_t k = from; k < log.size(); ++k)
        if (log[k] != "SYST:ERR?" && log[k] != "*IDN?") out.push_back(log[k]);
    return out;
}

std::shared_ptr<VIF> Connect(const std::string& resource) {
    auto v = std::make_shared<VIF>();
    v->OpenDevice(resource, true, true, 1000, true);
    MakePatient(*v);
    v->ConfigErrorProcessor(true, false);
    v->WriteString("*RST;*WAI", 0);
    return v;
}

struct BenchSetup {
    const char* modsource;
    const char* rf;
    const char* analyzer;
    std::int32_t modulatorType, rfConverterType, analyzerType;
};

// The bench, sessions in the holder and a noise test signal on the source,
// as the run's initialisation and driver leave them for a sweep point.
struct BenchPoint {
    BenchSetup setup;
    SimBench bench;
    FakeStatus status;
    FakeSleep sleep;
    FakeBigMessage big;
    RecordingSink sink;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    Services::Scoped<Services::SleepService> useSleep{sleep};
    Services::Scoped<Services::BigMessageService> useBig{big};
    ScopedSink useSink{sink};

    BenchPoint(const BenchSetup& s, const std::vector<std::string>& extra)
        : setup(s), bench(Options(s, extra)) {
        General::ModulatorType = s.modulatorType;
        General::RFConverterType = s.rfConverterType;
        General::AnalyzerType = s.analyzerType;
        General::MixerOpt = {-20, -20, -15, -15};
        General::MaximumPeakGeneratorLevel = 25;
        General::TargetLevel = -10;
        General::GainMeasLev0 = 30;
        General::GainMeasLev1 = 5;
        General::ApplyAndMeasurement = 0;
        General::SamplingRate = 16e6;
        General::SamplingDepth = kDepth;
        General::RBW = 10000000;
        General::NoiseClock = 16;
        General::NoiseBandwidth = 4;
        General::NoiseLength = kDepth;
        General::NoiseSeed = 3;
        General::NoiseIAmp = General::NoiseQAmp = 1.0;
        General::RefFile = "QUIL----";
        General::MeasureRunAbort = false;
        General::RunErrorText.clear();
        HOx::IQBandwidth = 7000000; // an earlier set-up's, which the DANE family keeps
        for (auto& slot : General::SignalStore)
            slot.clear();
        TestSigGen::MakeNoiseSignal();
        Open();
        WVClass& wv = General::TestSignal();
        wv.SetARBType(s.modulatorType);
        wv.SetFileName("QUIL----");
        IEC::Instance().ModSourVIF()->ConfigErrorProcessor(false, false);
        ready = wv.UploadWV(*IEC::Instance().ModSourVIF(), General::TestSignalI,
                            General::TestSignalQ, 4096) == WVClass::UploadOK;
        IEC::Instance().ModSourVIF()->ConfigErrorProcessor(true, false);
        // The logs a test counts from hold everything sent so far, the
        // generator's settings included, not only the upload.
        Settle();
        status.lines.clear();
    }
    ~BenchPoint() {
        IEC::Instance().SetAnaVIF(nullptr);
        IEC::Instance().SetRFSourVIF(nullptr);
        IEC::Instance().SetModSourVIF(nullptr);
        General::MeasureRunAbort = false;
    }

    static std::vector<std::string> Options(const BenchSetup& s,
                                            const std::vector<std::string>& extra) {
        std::vector<std::string> o = {"--modsource", s.modsource,  "--rf",
                                      s.rf,          "--analyzer", s.analyzer};
        o.insert(o.end(), extra.begin(), extra.end());
        return o;
    }

    // Fresh sessions, as every run's initialisation makes them.
    void Open() {
        IEC& iec = IEC::Instance();
        iec.SetAnaVIF(Connect(bench.Resource("analyzer")));
        if (setup.rfConverterType != 0) {
            iec.SetRFSourVIF(Connect(bench.Resource("rf")));
            iec.RFSourVIF()->WriteString("OUTP:STAT OFF", 0);
            iec.RFSourVIF()->WriteString("SOUR:POW:LIM 25dBm", 0);
        } else {
            iec.SetRFSourVIF(std::make_shared<VIF>());
        }
        const bool shared =
            setup.modulatorType == setup.rfConverterType && setup.modulatorType != 0;
        iec.SetModSourVIF(shared ? iec.RFSourVIF() : Connect(bench.Resource("modsource")));
    }

    std::string LogName(const std::string& role) const {
        const bool shared =
            setup.modulatorType == setup.rfConverterType && setup.modulatorType != 0;
        return shared && role != "analyzer" ? "modsource+rf" : role;
    }
    // Waits for an answer of each instrument, so that its log holds every
    // message sent before.
    void Settle() {
        std::string idn;
        IEC& iec = IEC::Instance();
        for (const auto& v : {iec.AnaVIF(), iec.RFSourVIF(), iec.ModSourVIF()})
            if (v->InstOpen()) v->ReadString("*IDN?", idn, 1000);
    }
    std::size_t LogSize(const std::string& role) const { return bench.Log(LogName(role)).size(); }
    std::vector<std::string> Sent(const std::string& role, std::size_t from) const {
        return Commands(bench.Log(LogName(role)), from);
    }

    // The analyzer's commands of one capture.
    std::vector<std::string> CaptureCommands(const char* trigger) const {
        const std::string bw = setup.analyzerType == 0 ? "7000000" : "10000000";
        std::vector<std::string> c = {"TRAC:IQ ON", "TRAC:IQ:SET NORM," + bw + "Hz,16000000Hz," +
                                                        trigger + ",POS,0," +
                                                        std::to_string(kDepth)};
        if (setup.analyzerType == 2) c.push_back("TRAC:IQ:SYNC:STAT OFF");
        // The session clears the status after each block read.
        c.insert(c.end(), {"FORM REAL,32", "ABOR;INIT:IMM;*WAI", "TRAC:IQ:DATA?", "*CLS"});
        return c;
    }

    bool ready = false;
};

// The last output command the generator received switched it off.
bool RfLeftOff(const std::vector<std::string>& rf) {
    for (auto it = rf.rbegin(); it != rf.rend(); ++it) {
        if (*it == "OUTP OFF" || *it == "OUTP:STAT OFF") return true;
        if (*it == "OUTP:STAT ON" || *it == "OUTP ON") return false;
    }
    return true;
}

double PaprDb(const std::vector<double>& I, const std::vector<double>& Q) {
    const auto a = RecordLevels::Measure(I, Q);
    return 20 * std::log10(a->peak / a->rms);
}

const BenchSetup kBoxwVrta[] = {
    {"BOXW", "VRTA", "DANE", 0, 1, 0},
    {"BOXW", "VRTA", "HOB", 0, 1, 1},
    {"BOXW", "VRTA", "HOC", 0, 1, 2},
    {"BOXW", "VRTA", "HOD", 0, 1, 3},
};

class AnalyzerFamilies : public ::testing::TestWithParam<BenchSetup> {};

} // namespace

TEST_P(AnalyzerFamilies, PointSendsExactlyItsCommandsAndFillsTheStores) {
    BenchPoint p(GetParam(), {});
    ASSERT_TRUE(p.bench.ready);
    ASSERT_TRUE(p.ready);
    const std::size_t ana0 = p.LogSize("analyzer"), rf0 = p.LogSize("rf");
    const std::size_t mod0 = p.LogSize("modsource");
    PointCapture::Measure();
    p.Settle();
    ASSERT_FALSE(General::MeasureRunAbort) << General::RunErrorText;
    EXPECT_EQ(General::RunErrorText, "");

    const std::size_t steps = General::LevelOutput.size();
    ASSERT_GE(steps, 1u);
    const std::string att =
        std::to_string(int(-10 - General::MixerOpt[std::size_t(GetParam().analyzerType)]));
    std::vector<std::string> ana = {
        "INP:ATT:AUTO ON", "DISP:TRAC:Y:RLEV " + NumberText::Plain(General::AnaRefLevel) + "dBm",
        "INP:ATT:AUTO OFF", "INP:ATT:AUTO OFF;:INP:ATT " + att + "dB"};
    for (std::size_t k = 0; k < 1 + steps; ++k)
        for (const auto& c : p.CaptureCommands("IMM"))
            ana.push_back(c);
    for (const auto& c : p.CaptureCommands("EXT"))
        ana.push_back(c);
    EXPECT_EQ(p.Sent("analyzer", ana0), ana);

    // The first step starts 35 dB below the target, the last sets the level kept.
    std::vector<std::string> rf = {"SOUR:DM:IQ:STAT ON", "OUTP OFF", "OUTP OFF"};
    const auto rfSent = p.Sent("rf", rf0);
    ASSERT_EQ(rfSent.size(), rf.size() + 2 * steps);
    EXPECT_EQ(std::vector<std::string>(rfSent.begin(), rfSent.begin() + 3), rf);
    EXPECT_EQ(rfSent[3], "SOUR:POW:LEV -45.00dBm");
    EXPECT_EQ(rfSent[rfSent.size() - 2],
              "SOUR:POW:LEV " + StringOp::FormatDot(General::GenRMSLevel, "0.00") + "dBm");
    for (std::size_t k = 0; k < steps; ++k)
        EXPECT_EQ(rfSent[4 + 2 * k], "OUTP:STAT ON") << k;

    const auto mod = p.Sent("modsource", mod0);
    ASSERT_GE(mod.size(), 5u);
    EXPECT_EQ(mod[0], "OUTP:I:STAT OFF");
    EXPECT_EQ(mod[1], "OUTP:Q:STAT OFF");
    EXPECT_EQ(mod[mod.size() - 3], "SOUR:CLOCK 16MHZ");
    EXPECT_EQ(mod[mod.size() - 2], "OUTP:I:STAT FIX");
    EXPECT_EQ(mod[mod.size() - 1], "OUTP:Q:STAT FIX");

    for (std::size_t slot : {0u, 1u, 2u, 3u, 4u, 5u, 12u, 13u})
        EXPECT_EQ(General::SignalStore[slot].size(), std::size_t(kDepth)) << slot;
    EXPECT_EQ(General::SignalStore[0], std::vector<double>(General::TestSignalI.begin(),
                                                           General::TestSignalI.begin() + kDepth));
    EXPECT_LT(std::fabs(General::LevelOutput.back() - General::TargetLevel), 0.1);
    EXPECT_EQ(p.sink.rows, (std::vector<int>{3, 11, 12, 13, 14}));
    EXPECT_EQ(p.status.lines.front(), "starting");
    EXPECT_NE(std::find(p.status.lines.begin(), p.status.lines.end(), "MAIN MEASUREMENT"),
              p.status.lines.end());

    // The noise density of the bench's model: analyzer noise (rising with the
    // attenuation) plus amplifier output noise.
    const double density =
        std::pow(10, (-150 + std::stod(att)) / 10) + std::pow(10, (-174 + 6 + 30) / 10.0);
    EXPECT_NEAR(General::NoiseGenOff, 10 * std::log10(density), 0.5);
    EXPECT_FLOAT_EQ(p.sink.Value(11), float(General::NoiseGenOff));
}

INSTANTIATE_TEST_SUITE_P(BoxwVrta, AnalyzerFamilies, ::testing::ValuesIn(kBoxwVrta),
                         [](const auto& info) { return std::string(info.param.analyzer); });

TEST(PointCaptureBench, GeneratorPairingsSwitchTheirIQModulationOn) {
    struct Case {
        BenchSetup setup;
        std::vector<std::string> commands; // to the RF generator, before the noise floor
    };
    const Case cases[] = {
        {{"BOXW", "KLD", "HOB", 0, 2, 1}, {"SOUR:IQ:SOUR ANAL", "SOUR:IQ:STAT ON;*WAI"}},
        {{"VRTA", "VRTA", "HOD", 1, 1, 3}, {"ARB:STAT ON;*WAI", "SYST:ERR?"}},
        {{"KLD", "KLD", "HOC", 2, 2, 2},
         {"SOUR:BB:ARB:STAT ON;*WAI", "SOUR:IQ:SOUR BAS", "SOUR:IQ:STAT ON;*WAI"}},
    };
    for (const Case& c : cases) {
        BenchPoint p(c.setup, {});
        ASSERT_TRUE(p.ready) << c.setup.rf;
        const std::size_t rf0 = p.LogSize("rf");
        PointCapture::Measure();
        p.Settle();
        EXPECT_FALSE(General::MeasureRunAbort) << c.setup.rf << ": " << General::RunErrorText;
        const auto heard = Commands(p.bench.Log(p.LogName("rf")), rf0);
        const auto want = Commands(c.commands);
        // The last such block: a shared source ran the same commands to load its waveform.
        const auto at = std::find_end(heard.begin(), heard.end(), want.begin(), want.end());
        ASSERT_NE(at, heard.end()) << c.setup.rf;
        // With an instrument of its own the generator hears nothing else first.
        if (c.setup.modulatorType != c.setup.rfConverterType) {
            EXPECT_EQ(at, heard.begin()) << c.setup.rf;
        }
        const std::vector<std::string> noiseFloor = {"OUTP OFF", "OUTP OFF",
                                                     "SOUR:POW:LEV -45.00dBm"};
        EXPECT_TRUE(
            std::equal(noiseFloor.begin(), noiseFloor.end(), at + std::ptrdiff_t(want.size())))
            << c.setup.rf;
        EXPECT_EQ(General::SignalStore[2].size(), std::size_t(kDepth)) << c.setup.rf;
    }
}

TEST(PointCaptureBench, LevelingReachesTheTargetOnALinearAmplifier) {
    // Generators that read their level as the peak envelope power of full
    // scale, and a VRTA playing its own ARB, which reads it as the RMS level.
    for (const BenchSetup& setup :
         {BenchSetup{"BOXW", "VRTA", "HOB", 0, 1, 1}, BenchSetup{"KLD", "KLD", "HOD", 2, 2, 3},
          BenchSetup{"VRTA", "VRTA", "HOB", 1, 1, 1}}) {
        BenchPoint p(setup, {"--amp-psat", "40", "--amp-gain", "30"});
        ASSERT_TRUE(p.ready) << setup.modsource;
        PointCapture::Measure();
        ASSERT_FALSE(General::MeasureRunAbort) << setup.modsource << ": " << General::RunErrorText;
        const double papr = PaprDb(General::TestSignalI, General::TestSignalQ);
        const double fullScale = General::GenRMSLevel + (setup.modulatorType == 1 ? papr : 0);
        EXPECT_LT(std::fabs(General::LevelOutput.back() - General::TargetLevel), 0.1);
        EXPECT_NEAR(fullScale - papr + 30, General::LevelOutput.back(), 0.1) << setup.modsource;
        EXPECT_NEAR(General::LevelGain.back(), 30, 0.1) << setup.modsource;
        // The peak of the leveled output stands papr above its RMS level, the
        // reference level crest factor above the target.
        const double margin =
            General::InputScaleOffset - papr - (General::LevelOutput.back() - General::TargetLevel);
        EXPECT_NEAR(General::DynamicMargin, margin, 0.5);
        EXPECT_FLOAT_EQ(p.sink.Value(12), float(General::DynamicMargin));
    }
    // Crest factors of the last point: peak over mean amplitude, of the
    // reference and (a linear amplifier keeps it) of the captured output.
    double peak = 0, sum = 0;
    const auto& I = General::SignalStore[0];
    const auto& Q = General::SignalStore[1];
    for (std::size_t k = 0; k < I.size(); ++k) {
        peak = std::max(peak, std::hypot(I[k], Q[k]));
        sum += std::hypot(I[k], Q[k]);
    }
    const double crest = 20 * std::log10(peak / (sum / double(I.size())));
    EXPECT_NEAR(General::CrestIn, crest, 1e-9);
    EXPECT_NEAR(General::CrestOut, crest, 0.05);
}

TEST(PointCaptureBench, ManualLevelingWithTheExternalConverter) {
    BenchPoint p({"BOXW", "EXTERNAL", "HOB", 0, 0, 1}, {"--converter-level", "-30"});
    ASSERT_TRUE(p.ready);
    FakeMeter meter;
    meter.okAfter = 2;
    ScopedMeter useMeter{meter};
    PointCapture::Measure();
    ASSERT_FALSE(General::MeasureRunAbort) << General::RunErrorText;
    EXPECT_EQ(p.big.shown, (std::vector<std::string>{"Please switch off the IQ to RF converter",
                                                     "Please switch on the IQ to RF converter"}));
    EXPECT_EQ(meter.values.size(), 2u);
    EXPECT_EQ(p.sink.rows, (std::vector<int>{3, 11, 8, 9, 12, 13, 14}));
    // -30 dBm peak envelope power through 30 dB of gain
    const double papr = PaprDb(General::TestSignalI, General::TestSignalQ);
    EXPECT_NEAR(General::LevelOutput[0], -30 + 30 - papr, 0.5);
    EXPECT_EQ(General::SignalStore[12].size(), std::size_t(kDepth));
}

TEST(PointCaptureBench, FaultsEndThePointWithTheirMessageAndTheRFOff) {
    struct Case {
        std::vector<std::string> fault;
        std::string message; // the start of RunErrorText
        bool reopen;         // the broken connection needs fresh sessions
    };
    const Case cases[] = {
        {{"--fault", "trigger-unplugged"}, "Please connect trigger cable to HOx", false},
        {{"--fault", "drop=analyzer"}, "The analyzer's I/Q data of the noise floor capture", true},
        {{"--fault", "error=analyzer,INP:ATT"}, "Analyzer: -200", false},
        {{"--fault", "error=rf,SOUR:POW:LEV"}, "RF generator: -200", false},
    };
    for (const Case& c : cases) {
        BenchPoint p({"BOXW", "VRTA", "HOB", 0, 1, 1}, c.fault);
        ASSERT_TRUE(p.ready) << c.fault[1];
        PointCapture::Measure();
        if (!c.reopen) p.Settle();
        EXPECT_TRUE(General::MeasureRunAbort) << c.fault[1];
        EXPECT_EQ(General::RunErrorText.rfind(c.message, 0), 0u)
            << c.fault[1] << ": " << General::RunErrorText;
        EXPECT_EQ(p.status.lines.back(), General::RunErrorText);
        EXPECT_TRUE(RfLeftOff(p.Sent("rf", 0))) << c.fault[1];
        EXPECT_TRUE(General::SignalStore[2].empty()) << c.fault[1];

        // The next run finds working instruments.
        if (c.reopen) p.Open();
        for (const char* role : {"analyzer", "rf", "modsource"}) {
            std::string idn;
            std::shared_ptr<VIF> v = std::string(role) == "analyzer" ? IEC::Instance().AnaVIF()
                                     : std::string(role) == "rf"     ? IEC::Instance().RFSourVIF()
                                                                     : IEC::Instance().ModSourVIF();
            EXPECT_TRUE(v->ReadString("*IDN?", idn, 1000)) << c.fault[1] << " " << role;
            EXPECT_NE(idn, "") << c.fault[1] << " " << role;
        }
        if (c.reopen) {
            General::MeasureRunAbort = false;
            General::RunErrorText.clear();
            PointCapture::Measure();
            EXPECT_FALSE(General::MeasureRunAbort) << c.fault[1] << ": " << General::RunErrorText;
        }
    }
}

TEST(PointCaptureBench, ATargetTheAmplifierCannotDeliverEndsThePointBeforeAnyQuestion) {
    BenchPoint p({"BOXW", "VRTA", "HOB", 0, 1, 1}, {}); // saturates at +5 dBm
    ASSERT_TRUE(p.ready);
    General::TargetLevel = 10;
    PointCapture::Measure();
    p.Settle();
    EXPECT_TRUE(General::MeasureRunAbort);
    EXPECT_EQ(General::RunErrorText.rfind("Leveling did not reach the target of 10.00 dBm", 0), 0u)
        << General::RunErrorText;
    EXPECT_TRUE(RfLeftOff(p.Sent("rf", 0)));
    EXPECT_EQ(p.sink.rows, (std::vector<int>{3, 11})) << "no question after the leveling";
    EXPECT_TRUE(p.sink.lines.end() ==
                std::find_if(p.sink.lines.begin(), p.sink.lines.end(),
                             [](const std::string& l) { return l.rfind("DUT Gain", 0) == 0; }));
}

TEST(PointCaptureBench, ADeclinedQuestionEndsThePointWithoutAnError) {
    BenchPoint p({"BOXW", "VRTA", "HOB", 0, 1, 1}, {});
    ASSERT_TRUE(p.ready);
    p.sink.decline = {12};
    PointCapture::Measure();
    p.Settle();
    EXPECT_TRUE(General::MeasureRunAbort);
    EXPECT_EQ(General::RunErrorText, "");
    EXPECT_EQ(p.sink.rows, (std::vector<int>{3, 11, 12}));
    EXPECT_TRUE(RfLeftOff(p.Sent("rf", 0)));
    EXPECT_TRUE(General::SignalStore[0].empty());
}

TEST(PointCaptureBench, ModulationSourceOutputsOfOtherAmplitudesAreVariable) {
    BenchPoint p({"BOXW", "VRTA", "HOB", 0, 1, 1}, {});
    ASSERT_TRUE(p.ready);
    General::NoiseQAmp = 0.99;
    const std::size_t mod0 = p.LogSize("modsource");
    PointCapture::Measure();
    p.Settle();
    EXPECT_FALSE(General::MeasureRunAbort) << General::RunErrorText;
    const auto mod = p.Sent("modsource", mod0);
    ASSERT_GE(mod.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(mod.end() - 4, mod.end()),
              (std::vector<std::string>{"OUTP:I:STAT VAR", "OUTP:Q:STAT VAR", "OUTP:I:AMPL 1V",
                                        "OUTP:Q:AMPL .99V"}));
}

TEST(PointCaptureBench, APointThatCannotBeSetUpSendsNoCapture) {
    {
        BenchPoint p({"BOXW", "VRTA", "HOB", 0, 1, 1}, {});
        ASSERT_TRUE(p.ready);
        const std::size_t ana0 = p.LogSize("analyzer");
        General::SamplingRate = std::nan("");
        // the curves of the point before are on the measurement window
        FakeDisplay display;
        Installed<CurveDisplay> useDisplay(&display);
        for (CurveGraph g :
             {CurveGraph::AMAM, CurveGraph::AMPM, CurveGraph::Corr1, CurveGraph::Corr2})
            display.AddTrace(g, {1, 2});
        PointCapture::Measure();
        p.Settle();
        EXPECT_TRUE(General::MeasureRunAbort);
        EXPECT_EQ(General::RunErrorText, "The sampling rate NaN Hz cannot be set on the analyzer.");
        for (const auto& [graph, plots] : display.plots)
            EXPECT_TRUE(plots.empty()) << "graph " << int(graph) << " still shows the last point";
        EXPECT_TRUE(p.Sent("analyzer", ana0).empty());
        EXPECT_TRUE(RfLeftOff(p.Sent("rf", 0)));
    }
    General::MeasureRunAbort = false;
    PointCapture::Measure(); // no sessions at all
    EXPECT_TRUE(General::MeasureRunAbort);
    EXPECT_EQ(General::RunErrorText, "The instruments are not initialised.");
    General::MeasureRunAbort = false;
}

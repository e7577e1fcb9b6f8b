#include "General.h"
#include "INIIO.h"
#include "PrivateProfile.h"
#include "SetHandle.h"
#include "locale_guard.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <variant>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Limits the size of files this process may write, while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("quillon_settings_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        SetHandle::SetProgramFolder(dir.string());
        file = (dir / "Quillon.INI").string();
        General::RateStart = 0;
        General::PlenwavePath.clear();
    }
    void TearDown() override {
        SetHandle::SetProgramFolder("");
        fs::remove_all(dir);
    }
    void Put(const std::string& content) { std::ofstream(file, std::ios::binary) << content; }
    std::string Content() const {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    fs::path dir;
    std::string file;
};

const char* const kDefaultFile =
    "[Mixer]\r\nDANE_Opt=-20\r\nHOB_Opt=-20\r\nHOC_Opt=-15\r\nHOD_Opt=-15\r\n"
    "[Measure]\r\nAnalyzerType=3\r\nModulatorType=2\r\nRFConverterType=2\r\nOneChannelMode=1\r\n"
    "RefFile=QUIL----\r\nAMAMOrder=9\r\nAMPMOrder=9\r\nAMAMGrid=50\r\nAMPMGrid=50\r\n"
    "TargetLevel=-10\r\nFrequencyTranslation=0\r\nMaximumPeakGeneratorLevel=25\r\nIQFilter=0\r\n"
    "PlenwavePath=\r\nRefSource=1\r\nAMBeforePM=1\r\nSignalType=0\r\nPredistore=1\r\n"
    "GainMeasLev0=30\r\nGainMeasLev1=5\r\nTCPIPActive=0\r\nTCPIPPort=1000\r\n"
    "VerifyAM=0\r\nVerifyPM=0\r\nVerifyAMPM=1\r\n"
    "[Measure\\FFT]\r\nDetector=4\r\nDetectorParameter=8\r\nWindow=3\r\n"
    "[Measure\\Sampling]\r\nRate=16000000\r\nDepth=16384\r\nRBW=10000000\r\n"
    "[Measure\\Delays]\r\nApplyAndMeasurement=0\r\n"
    "[Sweep\\Level]\r\nStart=-10\r\nStop=0\r\nStep=1\r\nSweep=0\r\n"
    "[Sweep\\Frequency]\r\nStart=1000\r\nStop=1100\r\nStep=100\r\nSweep=0\r\n"
    "[Sweep\\Rate]\r\nStart=0\r\nStop=1\r\nStep=.1\r\nSweep=0\r\n"
    "[Noise]\r\nLength=16384\r\nLogLength=14\r\nBandwidth=1\r\nAMUsed=0\r\nPMUsed=0\r\n"
    "Clock=16\r\nIAmp=1\r\nQAmp=1\r\n"
    "[ACP]\r\nChannels=3\r\nIntSpan=10\r\n"
    "[ACP\\BW]\r\nMAINBW=1\r\nUPPER1=1\r\nUPPER2=1\r\nUPPER3=1\r\nLOWER1=1\r\nLOWER2=1\r\n"
    "LOWER3=1\r\n"
    "[ACP\\SPACE]\r\nUPPER1=1.1\r\nUPPER2=2.2\r\nUPPER3=3.3\r\nLOWER1=1.1\r\nLOWER2=2.2\r\n"
    "LOWER3=3.3\r\n"
    "[Infos]\r\nOperator=\r\nCompany=\r\nDUT=\r\nNote=\r\nWVTagCopyRight=Korva&Tellin\r\n"
    "WVTagComment=Quillon measurement file\r\n"
    "[Debug]\r\nModSourDebug=0\r\nRFSourDebug=0\r\nAnaDebug=0\r\nModSourDebugFile=0\r\n"
    "RFSourDebugFile=0\r\nAnaDebugFile=0\r\n";

TEST_F(Settings, FirstStartGivesDefaultsAndCreatesNoFile) {
    General::AMAMCoeff = {1, 2, 3};
    ASSERT_TRUE(SetHandle::ExchangeSettings(1));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(General::INIFile, file);
    EXPECT_EQ(General::AnalyzerType, 3);
    EXPECT_EQ(General::AMAMOrder, 9);
    EXPECT_FLOAT_EQ(General::TargetLevel, -10.0f);
    EXPECT_DOUBLE_EQ(General::SamplingRate, 16000000.0);
    EXPECT_TRUE(General::OneChannelMode);
    EXPECT_FALSE(General::TCPIPActive);
    EXPECT_EQ(General::RefFile, "QUIL----");
    EXPECT_EQ(General::DeviceRegEntry, "SOFTWARE\\Korva&Tellin\\VISADeviceCache");
    EXPECT_DOUBLE_EQ(General::RateStart, 0.0);
    EXPECT_EQ(General::PlenwavePath, "");
    EXPECT_DOUBLE_EQ(General::ACP.UpperSpace[2], 3.3);
    EXPECT_EQ(General::PrintItem, (std::array<bool, 4>{true, true, false, false}));
    EXPECT_EQ(General::AMAMCoeff, std::vector<double>(10, 0.0));
    EXPECT_EQ(General::AMPMPreCoeff.size(), 10u);
}

TEST_F(Settings, RestoreDefaultsWritesTheExactFile) {
    Put("[VISA]\r\nDeviceRegEntry=SOFTWARE\\Lab\\Cache\r\n");
    ASSERT_TRUE(SetHandle::ExchangeSettings(0)); // deletes the file, hand entry included
    ASSERT_TRUE(SetHandle::ExchangeSettings(2));
    EXPECT_EQ(Content(), kDefaultFile);
    EXPECT_EQ(General::DeviceRegEntry, "SOFTWARE\\Korva&Tellin\\VISADeviceCache");
    // every write replaced the file whole: no temporary file is left behind
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(Settings, GeneratorSideSweepWinsAndHandEntriesSurvive) {
    Put("; bench 3\r\n[VISA]\r\ndeviceregentry=SOFTWARE\\Lab\\Cache\r\n[Measure]\r\nMyKey=x\r\n");
    ASSERT_TRUE(SetHandle::ExchangeSettings(1));
    EXPECT_EQ(General::DeviceRegEntry, "SOFTWARE\\Lab\\Cache");
    General::AnaLevelStart = -30;
    General::GenLevelStart = -12.5;
    General::TargetLevel = -10.3f;
    ASSERT_TRUE(SetHandle::ExchangeSettings(2));
    std::string text = Content();
    EXPECT_EQ(text.rfind("; bench 3\r\n[VISA]\r\ndeviceregentry=SOFTWARE\\Lab\\Cache\r\n"
                         "[Measure]\r\nMyKey=x\r\nAnalyzerType=3\r\n",
                         0),
              0u);
    EXPECT_NE(text.find("[Sweep\\Level]\r\nStart=-12.5\r\n"), std::string::npos);
    EXPECT_NE(text.find("TargetLevel=-10.3\r\n"), std::string::npos);
    ASSERT_TRUE(SetHandle::ExchangeSettings(1));
    EXPECT_DOUBLE_EQ(General::AnaLevelStart, -12.5);
    EXPECT_DOUBLE_EQ(General::GenLevelStart, -12.5);
    EXPECT_EQ(General::DeviceRegEntry, "SOFTWARE\\Lab\\Cache");
}

TEST_F(Settings, ReadingRules) {
    std::string longText(800, 'a');
    Put("[Measure]\r\nOneChannelMode=true\r\nAMBeforePM=yes\r\nPredistore=Wahr\r\n"
        "AMAMOrder=9.5\r\nAMPMOrder=10.5\r\nAMAMGrid=\r\nRefFile=\r\nTCPIPActive=\r\n"
        "PlenwavePath=" +
        longText +
        "\r\nTargetLevel=-7 dBm\r\nSignalType=x\r\n"
        "[Sweep\\Rate]\r\nStep=0,1\r\nStop=0.1\r\n");
    ASSERT_TRUE(SetHandle::ExchangeSettings(1));
    EXPECT_TRUE(General::OneChannelMode);
    EXPECT_FALSE(General::AMBeforePM);
    EXPECT_TRUE(General::Predistore);
    EXPECT_EQ(General::AMAMOrder, 10);
    EXPECT_EQ(General::AMPMOrder, 10);
    EXPECT_EQ(General::AMAMGrid, 0); // present but empty is 0, not the default
    EXPECT_EQ(General::RefFile, ""); // ... and the empty text
    EXPECT_FALSE(General::TCPIPActive);
    EXPECT_EQ(General::PlenwavePath, std::string(749, 'a'));
    EXPECT_FLOAT_EQ(General::TargetLevel, -7.0f);
    EXPECT_EQ(General::SignalType, 0);
    EXPECT_DOUBLE_EQ(General::RateStep, 0.0);
    EXPECT_DOUBLE_EQ(General::RateStop, 0.1);
    EXPECT_EQ(General::AMAMCoeff.size(), 11u);
}

TEST_F(Settings, OutOfRangeValuesTakeTheDefault) {
    Put("[Measure]\r\nAMAMOrder=-5\r\nTCPIPPort=70000\r\nTargetLevel=1e999\r\n"
        "MaximumPeakGeneratorLevel=1e300\r\nAnalyzerType=99999999999\r\n"
        "[Measure\\Sampling]\r\nRate=1e999\r\n");
    ASSERT_TRUE(SetHandle::ExchangeSettings(1));
    EXPECT_EQ(General::AMAMOrder, 9);
    EXPECT_EQ(General::AMAMCoeff.size(), 10u);
    EXPECT_EQ(General::TCPIPPort, 1000);
    EXPECT_FLOAT_EQ(General::TargetLevel, -10.0f);
    EXPECT_FLOAT_EQ(General::MaximumPeakGeneratorLevel, 25.0f);
    EXPECT_EQ(General::AnalyzerType, 3);
    EXPECT_DOUBLE_EQ(General::SamplingRate, 16000000.0);
}

TEST_F(Settings, SaveUnderGermanLocaleWritesPoints) {
    {
        LocaleGuard locale;
        ASSERT_TRUE(locale.Use(LocaleGuard::kComma));
        ASSERT_TRUE(SetHandle::ExchangeSettings(0));
        ASSERT_TRUE(SetHandle::ExchangeSettings(2));
    }
    EXPECT_EQ(Content(), kDefaultFile);
}

TEST_F(Settings, FailedSaveIsReportedAndOldFileStaysWhole) {
    ASSERT_TRUE(SetHandle::ExchangeSettings(0));
    ASSERT_TRUE(SetHandle::ExchangeSettings(2));
    General::AMAMOrder = 5;
    bool ok = true;
    {
        // A disk that fills up mid-save: every write beyond 100 bytes fails,
        // for root as for anyone.
        FileSizeLimit limit(100);
        ok = SetHandle::ExchangeSettings(2);
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(Content(), kDefaultFile);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(Settings, SaveIntoMissingFolderIsReported) {
    SetHandle::SetProgramFolder((dir / "gone").string());
    EXPECT_TRUE(SetHandle::ExchangeSettings(0)); // nothing to delete is fine
    EXPECT_FALSE(SetHandle::ExchangeSettings(2));
}

// Every key the exchange writes and the variable it belongs to; `alsoRead` is
// the second variable a key loads into (the analyzer side of a sweep).
using Var = std::variant<std::monostate, bool*, std::int16_t*, std::int32_t*, float*, double*,
                         std::string*>;
struct Binding {
    const char* section;
    const char* key;
    Var var;
    Var alsoRead = {};
};

std::vector<Binding> AllKeys() {
    using namespace General;
    return {
        {"Mixer", "DANE_Opt", &MixerOpt[0]},
        {"Mixer", "HOB_Opt", &MixerOpt[1]},
        {"Mixer", "HOC_Opt", &MixerOpt[2]},
        {"Mixer", "HOD_Opt", &MixerOpt[3]},
        {"Measure", "AnalyzerType", &AnalyzerType},
        {"Measure", "ModulatorType", &ModulatorType},
        {"Measure", "RFConverterType", &RFConverterType},
        {"Measure", "OneChannelMode", &OneChannelMode},
        {"Measure", "RefFile", &RefFile},
        {"Measure", "AMAMOrder", &AMAMOrder},
        {"Measure", "AMPMOrder", &AMPMOrder},
        {"Measure", "AMAMGrid", &AMAMGrid},
        {"Measure", "AMPMGrid", &AMPMGrid},
        {"Measure", "TargetLevel", &TargetLevel},
        {"Measure", "FrequencyTranslation", &FrequencyTranslation},
        {"Measure", "MaximumPeakGeneratorLevel", &MaximumPeakGeneratorLevel},
        {"Measure", "IQFilter", &IQFilter},
        {"Measure\\FFT", "Detector", &Detector},
        {"Measure\\FFT", "DetectorParameter", &DetectorParameter},
        {"Measure\\FFT", "Window", &Window},
        {"Measure\\Sampling", "Rate", &SamplingRate},
        {"Measure\\Sampling", "Depth", &SamplingDepth},
        {"Measure\\Sampling", "RBW", &RBW},
        {"Measure", "PlenwavePath", &PlenwavePath},
        {"Measure", "RefSource", &RefSource},
        {"Measure", "AMBeforePM", &AMBeforePM},
        {"Measure", "SignalType", &SignalType},
        {"Measure\\Delays", "ApplyAndMeasurement", &ApplyAndMeasurement},
        {"Measure", "Predistore", &Predistore},
        {"Measure", "GainMeasLev0", &GainMeasLev0},
        {"Measure", "GainMeasLev1", &GainMeasLev1},
        {"Measure", "TCPIPActive", &TCPIPActive},
        {"Measure", "TCPIPPort", &TCPIPPort},
        {"Sweep\\Level", "Start", &GenLevelStart, &AnaLevelStart},
        {"Sweep\\Level", "Stop", &GenLevelStop, &AnaLevelStop},
        {"Sweep\\Level", "Step", &GenLevelStep, &AnaLevelStep},
        {"Sweep\\Level", "Sweep", &LevelSweep},
        {"Sweep\\Frequency", "Start", &GenFreqStart, &AnaFreqStart},
        {"Sweep\\Frequency", "Stop", &GenFreqStop, &AnaFreqStop},
        {"Sweep\\Frequency", "Step", &GenFreqStep, &AnaFreqStep},
        {"Sweep\\Frequency", "Sweep", &FrequencySweep},
        {"Sweep\\Rate", "Start", &RateStart},
        {"Sweep\\Rate", "Stop", &RateStop},
        {"Sweep\\Rate", "Step", &RateStep},
        {"Sweep\\Rate", "Sweep", &RateSweep},
        {"Measure", "VerifyAM", &VerifyAM},
        {"Measure", "VerifyPM", &VerifyPM},
        {"Measure", "VerifyAMPM", &VerifyAMPM},
        {"Noise", "Length", &NoiseLength},
        {"Noise", "LogLength", &NoiseLogLength},
        {"Noise", "Bandwidth", &NoiseBandwidth},
        {"Noise", "AMUsed", &NoiseAMUsed},
        {"Noise", "PMUsed", &NoisePMUsed},
        {"Noise", "Clock", &NoiseClock},
        {"Noise", "IAmp", &NoiseIAmp},
        {"Noise", "QAmp", &NoiseQAmp},
        {"ACP", "Channels", &ACP.Channels},
        {"ACP\\BW", "MAINBW", &ACP.MainBW},
        {"ACP", "IntSpan", &IntSpan},
        {"ACP\\BW", "UPPER1", &ACP.UpperBW[0]},
        {"ACP\\BW", "UPPER2", &ACP.UpperBW[1]},
        {"ACP\\BW", "UPPER3", &ACP.UpperBW[2]},
        {"ACP\\BW", "LOWER1", &ACP.LowerBW[0]},
        {"ACP\\BW", "LOWER2", &ACP.LowerBW[1]},
        {"ACP\\BW", "LOWER3", &ACP.LowerBW[2]},
        {"ACP\\SPACE", "UPPER1", &ACP.UpperSpace[0]},
        {"ACP\\SPACE", "UPPER2", &ACP.UpperSpace[1]},
        {"ACP\\SPACE", "UPPER3", &ACP.UpperSpace[2]},
        {"ACP\\SPACE", "LOWER1", &ACP.LowerSpace[0]},
        {"ACP\\SPACE", "LOWER2", &ACP.LowerSpace[1]},
        {"ACP\\SPACE", "LOWER3", &ACP.LowerSpace[2]},
        {"Infos", "Operator", &Operator},
        {"Infos", "Company", &Company},
        {"Infos", "DUT", &DUT},
        {"Infos", "Note", &Note},
        {"Infos", "WVTagCopyRight", &WVTagCopyRight},
        {"Infos", "WVTagComment", &WVTagComment},
        {"Debug", "ModSourDebug", &ModSourDebug},
        {"Debug", "RFSourDebug", &RFSourDebug},
        {"Debug", "AnaDebug", &AnaDebug},
        {"Debug", "ModSourDebugFile", &ModSourDebugFile},
        {"Debug", "RFSourDebugFile", &RFSourDebugFile},
        {"Debug", "AnaDebugFile", &AnaDebugFile},
    };
}

// A value of the variable's type chosen by `seed`: numbers grow with it, a
// Boolean is its lowest bit.
void Assign(const Var& var, long seed) {
    std::visit(
        [seed](auto v) {
            if constexpr (!std::is_same_v<decltype(v), std::monostate>) {
                using T = std::remove_pointer_t<decltype(v)>;
                if constexpr (std::is_same_v<T, bool>)
                    *v = (seed & 1) != 0;
                else if constexpr (std::is_same_v<T, std::string>)
                    *v = "text " + std::to_string(seed);
                else if constexpr (std::is_floating_point_v<T>)
                    *v = static_cast<T>(seed) + T(0.5);
                else
                    *v = static_cast<T>(seed);
            }
        },
        var);
}

// The variable's value as the file holds it, and as a comparable text.
std::string FileText(const Var& var) {
    return std::visit(
        [](auto v) -> std::string {
            if constexpr (std::is_same_v<decltype(v), std::monostate>)
                return "";
            else {
                using T = std::remove_pointer_t<decltype(v)>;
                if constexpr (std::is_same_v<T, bool>)
                    return *v ? "1" : "0";
                else if constexpr (std::is_same_v<T, std::string>)
                    return *v;
                else if constexpr (std::is_same_v<T, std::int16_t>)
                    return std::to_string(*v);
                else
                    return INIIO::TrimStr(*v);
            }
        },
        var);
}

TEST_F(Settings, EveryKeyRoundTripsIntoItsOwnVariable) {
    const std::vector<Binding> keys = AllKeys();
    ASSERT_TRUE(SetHandle::ExchangeSettings(0));
    std::vector<std::string> defaults;
    for (const Binding& b : keys)
        defaults.push_back(FileText(b.var));
    // Numbers and texts get their own value in every pass; the Booleans take
    // the bits of their number in turn (so any two of them differ in some
    // pass), and in the last pass each is the opposite of its default.
    constexpr int kPasses = 6;
    for (int pass = 0; pass < kPasses; ++pass) {
        SCOPED_TRACE("pass " + std::to_string(pass));
        long booleans = 0;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            long seed = 1000L * pass + 10L * static_cast<long>(i) + 3;
            if (std::holds_alternative<bool*>(keys[i].var)) {
                ++booleans;
                seed = pass + 1 < kPasses ? booleans >> pass : (defaults[i] == "1" ? 0 : 1);
            }
            // Settings the exchange keeps within their range get values inside it.
            const std::string name = std::string(keys[i].section) + "/" + keys[i].key;
            if (name == "ACP/Channels") seed = 1 + (seed / 10) % 3;
            if (name == "Measure/AMAMOrder" || name == "Measure/AMPMOrder")
                seed = 2 + (seed / 10) % 18;
            Assign(keys[i].var, seed);
            if (keys[i].alsoRead.index() != 0) Assign(keys[i].alsoRead, -7);
        }
        ASSERT_LT(booleans, 1L << (kPasses - 1));
        std::vector<std::string> expected;
        for (const Binding& b : keys)
            expected.push_back(FileText(b.var));
        ASSERT_TRUE(SetHandle::ExchangeSettings(2));
        for (std::size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(PrivateProfile::Read(keys[i].section, keys[i].key, file).value_or("(none)"),
                      expected[i])
                << keys[i].section << "/" << keys[i].key;
        // cleared: numbers and texts to values no pass gives, Booleans flipped
        for (std::size_t i = 0; i < keys.size(); ++i) {
            Assign(keys[i].var, expected[i] == "1" ? 0 : -11);
            if (keys[i].alsoRead.index() != 0) Assign(keys[i].alsoRead, -11);
        }
        ASSERT_TRUE(SetHandle::ExchangeSettings(1));
        for (std::size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(FileText(keys[i].var), expected[i]) << keys[i].section << "/" << keys[i].key;
            if (keys[i].alsoRead.index() != 0) {
                EXPECT_EQ(FileText(keys[i].alsoRead), expected[i]) << keys[i].key << " (analyzer)";
            }
        }
        if (pass + 1 == kPasses) {
            for (std::size_t i = 0; i < keys.size(); ++i)
                EXPECT_NE(expected[i], defaults[i]) << keys[i].section << "/" << keys[i].key;
        }
    }
}

TEST_F(Settings, ANoteCannotInjectKeys) {
    ASSERT_TRUE(SetHandle::ExchangeSettings(0));
    General::Note = "x\r\n[VISA]\r\nDeviceRegEntry=SOFTWARE\\Elsewhere";
    ASSERT_TRUE(SetHandle::ExchangeSettings(2));
    ASSERT_TRUE(SetHandle::ExchangeSettings(1));
    EXPECT_EQ(General::Note, "x [VISA] DeviceRegEntry=SOFTWARE\\Elsewhere");
    EXPECT_EQ(General::DeviceRegEntry, SetHandle::kDefaultDeviceRegEntry);
}

TEST_F(Settings, UnreadableFileIsReportedAndKept) {
    if (::geteuid() == 0) {
        // root reads anything: a socket stands for a file that cannot be read
        int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", file.c_str());
        ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(s);
    } else {
        Put("[Measure]\r\nAMAMOrder=5\r\n");
        ::chmod(file.c_str(), 0);
    }
    const auto type = fs::symlink_status(file).type();
    EXPECT_FALSE(SetHandle::ExchangeSettings(1)); // reported, not taken as a first start
    EXPECT_EQ(General::AMAMOrder, 9);
    EXPECT_FALSE(SetHandle::ExchangeSettings(2)); // and never replaced by the defaults
    EXPECT_EQ(fs::symlink_status(file).type(), type);
    if (type == fs::file_type::regular) {
        ::chmod(file.c_str(), 0600);
        EXPECT_EQ(Content(), "[Measure]\r\nAMAMOrder=5\r\n");
    }
}

TEST(INIReadDirect, TextWithoutTypeAndBooleanDefaults) {
    auto dir = fs::temp_directory_path() / ("quillon_iniread_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string f = (dir / "x.ini").string();
    auto text =
        INIIO::INIRead(f, "VISA", "DeviceRegEntry", std::string("SOFTWARE\\A"), INIIO::Tagged{});
    EXPECT_EQ(std::get<std::string>(text), "SOFTWARE\\A");
    EXPECT_TRUE(std::get<bool>(INIIO::INIRead(f, "S", "k", true, true)));
    EXPECT_FALSE(std::get<bool>(INIIO::INIRead(f, "S", "k", false, true)));
    EXPECT_DOUBLE_EQ(std::get<double>(INIIO::INIRead(f, "S", "k", 0.1, 0.0)), 0.1);
    fs::remove_all(dir);
}

} // namespace

TEST_F(Settings, FilesGoBesideTheProgramOnlyWhereTheyCanBeWritten) {
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME"), home = qgetenv("HOME");
    EXPECT_EQ(SetHandle::WritableFolder(dir.string()), dir.string());
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir / "cfg").string()));
    const std::string missing = (dir / "no such folder").string();
    EXPECT_EQ(SetHandle::WritableFolder(missing), (dir / "cfg" / "quillon").string());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "cfg" / "quillon"));
    qputenv("XDG_CONFIG_HOME", "relative");
    qputenv("HOME", QByteArray::fromStdString((dir / "home").string()));
    EXPECT_EQ(SetHandle::WritableFolder(missing), (dir / "home" / ".config" / "quillon").string());
    qputenv("XDG_CONFIG_HOME", xdg);
    qputenv("HOME", home);
}

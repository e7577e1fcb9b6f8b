#include "SetHandle.h"

#include "General.h"
#include "INIIO.h"
#include "PrivateProfile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace SetHandle {

namespace {

std::string& FolderOverride() {
    static std::string folder;
    return folder;
}

void ResizeCoefficients(std::vector<double>& coeff, std::int16_t order) {
    // a fresh array: an earlier fit's coefficients never survive an exchange
    coeff.assign(static_cast<std::size_t>(std::max<int>(order, 0)) + 1, 0.0);
}

} // namespace

std::string ProgramFolder() {
    if (!FolderOverride().empty()) return FolderOverride();
    if (const char* own = std::getenv("QUILLON_FOLDER"); own && *own) return own;
    // Installed under /usr the program's folder is not the user's to write.
    static const std::string folder = [] {
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        return WritableFolder(ec ? std::filesystem::current_path(ec).string()
                                 : exe.parent_path().string());
    }();
    return folder;
}

std::string WritableFolder(const std::string& exeFolder) {
    std::error_code ec;
    if (!exeFolder.empty() && std::filesystem::is_directory(exeFolder, ec) &&
        ::access(exeFolder.c_str(), W_OK) == 0)
        return exeFolder;
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".config";
    else
        base = std::filesystem::temp_directory_path(ec);
    const auto folder = base / "quillon";
    std::filesystem::create_directories(folder, ec);
    return folder.string();
}

void SetProgramFolder(const std::string& folder) {
    FolderOverride() = folder;
}

bool ExchangeSettings(int mode) {
    using namespace General;
    INIFile = ProgramFolder() + "/" + kSettingsFileName;
    const std::string& f = INIFile;
    bool ok = true;

    if (mode == 0) {
        // no file to delete is the normal first-start case
        if (std::remove(f.c_str()) != 0 && errno != ENOENT) ok = false;
    }
    // A file that is there but cannot be read is not a first start: the load
    // reports it (the defaults stand in), and no save will replace it.
    if (mode == 1 && PrivateProfile::Unreadable(f)) ok = false;

    auto x = [&](const char* section, const char* key, auto& value, auto def) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, std::string>)
            ok = INIIO::INIExchange(f, section, key, value, mode, std::string(def)) && ok;
        else
            ok = INIIO::INIExchange(f, section, key, value, mode, static_cast<T>(def)) && ok;
    };
    // An order can never be negative; a file that says so keeps the default.
    auto order = [&](const char* key, std::int16_t& value) {
        x("Measure", key, value, 9);
        if (value < 0) value = 9;
    };

    x("Mixer", "DANE_Opt", MixerOpt[0], -20.0f);
    x("Mixer", "HOB_Opt", MixerOpt[1], -20.0f);
    x("Mixer", "HOC_Opt", MixerOpt[2], -15.0f);
    x("Mixer", "HOD_Opt", MixerOpt[3], -15.0f);
    x("Measure", "AnalyzerType", AnalyzerType, 3);
    x("Measure", "ModulatorType", ModulatorType, 2);
    x("Measure", "RFConverterType", RFConverterType, 2);
    x("Measure", "OneChannelMode", OneChannelMode, true);
    x("Measure", "RefFile", RefFile, "QUIL----");
    order("AMAMOrder", AMAMOrder);
    order("AMPMOrder", AMPMOrder);
    x("Measure", "AMAMGrid", AMAMGrid, 50);
    x("Measure", "AMPMGrid", AMPMGrid, 50);
    x("Measure", "TargetLevel", TargetLevel, -10.0f);
    x("Measure", "FrequencyTranslation", FrequencyTranslation, 0.0);
    x("Measure", "MaximumPeakGeneratorLevel", MaximumPeakGeneratorLevel, 25.0f);
    x("Measure", "IQFilter", IQFilter, 0);
    x("Measure\\FFT", "Detector", Detector, 4);
    x("Measure\\FFT", "DetectorParameter", DetectorParameter, 8);
    x("Measure\\FFT", "Window", Window, 3);
    x("Measure\\Sampling", "Rate", SamplingRate, 16000000.0);
    x("Measure\\Sampling", "Depth", SamplingDepth, 16384);
    x("Measure\\Sampling", "RBW", RBW, 10000000);
    x("Measure", "PlenwavePath", PlenwavePath, std::string(PlenwavePath));
    x("Measure", "RefSource", RefSource, 1);
    x("Measure", "AMBeforePM", AMBeforePM, true);
    x("Measure", "SignalType", SignalType, 0);
    x("Measure\\Delays", "ApplyAndMeasurement", ApplyAndMeasurement, 0.0f);
    x("Measure", "Predistore", Predistore, true);
    x("Measure", "GainMeasLev0", GainMeasLev0, 30.0);
    x("Measure", "GainMeasLev1", GainMeasLev1, 5.0);
    x("Measure", "TCPIPActive", TCPIPActive, false);
    x("Measure", "TCPIPPort", TCPIPPort, 1000);
    // One key, two variables: the analyzer side is read first, then the
    // generator side, which is also written last and so is what the file keeps.
    x("Sweep\\Level", "Start", AnaLevelStart, -10.0);
    x("Sweep\\Level", "Stop", AnaLevelStop, 0.0);
    x("Sweep\\Level", "Step", AnaLevelStep, 1.0);
    x("Sweep\\Level", "Start", GenLevelStart, -10.0);
    x("Sweep\\Level", "Stop", GenLevelStop, 0.0);
    x("Sweep\\Level", "Step", GenLevelStep, 1.0);
    x("Sweep\\Level", "Sweep", LevelSweep, false);
    x("Sweep\\Frequency", "Start", AnaFreqStart, 1000.0);
    x("Sweep\\Frequency", "Stop", AnaFreqStop, 1100.0);
    x("Sweep\\Frequency", "Step", AnaFreqStep, 100.0);
    x("Sweep\\Frequency", "Start", GenFreqStart, 1000.0);
    x("Sweep\\Frequency", "Stop", GenFreqStop, 1100.0);
    x("Sweep\\Frequency", "Step", GenFreqStep, 100.0);
    x("Sweep\\Frequency", "Sweep", FrequencySweep, false);
    x("Sweep\\Rate", "Start", RateStart, double(RateStart));
    x("Sweep\\Rate", "Stop", RateStop, 1.0);
    x("Sweep\\Rate", "Step", RateStep, 0.1);
    x("Sweep\\Rate", "Sweep", RateSweep, false);
    x("Measure", "VerifyAM", VerifyAM, false);
    x("Measure", "VerifyPM", VerifyPM, false);
    x("Measure", "VerifyAMPM", VerifyAMPM, true);
    x("Noise", "Length", NoiseLength, std::pow(2.0, 14));
    x("Noise", "LogLength", NoiseLogLength, 14);
    x("Noise", "Bandwidth", NoiseBandwidth, 1.0);
    x("Noise", "AMUsed", NoiseAMUsed, false);
    x("Noise", "PMUsed", NoisePMUsed, false);
    x("Noise", "Clock", NoiseClock, 16.0);
    x("Noise", "IAmp", NoiseIAmp, 1.0);
    x("Noise", "QAmp", NoiseQAmp, 1.0);
    x("ACP", "Channels", ACP.Channels, 3);
    x("ACP\\BW", "MAINBW", ACP.MainBW, 1.0);
    x("ACP", "IntSpan", IntSpan, 10.0);
    x("ACP\\BW", "UPPER1", ACP.UpperBW[0], 1.0);
    x("ACP\\BW", "UPPER2", ACP.UpperBW[1], 1.0);
    x("ACP\\BW", "UPPER3", ACP.UpperBW[2], 1.0);
    x("ACP\\BW", "LOWER1", ACP.LowerBW[0], 1.0);
    x("ACP\\BW", "LOWER2", ACP.LowerBW[1], 1.0);
    x("ACP\\BW", "LOWER3", ACP.LowerBW[2], 1.0);
    x("ACP\\SPACE", "UPPER1", ACP.UpperSpace[0], 1.1);
    x("ACP\\SPACE", "UPPER2", ACP.UpperSpace[1], 2.2);
    x("ACP\\SPACE", "UPPER3", ACP.UpperSpace[2], 3.3);
    x("ACP\\SPACE", "LOWER1", ACP.LowerSpace[0], 1.1);
    x("ACP\\SPACE", "LOWER2", ACP.LowerSpace[1], 2.2);
    x("ACP\\SPACE", "LOWER3", ACP.LowerSpace[2], 3.3);
    x("Infos", "Operator", Operator, "");
    x("Infos", "Company", Company, "");
    x("Infos", "DUT", DUT, "");
    x("Infos", "Note", Note, "");

    PrintItem = {true, true, false, false};

    x("Infos", "WVTagCopyRight", WVTagCopyRight, kDefaultCopyRight);
    x("Infos", "WVTagComment", WVTagComment, "Quillon measurement file");
    x("Debug", "ModSourDebug", ModSourDebug, 0);
    x("Debug", "RFSourDebug", RFSourDebug, 0);
    x("Debug", "AnaDebug", AnaDebug, 0);
    x("Debug", "ModSourDebugFile", ModSourDebugFile, false);
    x("Debug", "RFSourDebugFile", RFSourDebugFile, false);
    x("Debug", "AnaDebugFile", AnaDebugFile, false);

    // Always read, never written: a key put into the file by hand survives.
    INIIO::INIExchange(f, "VISA", "DeviceRegEntry", DeviceRegEntry, 1, kDefaultDeviceRegEntry);

    // Values an edited file may hold that no reader can use: at most three
    // channel pairs, detector groups of at least one point, orders 2..19.
    ACP.Channels = std::clamp<std::int16_t>(ACP.Channels, 0, 3);
    if (DetectorParameter < 1) DetectorParameter = 8;
    AMAMOrder = std::clamp<std::int16_t>(AMAMOrder, 2, 19);
    AMPMOrder = std::clamp<std::int16_t>(AMPMOrder, 2, 19);

    ResizeCoefficients(AMAMCoeff, AMAMOrder);
    ResizeCoefficients(AMAMPreCoeff, AMAMOrder);
    ResizeCoefficients(AMPMCoeff, AMPMOrder);
    ResizeCoefficients(AMPMPreCoeff, AMPMOrder);
    return ok;
}

} // namespace SetHandle

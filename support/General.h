#pragma once
// The program's shared state: settings (most persisted in the settings file),
// run state, instrument selections, results and signal stores. Everything runs
// on the one UI thread, so nothing here is locked.
//
// Objects that belong to later subsystems (the test-signal waveform, the
// instrument scanner, the diagnostics object) are reached through accessors
// declared beside their classes, in this same namespace.

#include <QImage>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Which way a settings exchange runs.
enum ExchangeMode : int { ExchangeDefaults = 0, ExchangeLoad = 1, ExchangeSave = 2 };

// `WindowType`
enum WindowType : int {
    WindowNone = 0,
    WindowBartlett = 1,
    WindowHanning = 2,
    WindowHamming = 3,
    WindowBlackmanHarris = 4,
    WindowTukey = 5,
    WindowKaiserBessel = 6
};

// `DetectorType`
enum DetectorType : int {
    DetectorNone = 0,
    DetectorMax = 1,
    DetectorMin = 2,
    DetectorAvg = 3,
    DetectorRms = 4
};

// `MeasureStep`; -1 means no step is current.
enum MeasureStep : int {
    StepNone = -1,
    StepPreparingSetup = 0,
    StepAdjustingLevels = 1,
    StepMakingMeasurement = 2,
    StepSignalProcessing = 3,
    StepVerification = 4
};

struct ACPSettings {
    std::int16_t Channels = 0; // adjacent channel pairs, 1 to 3
    double MainBW = 0;         // MHz
    std::array<double, 3> UpperBW{};
    std::array<double, 3> LowerBW{};
    std::array<double, 3> UpperSpace{};
    std::array<double, 3> LowerSpace{};
};

struct SweepPoint {
    double GenFreq = 0, AnaFreq = 0;   // MHz
    double GenLevel = 0, AnaLevel = 0; // dBm
    double Rate = 0;                   // MHz
    // rows: reference, amplifier, predistorted; columns: second alternate
    // lower .. main .. second alternate upper
    std::array<std::array<double, 7>, 3> ChannelPower{};
};

namespace General {

// Instrument selection, identification and debug levels
inline std::int32_t AnalyzerType = 0;
inline std::int32_t ModulatorType = 0;
inline std::int32_t RFConverterType = 0;
inline std::int32_t RefSource = 0;
inline std::int16_t IQFilter = 0;
inline std::string RefFile;
inline bool OneChannelMode = false;
inline std::int32_t ModSourDebug = 0, RFSourDebug = 0, AnaDebug = 0;
inline bool ModSourDebugFile = false, RFSourDebugFile = false, AnaDebugFile = false;
inline std::string AnalyzerID, ModSourceID, RFSourceID;
inline bool ModSourceIsRFSource = false;
inline std::string DeviceRegEntry;
inline bool DebugMode = false;

// Sweep settings (the generator-side set is the one the sweep walks)
inline double GenLevelStart = 0, GenLevelStop = 0, GenLevelStep = 0;
inline double GenFreqStart = 0, GenFreqStop = 0, GenFreqStep = 0;
inline double AnaLevelStart = 0, AnaLevelStop = 0, AnaLevelStep = 0;
inline double AnaFreqStart = 0, AnaFreqStop = 0, AnaFreqStep = 0;
inline double RateStart = 0, RateStop = 0, RateStep = 0;
inline bool LevelSweep = false, FrequencySweep = false, RateSweep = false;
inline std::vector<SweepPoint> SweepPoints; // element 0 unused: points count from 1
inline std::int32_t SweepPointCount = 0;

// Measurement and test-signal settings
inline std::int16_t SignalType = 0;
inline std::string PlenwavePath;
inline float TargetLevel = 0;
inline float MaximumPeakGeneratorLevel = 0;
inline double FrequencyTranslation = 0;
inline double GainMeasLev0 = 0, GainMeasLev1 = 0;
inline float ApplyAndMeasurement = 0;
inline bool Predistore = false;
inline bool VerifyAM = false, VerifyPM = false, VerifyAMPM = false;
inline bool AMBeforePM = false;
inline std::int16_t AMAMOrder = 0, AMPMOrder = 0;
inline std::int16_t AMAMGrid = 0, AMPMGrid = 0;
inline double AMAMLowLim = 0, AMPMLowLim = 0;
inline bool AMAMLowIgn = false, AMPMLowIgn = false;
inline bool AMAMLowSet = false, AMPMLowSet = false;
inline std::int32_t Window = 0;
inline std::int32_t Detector = 0;
inline std::int32_t DetectorParameter = 0;
inline double SamplingRate = 0;
inline std::int32_t SamplingDepth = 0;
inline std::int32_t RBW = 0;
inline std::array<float, 4> MixerOpt{};
inline double IntSpan = 0;
inline ACPSettings ACP;
inline std::int32_t NoiseLength = 0;
inline std::int16_t NoiseLogLength = 0;
inline double NoiseBandwidth = 0;
inline double NoiseClock = 0;
inline double NoiseIAmp = 0, NoiseQAmp = 0;
inline bool NoiseAMUsed = false, NoisePMUsed = false;
inline float NoiseSeed = 0;

// Run state
inline bool MeasureBusy = false;
inline bool MeasureRunAbort = false;
inline bool DataPresent = false;
inline std::string RunErrorText;
inline double CurGenFreq = 0, CurAnaFreq = 0, CurAnaLevel = 0;
inline double GenRMSLevel = 0;
inline double RemainingTime = 0;

// Measurement results
inline std::vector<double> AMAMCoeff, AMPMCoeff;
inline std::vector<double> AMAMPreCoeff, AMPMPreCoeff;
inline double CurveScale = 0;
// The output amplitudes of the curves were divided by it: normalised 1 is
// this gain above the reference level.
inline double CurveGain = 0;
inline float TestSignalCrest = 0;
inline double AnaRefLevel = 0;
inline std::int16_t AnaRFAttenuation = 0;
inline double NoiseGenOff = 0, DynamicMargin = 0, InputScaleOffset = 0;
inline double CrestIn = 0, CrestOut = 0;
inline double TimingError = 0, TimingErrorCorrected = 0;
inline double AMAMError = 0, AMAMInvError = 0, AMPMError = 0, AMPMInvError = 0;
inline std::vector<double> LevelGain, LevelOutput;
inline double GainLeft = 0, GainLeftOffset = 0;
// Per-sample point sets of the last point
inline std::vector<double> InputAmplitude, OutputAmplitude;
inline std::vector<double> InputPhase, OutputPhase;
inline std::vector<double> PhaseDifferenceRad, PhaseDifference;

// Report information
inline std::string Operator, Company, DUT, Note;
inline std::string WVTagCopyRight, WVTagComment;
inline std::array<bool, 4> PrintItem{};
inline bool TCPIPActive = false;
inline std::int16_t TCPIPPort = 0;
inline std::string INIFile;

// Stores
inline std::vector<double> TestSignalI, TestSignalQ;
inline std::vector<double> DistTestSignalI, DistTestSignalQ;
inline std::array<std::vector<double>, 100> SignalStore;
inline std::array<std::vector<double>, 5> ChannelPowers;
inline std::array<std::vector<std::vector<double>>, 2> DensityGrid;
inline std::array<QImage, 9> Pictures;
inline std::string InstrumentLogRTF;

// Timing of the last point's alignment: the whole-sample lag found by the
// amplitude correlation (samples) and the group delay of the amplifier
// output against the reference (ns).
inline std::int32_t CoarseLag = 0;
inline double GroupDelay = 0;

} // namespace General

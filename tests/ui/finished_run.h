#pragma once
// A fixed state of the shared results as a finished run leaves it, so the
// report, the printed summary and the data display can be tested without
// running the bench. ScopedRunState puts it in place and restores the
// previous results afterwards.

#include "General.h"
#include "HOx.h"
#include "IQFileReader.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <string>
#include <vector>

namespace FinishedRun {

// A picture with its number written on it, so a viewer can tell them apart,
// at the size the measurement windows render it: 800 × 600 for the graphs
// 0..7, 1000 × 600 for the verification graph 8.
inline QImage Picture(int n) {
    QImage image(n == 8 ? 1000 : 800, 600, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(n * 40, 160, 230));
    QPainter painter(&image);
    painter.drawText(image.rect(), Qt::AlignCenter, QString("picture %1").arg(n));
    return image;
}

// A noise-like record of n samples whose magnitudes are known: sample k has
// magnitude (k mod 16 + 1) / 16 and phase k radians.
inline void Record(std::size_t n, double scale, std::vector<double>& I, std::vector<double>& Q) {
    I.resize(n);
    Q.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double magnitude = scale * static_cast<double>(k % 16 + 1) / 16.0;
        I[k] = magnitude * std::cos(static_cast<double>(k));
        Q[k] = magnitude * std::sin(static_cast<double>(k));
    }
}

inline void Fill() {
    namespace G = General;
    G::PrintItem = {true, true, true, false};
    G::Operator = "  Jane <Doe> & Co  ";
    G::Company = "ACME \"RF\" Labs";
    G::DUT = "PA-7 \xC3\x9F\xE2\x82\xAC"; // sharp s (Latin-1) and the euro sign (not)
    G::Note = "";
    G::ModulatorType = 2;
    G::RFConverterType = 2;
    G::ModSourceID = "Maker,KLD,100001,1.20";
    G::RFSourceID = "Maker,KLD,100001,1.20";
    G::AnalyzerID = "Maker,HOD,200002,3.40";
    SweepPoint first, last;
    first.GenFreq = 900;
    last.GenFreq = 1000.25;
    last.AnaFreq = 1000.25;
    last.Rate = 1.5;
    last.ChannelPower[1][3] = 30.0;
    last.ChannelPower[2][3] = 27.0;
    G::SweepPoints = {SweepPoint{}, first, last};
    G::SweepPointCount = 2;
    G::TargetLevel = -10.5f;
    G::ApplyAndMeasurement = 2;
    G::GenRMSLevel = -12.345;
    G::AnaRefLevel = 5.25;
    G::CurveGain = 2; // the normalised output's 1 lies 6.02 dB above the reference level
    G::MaximumPeakGeneratorLevel = 25;
    G::AnaRFAttenuation = 20;
    G::SignalType = 0;
    G::NoiseClock = 16;
    G::NoiseSeed = 0.5f;
    G::NoiseLength = 16384;
    G::IQFilter = 3;
    HOx::IQSampleRate = 16000000;
    HOx::IQSamples = 1024;
    G::RBW = 12500000;
    G::LevelOutput = {10.0, 19.876};
    G::LevelGain = {28.0, 29.514};
    G::CrestIn = 11.234;
    G::CrestOut = 9.876;
    G::NoiseGenOff = -71.5;
    G::DynamicMargin = -0.25;
    G::AMAMOrder = 2;
    G::AMPMOrder = 2;
    G::AMAMCoeff = {0.5, 1, -0.25};
    G::AMPMCoeff = {0.001, 0.02, -0.125};
    G::AMAMPreCoeff = {-0.01, 1.1, 0.3};
    G::AMPMPreCoeff = {0, -0.02, 0.125};
    G::InputScaleOffset = 3.0;
    G::TestSignalCrest = 8.0f;
    G::SignalStore[30] = {0.0, 0.25, 0.5, 0.75};
    G::SignalStore[31] = {0.0, 0.3, 0.55, 0.7};
    G::SignalStore[32] = {0.0, 0.5};
    G::SignalStore[33] = {0.001, -0.0125};
    for (int n = 0; n < 9; ++n)
        G::Pictures[static_cast<std::size_t>(n)] = Picture(n);
    // The records the data display shows: input, output, noise floor.
    Record(1024, 0.5, G::SignalStore[0], G::SignalStore[1]);
    Record(1024, 0.8, G::SignalStore[2], G::SignalStore[3]);
    Record(1024, 0.001, G::SignalStore[4], G::SignalStore[5]);
    G::Window = WindowNone;
    G::Detector = DetectorNone;
    G::DetectorParameter = 8;
    G::AnalyzerType = 0;
    // The printed summary's inputs.
    G::TimingError = 1.25;
    G::TimingErrorCorrected = 0.0625;
    G::AMAMError = 0.0123;
    G::AMAMInvError = 0.0456;
    G::AMPMError = 0.789;
    G::AMPMInvError = 1.5;
    G::ChannelPowers[1] = {-40, -35, -20, 10, -20, -35, -40};
    G::ChannelPowers[4] = {-50, -45, -30, 7, -30, -45, -50};
    G::ACP.Channels = 2;
    G::VerifyAM = false;
    G::VerifyPM = false;
    G::VerifyAMPM = true;
    std::vector<std::vector<double>> amam(100, std::vector<double>(100, 0.0));
    std::vector<std::vector<double>> ampm(100, std::vector<double>(360, 0.0));
    // AM/AM along the diagonal, rising from level 1 to 20; AM/PM a band of
    // five rows whose phase rises from 0 to about 3 degrees, fullest in its middle
    for (std::size_t i = 0; i < 100; ++i) {
        amam[i][i] = 20.0 * static_cast<double>(i + 1) / 100.0;
        const std::size_t centre = 180 + i / 4;
        for (std::size_t j = centre - 2; j <= centre + 2; ++j)
            ampm[i][j] = 20.0 / static_cast<double>(1 + (j > centre ? j - centre : centre - j));
    }
    G::DensityGrid = {amam, ampm};
    G::DataPresent = true;
}

// Keeps the results the tests change and puts them back.
class ScopedRunState {
public:
    ScopedRunState() { Fill(); }
    ~ScopedRunState() {
        General::SweepPoints.clear();
        General::LevelOutput.clear();
        General::LevelGain.clear();
        for (auto& slot : General::SignalStore)
            slot.clear();
        for (auto& picture : General::Pictures)
            picture = QImage();
        for (auto& powers : General::ChannelPowers)
            powers.clear();
        for (auto& grid : General::DensityGrid)
            grid.clear();
        General::DataPresent = false;
    }
    ScopedRunState(const ScopedRunState&) = delete;
    ScopedRunState& operator=(const ScopedRunState&) = delete;
};

} // namespace FinishedRun

// Forwarders from the engine's seams to its windows, created on first use.

#include "EngineWindows.h"

#include "ACPForm.h"
#include "Current.h"
#include "LevelingForm.h"
#include "ResultForm.h"
#include "RunProgress.h"
#include "VerifyForm.h"

namespace {

// The result window may be closed and made anew; the engine keeps this one.
class ResultWindowSink final : public ResultSink {
public:
    void Restart() override { ResultForm::Instance().Restart(); }
    void DisplayResult(const std::string& caption, double value, const std::string& format,
                       const std::string& unit) override {
        ResultForm::Instance().DisplayResult(caption, value, format, unit);
    }
    bool ShowValue(int row, float value, float shown, std::optional<float> extra) override {
        return ResultForm::Instance().ShowValue(row, value, shown, extra);
    }
};

class LevelingDialogMeter final : public LevelingMeter {
public:
    void Begin(double target) override { LevelingForm::Instance().Begin(target); }
    void ShowValue(double level) override { LevelingForm::Instance().ShowValue(level); }
    bool CheckOK() override { return LevelingForm::Instance().CheckOK(); }
    bool Closed() override { return LevelingForm::Instance().Closed(); }
    void End() override { LevelingForm::Instance().End(); }
};

ResultWindowSink g_sink;
LevelingDialogMeter g_meter;

} // namespace

namespace EngineWindows {

void Install() {
    ResultSink::Install(&g_sink);
    LevelingMeter::Install(&g_meter);
    RunProgress::SetShowStateHook([](int step) { Current::Instance().ShowState(step); });
    ACPForm::Install();
    VerifyForm::InstallViewMaker();
}

void Uninstall() {
    ResultSink::Install(nullptr);
    LevelingMeter::Install(nullptr);
    RunProgress::SetShowStateHook({});
    ACPForm::Uninstall();
    Verification::SetViewMaker(nullptr);
}

} // namespace EngineWindows

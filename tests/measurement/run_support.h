#pragma once
// What the run tests share: equipment lists that record what discovery did
// and answer the run's questions, a large message box that records and
// answers at once, the resource cache of a simulated bench in a temporary
// registry, and the settings of a small run on that bench.

#include "../instruments/simbench_process.h"
#include "../support/fakes.h"
#include "../support/registry_fixture.h"
#include "ACP.h"
#include "EquipmentLists.h"
#include "General.h"
#include "IEC.h"
#include "RegAccess.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

struct FakeLists : EquipmentLists {
    struct List {
        std::vector<std::string> labels, resources;
        int selected = -1;
        bool enabled = true;
    };
    std::map<Role, List> lists;
    std::vector<std::string> calls;
    double rateMHz = 16;

    void Clear(Role r) override { lists[r] = List{}; }
    void Add(Role r, const std::string& label, const std::string& resource) override {
        lists[r].labels.push_back(label);
        lists[r].resources.push_back(resource);
    }
    int Count(Role r) const override {
        auto it = lists.find(r);
        return it == lists.end() ? 0 : int(it->second.labels.size());
    }
    void SetEnabled(Role r, bool on) override { lists[r].enabled = on; }
    void SelectLast(Role r) override { lists[r].selected = Count(r) - 1; }
    void UpdateAnalyzer() override { calls.push_back("UpdateAnalyzer"); }
    void UpdateModSource() override { calls.push_back("UpdateModSource"); }
    std::string SelectedResource(Role r) const override {
        auto it = lists.find(r);
        if (it == lists.end() || it->second.selected < 0) return {};
        return it->second.resources[size_t(it->second.selected)];
    }
    double SamplingRateMHz() const override { return rateMHz; }
    double UnofferedRateMHz() const override { return 0; }
    std::string SelectedLabel(Role r) const override { return Selected(r); }

    // One selected instrument per role, of the family the type codes name
    // (no label of its own); or of the family `label` names.
    void Select(Role r, const std::string& resource, const std::string& label = "") {
        lists[r] = List{{label}, {resource}, 0, true};
    }
    std::string Selected(Role r) const {
        auto it = lists.find(r);
        if (it == lists.end() || it->second.selected < 0) return {};
        return it->second.labels[size_t(it->second.selected)];
    }
};

// The services a run uses, faked; the shared state of a small run.
struct RunFixture : RegistryFixture {
    FakeStatus status;
    FakeSleep sleep;
    FakeClock clock;
    FakeMessageBox boxes;
    FakeBigMessage big;
    FakeLists lists;
    Services::Scoped<Services::StatusDisplayService> s1{status};
    Services::Scoped<Services::SleepService> s2{sleep};
    Services::Scoped<Services::ClockService> s3{clock};
    Services::Scoped<Services::MessageBoxService> s4{boxes};
    Services::Scoped<Services::BigMessageService> s5{big};

    static inline const std::string kKey = "SOFTWARE\\Korva&Tellin\\VISADeviceCache";

    void SetUp() override {
        RegistryFixture::SetUp();
        EquipmentLists::Install(&lists);
        using namespace General;
        ModulatorType = 0, RFConverterType = 1, AnalyzerType = 1;
        IQFilter = 0, RefSource = 0;
        MaximumPeakGeneratorLevel = 25, TargetLevel = -10;
        ModSourDebug = RFSourDebug = AnaDebug = 0;
        ModSourDebugFile = RFSourDebugFile = AnaDebugFile = false;
        SignalType = 0, PlenwavePath.clear();
        NoiseClock = 16, NoiseBandwidth = 1, NoiseLength = 4096, NoiseLogLength = 12;
        NoiseSeed = 1, NoiseIAmp = NoiseQAmp = 1;
        SamplingRate = 16e6, SamplingDepth = 2048, RBW = 10000000;
        FrequencySweep = LevelSweep = RateSweep = false;
        GenFreqStart = AnaFreqStart = 1000, GenFreqStep = AnaFreqStep = 100;
        GenFreqStop = AnaFreqStop = 1100;
        GenLevelStart = AnaLevelStart = -10, GenLevelStep = 1, GenLevelStop = 0;
        RateStart = 1, RateStep = 1, RateStop = 2;
        FrequencyTranslation = 0;
        Predistore = false, VerifyAM = VerifyPM = false, VerifyAMPM = true;
        ApplyAndMeasurement = 0;
        AMAMGrid = AMPMGrid = 50, AMAMOrder = AMPMOrder = 9;
        AMAMLowIgn = AMPMLowIgn = AMAMLowSet = AMPMLowSet = false;
        AMAMLowLim = AMPMLowLim = 0;
        MeasureBusy = MeasureRunAbort = DataPresent = false;
        RunErrorText.clear();
        General::ACP = ACPSettings{};
        General::ACP.MainBW = 3.84;
        INIFile.clear();
    }
    void TearDown() override {
        ACP::SetMeasureOverride(nullptr);
        EquipmentLists::Install(nullptr);
        IEC::Instance().SetModSourVIF(nullptr);
        IEC::Instance().SetRFSourVIF(nullptr);
        IEC::Instance().SetAnaVIF(nullptr);
        General::MeasureBusy = General::MeasureRunAbort = false;
        RegistryFixture::TearDown();
    }

    // The bench's instruments as the resource cache lists them.
    void Cache(const SimBench& bench) {
        int n = 0;
        for (const char* role : {"modsource", "rf", "analyzer"}) {
            const std::string r = bench.Resource(role);
            if (r.empty() || (role == std::string("rf") && r == bench.Resource("modsource")))
                continue;
            RegAccess::WriteRegValue(Registry::HKEY_LOCAL_MACHINE, kKey,
                                     "DEVICE" + std::to_string(++n), r);
        }
        RegAccess::WriteRegValue(Registry::HKEY_LOCAL_MACHINE, kKey, "SERVER1", "localhost");
    }

    // Selects the bench's instruments in the lists (the RF generator too
    // when it shares the modulation source's instrument).
    void SelectBench(const SimBench& bench) {
        lists.Select(Role::ModSource, bench.Resource("modsource"));
        lists.Select(Role::RFGen, bench.Resource("rf"));
        lists.Select(Role::Analyzer, bench.Resource("analyzer"));
    }
    using Role = EquipmentLists::Role;
};

// The log without the error-queue polls that follow every command.
inline std::vector<std::string> Commands(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    for (const std::string& l : log)
        if (l != "SYST:ERR?") out.push_back(l);
    return out;
}

inline long CountOf(const std::vector<std::string>& log, const std::string& prefix) {
    return std::count_if(log.begin(), log.end(),
                         [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

#pragma once
// Stand-ins for the engine's windows, recording
// what the measurement showed and asked.

#include "../support/fakes.h"
#include "LevelingMeter.h"
#include "ResultSink.h"
#include "Services.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Keeps every line as text: "caption=value" for DisplayResult, "row:value"
// (with "|extra") for ShowValue; declines the rows listed in `decline`.
struct RecordingSink : ResultSink {
    std::vector<std::string> lines;
    std::vector<int> rows;
    std::vector<float> values;
    std::vector<int> decline;
    int restarts = 0;
    void Restart() override {
        ++restarts;
        lines.clear();
    }
    void DisplayResult(const std::string& caption, double value, const std::string&,
                       const std::string&) override {
        lines.push_back(caption + "=" + std::to_string(value));
    }
    bool ShowValue(int row, float value, float, std::optional<float> extra) override {
        rows.push_back(row);
        values.push_back(value);
        lines.push_back(std::to_string(row) + ":" + std::to_string(value) +
                        (extra ? "|" + std::to_string(*extra) : ""));
        for (int r : decline)
            if (r == row) return false;
        return true;
    }
    // The value shown for a row, or NaN when it was not shown.
    float Value(int row) const {
        for (std::size_t k = 0; k < rows.size(); ++k)
            if (rows[k] == row) return values[k];
        return std::nanf("");
    }
};

struct ScopedSink {
    explicit ScopedSink(ResultSink& sink) { ResultSink::Install(&sink); }
    ~ScopedSink() { ResultSink::Install(nullptr); }
};

// A leveling meter that presses OK after `okAfter` values (0: never) and
// runs `onValue` for each value shown.
struct FakeMeter : LevelingMeter {
    int okAfter = 1;
    int begins = 0, ends = 0;
    double target = 0;
    std::vector<double> values;
    bool ok = false, closed = false;
    std::function<void(FakeMeter&)> onValue;
    void Begin(double t) override {
        ++begins;
        target = t;
        ok = closed = false;
    }
    void ShowValue(double level) override {
        values.push_back(level);
        if (okAfter > 0 && int(values.size()) >= okAfter) ok = true;
        if (onValue) onValue(*this);
    }
    bool CheckOK() override { return ok; }
    bool Closed() override { return closed; }
    void End() override { ++ends; }
};

struct ScopedMeter {
    explicit ScopedMeter(LevelingMeter& meter) { LevelingMeter::Install(&meter); }
    ~ScopedMeter() { LevelingMeter::Install(nullptr); }
};

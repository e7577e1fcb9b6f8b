#pragma once
// Where the measurement of a sweep point lists its intermediate values: the
// result window when one is installed, otherwise nothing (a headless run
// accepts every value).

#include <optional>
#include <string>

class ResultSink {
public:
    virtual ~ResultSink() = default;

    // Empties the list at the start of a sweep point.
    virtual void Restart() = 0;
    // A caption line and a bold black value line: Format(value, format) & " " & unit.
    virtual void DisplayResult(const std::string& caption, double value, const std::string& format,
                               const std::string& unit) = 0;
    // The row's lines with its plausibility colour; asks the operator when the
    // value breaks the row's hard limit. False only when the operator declines.
    virtual bool ShowValue(int row, float value, float shown,
                           std::optional<float> extra = std::nullopt) = 0;

    // The installed sink, or one that writes nothing and accepts everything.
    static ResultSink& Get();
    // nullptr uninstalls.
    static void Install(ResultSink* sink);
};

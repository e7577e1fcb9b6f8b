// The installed result sink and the silent one used while none is installed.

#include "ResultSink.h"

namespace {
class SilentSink final : public ResultSink {
public:
    void Restart() override {}
    void DisplayResult(const std::string&, double, const std::string&,
                       const std::string&) override {}
    bool ShowValue(int, float, float, std::optional<float>) override { return true; }
};

ResultSink*& Installed() {
    static ResultSink* sink = nullptr;
    return sink;
}
} // namespace

ResultSink& ResultSink::Get() {
    static SilentSink silent;
    return Installed() ? *Installed() : silent;
}

void ResultSink::Install(ResultSink* sink) {
    Installed() = sink;
}

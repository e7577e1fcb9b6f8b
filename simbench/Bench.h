#pragma once
// The simulated bench: the instruments of a configuration, each listening on
// its own TCP port and speaking SCPI over the raw socket, the signal chain
// between them, the faults to show and the command logs. One thread serves
// every connection with poll(); other threads may inspect the bench and
// change its faults through the locked accessors.

#include "Amplifier.h"
#include "Capture.h"
#include "Config.h"
#include "Dsp.h"
#include "Instrument.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace simbench {

class Bench {
public:
    explicit Bench(BenchConfig config);
    ~Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    // Opens the command logs and binds and listens on every instrument's port.
    bool Listen(std::string& why);

    struct Endpoint {
        unsigned roles;
        Family family;
        int port;
        std::string resource; // TCPIP0::<host>::<port>::SOCKET
    };
    std::vector<Endpoint> Endpoints() const;

    // What the program prints once it listens: one "INSTRUMENT <roles>
    // <family> <resource>" line per instrument, "CONVERTER level_dbm=<x>" for
    // an external converter, one "AMPLIFIER ..." and one "BENCH ..." line
    // (the program adds "READY").
    std::string StartupText() const;

    // Serves until Stop() is called (from any thread or a signal handler).
    void Run();
    void Stop();

    // --- for the commands --------------------------------------------------------
    const BenchConfig& Config() const { return config_; }
    const Amplifier& GetAmplifier() const { return amplifier_; }
    // What reaches the analyzer input with the instruments as they are set now.
    SignalPath Path() const;
    // One capture on the analyzer with its current settings.
    CaptureData Capture(const Instrument& analyzer);
    // Writes a decoded waveform to the waveform folder, when one is set.
    void DumpWaveform(const Waveform& wave);

    // --- inspection and control from other threads ------------------------------
    std::vector<std::string> CommandLog(Role role) const;
    void ClearLogs();
    void SetFault(const Fault& fault);
    void ClearFaults();
    // Catalogue of the modulation source (stored names in order).
    std::vector<std::string> Catalogue() const;
    // The waveform the modulation source has selected or loaded, if any.
    std::shared_ptr<const Waveform> SelectedWaveform() const;
    // Seconds the bench has spent executing the messages of an instrument
    // (framing, logging and execution; not waiting for the network).
    double BusySeconds(Role role) const;
    // The settings of the analyzer's I/Q capture.
    IqSettings AnalyzerIq() const;
    // Bytes of messages received and not yet executed, over all connections.
    std::size_t BufferedInput() const;
    // Bytes of answers not yet sent, over all connections.
    std::size_t UnsentOutput() const;

private:
    struct Listener;
    struct Connection;

    Instrument* ByRole(Role role) const;
    void Accept(Listener& listener);
    void ReadFrom(Connection& c);
    void Serve(Connection& c);
    void Pump(Connection& c);
    bool TakesInput(const Connection& c) const;
    void ShareInputBudget(Connection& c) const;
    bool AppendUntilHalfBlock(Connection& c, const char* data, std::size_t size);
    void HandleMessage(Connection& c, std::string& message);
    void Flush(Connection& c);
    void RemoveClosed();
    void ApplyFault(const Fault& fault);

    BenchConfig config_;
    Amplifier amplifier_;
    Rng rng_;
    double carrierPhase_;
    bool triggerUnplugged_ = false;
    std::vector<std::unique_ptr<Instrument>> instruments_;
    std::vector<std::unique_ptr<Listener>> listeners_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<double> busySeconds_; // per instrument
    mutable std::mutex mutex_;
    std::atomic<bool> stop_{false};
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
};

} // namespace simbench

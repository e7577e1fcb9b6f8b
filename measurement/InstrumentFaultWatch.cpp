// The first SCPI error or transfer failure of the watched sessions.

#include "InstrumentFaultWatch.h"

#include <algorithm>

InstrumentFaultWatch::~InstrumentFaultWatch() {
    for (auto& c : connections_)
        QObject::disconnect(c);
}

void InstrumentFaultWatch::Watch(const std::shared_ptr<VIF>& session, const std::string& name) {
    if (!session || std::find(sessions_.begin(), sessions_.end(), session) != sessions_.end())
        return;
    sessions_.push_back(session);
    connections_.push_back(
        QObject::connect(session.get(), &VIF::VIFSCPIError,
                         [this, name](const std::string& command, const std::string& error) {
                             Note(name, command, error);
                         }));
    connections_.push_back(
        QObject::connect(session.get(), &VIF::VIFVIFError,
                         [this, name](const std::string& command, const std::string& error) {
                             Note(name, command, error);
                         }));
}

void InstrumentFaultWatch::Note(const std::string& name, const std::string& command,
                                const std::string& error) {
    if (!first_.empty()) return;
    first_ = name + ": " + error;
    if (!command.empty()) first_ += " (" + command + ")";
}

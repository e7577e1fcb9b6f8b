#pragma once
// Notes the first fault a set of instrument sessions reports while the guard
// lives: an SCPI error from the instrument's error queue or a failed transfer.
// A sweep point whose instruments refused a command would measure with
// settings nobody asked for, so the measurement ends with the fault instead.

#include "VIF.h"

#include <QMetaObject>
#include <memory>
#include <string>
#include <vector>

class InstrumentFaultWatch {
public:
    InstrumentFaultWatch() = default;
    ~InstrumentFaultWatch();
    InstrumentFaultWatch(const InstrumentFaultWatch&) = delete;
    InstrumentFaultWatch& operator=(const InstrumentFaultWatch&) = delete;

    // Watches the session under the name used in messages ("Analyzer", ...);
    // a session already watched (one instrument in two roles) is not added
    // twice, a null session is passed over.
    void Watch(const std::shared_ptr<VIF>& session, const std::string& name);

    // "<name>: <error> (<command>)" of the first fault, empty while none.
    const std::string& FirstFault() const { return first_; }
    bool Faulted() const { return !first_.empty(); }

private:
    void Note(const std::string& name, const std::string& command, const std::string& error);

    std::vector<std::shared_ptr<VIF>> sessions_;
    std::vector<QMetaObject::Connection> connections_;
    std::string first_;
};

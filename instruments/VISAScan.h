#pragma once
// Instrument discovery: reads the search patterns (DEVICE1, DEVICE2, ...) and
// VISA servers (SERVER1, ...) of the resource cache under
// HKEY_LOCAL_MACHINE\<key>, searches every pattern on every server, opens each
// resource found, asks it "*IDN?", identifies the maker's instruments with
// the KTDevIdent recognisers and asks those for "*OPT?". A pattern that finds
// nothing is tried as a literal resource name, which is how socket resources
// (never found by a search) are reached.
//
// The results live in KTDevIdent::DeviceList, shared by every object: a scan
// replaces the table of the one before. The accessors read that table; an
// index outside it gives empty text and 0.
//
// The scan talks to the VISA layer directly. It runs to its end inside Scan(),
// letting pending events run between resources; a scan asked for from one of
// those events is refused.

#include "visa/visa.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class VISAScan : public QObject {
    Q_OBJECT

public:
    // The VISA calls the scan makes; the library's by default.
    struct VisaCalls {
        std::function<ViStatus(ViSession*)> OpenDefaultRM = viOpenDefaultRM;
        std::function<ViStatus(ViSession, ViConstString, ViFindList*, ViUInt32*, ViChar*)>
            FindRsrc = viFindRsrc;
        std::function<ViStatus(ViFindList, ViChar*)> FindNext = viFindNext;
        std::function<ViStatus(ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViSession*)> Open =
            viOpen;
        std::function<ViStatus(ViObject, ViAttr, ViAttrState)> SetAttribute = viSetAttribute;
        std::function<ViStatus(ViSession, ViConstBuf, ViUInt32, ViUInt32*)> Write = viWrite;
        std::function<ViStatus(ViSession, ViBuf, ViUInt32, ViUInt32*)> Read = viRead;
        std::function<ViStatus(ViSession, ViUInt16)> GpibControlREN = viGpibControlREN;
        std::function<ViStatus(ViObject)> Close = viClose;
    };

    explicit VISAScan(QObject* parent = nullptr);
    explicit VISAScan(VisaCalls calls, QObject* parent = nullptr);

    std::string IDAnswer(std::int16_t Index) const;
    std::string VISAResString(std::int16_t Index) const;
    // The option list of the last entry whose resource string begins with
    // `Resource` (case-sensitive); empty when none does.
    std::string OptionListByRes(const std::string& Resource) const;
    // Whether an entry whose resource string begins with `Resource` lists
    // `Option` anywhere in its option answer (case-sensitive).
    bool OptionByRes(const std::string& Resource, const std::string& Option) const;
    std::string OptionList(std::int16_t Index) const;
    std::int32_t DeviceTyp(std::int16_t Index) const;
    std::string DeviceGroup(std::int16_t Index) const;
    std::string DeviceInfo(std::int16_t Index) const;
    std::int16_t DeviceCount() const;

    // Runs the scan with `TimeOut` ms for each instrument's answers (the
    // discovery passes 1000). False only when it was refused because a scan is
    // already running.
    bool Scan(const std::string& RegKey, std::int32_t TimeOut);
    // Whether a scan is running now (a discovery must not replace or restart
    // the scanner meanwhile).
    static bool Scanning();

    // Answer texts of ExploreResult.
    static constexpr const char* UnknownDevice = "unknown device";
    static constexpr const char* NoAnswer = "not found (output buffer empty)";

signals:
    // Once per scan, after both lists are read.
    void ScanStarting();
    // Each pattern before its search (without the server prefix) and each
    // resource before it is opened.
    void Exploring(const std::string& What);
    // After each resource that was identified (its label), that answered
    // without the maker's name, or that could not be asked.
    void ExploreResult(const std::string& Result);

private:
    std::vector<std::string> ReadList(const std::string& key, const std::string& name) const;
    void Identify(ViSession rm, const std::string& resource, int& index, std::int32_t timeout);
    std::string ReadAnswer(ViSession vi);
    static void LetEventsRun();

    VisaCalls calls_;
};

namespace General {
// The scanner of the last discovery; the discovery puts a new one here each
// time. Empty until the first discovery.
std::unique_ptr<VISAScan>& InstrumentScan();
} // namespace General

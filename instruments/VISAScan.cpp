#include "VISAScan.h"

#include "INIIO.h"
#include "KTDevIdent.h"
#include "RegAccess.h"
#include "StringOp.h"

#include <QCoreApplication>
#include <algorithm>
#include <cctype>

namespace {

// Answers longer than this are cut: identification and option answers are
// short.
constexpr ViUInt32 kAnswerLength = 1000;

bool scanRunning = false;

struct RunningFlag {
    RunningFlag() { scanRunning = true; }
    ~RunningFlag() { scanRunning = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;
};

const DeviceRecord* Entry(std::int16_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= KTDevIdent::DeviceList.size())
        return nullptr;
    return &KTDevIdent::DeviceList[static_cast<std::size_t>(index)];
}

std::string Blanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Capitals(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

ViConstBuf Bytes(const char* text) {
    return reinterpret_cast<ViConstBuf>(text);
}

} // namespace

VISAScan::VISAScan(QObject* parent) : VISAScan(VisaCalls{}, parent) {}

VISAScan::VISAScan(VisaCalls calls, QObject* parent) : QObject(parent), calls_(std::move(calls)) {}

std::string VISAScan::IDAnswer(std::int16_t Index) const {
    const DeviceRecord* e = Entry(Index);
    return e ? e->IDAnswer : std::string();
}

std::string VISAScan::VISAResString(std::int16_t Index) const {
    const DeviceRecord* e = Entry(Index);
    return e ? e->VISAResString : std::string();
}

std::string VISAScan::OptionListByRes(const std::string& Resource) const {
    std::string found;
    for (const DeviceRecord& e : KTDevIdent::DeviceList)
        if (e.VISAResString.compare(0, Resource.size(), Resource) == 0) found = e.OptionList;
    return found;
}

bool VISAScan::OptionByRes(const std::string& Resource, const std::string& Option) const {
    return std::any_of(KTDevIdent::DeviceList.begin(), KTDevIdent::DeviceList.end(),
                       [&](const DeviceRecord& e) {
                           return e.VISAResString.compare(0, Resource.size(), Resource) == 0 &&
                                  e.OptionList.find(Option) != std::string::npos;
                       });
}

std::string VISAScan::OptionList(std::int16_t Index) const {
    const DeviceRecord* e = Entry(Index);
    return e ? e->OptionList : std::string();
}

std::int32_t VISAScan::DeviceTyp(std::int16_t Index) const {
    const DeviceRecord* e = Entry(Index);
    return e ? e->DeviceTyp : 0;
}

std::string VISAScan::DeviceGroup(std::int16_t Index) const {
    const DeviceRecord* e = Entry(Index);
    return e ? e->DeviceGroup : std::string();
}

std::string VISAScan::DeviceInfo(std::int16_t Index) const {
    const DeviceRecord* e = Entry(Index);
    return e ? e->DeviceInfo : std::string();
}

std::int16_t VISAScan::DeviceCount() const {
    return static_cast<std::int16_t>(KTDevIdent::DeviceList.size());
}

bool VISAScan::Scanning() {
    return scanRunning;
}

std::vector<std::string> VISAScan::ReadList(const std::string& key, const std::string& name) const {
    std::vector<std::string> list;
    // The numbering ends at the first missing or empty value.
    for (int n = 1;; ++n) {
        const std::string value = INIIO::TrimStr(
            RegAccess::ReadRegValue(Registry::HKEY_LOCAL_MACHINE, key, name + std::to_string(n)));
        if (value.empty()) break;
        list.push_back(value);
    }
    if (list.empty()) list.emplace_back();
    return list;
}

void VISAScan::LetEventsRun() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

bool VISAScan::Scan(const std::string& RegKey, std::int32_t TimeOut) {
    // The table and the VISA objects of a running scan must not be pulled
    // from under it by a scan started from one of its events.
    if (scanRunning) return false;
    RunningFlag running;

    const std::vector<std::string> patterns = ReadList(RegKey, "DEVICE");
    const std::vector<std::string> servers = ReadList(RegKey, "SERVER");
    emit ScanStarting();

    KTDevIdent::DeviceList.assign(1, DeviceRecord{});
    int index = -1;

    ViSession rm = VI_NULL;
    calls_.OpenDefaultRM(&rm);
    for (const std::string& server : servers) {
        const std::string prefix = server == "localhost" ? "" : "visa://" + server + "/";
        for (const std::string& pattern : patterns) {
            emit Exploring(pattern);
            const std::string expression = prefix + pattern;
            std::vector<std::string> resources;
            ViFindList list = VI_NULL;
            ViUInt32 count = 0;
            char desc[VI_FIND_BUFLEN + 1] = {};
            if (calls_.FindRsrc(rm, expression.c_str(), &list, &count, desc) < 0) {
                resources.push_back(expression);
            } else {
                resources.emplace_back(desc);
                for (ViUInt32 k = 1; k < count; ++k) {
                    char next[VI_FIND_BUFLEN + 1] = {};
                    // A list that ends early ends here: the buffer of a failed
                    // call holds no new descriptor.
                    if (calls_.FindNext(list, next) < 0) break;
                    resources.emplace_back(next);
                }
            }
            for (const std::string& resource : resources)
                Identify(rm, resource, index, TimeOut);
            LetEventsRun();
        }
    }
    calls_.Close(rm);
    return true;
}

std::string VISAScan::ReadAnswer(ViSession vi) {
    std::string buffer(kAnswerLength, '\0');
    ViUInt32 got = 0;
    calls_.Read(vi, reinterpret_cast<ViBuf>(buffer.data()), kAnswerLength, &got);
    buffer.resize(std::min<ViUInt32>(got, kAnswerLength));
    return StringOp::StripLineEnds(buffer);
}

void VISAScan::Identify(ViSession rm, const std::string& resource, int& index,
                        std::int32_t timeout) {
    emit Exploring(resource);
    if (static_cast<std::size_t>(index + 1) >= KTDevIdent::MaxDevices) return;
    ++index;
    if (index > 0) KTDevIdent::DeviceList.emplace_back();
    const auto at = static_cast<std::int16_t>(index);
    {
        DeviceRecord& e = KTDevIdent::DeviceList[static_cast<std::size_t>(index)];
        e.VISAResString = resource;
        e.DeviceTyp = 0;
        e.DeviceInfo = KTDevIdent::UnidentifiedInfo;
    }

    ViSession vi = VI_NULL;
    const auto wait = static_cast<ViUInt32>(timeout);
    if (calls_.Open(rm, resource.c_str(), VI_NO_LOCK, wait, &vi) < 0 || vi == VI_NULL) {
        // Nothing to ask: the resource counts as one that did not answer.
        emit ExploreResult(NoAnswer);
        return;
    }
    calls_.SetAttribute(vi, VI_ATTR_TMO_VALUE, wait);

    ViUInt32 sent = 0;
    if (calls_.Write(vi, Bytes("*IDN?"), 5, &sent) != VI_ERROR_NLISTENERS) {
        const std::string answer = ReadAnswer(vi);
        KTDevIdent::DeviceList[static_cast<std::size_t>(index)].IDAnswer = answer;
        if (answer.empty()) {
            emit ExploreResult(NoAnswer);
        } else if (Capitals(answer).find("KORVA") == std::string::npos) {
            KTDevIdent::DeviceList[static_cast<std::size_t>(index)].DeviceTyp = 99;
            emit ExploreResult(UnknownDevice);
        } else {
            const std::size_t comma = answer.find(',');
            const std::string model =
                Blanks(comma == std::string::npos ? answer : answer.substr(comma + 1));
            if (KTDevIdent::IdentifyModel(model, at)) {
                DeviceRecord& e = KTDevIdent::DeviceList[static_cast<std::size_t>(index)];
                if (e.QueryOptions) {
                    calls_.Write(vi, Bytes("*OPT?"), 5, &sent);
                    e.OptionList = ReadAnswer(vi);
                }
                LetEventsRun();
                emit ExploreResult(
                    KTDevIdent::DeviceList[static_cast<std::size_t>(index)].DeviceInfo);
            }
        }
    }
    calls_.GpibControlREN(vi, VI_GPIB_REN_DEASSERT_GTL);
    calls_.Close(vi);
}

std::unique_ptr<VISAScan>& General::InstrumentScan() {
    static std::unique_ptr<VISAScan> scanner;
    return scanner;
}

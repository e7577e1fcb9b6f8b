#include "visa.h"

#include "Backend.h"
#include "FileCloser.h"
#include "NoCase.h"
#include "ResourceName.h"
#include "Search.h"
#include "SearchPattern.h"
#include "SocketBackend.h"
#include "UsbTmcBackend.h"
#include "Vxi11Backend.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <sys/stat.h>

namespace Visa {

namespace {

constexpr ViUInt32 kDefaultTimeoutMs = 2000;
constexpr ViUInt32 kDefaultOpenTimeoutMs = 2000;
// How long the VXI-11 broadcast of a search waits on each interface.
constexpr int kDiscoveryMs = 500;
// Piece size of file transfers.
constexpr std::size_t kFileChunk = 65536;

struct Instrument {
    ViSession rm = VI_NULL;
    std::unique_ptr<Backend> backend;
    ViUInt32 timeout = kDefaultTimeoutMs;
    bool sendEnd = true;
    bool readdressing = true;
    bool unaddressing = false;
    std::mutex io; // one call at a time per session
};

struct FindList {
    ViSession rm = VI_NULL;
    std::vector<std::string> matches;
    std::size_t next = 1;
};

struct Manager {
    std::vector<ViObject> children;
};

// Every object lives here under its id. Calls look an object up under the
// lock and do their I/O outside it.
struct Registry {
    std::mutex lock;
    ViObject lastId = VI_NULL;
    std::map<ViObject, Manager> managers;
    std::map<ViObject, std::shared_ptr<Instrument>> instruments;
    std::map<ViObject, FindList> findLists;

    bool InUse(ViObject id) const {
        return managers.count(id) != 0 || instruments.count(id) != 0 || findLists.count(id) != 0;
    }
    ViObject NewId() {
        do {
            ++lastId;
        } while (lastId == VI_NULL || InUse(lastId));
        return lastId;
    }
    void Forget(ViSession rm, ViObject child) {
        auto it = managers.find(rm);
        if (it == managers.end()) return;
        auto& c = it->second.children;
        c.erase(std::remove(c.begin(), c.end(), child), c.end());
    }
};

Registry& Objects() {
    static Registry registry;
    return registry;
}

std::shared_ptr<Instrument> FindInstrument(ViSession vi) {
    Registry& reg = Objects();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto it = reg.instruments.find(vi);
    return it == reg.instruments.end() ? nullptr : it->second;
}

bool IsManager(ViSession rm) {
    Registry& reg = Objects();
    std::lock_guard<std::mutex> guard(reg.lock);
    return reg.managers.count(rm) != 0;
}

// Attributes exist on instrument sessions only.
ViStatus NoAttributes(ViObject object) {
    Registry& reg = Objects();
    std::lock_guard<std::mutex> guard(reg.lock);
    return reg.InUse(object) ? VI_ERROR_NSUP_ATTR : VI_ERROR_INV_OBJECT;
}

template <class F> ViStatus WithInstrument(ViSession vi, F&& f) {
    std::shared_ptr<Instrument> inst = FindInstrument(vi);
    if (!inst) return VI_ERROR_INV_OBJECT;
    std::lock_guard<std::mutex> io(inst->io);
    return f(*inst);
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

void CopyDescriptor(ViChar desc[], const std::string& text) {
    if (desc == nullptr) return;
    std::size_t n = std::min<std::size_t>(text.size(), VI_FIND_BUFLEN - 1);
    std::memcpy(desc, text.data(), n);
    desc[n] = '\0';
}

// Validates a search; VI_SUCCESS leaves the compiled expression in `pattern`.
ViStatus PrepareSearch(ViSession rm, ViConstString expr, SearchPattern& pattern) {
    if (!IsManager(rm)) return VI_ERROR_INV_OBJECT;
    if (expr == nullptr) return VI_ERROR_INV_EXPR;
    if (!pattern.Compile(expr)) return VI_ERROR_INV_EXPR;
    // Remote resource servers are not offered.
    if (StartsNoCase(expr, "visa://")) return VI_ERROR_RSRC_NFOUND;
    return VI_SUCCESS;
}

ViStatus OpenBackend(const ResourceName& name, ViUInt32 openTimeout,
                     std::unique_ptr<Backend>& backend) {
    switch (name.kind) {
    case ResourceName::Kind::GpibInstr:
        return VI_ERROR_INTF_NUM_NCONFIG;
    case ResourceName::Kind::TcpipSocket:
        return SocketBackend::Connect(name.host, name.port, openTimeout, backend);
    case ResourceName::Kind::TcpipInstr:
        return Vxi11Backend::Connect(name.host, name.lanDeviceName, openTimeout, backend);
    case ResourceName::Kind::UsbInstr:
        for (const UsbTmcDevice& dev : EnumerateUsbTmc()) {
            if (dev.vendorId == name.vendorId && dev.productId == name.productId &&
                EqualNoCase(dev.serial, name.serial) &&
                (name.interfaceNumber < 0 ||
                 static_cast<unsigned>(name.interfaceNumber) == dev.interfaceNumber))
                return UsbTmcBackend::Open("/dev/" + dev.node, backend);
        }
        return VI_ERROR_RSRC_NFOUND;
    }
    return VI_ERROR_RSRC_NFOUND;
}

ViStatus ReadCommon(ViSession vi, ViBuf buf, ViUInt32 count, ViUInt32* retCount) {
    if (retCount != nullptr) *retCount = 0;
    return WithInstrument(vi, [&](Instrument& in) {
        if (buf == nullptr && count > 0) return VI_ERROR_USER_BUF;
        IoResult r = in.backend->Read(buf, count, Deadline::After(in.timeout));
        if (retCount != nullptr) *retCount = r.count;
        return r.status;
    });
}

ViStatus GetAttribute(ViObject vi, ViAttr attr, ViUInt32& value) {
    std::shared_ptr<Instrument> inst = FindInstrument(vi);
    if (!inst) return NoAttributes(vi);
    std::lock_guard<std::mutex> io(inst->io);
    switch (attr) {
    case VI_ATTR_SEND_END_EN:
        value = inst->sendEnd ? VI_TRUE : VI_FALSE;
        return VI_SUCCESS;
    case VI_ATTR_TMO_VALUE:
        value = inst->timeout;
        return VI_SUCCESS;
    case VI_ATTR_GPIB_READDR_EN:
        value = inst->readdressing ? VI_TRUE : VI_FALSE;
        return VI_SUCCESS;
    case VI_ATTR_GPIB_UNADDR_EN:
        value = inst->unaddressing ? VI_TRUE : VI_FALSE;
        return VI_SUCCESS;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

} // namespace

ViStatus FindAmong(ViSession rm, ViConstString expr, const std::vector<std::string>& candidates,
                   ViFindList* findList, ViUInt32* retCount, ViChar desc[]) {
    if (findList != nullptr) *findList = VI_NULL;
    if (retCount != nullptr) *retCount = 0;
    CopyDescriptor(desc, "");
    SearchPattern pattern;
    ViStatus status = PrepareSearch(rm, expr, pattern);
    if (status != VI_SUCCESS) return status;

    std::vector<std::string> matches;
    for (const std::string& c : candidates)
        if (pattern.Matches(c) && std::find(matches.begin(), matches.end(), c) == matches.end())
            matches.push_back(c);
    if (matches.empty()) return VI_ERROR_RSRC_NFOUND;

    Registry& reg = Objects();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto manager = reg.managers.find(rm);
    if (manager == reg.managers.end()) return VI_ERROR_INV_OBJECT; // closed meanwhile
    if (retCount != nullptr) *retCount = static_cast<ViUInt32>(matches.size());
    CopyDescriptor(desc, matches.front());
    if (findList != nullptr) {
        ViObject id = reg.NewId();
        manager->second.children.push_back(id);
        reg.findLists[id] = FindList{rm, std::move(matches), 1};
        *findList = id;
    }
    return VI_SUCCESS;
}

} // namespace Visa

using namespace Visa;

ViStatus viOpenDefaultRM(ViSession* rm) {
    if (rm == nullptr) return VI_ERROR_INV_PARAMETER;
    Registry& reg = Objects();
    std::lock_guard<std::mutex> guard(reg.lock);
    ViObject id = reg.NewId();
    reg.managers[id] = Manager{};
    *rm = id;
    return VI_SUCCESS;
}

ViStatus viOpen(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 openTimeout,
                ViSession* vi) {
    if (vi == nullptr) return VI_ERROR_INV_PARAMETER;
    *vi = VI_NULL;
    if (!IsManager(rm)) return VI_ERROR_INV_OBJECT;
    if (name == nullptr) return VI_ERROR_INV_RSRC_NAME;
    if (mode != VI_NO_LOCK) return VI_ERROR_INV_ACC_MODE;
    ResourceName parsed;
    ViStatus status = ParseResourceName(name, parsed);
    if (status != VI_SUCCESS) return status;
    auto inst = std::make_shared<Instrument>();
    status =
        OpenBackend(parsed, openTimeout == 0 ? kDefaultOpenTimeoutMs : openTimeout, inst->backend);
    if (status < 0) return status;

    Registry& reg = Objects();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto manager = reg.managers.find(rm);
    if (manager == reg.managers.end()) return VI_ERROR_INV_OBJECT; // closed meanwhile
    ViObject id = reg.NewId();
    inst->rm = rm;
    reg.instruments[id] = std::move(inst);
    manager->second.children.push_back(id);
    *vi = id;
    return VI_SUCCESS;
}

ViStatus viClose(ViObject object) {
    if (object == VI_NULL) return VI_WARN_NULL_OBJECT;
    // Sessions end (and their connections close) after the lock is released.
    std::vector<std::shared_ptr<Instrument>> closing;
    Registry& reg = Objects();
    std::lock_guard<std::mutex> guard(reg.lock);
    if (auto m = reg.managers.find(object); m != reg.managers.end()) {
        for (ViObject child : m->second.children) {
            if (auto i = reg.instruments.find(child); i != reg.instruments.end()) {
                closing.push_back(std::move(i->second));
                reg.instruments.erase(i);
            }
            reg.findLists.erase(child);
        }
        reg.managers.erase(m);
    } else if (auto i = reg.instruments.find(object); i != reg.instruments.end()) {
        reg.Forget(i->second->rm, object);
        closing.push_back(std::move(i->second));
        reg.instruments.erase(i);
    } else if (auto f = reg.findLists.find(object); f != reg.findLists.end()) {
        reg.Forget(f->second.rm, object);
        reg.findLists.erase(f);
    } else {
        return VI_ERROR_INV_OBJECT;
    }
    return VI_SUCCESS;
}

ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 count, ViUInt32* retCount) {
    if (retCount != nullptr) *retCount = 0;
    return WithInstrument(vi, [&](Instrument& in) {
        if (buf == nullptr && count > 0) return VI_ERROR_USER_BUF;
        static const ViByte nothing = 0;
        IoResult r = in.backend->Write(buf != nullptr ? buf : &nothing, count, in.sendEnd,
                                       Deadline::After(in.timeout));
        if (retCount != nullptr) *retCount = r.count;
        return r.status;
    });
}

ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 count, ViUInt32* retCount) {
    return ReadCommon(vi, buf, count, retCount);
}

ViStatus viBufRead(ViSession vi, ViBuf buf, ViUInt32 count, ViUInt32* retCount) {
    return ReadCommon(vi, buf, count, retCount);
}

ViStatus viReadSTB(ViSession vi, ViUInt16* status) {
    return WithInstrument(vi, [&](Instrument& in) {
        if (status == nullptr) return VI_ERROR_INV_PARAMETER;
        return in.backend->ReadStb(*status, Deadline::After(in.timeout));
    });
}

ViStatus viClear(ViSession vi) {
    return WithInstrument(
        vi, [&](Instrument& in) { return in.backend->Clear(Deadline::After(in.timeout)); });
}

ViStatus viGpibControlREN(ViSession vi, ViUInt16 mode) {
    return WithInstrument(vi, [&](Instrument&) {
        return mode <= VI_GPIB_REN_ADDRESS_GTL ? VI_SUCCESS : VI_ERROR_INV_MODE;
    });
}

ViStatus viWriteFromFile(ViSession vi, ViConstString fileName, ViUInt32 count, ViUInt32* retCount) {
    if (retCount != nullptr) *retCount = 0;
    return WithInstrument(vi, [&](Instrument& in) {
        if (fileName == nullptr) return VI_ERROR_FILE_ACCESS;
        FileHandle file(std::fopen(fileName, "rb"));
        struct stat info {};
        if (!file || ::fstat(::fileno(file.get()), &info) != 0) return VI_ERROR_FILE_ACCESS;
        const std::uint64_t total = std::min<std::uint64_t>(
            count, static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0)));
        Deadline d = Deadline::After(in.timeout);
        std::vector<ViByte> chunk(
            static_cast<std::size_t>(std::min<std::uint64_t>(total, kFileChunk)) + 1);
        std::uint64_t sent = 0;
        ViStatus status = VI_SUCCESS;
        do {
            auto n = static_cast<ViUInt32>(std::min<std::uint64_t>(total - sent, kFileChunk));
            if (std::fread(chunk.data(), 1, n, file.get()) != n) {
                status = VI_ERROR_FILE_IO;
                break;
            }
            bool last = sent + n == total;
            IoResult r = in.backend->Write(chunk.data(), n, last && in.sendEnd, d);
            sent += r.count;
            status = r.status;
        } while (status >= 0 && sent < total);
        if (retCount != nullptr) *retCount = static_cast<ViUInt32>(sent);
        return status;
    });
}

ViStatus viReadToFile(ViSession vi, ViConstString fileName, ViUInt32 count, ViUInt32* retCount) {
    if (retCount != nullptr) *retCount = 0;
    return WithInstrument(vi, [&](Instrument& in) {
        if (fileName == nullptr) return VI_ERROR_FILE_ACCESS;
        FileHandle file(std::fopen(fileName, "wb"));
        if (!file) return VI_ERROR_FILE_ACCESS;
        Deadline d = Deadline::After(in.timeout);
        std::vector<ViByte> chunk(std::min<std::size_t>(count, kFileChunk));
        ViUInt32 total = 0;
        ViStatus status = VI_SUCCESS_MAX_CNT;
        while (total < count) {
            auto n = static_cast<ViUInt32>(std::min<std::size_t>(count - total, kFileChunk));
            IoResult r = in.backend->Read(chunk.data(), n, d);
            if (r.count > 0 && std::fwrite(chunk.data(), 1, r.count, file.get()) != r.count) {
                status = VI_ERROR_FILE_IO;
                break;
            }
            total += r.count;
            status = r.status;
            if (status != VI_SUCCESS_MAX_CNT) break; // the response ended, or failed
        }
        if (std::fclose(file.release()) != 0 && status >= 0) status = VI_ERROR_FILE_IO;
        if (retCount != nullptr) *retCount = total;
        return status;
    });
}

ViStatus viSetAttribute(ViObject vi, ViAttr attr, ViAttrState value) {
    std::shared_ptr<Instrument> inst = FindInstrument(vi);
    if (!inst) return NoAttributes(vi);
    std::lock_guard<std::mutex> io(inst->io);
    switch (attr) {
    case VI_ATTR_SEND_END_EN:
    case VI_ATTR_GPIB_READDR_EN:
    case VI_ATTR_GPIB_UNADDR_EN: {
        if (value != VI_TRUE && value != VI_FALSE) return VI_ERROR_NSUP_ATTR_STATE;
        bool on = value == VI_TRUE;
        if (attr == VI_ATTR_SEND_END_EN) inst->sendEnd = on;
        if (attr == VI_ATTR_GPIB_READDR_EN) inst->readdressing = on;
        if (attr == VI_ATTR_GPIB_UNADDR_EN) inst->unaddressing = on;
        return VI_SUCCESS;
    }
    case VI_ATTR_TMO_VALUE:
        // -1 from a 32-bit signed variable arrives widened.
        if (value == ~ViAttrState{0}) value = VI_TMO_INFINITE;
        if (value > VI_TMO_INFINITE) return VI_ERROR_NSUP_ATTR_STATE;
        inst->timeout = static_cast<ViUInt32>(value);
        return VI_SUCCESS;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus viGetAttribute(ViObject vi, ViAttr attr, ViUInt32* value) {
    if (value == nullptr) return VI_ERROR_INV_PARAMETER;
    return GetAttribute(vi, attr, *value);
}

namespace {

// The narrower and signed views of an attribute are the stored 32-bit value,
// cut to the caller's width.
template <typename T> ViStatus GetAttributeAs(ViObject vi, ViAttr attr, T* value) {
    if (value == nullptr) return VI_ERROR_INV_PARAMETER;
    ViUInt32 raw = 0;
    ViStatus status = GetAttribute(vi, attr, raw);
    if (status == VI_SUCCESS) *value = static_cast<T>(raw);
    return status;
}

} // namespace

ViStatus viGetAttribute(ViObject vi, ViAttr attr, ViInt32* value) {
    return GetAttributeAs(vi, attr, value);
}

ViStatus viGetAttribute(ViObject vi, ViAttr attr, ViUInt16* value) {
    return GetAttributeAs(vi, attr, value);
}

ViStatus viGetAttribute(ViObject vi, ViAttr attr, ViInt16* value) {
    return GetAttributeAs(vi, attr, value);
}

namespace {

Visa::LanDiscovery& LanSearchOverride() {
    static Visa::LanDiscovery discovery;
    return discovery;
}

std::vector<std::string> SearchLan(int timeoutMs) {
    if (LanSearchOverride()) return LanSearchOverride()(timeoutMs);
    const char* setting = std::getenv("QUILLON_VISA_LAN_DISCOVERY");
    if (setting != nullptr &&
        (std::string_view(setting) == "off" || std::string_view(setting) == "0"))
        return {};
    return DiscoverVxi11(timeoutMs);
}

} // namespace

void Visa::SetLanDiscovery(LanDiscovery discovery) {
    LanSearchOverride() = std::move(discovery);
}

namespace {

// An expression without pattern characters that names a raw socket.
bool NamesOneSocket(ViConstString expr) {
    if (expr == nullptr) return false;
    std::string_view e(expr);
    if (e.find_first_of("?*+[]()|\\") != std::string_view::npos) return false;
    constexpr std::string_view suffix = "::SOCKET";
    if (e.size() < suffix.size()) return false;
    std::string_view tail = e.substr(e.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(tail[i])) != suffix[i]) return false;
    return true;
}

} // namespace

ViStatus viFindRsrc(ViSession rm, ViConstString expr, ViFindList* findList, ViUInt32* retCount,
                    ViChar desc[]) {
    if (findList != nullptr) *findList = VI_NULL;
    if (retCount != nullptr) *retCount = 0;
    CopyDescriptor(desc, "");
    SearchPattern pattern;
    ViStatus status = PrepareSearch(rm, expr, pattern);
    if (status != VI_SUCCESS) return status;
    std::vector<std::string> present;
    for (const UsbTmcDevice& dev : EnumerateUsbTmc())
        present.push_back(dev.ResourceName());
    // The broadcast costs time: only when a VXI-11 name could match at all.
    // It finds INSTR resources only, so a plain socket name never needs it.
    if (pattern.CanMatchPrefix("TCPIP") && !NamesOneSocket(expr)) {
        std::vector<std::string> lan = SearchLan(kDiscoveryMs);
        present.insert(present.end(), lan.begin(), lan.end());
    }
    return FindAmong(rm, expr, present, findList, retCount, desc);
}

ViStatus viFindNext(ViFindList findList, ViChar desc[]) {
    CopyDescriptor(desc, "");
    Registry& reg = Objects();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto it = reg.findLists.find(findList);
    if (it == reg.findLists.end()) return VI_ERROR_INV_OBJECT;
    FindList& list = it->second;
    if (list.next >= list.matches.size()) return VI_ERROR_RSRC_NFOUND;
    CopyDescriptor(desc, list.matches[list.next++]);
    return VI_SUCCESS;
}

#include "ResourceName.h"

#include "NoCase.h"

#include <charconv>
#include <vector>

namespace Visa {

namespace {

bool ParseNumber(std::string_view s, unsigned& value, int base = 10) {
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    return ec == std::errc() && end == s.data() + s.size();
}

// "TCPIP", "TCPIP0", "tcpip12" against the keyword "TCPIP".
bool ParseInterface(std::string_view word, std::string_view keyword, unsigned& board) {
    if (word.size() < keyword.size() || !EqualNoCase(word.substr(0, keyword.size()), keyword))
        return false;
    std::string_view digits = word.substr(keyword.size());
    board = 0;
    return digits.empty() || ParseNumber(digits, board);
}

// Splits at "::"; a part that starts with "[" (an IPv6 address) runs to its "]".
bool Split(std::string_view s, std::vector<std::string_view>& parts) {
    std::size_t pos = 0;
    for (;;) {
        std::size_t end;
        if (pos < s.size() && s[pos] == '[') {
            std::size_t close = s.find(']', pos);
            if (close == std::string_view::npos) return false;
            end = close + 1;
            if (end < s.size() && s.compare(end, 2, "::") != 0) return false;
        } else {
            end = s.find("::", pos);
            if (end == std::string_view::npos) end = s.size();
        }
        std::string_view part = s.substr(pos, end - pos);
        if (part.empty()) return false;
        parts.push_back(part);
        if (end >= s.size()) return true;
        pos = end + 2;
    }
}

bool ParseHost(std::string_view part, std::string& host) {
    if (part.front() == '[') {
        if (part.size() < 3 || part.back() != ']') return false;
        part = part.substr(1, part.size() - 2);
    } else if (part.find(':') != std::string_view::npos) {
        return false;
    }
    host.assign(part);
    return true;
}

bool ParseUsbId(std::string_view s, unsigned& value) {
    bool ok = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')
                  ? ParseNumber(s.substr(2), value, 16)
                  : ParseNumber(s, value);
    return ok && value <= 0xFFFF;
}

ViStatus ParseTcpip(std::vector<std::string_view>& parts, ResourceName& out) {
    if (EqualNoCase(parts.back(), "SOCKET")) {
        if (parts.size() != 4) return VI_ERROR_INV_RSRC_NAME;
        out.kind = ResourceName::Kind::TcpipSocket;
        if (!ParseHost(parts[1], out.host) || !ParseNumber(parts[2], out.port) || out.port == 0 ||
            out.port > 65535)
            return VI_ERROR_INV_RSRC_NAME;
        return VI_SUCCESS;
    }
    if (EqualNoCase(parts.back(), "INSTR")) parts.pop_back();
    if (parts.size() < 2 || parts.size() > 3) return VI_ERROR_INV_RSRC_NAME;
    out.kind = ResourceName::Kind::TcpipInstr;
    if (!ParseHost(parts[1], out.host)) return VI_ERROR_INV_RSRC_NAME;
    out.lanDeviceName = parts.size() == 3 ? std::string(parts[2]) : std::string("inst0");
    if (out.lanDeviceName.find(':') != std::string::npos) return VI_ERROR_INV_RSRC_NAME;
    return VI_SUCCESS;
}

ViStatus ParseUsb(std::vector<std::string_view>& parts, ResourceName& out) {
    if (EqualNoCase(parts.back(), "INSTR")) parts.pop_back();
    if (parts.size() < 4 || parts.size() > 5) return VI_ERROR_INV_RSRC_NAME;
    out.kind = ResourceName::Kind::UsbInstr;
    if (!ParseUsbId(parts[1], out.vendorId) || !ParseUsbId(parts[2], out.productId))
        return VI_ERROR_INV_RSRC_NAME;
    out.serial.assign(parts[3]);
    if (parts.size() == 5) {
        unsigned intf = 0;
        if (!ParseNumber(parts[4], intf) || intf > 255) return VI_ERROR_INV_RSRC_NAME;
        out.interfaceNumber = static_cast<int>(intf);
    }
    return VI_SUCCESS;
}

ViStatus ParseGpib(std::vector<std::string_view>& parts, ResourceName& out) {
    if (EqualNoCase(parts.back(), "INSTR")) parts.pop_back();
    if (parts.size() < 2 || parts.size() > 3) return VI_ERROR_INV_RSRC_NAME;
    out.kind = ResourceName::Kind::GpibInstr;
    if (!ParseNumber(parts[1], out.primary) || out.primary > 30) return VI_ERROR_INV_RSRC_NAME;
    if (parts.size() == 3) {
        unsigned secondary = 0;
        if (!ParseNumber(parts[2], secondary) || secondary > 31) return VI_ERROR_INV_RSRC_NAME;
        out.secondary = static_cast<int>(secondary);
    }
    return VI_SUCCESS;
}

} // namespace

ViStatus ParseResourceName(std::string_view text, ResourceName& out) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    out = ResourceName{};
    std::string_view first = text.substr(0, text.find("::"));
    enum { Tcpip, Usb, Gpib } intf;
    if (ParseInterface(first, "TCPIP", out.board)) {
        intf = Tcpip;
    } else if (ParseInterface(first, "USB", out.board)) {
        intf = Usb;
    } else if (ParseInterface(first, "GPIB", out.board)) {
        intf = Gpib;
    } else {
        // Serial, VXI, PXI, remote "visa://" servers and anything else.
        return VI_ERROR_RSRC_NFOUND;
    }
    std::vector<std::string_view> parts;
    if (!Split(text, parts)) return VI_ERROR_INV_RSRC_NAME;
    switch (intf) {
    case Tcpip:
        return ParseTcpip(parts, out);
    case Usb:
        return ParseUsb(parts, out);
    case Gpib:
        return ParseGpib(parts, out);
    }
    return VI_ERROR_INV_RSRC_NAME;
}

} // namespace Visa

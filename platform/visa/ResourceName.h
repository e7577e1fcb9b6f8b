#pragma once
// Resource names as instrument users write them, case-insensitive:
//   TCPIP[board]::host::port::SOCKET
//   TCPIP[board]::host[::lanDeviceName][::INSTR]
//   USB[board]::vendorId::productId::serial[::interface][::INSTR]
//   GPIB[board]::primary[::secondary][::INSTR]
// A host may be an IPv6 address in brackets. USB ids are decimal or "0x" hex.

#include "visa.h"

#include <string>
#include <string_view>

namespace Visa {

struct ResourceName {
    enum class Kind { TcpipSocket, TcpipInstr, UsbInstr, GpibInstr };
    Kind kind = Kind::TcpipSocket;
    unsigned board = 0;
    // TCPIP
    std::string host; // without brackets
    unsigned port = 0;
    std::string lanDeviceName; // "inst0" when not given
    // USB
    unsigned vendorId = 0;
    unsigned productId = 0;
    std::string serial;
    int interfaceNumber = -1; // -1: not given
    // GPIB
    unsigned primary = 0;
    int secondary = -1; // -1: not given
};

// VI_SUCCESS; VI_ERROR_RSRC_NFOUND for interfaces this platform does not know
// (ASRL, VXI, "visa://" servers, ...); VI_ERROR_INV_RSRC_NAME for a known
// interface written wrongly.
ViStatus ParseResourceName(std::string_view text, ResourceName& out);

} // namespace Visa

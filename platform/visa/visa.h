#pragma once
// The instrument I/O library of the bench: resource managers, sessions and
// resource searches with the calls, attributes and status codes that
// instrument code written for VISA expects. Three transports stand behind it:
//   TCPIP[n]::host::port::SOCKET               raw SCPI over TCP
//   TCPIP[n]::host[::name][::INSTR]            VXI-11 (through liblxi)
//   USB[n]::vid::pid::serial[::intf][::INSTR]  USBTMC (kernel /dev/usbtmc*)
// GPIB[n]::addr[::sec][::INSTR] names are understood but there is no GPIB
// interface on this platform, so opening one fails with
// VI_ERROR_INTF_NUM_NCONFIG. Resource names are case-insensitive.
//
// Every object (resource manager, session, find list) has its own id, never 0
// and never shared; closing a resource manager closes everything opened
// through it. A closed or unknown id gives VI_ERROR_INV_OBJECT.
//
// Negative statuses are errors, positive ones are successes with a remark.

#include <cstdint>

using ViUInt32 = std::uint32_t;
using ViInt32 = std::int32_t;
using ViUInt16 = std::uint16_t;
using ViInt16 = std::int16_t;
using ViByte = unsigned char;
using ViChar = char;
using ViBoolean = ViUInt16;
using ViStatus = ViInt32;
using ViObject = ViUInt32;
using ViSession = ViObject;
using ViFindList = ViObject;
using ViAttr = ViUInt32;
using ViAttrState = std::uint64_t;
using ViAccessMode = ViUInt32;
using ViBuf = ViByte*;
using ViConstBuf = const ViByte*;
using ViConstString = const ViChar*;
using ViConstRsrc = ViConstString;

inline constexpr ViObject VI_NULL = 0;
inline constexpr ViBoolean VI_FALSE = 0;
inline constexpr ViBoolean VI_TRUE = 1;

// Access modes of viOpen: only VI_NO_LOCK is offered (there is no locking).
inline constexpr ViAccessMode VI_NO_LOCK = 0;

// Time-outs in milliseconds.
inline constexpr ViUInt32 VI_TMO_IMMEDIATE = 0;
inline constexpr ViUInt32 VI_TMO_INFINITE = 0xFFFFFFFFu;

// Size of a descriptor buffer for viFindRsrc / viFindNext (NUL included).
inline constexpr ViUInt32 VI_FIND_BUFLEN = 256;

// Modes of viGpibControlREN.
inline constexpr ViUInt16 VI_GPIB_REN_DEASSERT = 0;
inline constexpr ViUInt16 VI_GPIB_REN_ASSERT = 1;
inline constexpr ViUInt16 VI_GPIB_REN_DEASSERT_GTL = 2;
inline constexpr ViUInt16 VI_GPIB_REN_ASSERT_ADDRESS = 3;
inline constexpr ViUInt16 VI_GPIB_REN_ASSERT_LLO = 4;
inline constexpr ViUInt16 VI_GPIB_REN_ASSERT_ADDRESS_LLO = 5;
inline constexpr ViUInt16 VI_GPIB_REN_ADDRESS_GTL = 6;

// Session attributes.
//   VI_ATTR_SEND_END_EN     VI_TRUE (default): a write ends its message (a
//                           socket write then appends "\n"); VI_FALSE: the
//                           next write continues the same message.
//   VI_ATTR_TMO_VALUE       I/O time-out of each call in ms, default 2000.
//   VI_ATTR_GPIB_READDR_EN  VI_TRUE by default; stored, no effect here.
//   VI_ATTR_GPIB_UNADDR_EN  VI_FALSE by default; stored, no effect here.
inline constexpr ViAttr VI_ATTR_SEND_END_EN = 0x3FFF0016u;
inline constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001Au;
inline constexpr ViAttr VI_ATTR_GPIB_READDR_EN = 0x3FFF001Bu;
inline constexpr ViAttr VI_ATTR_GPIB_UNADDR_EN = 0x3FFF0184u;

// Completion codes.
inline constexpr ViStatus VI_SUCCESS = 0;
inline constexpr ViStatus VI_SUCCESS_TERM_CHAR = 0x3FFF0005;
inline constexpr ViStatus VI_SUCCESS_MAX_CNT = 0x3FFF0006;
inline constexpr ViStatus VI_WARN_NULL_OBJECT = 0x3FFF0082;

// Error codes (negative as 32-bit values).
inline constexpr ViStatus VisaError(std::uint32_t code) { return static_cast<ViStatus>(code); }
inline constexpr ViStatus VI_ERROR_SYSTEM_ERROR = VisaError(0xBFFF0000u);
inline constexpr ViStatus VI_ERROR_INV_OBJECT = VisaError(0xBFFF000Eu);
inline constexpr ViStatus VI_ERROR_RSRC_LOCKED = VisaError(0xBFFF000Fu);
inline constexpr ViStatus VI_ERROR_INV_EXPR = VisaError(0xBFFF0010u);
inline constexpr ViStatus VI_ERROR_RSRC_NFOUND = VisaError(0xBFFF0011u);
inline constexpr ViStatus VI_ERROR_INV_RSRC_NAME = VisaError(0xBFFF0012u);
inline constexpr ViStatus VI_ERROR_INV_ACC_MODE = VisaError(0xBFFF0013u);
inline constexpr ViStatus VI_ERROR_TMO = VisaError(0xBFFF0015u);
inline constexpr ViStatus VI_ERROR_CLOSING_FAILED = VisaError(0xBFFF0016u);
inline constexpr ViStatus VI_ERROR_INV_DEGREE = VisaError(0xBFFF001Bu);
inline constexpr ViStatus VI_ERROR_INV_JOB_ID = VisaError(0xBFFF001Cu);
inline constexpr ViStatus VI_ERROR_NSUP_ATTR = VisaError(0xBFFF001Du);
inline constexpr ViStatus VI_ERROR_NSUP_ATTR_STATE = VisaError(0xBFFF001Eu);
inline constexpr ViStatus VI_ERROR_ATTR_READONLY = VisaError(0xBFFF001Fu);
inline constexpr ViStatus VI_ERROR_INV_LOCK_TYPE = VisaError(0xBFFF0020u);
inline constexpr ViStatus VI_ERROR_INV_ACCESS_KEY = VisaError(0xBFFF0021u);
inline constexpr ViStatus VI_ERROR_INV_EVENT = VisaError(0xBFFF0026u);
inline constexpr ViStatus VI_ERROR_INV_MECH = VisaError(0xBFFF0027u);
inline constexpr ViStatus VI_ERROR_HNDLR_NINSTALLED = VisaError(0xBFFF0028u);
inline constexpr ViStatus VI_ERROR_INV_HNDLR_REF = VisaError(0xBFFF0029u);
inline constexpr ViStatus VI_ERROR_INV_CONTEXT = VisaError(0xBFFF002Au);
inline constexpr ViStatus VI_ERROR_NENABLED = VisaError(0xBFFF002Fu);
inline constexpr ViStatus VI_ERROR_ABORT = VisaError(0xBFFF0030u);
inline constexpr ViStatus VI_ERROR_RAW_WR_PROT_VIOL = VisaError(0xBFFF0034u);
inline constexpr ViStatus VI_ERROR_RAW_RD_PROT_VIOL = VisaError(0xBFFF0035u);
inline constexpr ViStatus VI_ERROR_OUTP_PROT_VIOL = VisaError(0xBFFF0036u);
inline constexpr ViStatus VI_ERROR_INP_PROT_VIOL = VisaError(0xBFFF0037u);
inline constexpr ViStatus VI_ERROR_BERR = VisaError(0xBFFF0038u);
inline constexpr ViStatus VI_ERROR_INV_SETUP = VisaError(0xBFFF003Au);
inline constexpr ViStatus VI_ERROR_QUEUE_ERROR = VisaError(0xBFFF003Bu);
inline constexpr ViStatus VI_ERROR_ALLOC = VisaError(0xBFFF003Cu);
inline constexpr ViStatus VI_ERROR_INV_MASK = VisaError(0xBFFF003Du);
inline constexpr ViStatus VI_ERROR_IO = VisaError(0xBFFF003Eu);
inline constexpr ViStatus VI_ERROR_INV_FMT = VisaError(0xBFFF003Fu);
inline constexpr ViStatus VI_ERROR_NSUP_FMT = VisaError(0xBFFF0041u);
inline constexpr ViStatus VI_ERROR_LINE_IN_USE = VisaError(0xBFFF0042u);
inline constexpr ViStatus VI_ERROR_NSUP_MODE = VisaError(0xBFFF0046u);
inline constexpr ViStatus VI_ERROR_SRQ_NOCCURRED = VisaError(0xBFFF004Au);
inline constexpr ViStatus VI_ERROR_INV_SPACE = VisaError(0xBFFF004Eu);
inline constexpr ViStatus VI_ERROR_INV_OFFSET = VisaError(0xBFFF0051u);
inline constexpr ViStatus VI_ERROR_INV_WIDTH = VisaError(0xBFFF0052u);
inline constexpr ViStatus VI_ERROR_NSUP_OFFSET = VisaError(0xBFFF0054u);
inline constexpr ViStatus VI_ERROR_NSUP_VAR_WIDTH = VisaError(0xBFFF0055u);
inline constexpr ViStatus VI_ERROR_WINDOW_NMAPPED = VisaError(0xBFFF0057u);
inline constexpr ViStatus VI_ERROR_RESP_PENDING = VisaError(0xBFFF0059u);
inline constexpr ViStatus VI_ERROR_NLISTENERS = VisaError(0xBFFF005Fu);
inline constexpr ViStatus VI_ERROR_NCIC = VisaError(0xBFFF0060u);
inline constexpr ViStatus VI_ERROR_NSYS_CNTLR = VisaError(0xBFFF0061u);
inline constexpr ViStatus VI_ERROR_NSUP_OPER = VisaError(0xBFFF0067u);
inline constexpr ViStatus VI_ERROR_INTR_PENDING = VisaError(0xBFFF0068u);
inline constexpr ViStatus VI_ERROR_ASRL_PARITY = VisaError(0xBFFF006Au);
inline constexpr ViStatus VI_ERROR_ASRL_FRAMING = VisaError(0xBFFF006Bu);
inline constexpr ViStatus VI_ERROR_ASRL_OVERRUN = VisaError(0xBFFF006Cu);
inline constexpr ViStatus VI_ERROR_TRIG_NMAPPED = VisaError(0xBFFF006Eu);
inline constexpr ViStatus VI_ERROR_NSUP_ALIGN_OFFSET = VisaError(0xBFFF0070u);
inline constexpr ViStatus VI_ERROR_USER_BUF = VisaError(0xBFFF0071u);
inline constexpr ViStatus VI_ERROR_RSRC_BUSY = VisaError(0xBFFF0072u);
inline constexpr ViStatus VI_ERROR_NSUP_WIDTH = VisaError(0xBFFF0076u);
inline constexpr ViStatus VI_ERROR_INV_PARAMETER = VisaError(0xBFFF0078u);
inline constexpr ViStatus VI_ERROR_INV_PROT = VisaError(0xBFFF0079u);
inline constexpr ViStatus VI_ERROR_INV_SIZE = VisaError(0xBFFF007Bu);
inline constexpr ViStatus VI_ERROR_WINDOW_MAPPED = VisaError(0xBFFF0080u);
inline constexpr ViStatus VI_ERROR_NIMPL_OPER = VisaError(0xBFFF0081u);
inline constexpr ViStatus VI_ERROR_INV_LENGTH = VisaError(0xBFFF0083u);
inline constexpr ViStatus VI_ERROR_INV_MODE = VisaError(0xBFFF0091u);
inline constexpr ViStatus VI_ERROR_SESN_NLOCKED = VisaError(0xBFFF009Cu);
inline constexpr ViStatus VI_ERROR_MEM_NSHARED = VisaError(0xBFFF009Du);
inline constexpr ViStatus VI_ERROR_LIBRARY_NFOUND = VisaError(0xBFFF009Eu);
inline constexpr ViStatus VI_ERROR_NSUP_INTR = VisaError(0xBFFF009Fu);
inline constexpr ViStatus VI_ERROR_INV_LINE = VisaError(0xBFFF00A0u);
inline constexpr ViStatus VI_ERROR_FILE_ACCESS = VisaError(0xBFFF00A1u);
inline constexpr ViStatus VI_ERROR_FILE_IO = VisaError(0xBFFF00A2u);
inline constexpr ViStatus VI_ERROR_NSUP_LINE = VisaError(0xBFFF00A3u);
inline constexpr ViStatus VI_ERROR_NSUP_MECH = VisaError(0xBFFF00A4u);
inline constexpr ViStatus VI_ERROR_INTF_NUM_NCONFIG = VisaError(0xBFFF00A5u);
inline constexpr ViStatus VI_ERROR_CONN_LOST = VisaError(0xBFFF00A6u);
inline constexpr ViStatus VI_ERROR_MACHINE_NAVAIL = VisaError(0xBFFF00A7u);
inline constexpr ViStatus VI_ERROR_NPERMISSION = VisaError(0xBFFF00A8u);

// A new resource manager session.
ViStatus viOpenDefaultRM(ViSession* rm);

// Opens `name` through `rm`. `openTimeout` (ms) bounds the connection set-up;
// 0 means the default of 2000 ms. Statuses: VI_ERROR_INV_RSRC_NAME (syntax),
// VI_ERROR_RSRC_NFOUND (no such device, unsupported interface, "visa://"
// servers), VI_ERROR_INTF_NUM_NCONFIG (GPIB), VI_ERROR_MACHINE_NAVAIL
// (connection refused), VI_ERROR_TMO (no answer in time).
ViStatus viOpen(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 openTimeout,
                ViSession* vi);

// Closes a session, a find list or a resource manager with all it opened.
// VI_NULL gives VI_WARN_NULL_OBJECT.
ViStatus viClose(ViObject object);

// Sends `count` bytes. With VI_ATTR_SEND_END_EN on, the last byte ends the
// message. `retCount` (may be null) gets the caller's bytes sent. Before a
// write, the unread rest of a partly read response is read and dropped, so a
// cut-short read never shifts the answers that follow.
ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 count, ViUInt32* retCount);

// Reads at most `count` bytes of the current response. VI_SUCCESS: the
// response ended (on a socket: at "\n" outside an IEEE 488.2 definite-length
// block, which passes through opaquely however it is read); VI_SUCCESS_MAX_CNT:
// `count` bytes came first, the next read continues the same response;
// VI_ERROR_TMO / VI_ERROR_CONN_LOST with `retCount` holding the bytes that did
// arrive. The time-out covers the whole call.
ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 count, ViUInt32* retCount);
// Same as viRead (there is no separate formatted-I/O buffer).
ViStatus viBufRead(ViSession vi, ViBuf buf, ViUInt32 count, ViUInt32* retCount);

// Status byte: the "*STB?" query on LAN sessions, the USBTMC request on USB.
ViStatus viReadSTB(ViSession vi, ViUInt16* status);

// Device clear: drops buffered input and any partly read response (USBTMC
// also clears the device).
ViStatus viClear(ViSession vi);

// Accepted for every session (modes 0 to 6) without effect; other modes give
// VI_ERROR_INV_MODE.
ViStatus viGpibControlREN(ViSession vi, ViUInt16 mode);

// Sends at most `count` bytes of the file (fewer when the file is shorter),
// END as in viWrite. VI_ERROR_FILE_ACCESS when it cannot be opened.
ViStatus viWriteFromFile(ViSession vi, ViConstString fileName, ViUInt32 count,
                         ViUInt32* retCount);

// Reads as viRead into a new (truncated) file; the bytes that arrived before a
// time-out are kept in it. VI_ERROR_FILE_ACCESS / VI_ERROR_FILE_IO for file
// failures.
ViStatus viReadToFile(ViSession vi, ViConstString fileName, ViUInt32 count,
                      ViUInt32* retCount);

// Attributes of an instrument session (see above). Unknown attributes give
// VI_ERROR_NSUP_ATTR, values out of range VI_ERROR_NSUP_ATTR_STATE.
// VI_ATTR_TMO_VALUE takes 32-bit values; a negative 32-bit value widened to
// ViAttrState is read as its 32-bit pattern (-1 is VI_TMO_INFINITE).
ViStatus viSetAttribute(ViObject vi, ViAttr attr, ViAttrState value);
ViStatus viGetAttribute(ViObject vi, ViAttr attr, ViUInt32* value);
ViStatus viGetAttribute(ViObject vi, ViAttr attr, ViInt32* value);
ViStatus viGetAttribute(ViObject vi, ViAttr attr, ViUInt16* value);
ViStatus viGetAttribute(ViObject vi, ViAttr attr, ViInt16* value);

// Resource search. `expr` uses the VISA expression syntax, case-insensitive:
// ? any one character, [list] / [^list] / [!list] with ranges a-z, x* zero or
// more and x+ one or more of the preceding item, a|b, (group), \ escapes the
// next character; it must match the whole descriptor. Searched: the USBTMC
// devices present and the VXI-11 instruments that answer a short LAN
// broadcast (only when the expression can match a "TCPIP" name). Raw sockets
// cannot be discovered: no match gives VI_ERROR_RSRC_NFOUND, and callers then
// try the expression as a literal resource name. VI_ERROR_INV_EXPR for a
// malformed expression. `findList` and `retCount` may be null; `desc` (at
// least VI_FIND_BUFLEN bytes, may be null) gets the first match,
// NUL-terminated. The find list belongs to `rm`.
ViStatus viFindRsrc(ViSession rm, ViConstString expr, ViFindList* findList, ViUInt32* retCount,
                    ViChar desc[]);
// The next match; VI_ERROR_RSRC_NFOUND when the list is used up.
ViStatus viFindNext(ViFindList findList, ViChar desc[]);

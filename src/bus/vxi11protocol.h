#pragma once

// What the backend's two halves (instrument links, and the interface with its listener
// search) share of the protocol: its numbers and the XDR glue.
#include "bus/oncrpc.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "vxi11.h"

namespace vxi11client {

// The gateway's error numbers.
inline constexpr long ErrNone = 0;
inline constexpr long ErrNotAccessible = 3;
inline constexpr long ErrInvalidLink = 4;
inline constexpr long ErrNotSupported = 8;
inline constexpr long ErrLocked = 11;
inline constexpr long ErrIoTimeout = 15;
inline constexpr long ErrIoError = 17;
inline constexpr long ErrInvalidAddress = 21;
inline constexpr long ErrAborted = 23;

inline constexpr long FlagEnd = 8; // device_write: EOI with the last byte
inline constexpr long ReasonChr = 2;
inline constexpr long ReasonEnd = 4;

// device_docmd commands of a GPIB interface link, and the bus status asked for.
inline constexpr long CmdSendCommand = 0x20000;
inline constexpr long CmdBusStatus = 0x20001;
inline constexpr long CmdRen = 0x20003;
inline constexpr long CmdIfc = 0x20010;
inline constexpr uint16_t StatusNdac = 3;
inline constexpr uint16_t StatusBusAddress = 8;
inline constexpr char Unlisten = 0x3F;
inline constexpr char Untalk = 0x5F;

// A read asks for 1 MiB at most; a record may hold that and its headers.
inline constexpr unsigned long MaxRequest = 1UL << 20;
inline constexpr size_t MaxRecord = MaxRequest + 1024;
inline constexpr uint32_t DefaultRecvSize = 1024; // the least a gateway must take in one write

template<class F> inline xdrproc_t xdr(F f) { return reinterpret_cast<xdrproc_t>(f); }

inline std::string shortWord(uint16_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }

// Device_DocmdResp's decoder, its data's length checked before anything is allocated.
bool_t decodeDocmdResp(XDR *x, ...);

} // namespace vxi11client

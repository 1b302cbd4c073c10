#pragma once

// What the backend's two halves (instrument links, and the interface with its listener
// search) share of the protocol: its numbers and the XDR glue.
#include "bus/oncrpc.h"
#include "bus/vxi11/vxi11numbers.h"
#include "bus/xdr.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "bus/vxi11/vxi11.h"

namespace vxi11client {

// The bus status a listener search asks for, and the command bytes it sends.
inline constexpr uint16_t StatusNdac = 3;
inline constexpr uint16_t StatusBusAddress = 8;
inline constexpr char Unlisten = 0x3F;
inline constexpr char Untalk = 0x5F;

// A read asks for 1 MiB at most; a record may hold that and its headers.
inline constexpr unsigned long MaxRequest = 1UL << 20;
inline constexpr size_t MaxRecord = MaxRequest + 1024;
inline constexpr uint32_t DefaultRecvSize = 1024; // the least a gateway must take in one write

inline std::string shortWord(uint16_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }

// Device_DocmdResp's decoder, its data's length checked before anything is allocated.
bool_t decodeDocmdResp(XDR *x, Device_DocmdResp *r);

} // namespace vxi11client

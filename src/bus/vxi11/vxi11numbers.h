#pragma once

// The numbers of the VXI-11 core protocol that a gateway and its clients agree on: error
// codes, operation flags, the reasons a read ended, and the docmd commands of a GPIB
// interface link.
#include <cstdint>

namespace vxi11 {

// Error codes, as a gateway answers them.
inline constexpr int32_t NoError = 0;
inline constexpr int32_t DeviceNotAccessible = 3;
inline constexpr int32_t InvalidLink = 4;
inline constexpr int32_t ParameterError = 5;
inline constexpr int32_t NotSupported = 8;
inline constexpr int32_t Locked = 11; // by another link
inline constexpr int32_t NoLockHeld = 12;
inline constexpr int32_t IoTimeout = 15;
inline constexpr int32_t IoError = 17;
inline constexpr int32_t InvalidAddress = 21;
inline constexpr int32_t Aborted = 23;

// Operation flags, and the reasons a read ended (a bit mask).
inline constexpr int32_t WaitLock = 0x01;
inline constexpr int32_t EndFlag = 0x08;
inline constexpr int32_t TermCharSet = 0x80;
inline constexpr int32_t ReasonRequestCount = 1;
inline constexpr int32_t ReasonTermChar = 2;
inline constexpr int32_t ReasonEnd = 4;

// device_docmd commands on the interface link.
inline constexpr int32_t CmdSendCommand = 0x20000; // bytes with ATN asserted
inline constexpr int32_t CmdBusStatus = 0x20001;   // one line or state, as a 16-bit value
inline constexpr int32_t CmdIfc = 0x20010;         // pulse IFC
inline constexpr int32_t CmdRen = 0x20003;         // assert (1) or release (0) REN

} // namespace vxi11

#pragma once

#include <map>
#include <string>

namespace zorvan::serial {

// @addtogroup ports
// @{

// A port's settings as text, keyed by the names below (see VXSerialPort::options).
using VXSerialOptions = std::map<std::string, std::string>;

// The port's name; setOptions ignores a dictionary for another port.
inline constexpr const char VXSerialOptionServiceName[] = "VXSerialOptionServiceName";
// Bit rate in decimal.
inline constexpr const char VXSerialOptionSpeed[] = "VXSerialOptionSpeed";
// 5 to 8, in decimal.
inline constexpr const char VXSerialOptionDataBits[] = "VXSerialOptionDataBits";
// "Odd" or "Even"; absent for none. setOptions takes any word but "Odd" as even.
inline constexpr const char VXSerialOptionParity[] = "VXSerialOptionParity";
// 1 or 2, in decimal.
inline constexpr const char VXSerialOptionStopBits[] = "VXSerialOptionStopBits";
// "RTS" or "DTR" (DTR wins when both are on); absent for none.
inline constexpr const char VXSerialOptionInputFlowControl[] = "VXSerialOptionInputFlowControl";
// "CTS", "DSR" or "CAR" (the later word wins when several are on); absent for none.
inline constexpr const char VXSerialOptionOutputFlowControl[] = "VXSerialOptionOutputFlowControl";
// "YES" when echo is on; absent otherwise. setOptions turns echo on for any value.
inline constexpr const char VXSerialOptionEcho[] = "VXSerialOptionEcho";
// "YES" when canonical (line) mode is on; absent otherwise. Any value turns it on.
inline constexpr const char VXSerialOptionCanonicalMode[] = "VXSerialOptionCanonicalMode";
// "YES" when software (XON/XOFF) flow control is on; absent otherwise. Any
// value turns it on.
inline constexpr const char VXSerialOptionSoftwareFlowControl[] =
    "VXSerialOptionSoftwareFlowControl";

// @}

}  // namespace zorvan::serial

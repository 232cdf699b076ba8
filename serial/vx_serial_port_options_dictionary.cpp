// The options dictionary: the settings as text, read with options() and
// applied with setOptions().
#include <algorithm>
#include <cctype>
#include <climits>

#include "serial/vx_serial_port.h"

namespace zorvan::serial {
namespace {

// The leading decimal integer of text (after blanks, with an optional sign),
// held to int's range; 0 when there is none or the key is missing.
int leadingInt(const VXSerialOptions& options, const char* key) {
    const auto it = options.find(key);
    if (it == options.end()) {
        return 0;
    }
    const std::string& text = it->second;
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

bool has(const VXSerialOptions& options, const char* key) {
    return options.count(key) != 0;
}

bool is(const VXSerialOptions& options, const char* key, const char* word) {
    const auto it = options.find(key);
    return it != options.end() && it->second == word;
}

}  // namespace

void VXSerialPort::buildOptionsDictionary() {
    VXSerialOptions& d = optionsDictionary_;
    d.clear();
    d[VXSerialOptionServiceName] = serviceName_;
    d[VXSerialOptionSpeed] = std::to_string(speed());
    d[VXSerialOptionDataBits] = std::to_string(dataBits());
    if (parity() == 1) {
        d[VXSerialOptionParity] = "Odd";
    } else if (parity() == 2) {
        d[VXSerialOptionParity] = "Even";
    }
    d[VXSerialOptionStopBits] = std::to_string(stopBits());
    // One word per key: a later flag's word replaces an earlier one's.
    const struct {
        bool on;
        const char* key;
        const char* word;
    } flowWords[] = {
        {RTSInputFlowControl(), VXSerialOptionInputFlowControl, "RTS"},
        {DTRInputFlowControl(), VXSerialOptionInputFlowControl, "DTR"},
        {CTSOutputFlowControl(), VXSerialOptionOutputFlowControl, "CTS"},
        {DSROutputFlowControl(), VXSerialOptionOutputFlowControl, "DSR"},
        {CAROutputFlowControl(), VXSerialOptionOutputFlowControl, "CAR"},
    };
    for (const auto& f : flowWords) {
        if (f.on) {
            d[f.key] = f.word;
        }
    }
    if (echoEnabled()) {
        d[VXSerialOptionEcho] = "YES";
    }
    if (canonicalMode()) {
        d[VXSerialOptionCanonicalMode] = "YES";
    }
    if (softwareFlowControl()) {
        d[VXSerialOptionSoftwareFlowControl] = "YES";
    }
}

VXSerialOptions VXSerialPort::options() {
    if (!has(optionsDictionary_, VXSerialOptionServiceName)) {
        if (!isOpen() && open()) {
            close();
        }
        buildOptionsDictionary();
    }
    return optionsDictionary_;
}

void VXSerialPort::setOptions(const VXSerialOptions& options) {
    if (!is(options, VXSerialOptionServiceName, serviceName_.c_str())) {
        return;
    }
    clearError();
    for (const auto& [key, value] : options) {
        optionsDictionary_[key] = value;
    }
    const VXSerialOptions& d = optionsDictionary_;
    setSpeed(leadingInt(d, VXSerialOptionSpeed));
    setDataBits(static_cast<unsigned long>(leadingInt(d, VXSerialOptionDataBits)));
    setParity(!has(d, VXSerialOptionParity) ? 0 : (is(d, VXSerialOptionParity, "Odd") ? 1 : 2));
    setStopBits(leadingInt(d, VXSerialOptionStopBits));
    setRTSInputFlowControl(is(d, VXSerialOptionInputFlowControl, "RTS"));
    setDTRInputFlowControl(is(d, VXSerialOptionInputFlowControl, "DTR"));
    setCTSOutputFlowControl(is(d, VXSerialOptionOutputFlowControl, "CTS"));
    setDSROutputFlowControl(is(d, VXSerialOptionOutputFlowControl, "DSR"));
    setCAROutputFlowControl(is(d, VXSerialOptionOutputFlowControl, "CAR"));
    setEchoEnabled(has(d, VXSerialOptionEcho));
    setCanonicalMode(has(d, VXSerialOptionCanonicalMode));
    // Only a change reaches the record: a device found with one direction
    // of XON/XOFF on keeps it through a round trip of its own dictionary.
    if (has(d, VXSerialOptionSoftwareFlowControl) != softwareFlowControl()) {
        setSoftwareFlowControl(has(d, VXSerialOptionSoftwareFlowControl));
    }
    commitChanges();
}

}  // namespace zorvan::serial

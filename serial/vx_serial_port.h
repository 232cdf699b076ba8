#pragma once

#include <sys/time.h>

#include <atomic>
#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "file_handle.h"
#include "line_settings.h"
#include "port_registry.h"
#include "vx_serial_options.h"
#include "vx_serial_port_delegate.h"

namespace zorvan::serial {

// One serial device, known by its callout path. A port lives as long as it is
// held (ports are shared through std::shared_ptr, which the reports of its
// background work need: make ports with std::make_shared), open or not.
//
// Threads: a port is configured and opened from one thread at a time. close()
// (and so free()) may come from any thread, also while another thread uses
// the port; open() and close() exclude each other. The identity accessors
// (bsdPath, name, type, hash, isEqual) never change and may be read anywhere.
//
// Blocking: only open() (the open call itself), drainInput() (until written
// output is sent), sendBreak() (0.25 to 0.5 s) and commitChanges() (the
// kernel's settings call) wait on the device; open never waits for carrier
// detect. The accessors of the settings only edit the port's record.
//
// Failures: open() answers nullptr; the line-control calls answer false; a
// failed settings call (setSpeed, commitChanges) leaves the settings error,
// read with errorCode() and cleared with clearError(), which blocks further
// commits until it is cleared. Nothing is thrown.
class VXSerialPort : public std::enable_shared_from_this<VXSerialPort> {
  public:
    // path: the device to open ("/dev/ttyUSB0", "/dev/cu.SLAB_USBtoUART");
    // name: the device's name ("ttyUSB0", "SLAB_USBtoUART"); type: its kind
    // ("IOSerialStream").
    VXSerialPort(std::string path, std::string name, std::string type);
    // Closes the port when it is still open, putting its settings back.
    virtual ~VXSerialPort();
    VXSerialPort(const VXSerialPort&) = delete;
    VXSerialPort& operator=(const VXSerialPort&) = delete;

    // --- Identity -----------------------------------------------------------

    // "<VXSerialPort: 55d0c2a0e4f0 = name: ttyUSB0, path: /dev/ttyUSB0, type:
    // IOSerialStream, fileHandle: (null), fileDescriptor: -1>": class name, the
    // object's address in lowercase hex, then the handle's own text
    // (FileHandle::description, "<FileHandle: fd 5>") and its descriptor while open.
    std::string description() const;
    // The name used at the start of description(); subclasses answer theirs.
    virtual std::string className() const { return "VXSerialPort"; }

    // Ports are equal, and hash alike, when their bsdPath is equal.
    std::size_t hash() const;
    bool isEqual(const VXSerialPort& other) const;
    // Any other kind of object is never equal to a port.
    template <class T>
    requires(!std::derived_from<T, VXSerialPort>) bool isEqual(const T&) const { return false; }
    bool operator==(const VXSerialPort& other) const { return isEqual(other); }

    const std::string& bsdPath() const { return bsdPath_; }
    const std::string& name() const { return serviceName_; }
    const std::string& type() const { return serviceType_; }
    // The device's properties as the system's device registry has them
    // (ID_VENDOR_ID, ID_MODEL_ID, ID_SERIAL, DEVNAME, DEVLINKS, ...), looked up
    // by name now; nullopt when no such device is present.
    std::optional<PortProperties> properties() const;

    // --- Delegate -----------------------------------------------------------

    std::shared_ptr<VXSerialPortDelegate> delegate() const;
    // Holds the delegate and records which reports it takes (the interfaces
    // of vx_serial_port_delegate.h it implements). Setting the current
    // delegate again changes nothing.
    void setDelegate(std::shared_ptr<VXSerialPortDelegate> delegate);
    bool delegateHandlesReadInBackground() const { return handlesRead_.load(); }
    bool delegateHandlesWriteInBackground() const { return handlesWrite_.load(); }

    // --- Soft ownership (advisory: nothing else consults it) ----------------

    // Records owner (not held) and answers this port, or nullptr when another
    // owner holds the claim.
    VXSerialPort* obtainBy(const void* owner);
    // Gives up the claim and closes the port.
    void free();
    bool available() const { return owner_ == nullptr; }
    const void* owner() const { return owner_; }

    // --- Opening and closing ------------------------------------------------

    bool isOpen() const { return fileDescriptor_.load() >= 0; }
    // The descriptor while open, else -1.
    int fileDescriptor() const { return fileDescriptor_.load(); }
    // The handle while open, else nullptr.
    std::shared_ptr<FileHandle> fileHandle() const;

    // Opens the device (read-write, not as controlling terminal, not inherited
    // by launched programs) and reads its settings into both records: the
    // working one and the one close() puts back. Applies nothing. Answers the
    // handle, or nullptr (the port stays closed) when the device can't be
    // opened or is no terminal. On a port that is already open it answers the
    // handle it has, without opening again.
    std::shared_ptr<FileHandle> open();
    // Puts back the settings found at open, then closes the descriptor
    // exactly once. Does nothing on a closed port.
    void close();

    // --- Line control: false on failure (and on a closed port) --------------

    // Waits until written output has been sent (despite the name).
    bool drainInput();
    // Discards received input and/or unsent output; neither is false.
    bool flushInputOutput(bool input, bool output);
    bool sendBreak();
    // Raise or drop DTR (modem-control lines; a pseudo-terminal has none).
    bool setDTR();
    bool clearDTR();

    // --- Settings (vx_serial_port_options.cpp) ------------------------------
    //
    // Getters read, and setters edit, the working record only; commitChanges()
    // applies it. Before the device first opens the record is all zero (see
    // LineSettings): speed 0, 5 data bits, parity none, 1 stop bit, flags off.

    // Bit rate; any positive rate the device accepts (standard or not).
    long speed() const;
    // false, with the settings error EINVAL, for 0, a negative rate or one above
    // 2^32 - 1. A rate the device refuses fails at commitChanges.
    bool setSpeed(long rate);
    // 5 to 8; setDataBits takes 6, 7 or 8, and any other value as 5.
    unsigned long dataBits() const;
    void setDataBits(unsigned long bits);
    // 0 none, 1 odd, 2 even. 0 leaves the odd flag as it was; other values
    // change nothing.
    int parity() const;
    void setParity(int parity);
    // 1 or 2; other values change nothing.
    int stopBits() const;
    void setStopBits(int bits);
    bool echoEnabled() const;
    void setEchoEnabled(bool on);
    // Flow control. Linux has one hardware flow-control switch (CRTSCTS): it
    // is on while RTS input or CTS output flow control is on. DTR input, DSR
    // output and carrier output flow control never reach the device; the port
    // only keeps them, for its own accessors and its options dictionary.
    bool RTSInputFlowControl() const;
    void setRTSInputFlowControl(bool on);
    bool DTRInputFlowControl() const;
    void setDTRInputFlowControl(bool on);
    bool CTSOutputFlowControl() const;
    void setCTSOutputFlowControl(bool on);
    bool DSROutputFlowControl() const;
    void setDSROutputFlowControl(bool on);
    bool CAROutputFlowControl() const;
    void setCAROutputFlowControl(bool on);
    bool hangupOnClose() const;
    void setHangupOnClose(bool on);
    // Ignore the modem-control lines (CLOCAL).
    bool localMode() const;
    void setLocalMode(bool on);
    bool canonicalMode() const;
    void setCanonicalMode(bool on);
    char endOfLineCharacter() const;
    void setEndOfLineCharacter(char c);

    // Applies the working record to the device at once and rebuilds the
    // options dictionary. false without touching the device while the settings
    // error is set; false, setting it, when the device refuses (or the port is
    // closed: EBADF).
    bool commitChanges();
    // Unblocks commitChanges; errorCode() keeps its value.
    void clearError() { gotError_ = false; }
    // errno of the last failed settings call, 0 if none ever failed.
    int errorCode() const { return lastError_; }

    // --- Options dictionary (vx_serial_port_options_dictionary.cpp) ----------

    // Rebuilds the dictionary from the working record.
    void buildOptionsDictionary();
    // A copy of the dictionary. The first call on a port whose dictionary was
    // never built builds it, opening and closing a closed port once to learn
    // the device's settings (when the device can't be opened, from the
    // all-zero record).
    VXSerialOptions options();
    // Ignored unless options[VXSerialOptionServiceName] is this port's name.
    // Clears the settings error, merges options into the dictionary (keys it
    // lacks keep their entries), sets every setting from the merged dictionary
    // and commits. An absent flow, echo or canonical key turns that setting off.
    void setOptions(const VXSerialOptions& options);

    // --- Read time-out (seconds; 1.0 at creation; stored without checks) -----

    double readTimeout() const { return readTimeout_; }
    void setReadTimeout(double seconds) { readTimeout_ = seconds; }
    // Whole seconds and the rest in microseconds, each rounded to nearest.
    timeval readTimeoutAsTimeval() const;

  private:
    // For the settings setters: records errno and blocks commits.
    void setSettingsError(int errorNumber);

    const std::string bsdPath_;
    const std::string serviceName_;
    const std::string serviceType_;

    // The descriptor of the open device, -1 while closed. Written under
    // closeLock_, read anywhere.
    std::atomic<int> fileDescriptor_{-1};
    std::shared_ptr<FileHandle> fileHandle_;  // under closeLock_
    LineSettings options_;                    // working record
    LineSettings originalOptions_;            // found at open, put back at close
    VXSerialOptions optionsDictionary_;
    bool gotError_ = false;
    int lastError_ = 0;
    const void* owner_ = nullptr;
    double readTimeout_ = 1.0;

    mutable std::mutex delegateLock_;
    std::shared_ptr<VXSerialPortDelegate> delegate_;  // under delegateLock_
    std::atomic<bool> handlesRead_{false};
    std::atomic<bool> handlesWrite_{false};

    // Held by a background write for its whole run.
    std::mutex writeLock_;
    // Held by a background read for its whole run.
    std::mutex readLock_;
    // Held by open() and close(), and by whoever must see the descriptor stay
    // open for a moment (a background read setting up its wait).
    mutable std::mutex closeLock_;
};

}  // namespace zorvan::serial

template <>
struct std::hash<zorvan::serial::VXSerialPort> {
    std::size_t operator()(const zorvan::serial::VXSerialPort& port) const { return port.hash(); }
};

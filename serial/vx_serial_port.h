#pragma once

#include <sys/time.h>

#include <array>
#include <atomic>
#include <chrono>
#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "file_handle.h"
#include "line_settings.h"
#include "modem_lines.h"
#include "port_lock.h"
#include "port_registry.h"
#include "run_loop.h"
#include "serial_error.h"
#include "string_encoding.h"
#include "vx_serial_options.h"
#include "vx_serial_port_delegate.h"

namespace zorvan::serial {

// @addtogroup ports
// @{

struct DescriptorSession;
struct BackgroundJobs;
class BackgroundWorker;
namespace tty {
class DeviceControl;
}

// One serial device, known by its callout path. A port lives as long as its
// clients hold it, open or not (ports are shared through std::shared_ptr,
// which its background work and its reports need: make ports with
// std::make_shared). Nothing of the library's own holds it: neither its
// background work, nor reports waiting on a run loop, nor its file handle.
// When the last client lets go the port closes (its settings put back) and
// its background work ends.
//
// Threads: a port is configured and opened from one thread at a time. close()
// (and so free()) may come from any thread, also while another thread uses
// the port; open() and close() exclude each other. setReadTimeout() too may
// come from any thread. The identity accessors
// (bsdPath, name, type, hash, isEqual) never change and may be read anywhere.
//
// Blocking: open() (the open call itself), drainInput() (until written
// output is sent), sendBreak() (0.25 to 0.5 s), commitChanges() (the kernel's
// settings call), the blocking reads (up to readTimeout()) and writeData
// (until the device takes the bytes) wait on the device; open never waits for
// carrier detect. The run-loop read (waitForInputSelector) waits on its
// loop's thread, up to readTimeout() at every step. The accessors of the
// settings only edit the port's record.
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
    // Closes the port when it is still open, putting its settings back; a
    // background read or write still waiting ends at once, without a report.
    virtual ~VXSerialPort();
    // Not copied: a port is one device, shared through std::shared_ptr.
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

    // The path, name and type given at construction; they never change.
    const std::string& bsdPath() const { return bsdPath_; }
    const std::string& name() const { return serviceName_; }
    const std::string& type() const { return serviceType_; }
    // The device's properties as the system's device registry has them
    // (ID_VENDOR_ID, ID_MODEL_ID, ID_SERIAL, DEVNAME, DEVLINKS, ...), looked up
    // by name now; nullopt when no such device is present.
    std::optional<PortProperties> properties() const;

    // --- Delegate -----------------------------------------------------------

    // The delegate, or nullptr when none was set or it no longer exists.
    std::shared_ptr<VXSerialPortDelegate> delegate() const;
    // Records the delegate and which reports it takes (the interfaces of
    // vx_serial_port_delegate.h it implements). The port does not hold its
    // delegate: the client keeps it alive as long as it wants reports, and a
    // delegate that keeps its port, or a report it was handed, makes no
    // cycle. A delegate destroyed meanwhile is as no delegate. Setting the
    // current delegate again changes nothing.
    void setDelegate(const std::shared_ptr<VXSerialPortDelegate>& delegate);
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

    // True while the device is open.
    bool isOpen() const { return fileDescriptor_.load() >= 0; }
    // The descriptor while open, else -1.
    int fileDescriptor() const { return fileDescriptor_.load(); }
    // The handle while open, else nullptr. A client that closes it
    // (FileHandle::closeFile) closes the port, as close() does.
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
    // Why the last open() failed: its errno (ENOENT, EACCES, ENOTTY for a
    // device that is no terminal, EBUSY for one another program opened for
    // itself), kept on the port until the next open() and readable from any
    // thread; 0 when the last open() succeeded or none was made yet.
    int openErrorCode() const { return openError_.load(); }

    // --- Exclusive access and the advisory lock (vx_serial_port_exclusive.cpp)

    // Exclusive access (TIOCEXCL): while this port has the device open, every
    // other open of it fails with EBUSY (except a privileged one's, which the
    // kernel lets through). Taken by each open() while set: an open() that
    // can't make it exclusive fails with that errno. On an open port it takes
    // effect at once; false when the device refuses (then nothing changed).
    // close() gives it up. Off at creation.
    bool setExclusiveAccess(bool on);
    bool exclusiveAccess() const { return exclusive_.load(); }
    // The advisory lock that cooperating programs honour (see port_lock.h):
    // the board driver holds it on its board, and ports take it here. Takes
    // it on the open port without waiting: true when this port now holds it
    // (or the device can't be locked at all, so nobody shares it); false
    // with code 301 (and the holder's pid under "lockHolderPid" when known)
    // when another program, or another open in this one, holds it; false
    // with code 99 on a closed port. close() gives it up.
    bool lockPort(SerialError* error = nullptr);
    // Gives up the lock this port holds; nothing else changes.
    void unlockPort();
    bool holdsPortLock() const { return locked_.load(); }
    // Who holds the device's lock now (this process included); nullopt when
    // nobody does or the holder can't be found. Works on a closed port too.
    std::optional<PortLockHolder> lockHolder() const;

    // --- Line control: false on failure (and on a closed port) --------------
    //
    // These calls, commitChanges and every read and write reach the device
    // through the port's own copy of its descriptor, never through a number
    // that a close() meanwhile (or a client closing the handle) may have let
    // the process give to another file.

    // Waits until written output has been sent (despite the name).
    bool drainInput();
    // Discards received input and/or unsent output; neither is false.
    bool flushInputOutput(bool input, bool output);
    bool sendBreak();
    // Raise or drop DTR (modem-control lines; a pseudo-terminal has none).
    bool setDTR();
    bool clearDTR();
    // A break of the given length (rounded up to whole milliseconds; 0 ends
    // at once): the line held at break for that long, then released. Blocks
    // for the length; close() from another thread cuts it short (and
    // answers false). A pseudo-terminal takes it without effect.
    bool sendBreakForDuration(std::chrono::milliseconds duration);
    // Holds the line at break until clearBreak() (or close()).
    bool setBreak();
    bool clearBreak();
    // Bytes written but not yet sent by the device (TIOCOUTQ), -1 when they
    // can't be counted (closed port). Beside bytesAvailable().
    int bytesToSend() const;

    // --- Modem-control lines (vx_serial_port_modem_lines.cpp) -------------
    //
    // A device without modem-control lines (a pseudo-terminal) answers
    // nullopt (or false) with code 300: the library never makes up a value.
    // Other failures answer code 99 with the errno under VXUnderlyingErrorKey
    // (EBADF on a closed port). *error, when given, is filled on every
    // outcome (code 0 on success). Any thread; none blocks except the wait.

    // Raise or drop RTS. With hardware flow control on (CRTSCTS) the kernel
    // drives RTS itself and may change it again.
    bool setRTS(SerialError* error = nullptr);
    bool clearRTS(SerialError* error = nullptr);
    // The lines that are on, as VXModemLine bits (all six at once).
    std::optional<unsigned> modemLines(SerialError* error = nullptr) const;
    // One input line each: true when it is on.
    std::optional<bool> CTS(SerialError* error = nullptr) const;
    std::optional<bool> DSR(SerialError* error = nullptr) const;
    std::optional<bool> DCD(SerialError* error = nullptr) const;
    std::optional<bool> RI(SerialError* error = nullptr) const;
    // Waits until one of lines (VXModemLine bits of the inputs; 0 means all
    // four) changes, at most timeoutSeconds (infinity: no limit; 0, negative
    // or NaN: no wait, code 100 unless the device has no lines). Answers what
    // changed and the lines after it; nullopt with code 100 when the time
    // passed without a change, 99 when close() (from any thread) ended the
    // wait or the device failed, 300 on a device without lines. Blocks the
    // calling thread; any number of threads may wait at once. A change is
    // seen within 10 ms, and a pulse shorter than that is not missed where
    // the driver counts line changes (serial chips and USB bridges do).
    std::optional<VXModemLineChange> waitForModemLineChange(unsigned lines, double timeoutSeconds,
                                                            SerialError* error = nullptr);

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
    // Echo of input by the device (ECHO).
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
    // Drop DTR and RTS when the last open of the device closes (HUPCL).
    bool hangupOnClose() const;
    void setHangupOnClose(bool on);
    // Ignore the modem-control lines (CLOCAL).
    bool localMode() const;
    void setLocalMode(bool on);
    // Line-by-line input with the device's line editing (ICANON).
    bool canonicalMode() const;
    void setCanonicalMode(bool on);
    // Software flow control (XON/XOFF, both directions: IXON and IXOFF).
    // Reads as on when either direction is on in the record (a device found
    // with only one keeps it so through an options round trip).
    bool softwareFlowControl() const;
    void setSoftwareFlowControl(bool on);
    // The extra end-of-line character of canonical input (VEOL).
    char endOfLineCharacter() const;
    void setEndOfLineCharacter(char c);

    // Applies the working record to the device at once and rebuilds the
    // options dictionary. false without touching the device while the settings
    // error is set; false, setting it, when the device refuses (or the port is
    // closed: EBADF). A close() from another thread comes either before (then
    // EBADF) or after it (then the settings found at open are put back).
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
    //
    // 0, a negative time-out and NaN end a read at once. Infinity, and any
    // time-out too long for the system's clock (above about 9.2e9 s, some
    // 290 years), mean no limit: the read ends only on its stop conditions,
    // a failure or close(). Any thread may set it; a read under way takes
    // the new value at its next wait.

    double readTimeout() const { return readTimeout_.load(); }
    void setReadTimeout(double seconds) { readTimeout_.store(seconds); }
    // Whole seconds and the rest in microseconds, each rounded to nearest.
    // A time-out beyond what a timeval holds (infinity included) gives the
    // largest timeval (the most negative one for a negative time-out); NaN
    // gives 0 s and 0 microseconds.
    timeval readTimeoutAsTimeval() const;

    // --- Where reports go ----------------------------------------------------

    // The loop that carries the delegate's reports and the run-loop read.
    // Ports report to a loop of their own choosing rather than one fixed
    // main thread, so that a program may serve ports from any thread with a
    // loop (and tests from their own loops). By default a port uses the loop
    // that was current (RunLoop::currentLoop()) on the thread that created it,
    // and otherwise the process's main loop (RunLoop::mainLoop()) of the moment.
    // setRunLoop(nullptr) goes back to that default. A port with no loop at
    // all starts no background work and arms no run-loop read.
    void setRunLoop(std::shared_ptr<RunLoop> loop);
    std::shared_ptr<RunLoop> runLoop() const;

    // --- Blocking reads and writes (vx_serial_port_additions.cpp) -----------
    //
    // On the calling thread, one at a time per port (they share the receive
    // buffer) and never beside a background read. Every read fills *error
    // (when given) on every outcome: code 0 with "endCode", 99 (failure, end
    // of file, closed port), 100 (time-out), 101 (4096 bytes without a stop
    // condition); "bytesRead" always, the errno under VXUnderlyingErrorKey when
    // the read call failed. Answers the bytes gathered, or nullopt when none
    // or on code 99. close() from another thread ends a waiting read at once
    // with code 99.

    // Waits at most readTimeout() in all; stops after bytes bytes (at most
    // 4096), or when the last byte of a chunk is stopChar.
    std::optional<Bytes> readAndStopAfterBytes(bool stopAfterBytes, unsigned bytes, bool stopAtChar,
                                               char stopChar, SerialError* error);
    std::optional<Bytes> readAndReturnError(SerialError* error);
    std::optional<Bytes> readBytes(unsigned bytes, SerialError* error);
    std::optional<Bytes> readUpToChar(char stopChar, SerialError* error);
    std::optional<Bytes> readBytesUpToChar(unsigned bytes, char stopChar, SerialError* error);
    // The same reads decoded (UTF-8 result); nullopt also when the bytes are
    // not valid in encoding.
    std::optional<std::string> readStringUsingEncoding(VXStringEncoding encoding,
                                                       SerialError* error);
    std::optional<std::string> readBytesUsingEncoding(unsigned bytes, VXStringEncoding encoding,
                                                      SerialError* error);
    std::optional<std::string> readUpToCharUsingEncoding(char stopChar, VXStringEncoding encoding,
                                                         SerialError* error);
    std::optional<std::string> readBytesUpToCharUsingEncoding(unsigned bytes, char stopChar,
                                                              VXStringEncoding encoding,
                                                              SerialError* error);

    // One write call of all of data: true when it took all (code 0). Code 200
    // for empty data, 99 when the call fails (or the port is closed), 201 when
    // it took only part; "bytesWritten" when more than 0 bytes went out. Blocks
    // until the device takes the bytes.
    bool writeData(std::span<const std::uint8_t> data, SerialError* error);
    // writeData with text's bytes in encoding; text without a form in it is
    // nothing to write (200).
    bool writeStringUsingEncoding(const std::string& text, VXStringEncoding encoding,
                                  SerialError* error);
    // Bytes waiting to be read (those the line reader keeps included), -1
    // when they can't be counted (closed port).
    int bytesAvailable() const;

    // The line reader: everything up to and including the first delimiter,
    // wherever it falls in what arrives; what follows it is kept for the
    // next read of this port (any kind). Not capped at 4096: at most limit
    // bytes. Waits at most readTimeout() in all. Ends with code 0 and end
    // code 1 on the delimiter; 101 with the first limit bytes when no
    // delimiter came within them (the rest stays kept); 100 with what came
    // (or nullopt when nothing did) when the time passed; 99 (nullopt) when
    // the read failed or close() ended it, keeping nothing once closed.
    // "bytesRead" is the length answered. Same thread rules as the other
    // blocking reads.
    std::optional<Bytes> readUpToDelimiter(char delimiter, std::size_t limit, SerialError* error);

    // The run-loop read: called with the target's string once input arrives.
    using ReadTarget = std::function<void(const std::optional<std::string>&)>;
    // Arms the run-loop read on runLoop(): every 0.1 s, doRead() waits up to
    // readTimeout() for input; once input is there it reads it as
    // readStringUsingEncoding(UTF-8) and calls target with the result
    // (nullopt for invalid UTF-8), then disarms. A closed port disarms it
    // without a call. Arming again replaces the target.
    //
    // It blocks the loop's thread: at every step for up to readTimeout()
    // while nothing arrives, and once input is there for the whole read,
    // which has no stop condition and so lasts the read time-out (or until
    // 4096 bytes). With no limit (an infinite readTimeout()) it blocks until
    // input comes, and then until 4096 bytes have come or close() ends it.
    // On a GUI's loop (QtRunLoop) the window freezes meanwhile: a GUI client
    // uses readDataInBackground() instead, whose waiting is done on the
    // port's own thread.
    void waitForInputSelector(ReadTarget target);
    // One step of the run-loop read (on the loop's thread; blocks as above).
    void doRead();

    // --- Background reads and writes (vx_serial_port_background.cpp) -------
    //
    // On two threads of the port's own, one for reads and one for writes,
    // each started at its first use and ended at close() or destruction
    // (never one thread per call). Each report goes to the delegate current
    // when the worker sends it, delivered on runLoop()'s thread; a delegate
    // replaced meanwhile still gets it, one destroyed meanwhile does not.
    // Neither the work asked for nor a report on its way holds the port: a
    // port whose last client lets go is destroyed at once, its waiting work
    // ends, and reports not yet delivered are dropped.

    // One read of up to 4096 bytes, reported by serialPortReadData; the
    // delegate asks for more by calling this again. Reads run one after the
    // other. Does nothing without a read delegate or a run loop.
    //
    // Whether a report comes:
    // - input arrived: a report with the chunk;
    // - the wait or the read call failed, or close() (from any thread, or
    //   a client closing the handle) ended the wait: a report with an empty
    //   chunk;
    // - the port was already closed when the read came to wait, or
    //   stopReadInBackground() came first: no report at all;
    // - the port was destroyed: no report at all.
    // So after close() or stopReadInBackground() a client must not count on a
    // report of the reads it asked for: whether one comes depends on whether
    // the read had begun waiting.
    void readDataInBackground();
    // Stops a background read that has not begun waiting (no report comes
    // for it); a read already waiting goes on.
    void stopReadInBackground();
    // Background reads as a line reader: each report then carries one line,
    // up to and including delimiter wherever it falls in a chunk, or limit
    // bytes when no delimiter came within them (at least 1); what follows is
    // kept for the next read, which reports a line already whole without
    // waiting. A read that fails or is ended by close() reports an empty
    // chunk, as before (a partial line is dropped with the closed port).
    // Applies to reads asked for afterwards.
    void setBackgroundReadDelimiter(char delimiter, std::size_t limit);
    // Back to one chunk (up to 4096 bytes) per report.
    void clearBackgroundReadDelimiter();
    // Background reads asked for and not yet ended (queued or running); the
    // count falls once a read's report is on its way. Likewise for writes.
    int numberOfReadInBackgroundThreads() const;
    // Writes data in chunks of up to 4096 bytes. A transfer estimated (from
    // speed() as it is when the write is asked for) at more than 3 s reports 0
    // at once, then about once a second and the final count; a shorter one
    // reports only if still running after 2 s. Writes run one after the
    // other, in the order asked for. Does nothing without a write delegate or
    // a run loop. close() ends a write the device holds up.
    void writeDataInBackground(Bytes data);
    // Ends the background write in progress after its current chunk.
    void stopWriteInBackground();
    int numberOfWriteInBackgroundThreads() const;

    // --- Older interface (vx_serial_port_deprecated.cpp) -------------------

    // A port whose type is "".
    VXSerialPort(std::string path, std::string name);
    VXSerialOptions getOptions() { return options(); }
    long getSpeed() const { return speed(); }
    int getDataBits() const { return static_cast<int>(dataBits()); }
    bool testParity() const;
    bool testParityOdd() const;
    void setParityNone() { setParity(0); }
    void setParityEven() { setParity(2); }
    void setParityOdd() { setParity(1); }
    int getStopBits() const { return stopBits(); }
    void setStopBits2(bool two) { setStopBits(two ? 2 : 1); }
    bool testEchoEnabled() const { return echoEnabled(); }
    bool testRTSInputFlowControl() const { return RTSInputFlowControl(); }
    bool testDTRInputFlowControl() const { return DTRInputFlowControl(); }
    bool testCTSOutputFlowControl() const { return CTSOutputFlowControl(); }
    bool testDSROutputFlowControl() const { return DSROutputFlowControl(); }
    bool testCAROutputFlowControl() const { return CAROutputFlowControl(); }
    bool testHangupOnClose() const { return hangupOnClose(); }
    bool testSoftwareFlowControl() const { return softwareFlowControl(); }
    bool getLocal() const { return localMode(); }
    void setLocal(bool on) { setLocalMode(on); }
    int checkRead() const { return bytesAvailable(); }
    // Mac OS Roman text.
    std::optional<std::string> readString();
    std::optional<std::string> readStringOfLength(unsigned length);
    // The bytes written, whole write or not; 0 for an empty or failed one.
    int writeString(const std::string& text);

  private:
    // The session of the open port, nullptr while closed.
    std::shared_ptr<DescriptorSession> session() const;
    // Hands job to worker, starting it first when there is none; false when
    // no thread can be had.
    bool submitBackgroundJob(std::shared_ptr<BackgroundWorker>& worker, std::function<void()> job);
    // Lets the workers end once their jobs are done (close, destruction).
    void retireBackgroundWorkers();
    // The jobs' bodies. They hold the port only while they look at it, never
    // across a wait; port is empty once the port is gone.
    // How a background read cuts its report: at the delimiter (if any)
    // within limit bytes, or at limit.
    struct LineMode {
        std::optional<char> delimiter;
        std::size_t limit;
    };
    static void readDataInBackgroundThread(const std::weak_ptr<VXSerialPort>& port,
                                           BackgroundJobs& jobs, LineMode mode);
    static void writeDataInBackgroundThread(const std::weak_ptr<VXSerialPort>& port,
                                            BackgroundJobs& jobs, const Bytes& data, long rate);
    // Posts a report to runLoop() for the delegate of this moment; the
    // report holds the port only while it is delivered.
    void reportReadData(Bytes chunk);
    void reportProgressDataLen(std::uint64_t written, std::uint64_t total);
    void scheduleDoRead();

    // For the settings setters: records errno and blocks commits.
    void setSettingsError(int errorNumber);
    // Answers call(control, fd) == 0 on the open port's descriptor, filling
    // *error: code 0, 300 (no modem lines), or 99 with the errno.
    template <class Call>
    bool controlCall(Call call, SerialError* error) const;
    // The line reader's core: gathers into the kept input until delimiter (if
    // any) or limit bytes or the time-out.
    std::optional<Bytes> readKept(std::optional<char> delimiter, std::size_t limit,
                                  SerialError* error);

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
    std::atomic<int> openError_{0};
    std::atomic<bool> exclusive_{false};
    std::atomic<bool> locked_{false};
    // The device layer for what is not reading, writing or settings; the
    // system's unless a test put its own in place (tty::useDeviceControl).
    const std::shared_ptr<tty::DeviceControl> control_;
    // The background line reader's delimiter (-1: none) and limit.
    std::atomic<int> backgroundDelimiter_{-1};
    std::atomic<std::size_t> backgroundLineLimit_{0};
    // Read on the loop's thread by the run-loop read.
    std::atomic<double> readTimeout_{1.0};

    // The delegate, not held (see setDelegate), and the same object seen
    // through the report interfaces it implements (empty where it lacks one).
    mutable std::mutex delegateLock_;
    std::weak_ptr<VXSerialPortDelegate> delegate_;            // under delegateLock_
    std::weak_ptr<VXSerialPortReadDelegate> readDelegate_;    // under delegateLock_
    std::weak_ptr<VXSerialPortWriteDelegate> writeDelegate_;  // under delegateLock_
    std::atomic<bool> handlesRead_{false};
    std::atomic<bool> handlesWrite_{false};

    std::shared_ptr<DescriptorSession> session_;  // under closeLock_
    // Receive buffer of the blocking reads.
    std::array<std::uint8_t, 4096> buffer_{};

    mutable std::mutex runLoopLock_;
    std::shared_ptr<RunLoop> runLoop_;     // under runLoopLock_; set by setRunLoop
    std::weak_ptr<RunLoop> creatorsLoop_;  // current on the creating thread
    ReadTarget vx_readTarget_;             // loop's thread only

    const std::shared_ptr<BackgroundJobs> jobs_;
    // The threads that run background reads and background writes, each
    // started at its first job and retired at close and destruction. One
    // thread per direction: a read may wait for input for ever while writes
    // go on, and writes run in the order they were asked for.
    std::mutex workerLock_;
    std::shared_ptr<BackgroundWorker> readWorker_;   // under workerLock_
    std::shared_ptr<BackgroundWorker> writeWorker_;  // under workerLock_
    // Held by open() and close(), and by whoever must see the descriptor stay
    // open for a moment (a background read setting up its wait, commitChanges).
    mutable std::mutex closeLock_;
};

// @}

}  // namespace zorvan::serial

template <>
struct std::hash<zorvan::serial::VXSerialPort> {
    std::size_t operator()(const zorvan::serial::VXSerialPort& port) const { return port.hash(); }
};

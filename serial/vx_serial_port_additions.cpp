// Blocking reads and writes, and the run-loop read.
#include <errno.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "serial/background_jobs.h"
#include "serial/descriptor_session.h"
#include "serial/tty_io.h"
#include "serial/vx_serial_port.h"

namespace zorvan::serial {
namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kBufferSize = 4096;

// Beyond this many microseconds (some 9.2e12 s) a wait has no 64-bit form:
// such a wait, infinity's included, has no limit.
constexpr double kLongestMicros = 9.2e18;

// The wait limit of one turn of a read with remaining > 0 seconds left: never
// 0, so the turn waits rather than polls; tty::kNoLimit when too long to count.
long long waitMicros(double remaining) {
    if (!(remaining * 1000000.0 < kLongestMicros)) {
        return tty::kNoLimit;
    }
    const double whole = std::trunc(remaining);
    const long long micros =
        std::llrint(whole) * 1000000LL + std::llrint((remaining - whole) * 1000000.0);
    return micros > 0 ? micros : 1;
}

}  // namespace

std::optional<Bytes> VXSerialPort::readAndStopAfterBytes(bool stopAfterBytes, unsigned bytes,
                                                         bool stopAtChar, char stopChar,
                                                         SerialError* error) {
    const auto session = this->session();
    unsigned bytesRead = 0;
    int code = VXSerialErrorTimedOut;
    int endCode = 0;
    int readErrno = 0;
    const auto start = Clock::now();
    const double timeout = readTimeout();
    double remaining = timeout;
    if (!session) {
        // Nothing to wait on: a closed port fails at once.
        code = VXSerialErrorTransferFailed;
        remaining = 0;
    }
    const unsigned limit = stopAfterBytes ? std::min(bytes, kBufferSize) : kBufferSize;
    // What the line reader kept comes first, as a chunk of its own.
    Bytes kept = session && limit > 0 ? jobs_->kept.take(limit) : Bytes();
    while (remaining > 0 || !kept.empty()) {
        ssize_t n = 0;
        if (!kept.empty()) {
            std::copy(kept.begin(), kept.end(), buffer_.begin());
            n = static_cast<ssize_t>(kept.size());
            kept.clear();
        } else {
            const auto got =
                session->read(buffer_.data() + bytesRead, limit - bytesRead, waitMicros(remaining));
            if (got.wait == tty::Wait::TimedOut) {
                code = VXSerialErrorTimedOut;
                break;
            }
            if (got.wait != tty::Wait::Ready) {
                code = VXSerialErrorTransferFailed;
                break;
            }
            n = got.count;
            if (n < 0) {
                readErrno = got.error;
                code = VXSerialErrorTransferFailed;
                break;
            }
            if (n == 0) {
                code = VXSerialErrorTransferFailed;  // end of file
                break;
            }
        }
        bytesRead += static_cast<unsigned>(n);
        if (stopAfterBytes && bytesRead == bytes) {
            code = VXSerialErrorNone;
            endCode = VXSerialEndByteCount;
            break;
        }
        if (stopAtChar && static_cast<char>(buffer_[bytesRead - 1]) == stopChar) {
            code = VXSerialErrorNone;
            endCode = VXSerialEndStopChar;
            break;
        }
        if (bytesRead >= kBufferSize) {
            code = VXSerialErrorBufferFull;
            break;
        }
        remaining = timeout - std::chrono::duration<double>(Clock::now() - start).count();
        code = VXSerialErrorTimedOut;
    }
    if (error != nullptr) {
        SerialError result{VXSerialErrorDomain, code, {}};
        result.userInfo[VXBytesReadKey] = static_cast<std::uint64_t>(bytesRead);
        if (readErrno != 0) {
            result.userInfo[VXUnderlyingErrorKey] =
                std::make_shared<const SerialError>(SerialError::posix(readErrno));
        }
        if (code == VXSerialErrorNone) {
            result.userInfo[VXEndCodeKey] = static_cast<std::int64_t>(endCode);
        }
        *error = std::move(result);
    }
    if (bytesRead == 0 || code == VXSerialErrorTransferFailed) {
        return std::nullopt;
    }
    return Bytes(buffer_.begin(), buffer_.begin() + bytesRead);
}

std::optional<Bytes> VXSerialPort::readAndReturnError(SerialError* error) {
    return readAndStopAfterBytes(false, 0, false, 0, error);
}

std::optional<Bytes> VXSerialPort::readBytes(unsigned bytes, SerialError* error) {
    return readAndStopAfterBytes(true, bytes, false, 0, error);
}

std::optional<Bytes> VXSerialPort::readUpToChar(char stopChar, SerialError* error) {
    return readAndStopAfterBytes(false, 0, true, stopChar, error);
}

std::optional<Bytes> VXSerialPort::readBytesUpToChar(unsigned bytes, char stopChar,
                                                     SerialError* error) {
    return readAndStopAfterBytes(true, bytes, true, stopChar, error);
}

namespace {

std::optional<std::string> decoded(const std::optional<Bytes>& data, VXStringEncoding encoding) {
    return data ? decodeString(*data, encoding) : std::nullopt;
}

}  // namespace

std::optional<std::string> VXSerialPort::readStringUsingEncoding(VXStringEncoding encoding,
                                                                 SerialError* error) {
    return decoded(readAndReturnError(error), encoding);
}

std::optional<std::string> VXSerialPort::readBytesUsingEncoding(unsigned bytes,
                                                                VXStringEncoding encoding,
                                                                SerialError* error) {
    return decoded(readBytes(bytes, error), encoding);
}

std::optional<std::string> VXSerialPort::readUpToCharUsingEncoding(char stopChar,
                                                                   VXStringEncoding encoding,
                                                                   SerialError* error) {
    return decoded(readUpToChar(stopChar, error), encoding);
}

std::optional<std::string> VXSerialPort::readBytesUpToCharUsingEncoding(unsigned bytes,
                                                                        char stopChar,
                                                                        VXStringEncoding encoding,
                                                                        SerialError* error) {
    return decoded(readBytesUpToChar(bytes, stopChar, error), encoding);
}

bool VXSerialPort::writeData(std::span<const std::uint8_t> data, SerialError* error) {
    int code = VXSerialErrorNothingToWrite;
    std::uint64_t written = 0;
    if (data.data() != nullptr && !data.empty()) {
        const auto session = this->session();
        const ssize_t n = session ? tty::writeSome(session->fd, data.data(), data.size()) : -1;
        if (n < 0) {
            code = VXSerialErrorTransferFailed;
        } else {
            written = static_cast<std::uint64_t>(n);
            code = written == data.size() ? VXSerialErrorNone : VXSerialErrorPartialWrite;
        }
    }
    if (error != nullptr) {
        *error = SerialError{VXSerialErrorDomain, code, {}};
        if (written > 0) {
            error->userInfo[VXBytesWrittenKey] = written;
        }
    }
    return code == VXSerialErrorNone;
}

bool VXSerialPort::writeStringUsingEncoding(const std::string& text, VXStringEncoding encoding,
                                            SerialError* error) {
    const auto bytes = encodeString(text, encoding);
    return writeData(
        bytes ? std::span<const std::uint8_t>(*bytes) : std::span<const std::uint8_t>(), error);
}

int VXSerialPort::bytesAvailable() const {
    const auto session = this->session();
    const int waiting = session ? tty::bytesWaiting(session->fd) : -1;
    return waiting < 0 ? -1 : waiting + static_cast<int>(jobs_->kept.size());
}

std::optional<Bytes> VXSerialPort::readUpToDelimiter(char delimiter, std::size_t limit,
                                                     SerialError* error) {
    return readKept(delimiter, limit, error);
}

std::optional<Bytes> VXSerialPort::readKept(std::optional<char> delimiter, std::size_t limit,
                                            SerialError* error) {
    const auto session = this->session();
    Bytes gathered = session ? jobs_->kept.takeAll() : Bytes();
    int code = VXSerialErrorTimedOut;
    int readErrno = 0;
    std::optional<std::size_t> end;
    const auto start = Clock::now();
    const double timeout = readTimeout();
    double remaining = session ? timeout : 0;
    if (!session) {
        code = VXSerialErrorTransferFailed;
    }
    while (session && !(end = lineEnd(gathered, delimiter, limit)) && remaining > 0) {
        const std::size_t had = gathered.size();
        gathered.resize(had + kBufferSize);
        const auto got = session->read(gathered.data() + had, kBufferSize, waitMicros(remaining));
        gathered.resize(had + static_cast<std::size_t>(got.count > 0 ? got.count : 0));
        if (got.wait == tty::Wait::TimedOut) {
            break;
        }
        if (got.wait != tty::Wait::Ready || got.count <= 0) {
            readErrno = got.wait == tty::Wait::Ready && got.count < 0 ? got.error : 0;
            code = VXSerialErrorTransferFailed;
            break;
        }
        remaining = timeout - std::chrono::duration<double>(Clock::now() - start).count();
    }
    Bytes answer;
    if (end) {
        // The rest waits for the next read.
        jobs_->kept.putBack(
            Bytes(gathered.begin() + static_cast<std::ptrdiff_t>(*end), gathered.end()));
        gathered.resize(*end);
        const bool delimited =
            delimiter && !gathered.empty() && static_cast<char>(gathered.back()) == *delimiter;
        code = delimited ? VXSerialErrorNone : VXSerialErrorBufferFull;
        answer = std::move(gathered);
    } else if (code == VXSerialErrorTimedOut) {
        answer = std::move(gathered);
    } else if (isOpen() && this->session() == session) {
        jobs_->kept.putBack(std::move(gathered));  // a failed read loses nothing on an open port
    }
    if (error != nullptr) {
        SerialError result{VXSerialErrorDomain, code, {}};
        result.userInfo[VXBytesReadKey] = static_cast<std::uint64_t>(answer.size());
        if (readErrno != 0) {
            result.userInfo[VXUnderlyingErrorKey] =
                std::make_shared<const SerialError>(SerialError::posix(readErrno));
        }
        if (code == VXSerialErrorNone) {
            result.userInfo[VXEndCodeKey] = static_cast<std::int64_t>(VXSerialEndStopChar);
        }
        *error = std::move(result);
    }
    if (answer.empty() || code == VXSerialErrorTransferFailed) {
        return std::nullopt;
    }
    return answer;
}

void VXSerialPort::waitForInputSelector(ReadTarget target) {
    const auto loop = runLoop();
    if (!loop) {
        return;
    }
    // The target is only ever touched on the loop's thread.
    loop->post([self = weak_from_this(), target = std::move(target)]() mutable {
        if (const auto port = self.lock()) {
            port->vx_readTarget_ = std::move(target);
        }
    });
    scheduleDoRead();
}

void VXSerialPort::scheduleDoRead() {
    if (const auto loop = runLoop()) {
        loop->postAfter(std::chrono::milliseconds(100), [self = weak_from_this()] {
            if (const auto port = self.lock()) {
                port->doRead();
            }
        });
    }
}

void VXSerialPort::doRead() {
    const auto session = this->session();
    if (!session) {
        vx_readTarget_ = nullptr;
        return;
    }
    if (!vx_readTarget_) {
        return;  // delivered already by another chain
    }
    const double t = readTimeout();
    // 0, negative and NaN: a look without waiting.
    const auto wait = tty::waitReadable(session->fd, session->wakeFd, t > 0 ? waitMicros(t) : 0);
    if (wait != tty::Wait::Ready) {
        scheduleDoRead();
        return;
    }
    const auto text = readStringUsingEncoding(VXUTF8StringEncoding, nullptr);
    const auto target = std::exchange(vx_readTarget_, nullptr);
    target(text);
}

}  // namespace zorvan::serial

// Background reads and writes, on threads of their own.
#include <algorithm>
#include <chrono>
#include <thread>

#include "serial/descriptor_session.h"
#include "serial/tty_io.h"
#include "serial/vx_serial_port.h"

namespace zorvan::serial {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunkSize = 4096;

}  // namespace

void VXSerialPort::readDataInBackground() {
    // The thread holds the port: it is never destroyed under the thread.
    auto self = weak_from_this().lock();
    if (!self || !handlesRead_.load() || !runLoop()) {
        return;
    }
    countReadInBackgroundThreads_.fetch_add(1);
    std::thread([self = std::move(self)] { self->readDataInBackgroundThread(); }).detach();
}

void VXSerialPort::readDataInBackgroundThread() {
    {
        std::lock_guard readLock(readLock_);
        stopReadInBackground_.store(false);
        std::shared_ptr<DescriptorSession> session;
        {
            std::lock_guard closeLock(closeLock_);
            if (!stopReadInBackground_.load()) {
                session = session_;
            }
        }
        if (session) {
            Bytes chunk;
            // close() fires the wake-up descriptor, so the wait ends with the port.
            if (tty::waitReadable(session->fd, session->wakeFd, -1) == tty::Wait::Ready &&
                isOpen()) {
                chunk.resize(kChunkSize);
                const ssize_t n = tty::readSome(session->fd, chunk.data(), chunk.size());
                chunk.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
            }
            const auto loop = runLoop();
            if (loop) {
                loop->post([self = shared_from_this(), chunk = std::move(chunk)]() mutable {
                    const auto target =
                        std::dynamic_pointer_cast<VXSerialPortReadDelegate>(self->delegate());
                    if (target) {
                        target->serialPortReadData(VXSerialReadReport{self, std::move(chunk)});
                    }
                });
            }
        }
    }
    countReadInBackgroundThreads_.fetch_sub(1);
}

void VXSerialPort::writeDataInBackground(Bytes data) {
    auto self = weak_from_this().lock();
    if (!self || !handlesWrite_.load() || !runLoop()) {
        return;
    }
    countWriteInBackgroundThreads_.fetch_add(1);
    const std::uint64_t ticket = nextWriteTicket_.fetch_add(1);
    std::thread([self = std::move(self), data = std::move(data), ticket] {
        self->writeDataInBackgroundThread(data, ticket);
    }).detach();
}

void VXSerialPort::writeDataInBackgroundThread(const Bytes& data, std::uint64_t ticket) {
    stopWriteInBackground_.store(false);
    {
        std::unique_lock writeLock(writeLock_);
        writeTurn_.wait(writeLock, [&] { return writeTicketServed_ == ticket; });
        const std::uint64_t length = data.size();
        const long rate = speed();
        // A record without a speed (never opened, or speed 0) gives no estimate.
        const std::uint64_t estimate = rate > 0 ? length * 8 / static_cast<std::uint64_t>(rate) : 0;
        bool reported = false;
        auto nextReport = Clock::now() + std::chrono::seconds(2);
        if (estimate > 3) {
            reportProgressDataLen(0, length);
            nextReport = Clock::now() + std::chrono::seconds(1);
            reported = true;
        }
        const auto session = this->session();
        std::uint64_t written = 0;
        while (session && written < length && !stopWriteInBackground_.load()) {
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(length - written, kChunkSize));
            // Waiting for room first lets close() end a write the device holds up.
            if (tty::waitWritable(session->fd, session->wakeFd) != tty::Wait::Ready) {
                break;
            }
            const ssize_t n = tty::writeSome(session->fd, data.data() + written, chunk);
            if (n <= 0) {
                break;
            }
            written += static_cast<std::uint64_t>(n);
            const auto now = Clock::now();
            if (now > nextReport && (written < length || reported)) {
                reportProgressDataLen(written, length);
                nextReport = now + std::chrono::seconds(1);
                reported = true;
            }
        }
        if (reported) {
            reportProgressDataLen(written, length);
        }
        stopWriteInBackground_.store(false);
        ++writeTicketServed_;
    }
    writeTurn_.notify_all();
    countWriteInBackgroundThreads_.fetch_sub(1);
}

void VXSerialPort::reportProgressDataLen(std::uint64_t written, std::uint64_t total) {
    if (const auto loop = runLoop()) {
        loop->post([self = shared_from_this(), written, total] {
            const auto target =
                std::dynamic_pointer_cast<VXSerialPortWriteDelegate>(self->delegate());
            if (target) {
                target->serialPortWriteProgress(VXSerialWriteProgress{self, written, total});
            }
        });
    }
}

}  // namespace zorvan::serial

// Background reads and writes, on the port's two long-lived worker threads.
#include <algorithm>
#include <chrono>
#include <system_error>

#include "serial/background_worker.h"
#include "serial/descriptor_session.h"
#include "serial/tty_io.h"
#include "serial/vx_serial_port.h"

namespace zorvan::serial {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunkSize = 4096;

}  // namespace

bool VXSerialPort::submitBackgroundJob(std::shared_ptr<BackgroundWorker>& worker,
                                       std::function<void()> job) {
    std::lock_guard lock(workerLock_);
    try {
        if (!worker) {
            worker = BackgroundWorker::start();
        }
    } catch (const std::system_error&) {
        return false;  // no thread to be had: the work is not started
    }
    // A worker in its slot is never retired: retiring takes it out first.
    return worker->submit(std::move(job));
}

void VXSerialPort::retireBackgroundWorkers() {
    std::shared_ptr<BackgroundWorker> reader;
    std::shared_ptr<BackgroundWorker> writer;
    {
        std::lock_guard lock(workerLock_);
        reader = std::move(readWorker_);
        writer = std::move(writeWorker_);
    }
    if (reader) {
        reader->retire();
    }
    if (writer) {
        writer->retire();
    }
}

void VXSerialPort::readDataInBackground() {
    // The job holds the port: it is never destroyed under the worker.
    auto self = weak_from_this().lock();
    if (!self || !handlesRead_.load() || !runLoop()) {
        return;
    }
    {
        std::lock_guard lock(delegateLock_);
        if (readDelegate_.expired()) {
            return;
        }
    }
    countReadInBackgroundThreads_.fetch_add(1);
    if (!submitBackgroundJob(readWorker_,
                             [self = std::move(self)] { self->readDataInBackgroundThread(); })) {
        countReadInBackgroundThreads_.fetch_sub(1);
    }
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
            if (const auto loop = runLoop()) {
                // The delegate of this moment gets the report, if it still
                // exists when the report arrives.
                std::weak_ptr<VXSerialPortReadDelegate> target;
                {
                    std::lock_guard lock(delegateLock_);
                    target = readDelegate_;
                }
                loop->post([self = shared_from_this(), target = std::move(target),
                            chunk = std::move(chunk)]() mutable {
                    if (const auto delegate = target.lock()) {
                        delegate->serialPortReadData(VXSerialReadReport{self, std::move(chunk)});
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
    {
        std::lock_guard lock(delegateLock_);
        if (writeDelegate_.expired()) {
            return;
        }
    }
    countWriteInBackgroundThreads_.fetch_add(1);
    // One worker serves the writes, so they run in the order asked for.
    if (!submitBackgroundJob(writeWorker_, [self = std::move(self), data = std::move(data)] {
            self->writeDataInBackgroundThread(data);
        })) {
        countWriteInBackgroundThreads_.fetch_sub(1);
    }
}

void VXSerialPort::writeDataInBackgroundThread(const Bytes& data) {
    stopWriteInBackground_.store(false);
    {
        std::lock_guard writeLock(writeLock_);
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
    }
    countWriteInBackgroundThreads_.fetch_sub(1);
}

void VXSerialPort::reportProgressDataLen(std::uint64_t written, std::uint64_t total) {
    const auto loop = runLoop();
    if (!loop) {
        return;
    }
    std::weak_ptr<VXSerialPortWriteDelegate> target;
    {
        std::lock_guard lock(delegateLock_);
        target = writeDelegate_;
    }
    loop->post([self = shared_from_this(), target = std::move(target), written, total] {
        if (const auto delegate = target.lock()) {
            delegate->serialPortWriteProgress(VXSerialWriteProgress{self, written, total});
        }
    });
}

}  // namespace zorvan::serial

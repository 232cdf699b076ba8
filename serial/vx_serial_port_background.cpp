// Background reads and writes, on the port's two long-lived worker threads.
#include <algorithm>
#include <chrono>
#include <system_error>

#include "serial/background_jobs.h"
#include "serial/background_worker.h"
#include "serial/descriptor_session.h"
#include "serial/kept_input.h"
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

void VXSerialPort::stopReadInBackground() {
    jobs_->stopRead.store(true);
}

int VXSerialPort::numberOfReadInBackgroundThreads() const {
    return jobs_->reads.load();
}

void VXSerialPort::stopWriteInBackground() {
    jobs_->stopWrite.store(true);
}

int VXSerialPort::numberOfWriteInBackgroundThreads() const {
    return jobs_->writes.load();
}

void VXSerialPort::setBackgroundReadDelimiter(char delimiter, std::size_t limit) {
    backgroundLineLimit_.store(std::max<std::size_t>(limit, 1));
    backgroundDelimiter_.store(static_cast<unsigned char>(delimiter));
}

void VXSerialPort::clearBackgroundReadDelimiter() {
    backgroundDelimiter_.store(-1);
}

void VXSerialPort::readDataInBackground() {
    std::weak_ptr<VXSerialPort> self = weak_from_this();
    if (self.expired() || !handlesRead_.load() || !runLoop()) {
        return;
    }
    {
        std::lock_guard lock(delegateLock_);
        if (readDelegate_.expired()) {
            return;
        }
    }
    // Taken now: a change applies to the reads asked for afterwards.
    const int delimiter = backgroundDelimiter_.load();
    const LineMode mode{
        delimiter >= 0 ? std::optional<char>(static_cast<char>(delimiter)) : std::nullopt,
        delimiter >= 0 ? backgroundLineLimit_.load() : kChunkSize};
    jobs_->reads.fetch_add(1);
    // The job holds the port weakly: a port whose clients let go is
    // destroyed, and its close ends the job's wait.
    if (!submitBackgroundJob(readWorker_, [self = std::move(self), jobs = jobs_, mode] {
            readDataInBackgroundThread(self, *jobs, mode);
        })) {
        jobs_->reads.fetch_sub(1);
    }
}

void VXSerialPort::readDataInBackgroundThread(const std::weak_ptr<VXSerialPort>& port,
                                              BackgroundJobs& jobs, LineMode mode) {
    {
        std::lock_guard readLock(jobs.readLock);
        jobs.stopRead.store(false);
        std::shared_ptr<DescriptorSession> session;
        if (const auto self = port.lock()) {
            std::lock_guard closeLock(self->closeLock_);
            if (!jobs.stopRead.load()) {
                session = self->session_;
            }
        }
        if (session) {
            // What the last read kept past its line comes first; a line
            // already whole in it is reported without waiting.
            const auto cut = [&mode](const Bytes& bytes) -> std::optional<std::size_t> {
                if (mode.delimiter) {
                    return lineEnd(bytes, mode.delimiter, mode.limit);
                }
                // Without a delimiter any input is a chunk.
                return bytes.empty() ? std::nullopt
                                     : std::optional(std::min(bytes.size(), mode.limit));
            };
            Bytes chunk = jobs.kept.takeAll();
            std::optional<std::size_t> end = cut(chunk);
            bool failed = false;
            while (!end) {
                const std::size_t had = chunk.size();
                chunk.resize(had + kChunkSize);
                // While input streams in, the read is tried before any wait
                // and a chunk costs one call. close() (the port's destruction
                // included) fires the wake-up descriptor, so a wait ends with
                // the port.
                const auto got = session->read(chunk.data() + had, kChunkSize, tty::kNoLimit);
                chunk.resize(had + static_cast<std::size_t>(got.count > 0 ? got.count : 0));
                if (got.wait != tty::Wait::Ready || got.count <= 0) {
                    failed = true;
                    break;
                }
                end = cut(chunk);
            }
            if (failed) {
                chunk.clear();  // an empty report: the wait or the read failed
            } else if (*end < chunk.size()) {
                jobs.kept.putBack(
                    Bytes(chunk.begin() + static_cast<std::ptrdiff_t>(*end), chunk.end()));
                chunk.resize(*end);
            }
            if (const auto self = port.lock()) {
                self->reportReadData(std::move(chunk));
            }
        }
    }
    jobs.reads.fetch_sub(1);
}

void VXSerialPort::reportReadData(Bytes chunk) {
    const auto loop = runLoop();
    if (!loop) {
        return;
    }
    // The delegate of this moment gets the report, if it and the port still
    // exist when the report arrives.
    std::weak_ptr<VXSerialPortReadDelegate> target;
    {
        std::lock_guard lock(delegateLock_);
        target = readDelegate_;
    }
    loop->post(
        [port = weak_from_this(), target = std::move(target), chunk = std::move(chunk)]() mutable {
            const auto self = port.lock();
            const auto delegate = target.lock();
            if (self && delegate) {
                delegate->serialPortReadData(VXSerialReadReport{self, std::move(chunk)});
            }
        });
}

void VXSerialPort::writeDataInBackground(Bytes data) {
    std::weak_ptr<VXSerialPort> self = weak_from_this();
    if (self.expired() || !handlesWrite_.load() || !runLoop()) {
        return;
    }
    {
        std::lock_guard lock(delegateLock_);
        if (writeDelegate_.expired()) {
            return;
        }
    }
    // Taken now, on the owner's thread: the worker never reads the record
    // the owner edits.
    const long rate = speed();
    jobs_->writes.fetch_add(1);
    // One worker serves the writes, so they run in the order asked for.
    if (!submitBackgroundJob(writeWorker_,
                             [self = std::move(self), jobs = jobs_, data = std::move(data), rate] {
                                 writeDataInBackgroundThread(self, *jobs, data, rate);
                             })) {
        jobs_->writes.fetch_sub(1);
    }
}

void VXSerialPort::writeDataInBackgroundThread(const std::weak_ptr<VXSerialPort>& port,
                                               BackgroundJobs& jobs, const Bytes& data, long rate) {
    jobs.stopWrite.store(false);
    {
        std::lock_guard writeLock(jobs.writeLock);
        const auto report = [&port](std::uint64_t written, std::uint64_t total) {
            if (const auto self = port.lock()) {
                self->reportProgressDataLen(written, total);
            }
        };
        const std::uint64_t length = data.size();
        // A record without a speed (never opened, or speed 0) gives no estimate.
        const std::uint64_t estimate = rate > 0 ? length * 8 / static_cast<std::uint64_t>(rate) : 0;
        bool reported = false;
        auto nextReport = Clock::now() + std::chrono::seconds(2);
        if (estimate > 3) {
            report(0, length);
            nextReport = Clock::now() + std::chrono::seconds(1);
            reported = true;
        }
        std::shared_ptr<DescriptorSession> session;
        if (const auto self = port.lock()) {
            session = self->session();
        }
        std::uint64_t written = 0;
        while (session && written < length && !jobs.stopWrite.load()) {
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(length - written, kChunkSize));
            // Tried first, waiting for room only when the device takes
            // nothing; close() ends a write the device holds up.
            const ssize_t n =
                session->closed.load()
                    ? -1
                    : tty::writeWhenReady(session->fd, session->nonBlockingFd, session->wakeFd,
                                          data.data() + written, chunk);
            if (n <= 0) {
                break;
            }
            written += static_cast<std::uint64_t>(n);
            const auto now = Clock::now();
            if (now > nextReport && (written < length || reported)) {
                report(written, length);
                nextReport = now + std::chrono::seconds(1);
                reported = true;
            }
        }
        if (reported) {
            report(written, length);
        }
        jobs.stopWrite.store(false);
    }
    jobs.writes.fetch_sub(1);
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
    loop->post([port = weak_from_this(), target = std::move(target), written, total] {
        const auto self = port.lock();
        const auto delegate = target.lock();
        if (self && delegate) {
            delegate->serialPortWriteProgress(VXSerialWriteProgress{self, written, total});
        }
    });
}

}  // namespace zorvan::serial

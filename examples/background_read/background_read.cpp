// Reads a serial device in the background and prints what arrives as hex,
// chunk by chunk, on the thread that runs the loop; sends a greeting with a
// background write (whose progress is reported for long transfers only).
// Ends after SECONDS or when the device goes away.
//
//   background_read PATH [SECONDS]
#include <zorvan/serial/serial.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

using namespace zorvan::serial;

// Reports come on the port's run loop; each asks for the next chunk.
class Printer final : public VXSerialPortReadDelegate, public VXSerialPortWriteDelegate {
  public:
    explicit Printer(PlainRunLoop& loop) : loop_(loop) {}

    void serialPortReadData(const VXSerialReadReport& report) override {
        if (report.data.empty()) {  // the wait or the read failed: the device is gone
            std::printf("the device stopped answering\n");
            loop_.quit();
            return;
        }
        for (const std::uint8_t byte : report.data) {
            std::printf("%02x ", byte);
        }
        std::printf("(%zu bytes)\n", report.data.size());
        std::fflush(stdout);
        report.serialPort->readDataInBackground();
    }
    void serialPortWriteProgress(const VXSerialWriteProgress& progress) override {
        std::printf("sent %llu of %llu bytes\n", static_cast<unsigned long long>(progress.value),
                    static_cast<unsigned long long>(progress.total));
    }

  private:
    PlainRunLoop& loop_;
};

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: background_read PATH [SECONDS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;

    auto port = std::make_shared<VXSerialPort>(path, path, "IOSerialStream");
    if (!port->open()) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(),
                     errnoText(port->openErrorCode()).c_str());
        return 1;
    }
    port->setCanonicalMode(false);
    port->setEchoEnabled(false);
    port->commitChanges();

    auto loop = std::make_shared<PlainRunLoop>();
    auto printer = std::make_shared<Printer>(*loop);  // the port does not hold it: keep it
    port->setRunLoop(loop);
    port->setDelegate(printer);
    port->readDataInBackground();
    port->writeDataInBackground(Bytes{'h', 'e', 'l', 'l', 'o', '\n'});

    loop->runFor(std::chrono::seconds(seconds));
    port->close();  // ends the waiting read; settings put back
    return 0;
}

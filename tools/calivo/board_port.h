#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "driver/board_serial_link.h"
#include "driver/packet.h"
#include "driver/packet_framer.h"

class QSocketNotifier;

namespace zorvan::calivo {

// The board for the calibration tool: opened with the driver's own serial
// settings, read on the GUI thread as bytes arrive, cut into packets by the
// driver's framer. Like the driver it sends the handshake after each 1.5 s of
// silence and drops an incomplete packet then.
class BoardPort : public QObject {
    Q_OBJECT
  public:
    struct Handlers {
        std::function<void(const Packet&)> packet;
        // The board went away (unplugged, the line hung up); the port is closed.
        std::function<void(const std::string& why)> lost;
    };

    explicit BoardPort(Handlers handlers, QObject* parent = nullptr);
    ~BoardPort() override;

    // False with `error` set ("cannot open PATH: reason") when it cannot be opened.
    bool open(const std::string& path, std::string& error);
    // Restores the terminal settings found at open and closes; idempotent.
    void close();
    bool isOpen() const { return fd_ >= 0; }

  private:
    void readAvailable();
    void silence();

    Handlers handlers_;
    // Without the lock: the paused driver still holds it.
    BoardSerialLink link_{stderr, BoardSerialLink::Locking::NoLock};
    PacketFramer framer_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer silenceTimer_;
};

}  // namespace zorvan::calivo

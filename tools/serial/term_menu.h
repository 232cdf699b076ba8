#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace zorvan::serial_tool {

// term's menu: Ctrl-T and the key after it are a command, not data. Some
// commands ask for a value (a speed, a file name), typed and ended with
// Enter; Escape or Ctrl-T gives up. What it says goes to the stream given.
class TermMenu {
  public:
    static constexpr std::uint8_t kMenuKey = 0x14;  // Ctrl-T

    // An action left empty is a command this device or build can't do.
    struct Actions {
        std::function<void(long)> setSpeed;
        std::function<void()> toggleDTR;
        std::function<void()> toggleRTS;
        std::function<void()> sendBreak;
        std::function<void()> showLines;
        std::function<void(const std::string&)> sendFile;
    };

    TermMenu(Actions actions, std::FILE* say) : actions_(std::move(actions)), say_(say) {}

    // Takes typed keys; appends to send those that go to the device.
    void filter(std::span<const std::uint8_t> keys, std::vector<std::uint8_t>& send);

    // The menu's keys, one line.
    std::string help() const;

  private:
    enum class State { Data, Command, Speed, File };
    void command(std::uint8_t key, std::vector<std::uint8_t>& send);
    void edit(std::uint8_t key);
    void finishEntry();
    void say(const std::string& text);

    Actions actions_;
    std::FILE* say_;
    State state_ = State::Data;
    std::string entry_;
};

}  // namespace zorvan::serial_tool

#include "tools/serial/term_menu.h"

#include <errno.h>

#include <cstdlib>

namespace zorvan::serial_tool {

void TermMenu::say(const std::string& text) {
    std::fputs(text.c_str(), say_);
    std::fflush(say_);
}

std::string TermMenu::help() const {
    std::string keys = "--- Ctrl-T then: b speed";
    const auto add = [&keys](bool can, const char* text) {
        if (can) {
            keys += text;
        }
    };
    add(static_cast<bool>(actions_.toggleDTR), ", d DTR");
    add(static_cast<bool>(actions_.toggleRTS), ", r RTS");
    add(static_cast<bool>(actions_.sendBreak), ", k break");
    add(static_cast<bool>(actions_.showLines), ", l lines");
    add(static_cast<bool>(actions_.sendFile), ", f send a file");
    return keys + ", Ctrl-T sends Ctrl-T, h this help; Ctrl-] quits ---\n";
}

void TermMenu::filter(std::span<const std::uint8_t> keys, std::vector<std::uint8_t>& send) {
    for (const std::uint8_t key : keys) {
        switch (state_) {
            case State::Data:
                if (key == kMenuKey) {
                    state_ = State::Command;
                } else {
                    send.push_back(key);
                }
                break;
            case State::Command:
                state_ = State::Data;
                command(key, send);
                break;
            case State::Speed:
            case State::File:
                edit(key);
                break;
        }
    }
}

void TermMenu::command(std::uint8_t key, std::vector<std::uint8_t>& send) {
    if (key == kMenuKey) {
        send.push_back(key);
        return;
    }
    // Ctrl and a letter does what the letter does.
    const std::uint8_t letter =
        key >= 1 && key <= 26 ? static_cast<std::uint8_t>('a' + key - 1) : key;
    const auto run = [this](const std::function<void()>& action, const char* what) {
        if (action) {
            action();
        } else {
            say(std::string("--- ") + what + " can't be done here ---\n");
        }
    };
    switch (letter) {
        case 'b':
        case 'B':
            state_ = State::Speed;
            entry_.clear();
            say("--- speed (bit/s): ");
            break;
        case 'f':
        case 'F':
            if (!actions_.sendFile) {
                run(nullptr, "sending a file");
                break;
            }
            state_ = State::File;
            entry_.clear();
            say("--- file to send: ");
            break;
        case 'd':
        case 'D':
            run(actions_.toggleDTR, "DTR");
            break;
        case 'r':
        case 'R':
            run(actions_.toggleRTS, "RTS");
            break;
        case 'k':
        case 'K':
            run(actions_.sendBreak, "a break");
            break;
        case 'l':
        case 'L':
            run(actions_.showLines, "showing the lines");
            break;
        case 'h':
        case 'H':
        case '?':
            say(help());
            break;
        default:
            say("--- no such menu key; Ctrl-T h lists them ---\n");
            break;
    }
}

void TermMenu::edit(std::uint8_t key) {
    if (key == '\r' || key == '\n') {
        say("\n");
        finishEntry();
    } else if (key == 0x1b || key == kMenuKey || key == 0x03) {  // Escape, Ctrl-T, Ctrl-C
        state_ = State::Data;
        say(" --- not done ---\n");
    } else if (key == 0x7f || key == 0x08) {
        if (!entry_.empty()) {
            entry_.pop_back();
            say("\b \b");
        }
    } else if (key >= 0x20 && entry_.size() < 4096) {
        entry_ += static_cast<char>(key);
        say(std::string(1, static_cast<char>(key)));
    }
}

void TermMenu::finishEntry() {
    const State state = state_;
    state_ = State::Data;
    if (state == State::File) {
        if (entry_.empty()) {
            say("--- no file named ---\n");
        } else {
            actions_.sendFile(entry_);
        }
        return;
    }
    char* end = nullptr;
    errno = 0;
    const long rate = std::strtol(entry_.c_str(), &end, 10);
    if (entry_.empty() || *end != '\0' || errno != 0 || rate <= 0 || rate > 4294967295L) {
        say("--- \"" + entry_ + "\" is no bit rate; the speed stays ---\n");
        return;
    }
    actions_.setSpeed(rate);
}

}  // namespace zorvan::serial_tool

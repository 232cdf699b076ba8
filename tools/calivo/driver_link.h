#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "calibration/settings_store.h"

namespace zorvan::calivo {

// The value of the last "--device PATH" or "--device=PATH" among a driver's
// arguments (argv[0] first); empty when there is none.
std::string deviceArgument(const std::vector<std::string>& arguments);

// What the tool needs to know about and do to other processes.
class PeerProcesses {
  public:
    virtual ~PeerProcesses() = default;
    // Whether `pid` runs the driver ("zorvan").
    virtual bool isDriver(std::int64_t pid) = 0;
    // Whether `pid` runs another calibration tool ("Calivo.app").
    virtual bool isTool(std::int64_t pid) = 0;
    // kill(pid, signal) == 0.
    virtual bool signal(std::int64_t pid, int signal) = 0;
    // The board the driver `pid` was started on with --device; empty when it
    // was started without (it then reads the default board) or is unknown.
    virtual std::string driverDevice(std::int64_t pid) = 0;
};

// The tool's half of the exchange with the driver through the shared
// settings: "CalivoPid" (ours), "ZorvanPid" (the driver's), SIGUSR2 to pause
// the driver's reading, SIGUSR1 to resume it and make it load the calibration
// at the board's next silence. A pid read from the store is signalled only
// when it is plausible and runs the expected program, as the driver checks
// "CalivoPid" before its SIGHUP.
class DriverLink {
  public:
    // A driverPid other than 0 (the driver that started the tool) is the one
    // paused and resumed, and the settings' "ZorvanPid" is not looked at:
    // with two boards it may name the other board's driver.
    DriverLink(SettingsStore& store, PeerProcesses& processes, std::int64_t ownPid,
               std::int64_t driverPid = 0);

    // The pid of another calibration tool that runs now; 0 when there is none.
    std::int64_t otherTool();

    // Sends SIGHUP to another calibration tool that runs now (it starts over
    // and comes to the front) and returns its pid; 0 when there is none.
    std::int64_t restartOtherTool();

    // Publishes our pid under "CalivoPid" and synchronizes.
    void publish();

    // Sends SIGUSR2 to the driver under "ZorvanPid". Returns its pid, or 0
    // when no driver runs (nothing to pause).
    std::int64_t pauseDriver();

    // Sends SIGUSR1 to the driver paused before, or else to the one under
    // "ZorvanPid" now. False when no driver could be signalled.
    bool resumeDriver();

    // The board the running driver reads when it was given one with
    // --device; empty otherwise. A tool started without --device must read
    // the same board.
    std::string driverDevice();

    // Clears "CalivoPid" if it still holds our pid, and synchronizes.
    void withdraw();

  private:
    std::int64_t runningDriver();

    SettingsStore& store_;
    PeerProcesses& processes_;
    std::int64_t ownPid_;
    std::int64_t driverPid_;
    std::int64_t pausedDriver_ = 0;
};

}  // namespace zorvan::calivo

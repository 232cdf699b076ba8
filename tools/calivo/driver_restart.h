#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorvan::calivo {

// What starting the driver again needs of the system.
class DriverStarter {
  public:
    virtual ~DriverStarter() = default;
    // The arguments `pid` was started with, argv[0] first; empty when unknown.
    virtual std::vector<std::string> commandLine(std::int64_t pid) = 0;
    // Whether `pid` still runs the driver.
    virtual bool runsDriver(std::int64_t pid) = 0;
    // Starts `arguments` (the program first) in a session of its own, without
    // waiting for it. False with `error` set when it cannot be started.
    virtual bool startDetached(const std::vector<std::string>& arguments, std::string& error) = 0;
};

// A driver that launches the tool from its calibration alert quits, and
// nothing else would start it again: the board would stay dead until the
// next login. The tool notes the driver's command line at launch, while it
// still runs, and at its end starts the driver again, from its own folder
// with the same arguments, if that driver is gone and no other runs.
class DriverRestart {
  public:
    DriverRestart(DriverStarter& starter, std::string toolFolder);

    // The driver found at launch.
    void remember(std::int64_t pid);
    // At the end, when no driver could be resumed. Returns what was done, for
    // stdout ("started the driver again: ..."), or a failure to report
    // (starting with "cannot"); empty when nothing was to be done.
    std::string restartIfGone();

  private:
    DriverStarter& starter_;
    std::string toolFolder_;
    std::int64_t pid_ = 0;
    std::vector<std::string> arguments_;
};

}  // namespace zorvan::calivo

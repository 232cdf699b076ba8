#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace zorvan::serial {

// @addtogroup runloops
// @{

// Where the library delivers what it reports to its clients: delegate reports
// of background reads and writes, port-list notifications. A loop runs on one
// thread, "the loop's thread"; every task and callback runs there, one at a
// time, in the order described below.
//
// PlainRunLoop (plain_run_loop.h) is the library's own loop for programs
// without a toolkit; an application with an event loop of its own supplies an
// implementation over it (Zorvan's is QtRunLoop in platform/).
class RunLoop : public std::enable_shared_from_this<RunLoop> {
  public:
    using Task = std::function<void()>;  // what a loop runs
    using WatchId = std::uint64_t;       // names a watch, for unwatch

    virtual ~RunLoop() = default;

    // Where objects that were given no loop deliver (a port's reports):
    //
    // The loop current on the calling thread: the one running there (a
    // PlainRunLoop inside run() or runFor()) or made current for a while with
    // a CurrentScope; nullptr when none. Only loops held by a shared_ptr
    // become current.
    static std::shared_ptr<RunLoop> currentLoop();
    // The process's main loop, the one its main thread runs: not held (the
    // program owns it), nullptr when none was set or it is gone. Any thread.
    static std::shared_ptr<RunLoop> mainLoop();
    static void setMainLoop(const std::shared_ptr<RunLoop>& loop);

    // Makes loop the calling thread's current loop while it lasts.
    class CurrentScope {
      public:
        // From here, loop is the calling thread's current loop.
        explicit CurrentScope(std::weak_ptr<RunLoop> loop);
        // Makes the loop current before this scope current again.
        ~CurrentScope();
        CurrentScope(const CurrentScope&) = delete;
        CurrentScope& operator=(const CurrentScope&) = delete;

      private:
        std::weak_ptr<RunLoop> previous_;
    };

    // Any thread. Runs task on the loop's thread, after every task posted
    // before it from the same thread. Never runs it inside the call.
    virtual void post(Task task) = 0;

    // Any thread. Runs task on the loop's thread once delay has passed
    // (delay 0 or less: as soon as possible, like post).
    virtual void postAfter(std::chrono::milliseconds delay, Task task) = 0;

    // Any thread. Calls onReadable on the loop's thread whenever fd is readable
    // or has hung up or failed (level-triggered: again at every turn of the
    // loop until the condition is consumed or the watch ends). The descriptor
    // stays the caller's: unwatch before closing it. Answers an id never 0.
    virtual WatchId watchReadable(int fd, Task onReadable) = 0;

    // Any thread. Ends a watch; unknown or ended ids are ignored. Called on the
    // loop's thread (a callback included), the callback is not called again
    // once unwatch returns.
    virtual void unwatch(WatchId id) = 0;
};

// @}

}  // namespace zorvan::serial

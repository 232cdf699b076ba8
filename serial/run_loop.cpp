#include "serial/run_loop.h"

#include <mutex>
#include <utility>

namespace zorvan::serial {
namespace {

thread_local std::weak_ptr<RunLoop> tCurrentLoop;

struct MainLoopSlot {
    std::mutex lock;
    std::weak_ptr<RunLoop> loop;
};

MainLoopSlot& mainLoopSlot() {
    static MainLoopSlot slot;
    return slot;
}

}  // namespace

std::shared_ptr<RunLoop> RunLoop::currentLoop() {
    return tCurrentLoop.lock();
}

std::shared_ptr<RunLoop> RunLoop::mainLoop() {
    MainLoopSlot& slot = mainLoopSlot();
    std::lock_guard lock(slot.lock);
    return slot.loop.lock();
}

void RunLoop::setMainLoop(const std::shared_ptr<RunLoop>& loop) {
    MainLoopSlot& slot = mainLoopSlot();
    std::lock_guard lock(slot.lock);
    slot.loop = loop;
}

RunLoop::CurrentScope::CurrentScope(std::weak_ptr<RunLoop> loop)
    : previous_(std::exchange(tCurrentLoop, std::move(loop))) {}

RunLoop::CurrentScope::~CurrentScope() {
    tCurrentLoop = std::move(previous_);
}

}  // namespace zorvan::serial

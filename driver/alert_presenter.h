#pragma once

#include <string>

namespace zorvan {

// Shows a modal alert with a default and an alternate button and waits for the
// answer. Called on the reader thread; implementations may show it elsewhere
// (the GUI thread) as long as the caller waits.
class AlertPresenter {
  public:
    enum class Answer { Default, Alternate };
    virtual ~AlertPresenter() = default;
    virtual Answer runModal(const std::string& title, const std::string& info,
                            const std::string& ok, const std::string& cancel) = 0;
};

}  // namespace zorvan

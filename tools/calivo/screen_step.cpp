#include "tools/calivo/screen_step.h"

#include <QScreen>
#include <algorithm>

#include "tools/calivo/screen_number_view.h"

namespace zorvan::calivo {

ScreenStep::ScreenStep(std::vector<QScreen*> screens, QScreen* first, Handlers handlers)
    : screens_(std::move(screens)), handlers_(std::move(handlers)) {
    const auto at = std::find(screens_.begin(), screens_.end(), first);
    lit_ = at == screens_.end() ? 0 : static_cast<std::size_t>(at - screens_.begin());
    for (std::size_t i = 0; i < screens_.size(); ++i) {
        views_.push_back(std::make_unique<ScreenNumberView>(
            static_cast<int>(i + 1), static_cast<int>(screens_.size()), screens_[i],
            ScreenNumberView::Handlers{[this, i] { choose(i); }, [this](int key) { onKey(key); }}));
    }
    dwell_.setInterval(kDwellMs);
    connect(&dwell_, &QTimer::timeout, this, [this] { light((lit_ + 1) % screens_.size()); });
}

ScreenStep::~ScreenStep() = default;

void ScreenStep::start() {
    std::string list;
    for (std::size_t i = 0; i < screens_.size(); ++i) {
        const QSize size = screens_[i]->size() * screens_[i]->devicePixelRatio();
        list += (i == 0 ? "" : ", ") + std::to_string(i + 1) + " " +
                screens_[i]->name().toStdString() + " " + std::to_string(size.width()) + "x" +
                std::to_string(size.height());
    }
    handlers_.say("which screen is the board? " + list);
    for (const auto& view : views_) {
        view->showFull();
    }
    light(lit_);
}

void ScreenStep::light(std::size_t index) {
    if (done_ || held_) {
        return;
    }
    lit_ = index;
    showStates();
    views_[lit_]->activateWindow();
    handlers_.say("screen " + std::to_string(lit_ + 1) +
                  " lit: " + screens_[lit_]->name().toStdString());
    dwell_.start();
}

void ScreenStep::showStates() {
    for (std::size_t i = 0; i < views_.size(); ++i) {
        views_[i]->setState(i == lit_, held_ && i == lit_);
    }
}

void ScreenStep::touchDown() {
    if (done_ || held_) {
        return;
    }
    // What counts is the screen lit when the finger came down, not at the lift.
    held_ = true;
    dwell_.stop();
    showStates();
}

void ScreenStep::touchUp() {
    if (done_) {
        return;
    }
    // A lift whose touch began before the step (none held) chooses the lit one too.
    choose(lit_);
}

void ScreenStep::choose(std::size_t index) {
    if (done_ || index >= screens_.size()) {
        return;
    }
    done_ = true;
    dwell_.stop();
    handlers_.say("screen chosen: " + screens_[index]->name().toStdString());
    QScreen* screen = screens_[index];
    // The views go before the calibration window opens on top of them.
    for (const auto& view : views_) {
        view->hide();
    }
    handlers_.chosen(screen);
}

void ScreenStep::onKey(int key) {
    if (done_) {
        return;
    }
    if (key >= Qt::Key_1 && key <= Qt::Key_9) {
        choose(static_cast<std::size_t>(key - Qt::Key_1));
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
        choose(lit_);
    } else if (key == Qt::Key_Right || key == Qt::Key_Tab || key == Qt::Key_Down) {
        light((lit_ + 1) % screens_.size());
    } else if (key == Qt::Key_Left || key == Qt::Key_Up) {
        light((lit_ + screens_.size() - 1) % screens_.size());
    } else if (key == Qt::Key_Escape) {
        done_ = true;
        dwell_.stop();
        for (const auto& view : views_) {
            view->hide();
        }
        handlers_.cancelled();
    }
}

}  // namespace zorvan::calivo

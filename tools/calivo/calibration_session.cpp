#include "tools/calivo/calibration_session.h"

#include <cmath>

#include "calibration/wb_coordinate.h"

namespace zorvan::calivo {

namespace {

CalibrationSession::Notice noticeOf(PressFault fault) {
    switch (fault) {
        case PressFault::TooShort:
            return CalibrationSession::Notice::PressTooShort;
        case PressFault::Wandered:
            return CalibrationSession::Notice::PressWandered;
        case PressFault::ModeChanged:
            return CalibrationSession::Notice::PressModeChanged;
        case PressFault::None:
            break;
    }
    return CalibrationSession::Notice::None;
}

CalibrationSession::Notice noticeOf(DotFault fault) {
    switch (fault) {
        case DotFault::WrongSide:
            return CalibrationSession::Notice::DotWrongSide;
        case DotFault::FarFromExpected:
            return CalibrationSession::Notice::DotFarFromExpected;
        case DotFault::None:
            break;
    }
    return CalibrationSession::Notice::None;
}

}  // namespace

CalibrationSession::CalibrationSession(Setup setup) : setup_(setup) {
    if (setup_.reference) {
        reference_ = *setup_.reference;
    } else {
        bool ignored = false;
        reference_ = driverTablesFor(CalibrationRecord{}, setup_.screen, ignored);
    }
    if (gridForm(setup_.dotCount)) {
        form_ = gridForm(setup_.dotCount);
        startGrid();
    }
}

bool CalibrationSession::finished() const {
    return step_ == Step::Accepted || step_ == Step::Cancelled || step_ == Step::TimedOut;
}

void CalibrationSession::startGrid() {
    record_ = {};
    record_.dotCount = form_->dotCount;
    dots_.assign(static_cast<std::size_t>(form_->dots()), std::nullopt);
    refused_.reset();
    keysCutShort_.reset();
    verification_.reset();
    keySlot_ = 0;
    step_ = Step::Dot;
}

void CalibrationSession::chooseForm(int dotCount) {
    if (step_ != Step::ChooseForm || !gridForm(dotCount)) {
        return;
    }
    form_ = gridForm(dotCount);
    startGrid();
}

int CalibrationSession::dotIndex() const {
    for (std::size_t k = 0; k < dots_.size(); ++k) {
        if (!dots_[k]) {
            return static_cast<int>(k);
        }
    }
    return static_cast<int>(dots_.size());
}

bool CalibrationSession::dotTaken(int k) const {
    return k >= 0 && k < static_cast<int>(dots_.size()) && dots_[static_cast<std::size_t>(k)];
}

ScreenPoint CalibrationSession::toScreen(RawPoint raw) const {
    if (step_ == Step::Verify || step_ == Step::VerifyMissed || step_ == Step::SoftKey) {
        return WBCoordinate(tables_, raw.x, raw.y);
    }
    if (form_ && step_ == Step::Dot) {
        if (const auto at = gridPosition(*form_, dots_, raw)) {
            const DotLayout layout =
                dotLayout(form_->dotCount, static_cast<float>(setup_.screen.width),
                          static_cast<float>(setup_.screen.height));
            return {static_cast<float>(layout.marginX + at->column * layout.stepX),
                    static_cast<float>(layout.marginY + at->row * layout.stepY)};
        }
    }
    return WBCoordinate(reference_, raw.x, raw.y);
}

ScreenPoint CalibrationSession::target() const {
    const auto width = static_cast<float>(setup_.screen.width);
    const auto height = static_cast<float>(setup_.screen.height);
    if (step_ == Step::Verify || step_ == Step::VerifyMissed) {
        return {width * 0.5f, height * 0.5f};
    }
    if (step_ != Step::Dot || !form_) {
        return {};
    }
    const int k = dotIndex();
    return dotScreenPoint(dotLayout(form_->dotCount, width, height), form_->column(k),
                          form_->row(k));
}

CalibrationSession::Notice CalibrationSession::press(const Press& press) {
    switch (step_) {
        case Step::ChooseForm:
            // With only the board at hand, a touch starts the usual grid.
            chooseForm(kDefaultDotCount);
            return Notice::None;
        case Step::Dot:
            return pressDot(press);
        case Step::Verify: {
            if (press.fault != PressFault::None) {
                return noticeOf(press.fault);
            }
            Verification v;
            v.target = target();
            v.landed = WBCoordinate(tables_, press.median.x, press.median.y);
            v.distance = std::hypot(static_cast<double>(v.landed.x) - v.target.x,
                                    static_cast<double>(v.landed.y) - v.target.y);
            v.limit = kVerifyTolerance * std::hypot(static_cast<double>(setup_.screen.width),
                                                    static_cast<double>(setup_.screen.height));
            verification_ = v;
            if (v.distance <= v.limit) {
                afterVerify();
            } else {
                step_ = Step::VerifyMissed;
            }
            return Notice::None;
        }
        case Step::SoftKey:
            if (press.fault != PressFault::None) {
                return noticeOf(press.fault);
            }
            (press.touch ? record_.touchKeys : record_.penKeys)[keySlot_] = press.median;
            nextKey();
            return Notice::None;
        default:
            // Waiting for the user's choice, or done.
            return Notice::None;
    }
}

CalibrationSession::Notice CalibrationSession::pressDot(const Press& press) {
    if (press.fault != PressFault::None) {
        return noticeOf(press.fault);
    }
    const int k = dotIndex();
    const DotFault fault = checkDot(*form_, dots_, k, press.median);
    if (fault != DotFault::None) {
        DotSet with = dots_;
        with[static_cast<std::size_t>(k)] = press.median;
        const std::optional<int> stray = strayDot(*form_, with);
        if (stray && *stray != k) {
            // The others agree with this press and not with that dot.
            with[static_cast<std::size_t>(*stray)].reset();
            dots_ = std::move(with);
            refused_.reset();
            return Notice::DotRetake;
        }
        // Pressed twice in the same place and refused twice: unless the
        // others show this press is the stray one, an earlier dot must be off,
        // and without evidence which, all are taken again.
        const float nearX = kExpectedTolerance * 0.8f * 4096.0f / float(form_->columns - 1);
        const float nearY = kExpectedTolerance * 0.8f * 4096.0f / float(form_->rows - 1);
        if (!stray && refused_ && refused_->first == k &&
            std::fabs(refused_->second.x - press.median.x) <= nearX &&
            std::fabs(refused_->second.y - press.median.y) <= nearY) {
            startGrid();
            return Notice::DotsRestarted;
        }
        refused_ = {k, press.median};
        return noticeOf(fault);
    }
    refused_.reset();
    dots_[static_cast<std::size_t>(k)] = press.median;
    if (dotIndex() < dotTotal()) {
        return Notice::None;
    }
    record_.dots.clear();
    for (const auto& dot : dots_) {
        record_.dots.push_back(*dot);
    }
    bool spacingOk = false;
    tables_ = driverTablesFor(record_, setup_.screen, spacingOk);
    step_ = spacingOk ? Step::Verify : Step::GridRejected;
    return Notice::None;
}

void CalibrationSession::afterVerify() {
    if (setup_.softKeys) {
        keySlot_ = 0;
        step_ = Step::SoftKey;
    } else {
        step_ = Step::Accepted;
    }
}

void CalibrationSession::nextKey() {
    if (++keySlot_ < kStoredSoftKeys.size()) {
        return;
    }
    keySlot_ = kStoredSoftKeys.size() - 1;
    step_ = Step::Accepted;
}

void CalibrationSession::skipKey() {
    if (step_ == Step::SoftKey) {
        nextKey();
    }
}

void CalibrationSession::redo() {
    if (step_ == Step::GridRejected || step_ == Step::VerifyMissed) {
        startGrid();
    }
}

void CalibrationSession::keep() {
    if (step_ == Step::VerifyMissed) {
        afterVerify();
    }
}

void CalibrationSession::restart() {
    if (finished()) {
        return;
    }
    if (form_) {
        startGrid();
    } else {
        step_ = Step::ChooseForm;
    }
}

void CalibrationSession::endKeys(Step how) {
    // The grid and its check are a calibration of their own: only the keys
    // not taken yet are left as they are.
    keysCutShort_ = how;
    step_ = Step::Accepted;
}

void CalibrationSession::cancel() {
    if (step_ == Step::SoftKey) {
        endKeys(Step::Cancelled);
    } else if (!finished()) {
        step_ = Step::Cancelled;
    }
}

void CalibrationSession::timeout() {
    if (step_ == Step::SoftKey) {
        endKeys(Step::TimedOut);
    } else if (!finished()) {
        step_ = Step::TimedOut;
    }
}

}  // namespace zorvan::calivo

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
        case Step::Dot: {
            if (press.fault != PressFault::None) {
                return noticeOf(press.fault);
            }
            if (const DotFault fault = checkDot(*form_, record_.dots, press.median);
                fault != DotFault::None) {
                return noticeOf(fault);
            }
            record_.dots.push_back(press.median);
            if (dotIndex() < dotTotal()) {
                return Notice::None;
            }
            bool spacingOk = false;
            tables_ = driverTablesFor(record_, setup_.screen, spacingOk);
            step_ = spacingOk ? Step::Verify : Step::GridRejected;
            return Notice::None;
        }
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

void CalibrationSession::cancel() {
    if (!finished()) {
        step_ = Step::Cancelled;
    }
}

void CalibrationSession::timeout() {
    if (!finished()) {
        step_ = Step::TimedOut;
    }
}

}  // namespace zorvan::calivo

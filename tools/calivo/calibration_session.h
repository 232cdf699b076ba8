#pragma once

#include <optional>

#include "calibration/calibration_tables.h"
#include "calibration/dot_grid.h"
#include "calibration/main_display.h"
#include "tools/calivo/calibration_record.h"
#include "tools/calivo/dot_check.h"
#include "tools/calivo/press_collector.h"

namespace zorvan::calivo {

// The course of one calibration, as an explicit state machine. Plain logic:
// the window feeds it presses and the user's choices and shows what it says.
//
//   ChooseForm --form chosen, or any board press (the default form)--> Dot 0
//   Dot k --good press--> Dot k+1 ... last dot --grid fails the spacing rule--> GridRejected
//                                             --grid passes--> Verify
//   Verify --lands within the limit, or keep()--> SoftKey 0 .. 4 (or Accepted without keys)
//          --lands further off--> VerifyMissed --redo()--> Dot 0 / --keep()--> as above
//   GridRejected --redo()--> Dot 0
//   SoftKey n --press or skipKey()--> SoftKey n+1 ... --> Accepted
//   any step but the three final ones --cancel()--> Cancelled, --timeout()--> TimedOut,
//                                     --restart()--> Dot 0 (ChooseForm while no form is chosen)
//
// A refused press leaves the step as it was and says why.
class CalibrationSession {
  public:
    enum class Step {
        ChooseForm,
        Dot,
        GridRejected,
        Verify,
        VerifyMissed,
        SoftKey,
        Accepted,
        Cancelled,
        TimedOut,
    };

    enum class Notice {
        None,
        PressTooShort,
        PressWandered,
        PressModeChanged,
        DotWrongSide,
        DotFarFromExpected,
    };

    struct Setup {
        DisplaySize screen;    // the screen the board covers, device pixels
        int dotCount = 0;      // 2, 3 or 5; 0: the user chooses
        bool softKeys = true;  // take the soft keys after the grid
    };

    static constexpr int kDefaultDotCount = 3;
    // A verification press may land this share of the screen's diagonal off.
    static constexpr double kVerifyTolerance = 0.02;

    struct Verification {
        ScreenPoint target;
        ScreenPoint landed;   // the press mapped through the new grid
        double distance = 0;  // pixels
        double limit = 0;     // pixels
    };

    explicit CalibrationSession(Setup setup);

    Step step() const { return step_; }
    bool finished() const;

    // Only in ChooseForm; a value that is no form is ignored.
    void chooseForm(int dotCount);
    // A finished press from the board.
    Notice press(const Press& press);
    void skipKey();
    void redo();
    void keep();
    // The driver asked for calibration again: back to the first target.
    void restart();
    void cancel();
    void timeout();

    // The grid form; empty before it is chosen.
    const std::optional<GridForm>& form() const { return form_; }
    // The dot being taken (Dot), counted from 0, and how many there are.
    int dotIndex() const { return static_cast<int>(record_.dots.size()); }
    int dotTotal() const { return form_ ? form_->dots() : 0; }
    // Where to show the target, in device pixels of the screen (Dot, Verify).
    ScreenPoint target() const;
    // The soft key being taken (SoftKey): its number and its slot in kStoredSoftKeys.
    int softKeyNumber() const { return kStoredSoftKeys[keySlot_]; }
    int softKeySlot() const { return keySlot_; }
    // The last verification press (VerifyMissed, and after it).
    const std::optional<Verification>& verification() const { return verification_; }
    // What to save (Accepted).
    const CalibrationRecord& result() const { return record_; }
    const DisplaySize& screen() const { return setup_.screen; }

  private:
    void startGrid();
    void afterVerify();
    void nextKey();

    Setup setup_;
    Step step_ = Step::ChooseForm;
    std::optional<GridForm> form_;
    CalibrationRecord record_;
    CalibrationTables tables_;
    std::size_t keySlot_ = 0;
    std::optional<Verification> verification_;
};

}  // namespace zorvan::calivo

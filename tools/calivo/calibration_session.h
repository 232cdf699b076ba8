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
//   Dot k --good press--> the next dot not taken ... all taken --grid fails the spacing rule-->
//         GridRejected, --grid passes--> Verify
//   Dot k --press that disagrees with the dots taken--> Dot k (asked again), or, when the
//         others show that an earlier dot m is the stray one, the press is taken and Dot m
//         is asked again; a second press in the same place that still disagrees, with no
//         stray found --> Dot 0 (the dots are thrown away: one of them was off)
//   Verify --lands within the limit, or keep()--> SoftKey 0 .. 4 (or Accepted without keys)
//          --lands further off--> VerifyMissed --redo()--> Dot 0 / --keep()--> as above
//   GridRejected --redo()--> Dot 0
//   SoftKey n --press or skipKey()--> SoftKey n+1 ... --> Accepted
//   SoftKey n --cancel() or timeout()--> Accepted with the keys taken so far (the grid is final)
//   any other step but the three final ones --cancel()--> Cancelled, --timeout()--> TimedOut,
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
        DotRetake,      // an earlier dot was the stray one: it is asked again
        DotsRestarted,  // the dots disagree and none is to blame: all asked again
    };

    struct Setup {
        DisplaySize screen;    // the screen the board covers, device pixels
        int dotCount = 0;      // 2, 3 or 5; 0: the user chooses
        bool softKeys = true;  // take the soft keys after the grid
        // The calibration in use before this one, which places touches on the
        // screen's controls until enough dots are taken; none: the built-in grid.
        std::optional<CalibrationTables> reference = std::nullopt;
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
    // The dot being taken (Dot): the first not taken, counted from 0, and how
    // many there are.
    int dotIndex() const;
    int dotTotal() const { return form_ ? form_->dots() : 0; }
    bool dotTaken(int k) const;
    // Where to show the target, in device pixels of the screen (Dot, Verify).
    ScreenPoint target() const;
    // The soft key being taken (SoftKey): its number and its slot in kStoredSoftKeys.
    int softKeyNumber() const { return kStoredSoftKeys[keySlot_]; }
    int softKeySlot() const { return keySlot_; }
    // The last verification press (VerifyMissed, and after it).
    const std::optional<Verification>& verification() const { return verification_; }
    // What to save: the grid once it is final (SoftKey, Accepted), with the
    // soft keys taken so far.
    const CalibrationRecord& result() const { return record_; }
    bool gridFinal() const { return step_ == Step::SoftKey || step_ == Step::Accepted; }
    // Cancelled or TimedOut when the soft-key step ended that way (Accepted).
    std::optional<Step> keysCutShort() const { return keysCutShort_; }
    // Where a raw point lies on the screen, by the best calibration at hand:
    // the new grid once taken, else a plane through the dots taken, else the
    // reference. For touches on the screen's controls.
    ScreenPoint toScreen(RawPoint raw) const;
    const DisplaySize& screen() const { return setup_.screen; }

  private:
    void startGrid();
    void afterVerify();
    void nextKey();
    Notice pressDot(const Press& press);
    void endKeys(Step how);

    Setup setup_;
    Step step_ = Step::ChooseForm;
    std::optional<GridForm> form_;
    DotSet dots_;
    CalibrationRecord record_;
    CalibrationTables tables_;
    CalibrationTables reference_;
    // The last refused dot press, to notice the same press made again.
    std::optional<std::pair<int, RawPoint>> refused_;
    std::optional<Step> keysCutShort_;
    std::size_t keySlot_ = 0;
    std::optional<Verification> verification_;
};

}  // namespace zorvan::calivo

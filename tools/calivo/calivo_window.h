#pragma once

#include <QElapsedTimer>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "tools/calivo/calibration_session.h"

class QPushButton;
class QScreen;

namespace zorvan::calivo {

// The full-screen calibration view: one target at a time with its count and
// what to do, the choices of the current step as buttons and keys, and the
// reason a press was refused. Only shows; every choice goes to `onAction`.
// The buttons are large, so that a touch on the board can hit them too.
class CalivoWindow : public QWidget {
    Q_OBJECT
  public:
    enum class Action { Form2, Form3, Form5, Skip, Redo, Keep, Cancel };

    CalivoWindow(const CalibrationSession& session, std::function<void(Action)> onAction);

    // Covers `screen` entirely and comes to the front.
    void showOn(QScreen* screen);
    // Shows the session's current step. `touchMode`: the board's mode, which
    // decides the soft keys taken. `notice`: one line under the instructions.
    void refresh(bool touchMode, const QString& notice);

    // The control shown at a point of the screen (device pixels), with a
    // margin around each button for a finger's aim.
    std::optional<Action> actionAt(ScreenPoint devicePoint) const;
    // The controls shown now and where, in device pixels.
    struct Control {
        Action action;
        QRect area;
    };
    std::vector<Control> controls() const;

    // A press under way: `fill` from 0 (just down) to 1 (enough samples to
    // count); negative: none.
    void showPress(double fill);
    // A press was taken at `devicePoint`: a tick there for a moment.
    void showTaken(ScreenPoint devicePoint);
    // Seconds left before the tool gives up without a touch; 0 hides it.
    void setCountdown(int seconds);
    // The last screen: what happened, in a line and a detail.
    void showEnding(const QString& title, const QString& detail, bool good);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QPushButton* addButton(const QString& text, Action action);
    QPointF toWidget(ScreenPoint devicePoint) const;
    void drawTarget(class QPainter& painter, QPointF centre, const QColor& colour) const;
    void drawTick(class QPainter& painter, QPointF centre, const QColor& colour) const;
    QString heading() const;
    QString instructions() const;
    QString footer() const;

    const CalibrationSession& session_;
    std::function<void(Action)> onAction_;
    bool touchMode_ = false;
    QString notice_;
    double pressFill_ = -1;
    std::optional<QPointF> tickAt_;
    QElapsedTimer tickAge_;
    int countdown_ = 0;
    std::optional<QString> endingTitle_;
    QString endingDetail_;
    bool endingGood_ = false;
    QWidget* buttonRow_ = nullptr;
    std::vector<std::pair<QPushButton*, Action>> buttons_;
    QPushButton* form2_ = nullptr;
    QPushButton* form3_ = nullptr;
    QPushButton* form5_ = nullptr;
    QPushButton* skip_ = nullptr;
    QPushButton* redo_ = nullptr;
    QPushButton* keep_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace zorvan::calivo

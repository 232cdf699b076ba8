#pragma once

#include <QPointF>
#include <QString>
#include <QWidget>
#include <functional>

#include "tools/calivo/calibration_session.h"

class QPushButton;
class QScreen;

namespace zorvan::calivo {

// The full-screen calibration view: one target at a time with its count and
// what to do, the choices of the current step as buttons and keys, and the
// reason a press was refused. Only shows; every choice goes to `onAction`.
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

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QPushButton* addButton(const QString& text, Action action);
    QPointF toWidget(ScreenPoint devicePoint) const;
    void drawTarget(class QPainter& painter, QPointF centre, const QColor& colour) const;
    QString heading() const;
    QString instructions() const;

    const CalibrationSession& session_;
    std::function<void(Action)> onAction_;
    bool touchMode_ = false;
    QString notice_;
    QWidget* buttonRow_ = nullptr;
    QPushButton* form2_ = nullptr;
    QPushButton* form3_ = nullptr;
    QPushButton* form5_ = nullptr;
    QPushButton* skip_ = nullptr;
    QPushButton* redo_ = nullptr;
    QPushButton* keep_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace zorvan::calivo

#include "tools/calivo/calivo_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>

namespace zorvan::calivo {

namespace {

const QColor kBackground(0x1e, 0x22, 0x28);
const QColor kText(0xf2, 0xf2, 0xf2);
const QColor kDim(0x9a, 0xa3, 0xad);
const QColor kTarget(0xff, 0x4d, 0x4d);
const QColor kDone(0x4c, 0xc2, 0x6a);
const QColor kNotice(0xff, 0xb3, 0x3b);

using Step = CalibrationSession::Step;

}  // namespace

CalivoWindow::CalivoWindow(const CalibrationSession& session, std::function<void(Action)> onAction)
    : session_(session), onAction_(std::move(onAction)) {
    setWindowTitle(QCoreApplication::translate("Calivo", "Whiteboard calibration"));
    setCursor(Qt::BlankCursor);
    setFocusPolicy(Qt::StrongFocus);

    buttonRow_ = new QWidget(this);
    auto* row = new QHBoxLayout(buttonRow_);
    row->setSpacing(24);
    form2_ = addButton(QCoreApplication::translate("Calivo", "4 targets (2 x 2)"), Action::Form2);
    form3_ = addButton(QCoreApplication::translate("Calivo", "9 targets (3 x 3)"), Action::Form3);
    form5_ = addButton(QCoreApplication::translate("Calivo", "20 targets (5 x 4)"), Action::Form5);
    skip_ = addButton(QCoreApplication::translate("Calivo", "Skip this key"), Action::Skip);
    redo_ = addButton(QCoreApplication::translate("Calivo", "Calibrate again"), Action::Redo);
    keep_ = addButton(QCoreApplication::translate("Calivo", "Keep it"), Action::Keep);
    cancel_ = addButton(QCoreApplication::translate("Calivo", "Cancel"), Action::Cancel);
    for (QPushButton* button : {form2_, form3_, form5_, skip_, redo_, keep_, cancel_}) {
        row->addWidget(button);
    }
}

QPushButton* CalivoWindow::addButton(const QString& text, Action action) {
    auto* button = new QPushButton(text, buttonRow_);
    button->setCursor(Qt::ArrowCursor);
    // Keys always go to the window: Space on a focused button would click it.
    button->setFocusPolicy(Qt::NoFocus);
    button->setMinimumHeight(44);
    button->setStyleSheet(
        "QPushButton { color: #f2f2f2; background: #3a414b; border: 1px solid #59626e;"
        " border-radius: 6px; padding: 6px 18px; font-size: 16px; }"
        "QPushButton:hover { background: #4a525e; }");
    connect(button, &QPushButton::clicked, this, [this, action] { onAction_(action); });
    return button;
}

void CalivoWindow::showOn(QScreen* screen) {
    if (screen != nullptr) {
        // The window must open on the board's screen, not wherever the
        // window manager would put a new window.
        create();
        windowHandle()->setScreen(screen);
        setGeometry(screen->geometry());
    }
    showFullScreen();
    raise();
    activateWindow();
}

void CalivoWindow::refresh(bool touchMode, const QString& notice) {
    touchMode_ = touchMode;
    notice_ = notice;
    const Step step = session_.step();
    form2_->setVisible(step == Step::ChooseForm);
    form3_->setVisible(step == Step::ChooseForm);
    form5_->setVisible(step == Step::ChooseForm);
    skip_->setVisible(step == Step::SoftKey);
    redo_->setVisible(step == Step::GridRejected || step == Step::VerifyMissed);
    keep_->setVisible(step == Step::VerifyMissed);
    cancel_->setVisible(!session_.finished());
    buttonRow_->adjustSize();
    // Midway between the two lowest rows of the 5 x 4 form (63 % and 90 %),
    // which keeps it clear of every target of every form.
    buttonRow_->move((width() - buttonRow_->width()) / 2,
                     static_cast<int>(height() * 0.767) - buttonRow_->height() / 2);
    update();
}

QPointF CalivoWindow::toWidget(ScreenPoint devicePoint) const {
    // The layout is in device pixels, as the driver maps; the painter works
    // in logical ones.
    const qreal ratio = devicePixelRatioF();
    return {devicePoint.x / ratio, devicePoint.y / ratio};
}

void CalivoWindow::drawTarget(QPainter& painter, QPointF centre, const QColor& colour) const {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, 3));
    painter.drawEllipse(centre, 28, 28);
    painter.drawEllipse(centre, 12, 12);
    painter.setPen(QPen(kText, 1.5));
    painter.drawLine(centre - QPointF(40, 0), centre + QPointF(40, 0));
    painter.drawLine(centre - QPointF(0, 40), centre + QPointF(0, 40));
    painter.setBrush(colour);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(centre, 3, 3);
}

QString CalivoWindow::heading() const {
    switch (session_.step()) {
        case Step::ChooseForm:
            return QCoreApplication::translate("Calivo", "Whiteboard calibration");
        case Step::Dot:
            return QCoreApplication::translate("Calivo", "Target %1 of %2")
                .arg(session_.dotIndex() + 1)
                .arg(session_.dotTotal());
        case Step::GridRejected:
            return QCoreApplication::translate("Calivo", "The targets do not fit together");
        case Step::Verify:
            return QCoreApplication::translate("Calivo", "Check");
        case Step::VerifyMissed:
            return QCoreApplication::translate("Calivo", "The check missed");
        case Step::SoftKey:
            return QCoreApplication::translate("Calivo", "Soft key %1 (%2 of %3)")
                .arg(session_.softKeyNumber())
                .arg(session_.softKeySlot() + 1)
                .arg(kStoredSoftKeys.size());
        case Step::Accepted:
            return QCoreApplication::translate("Calivo", "Calibration saved");
        case Step::Cancelled:
        case Step::TimedOut:
            return QCoreApplication::translate("Calivo", "Calibration stopped");
    }
    return {};
}

QString CalivoWindow::instructions() const {
    switch (session_.step()) {
        case Step::ChooseForm:
            return QCoreApplication::translate(
                "Calivo",
                "Choose how many targets to touch: more targets follow the board more "
                "closely.\nPress 2, 3 or 5, or touch the board to use 9 targets.");
        case Step::Dot:
            return QCoreApplication::translate(
                "Calivo",
                "Press and hold the centre of the red target until it moves on, then lift.");
        case Step::GridRejected:
            return QCoreApplication::translate(
                "Calivo",
                "Some targets were touched out of place, so the driver could not use "
                "them.\nPress Enter or choose Calibrate again.");
        case Step::Verify:
            return QCoreApplication::translate(
                "Calivo", "Touch the centre of the target once more to check the calibration.");
        case Step::VerifyMissed: {
            const auto& v = *session_.verification();
            return QCoreApplication::translate(
                       "Calivo",
                       "The check landed %1 pixels from the target (up to %2 is fine).\n"
                       "Press R to calibrate again or K to keep this calibration.")
                .arg(v.distance, 0, 'f', 0)
                .arg(v.limit, 0, 'f', 0);
        }
        case Step::SoftKey:
            return QCoreApplication::translate(
                       "Calivo",
                       "Press soft key %1 on the board (%2 mode) and lift, or press Space to "
                       "leave it as it is.")
                .arg(session_.softKeyNumber())
                .arg(touchMode_ ? QCoreApplication::translate("Calivo", "touch")
                                : QCoreApplication::translate("Calivo", "pen"));
        case Step::Accepted:
            return QCoreApplication::translate(
                "Calivo", "The driver takes it up as soon as the board is quiet.");
        case Step::Cancelled:
        case Step::TimedOut:
            return QCoreApplication::translate("Calivo", "The calibration stays as it was.");
    }
    return {};
}

void CalivoWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), kBackground);

    const Step step = session_.step();
    if (step == Step::Dot && session_.form()) {
        // The targets already taken, faintly, so the user sees the progress.
        const GridForm& form = *session_.form();
        const DotLayout layout =
            dotLayout(form.dotCount, session_.screen().width, session_.screen().height);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kDone);
        for (int k = 0; k < session_.dotIndex(); ++k) {
            painter.drawEllipse(toWidget(dotScreenPoint(layout, form.column(k), form.row(k))), 6,
                                6);
        }
    }
    if (step == Step::Dot || step == Step::Verify || step == Step::VerifyMissed) {
        drawTarget(painter, toWidget(session_.target()), kTarget);
    }
    if (step == Step::VerifyMissed && session_.verification()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(kNotice);
        painter.drawEllipse(toWidget(session_.verification()->landed), 7, 7);
    }

    // The text sits between the top row of targets (10 %) and the next.
    const int w = width();
    const int h = height();
    QFont font = painter.font();
    font.setPixelSize(std::max(18, h / 30));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(kText);
    // Just below the crosshairs of the top row (10 % down, 40 px long).
    const int top = std::max(static_cast<int>(h * 0.15), static_cast<int>(h * 0.1) + 44);
    painter.drawText(QRect(0, top, w, h / 14), Qt::AlignCenter, heading());

    font.setBold(false);
    font.setPixelSize(std::max(14, h / 48));
    painter.setFont(font);
    painter.setPen(kDim);
    const QRect textBox(w / 8, top + h / 14, w * 3 / 4, h / 10);
    QRect used;
    painter.drawText(textBox, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, instructions(),
                     &used);
    if (!notice_.isEmpty()) {
        // Right under the instructions, clear of the second row of targets.
        painter.setPen(kNotice);
        painter.drawText(QRect(w / 8, used.bottom() + h / 60, w * 3 / 4, h / 20),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, notice_);
    }
    if (!session_.finished()) {
        painter.setPen(kDim);
        painter.drawText(QRect(0, h - h / 22, w, h / 28), Qt::AlignCenter,
                         QCoreApplication::translate(
                             "Calivo", "Esc cancels and keeps the calibration as it was."));
    }
}

void CalivoWindow::keyPressEvent(QKeyEvent* event) {
    const Step step = session_.step();
    switch (event->key()) {
        case Qt::Key_Escape:
            onAction_(Action::Cancel);
            return;
        case Qt::Key_2:
            onAction_(Action::Form2);
            return;
        case Qt::Key_3:
            onAction_(Action::Form3);
            return;
        case Qt::Key_5:
            onAction_(Action::Form5);
            return;
        case Qt::Key_Space:
        case Qt::Key_S:
            onAction_(Action::Skip);
            return;
        case Qt::Key_R:
            onAction_(Action::Redo);
            return;
        case Qt::Key_K:
            onAction_(Action::Keep);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (step == Step::ChooseForm) {
                onAction_(Action::Form3);
            } else if (step == Step::GridRejected || step == Step::VerifyMissed) {
                onAction_(Action::Redo);
            }
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void CalivoWindow::closeEvent(QCloseEvent* event) {
    // Closed by the window manager: the same as Esc.
    if (!session_.finished()) {
        onAction_(Action::Cancel);
    }
    event->accept();
}

}  // namespace zorvan::calivo

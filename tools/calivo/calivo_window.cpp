#include "tools/calivo/calivo_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>

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
    for (const auto& [button, action] : buttons_) {
        row->addWidget(button);
    }
}

QPushButton* CalivoWindow::addButton(const QString& text, Action action) {
    auto* button = new QPushButton(text, buttonRow_);
    button->setCursor(Qt::ArrowCursor);
    // Keys always go to the window: Space on a focused button would click it.
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QPushButton::clicked, this, [this, action] { onAction_(action); });
    buttons_.emplace_back(button, action);
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
    cancel_->setVisible(!session_.finished() && !endingTitle_);
    cancel_->setText(step == Step::SoftKey
                         ? QCoreApplication::translate("Calivo", "Finish without the other keys")
                         : QCoreApplication::translate("Calivo", "Cancel"));
    // Big enough for a finger on the board, and the row as wide as the
    // screen at most: the font gives way first.
    const int buttonHeight = std::max(44, height() / 11);
    for (int fontSize = std::max(16, height() / 36); fontSize >= 11; fontSize -= 2) {
        const QString style =
            QString(
                "QPushButton { color: #f2f2f2; background: #3a414b; border: 2px solid #59626e;"
                " border-radius: 8px; padding: 6px %1px; font-size: %2px; min-width: %3px; }"
                "QPushButton:hover { background: #4a525e; }")
                .arg(fontSize * 3 / 2)
                .arg(fontSize)
                .arg(std::max(100, width() / 10));
        for (const auto& [button, action] : buttons_) {
            button->setMinimumHeight(buttonHeight);
            button->setStyleSheet(style);
        }
        buttonRow_->adjustSize();
        if (buttonRow_->width() <= width() * 19 / 20) {
            break;
        }
    }
    // Midway between the two lowest rows of the 5 x 4 form (63 % and 90 %),
    // which keeps it clear of every target of every form.
    buttonRow_->move((width() - buttonRow_->width()) / 2,
                     static_cast<int>(height() * 0.767) - buttonRow_->height() / 2);
    update();
}

std::vector<CalivoWindow::Control> CalivoWindow::controls() const {
    std::vector<Control> shown;
    const qreal ratio = devicePixelRatioF();
    for (const auto& [button, action] : buttons_) {
        if (button->isVisibleTo(this)) {
            const QRect area(button->mapTo(this, QPoint(0, 0)), button->size());
            shown.push_back({action, QRect(static_cast<int>(area.x() * ratio),
                                           static_cast<int>(area.y() * ratio),
                                           static_cast<int>(area.width() * ratio),
                                           static_cast<int>(area.height() * ratio))});
        }
    }
    return shown;
}

std::optional<CalivoWindow::Action> CalivoWindow::actionAt(ScreenPoint devicePoint) const {
    // A finger is broad and the mapping only close: a margin of a fortieth
    // of the screen's height, halfway to the nearest row of targets.
    const int margin = static_cast<int>(height() * devicePixelRatioF() / 40);
    const QPoint point(static_cast<int>(std::lround(devicePoint.x)),
                       static_cast<int>(std::lround(devicePoint.y)));
    for (const Control& control : controls()) {
        if (control.area.adjusted(-margin, -margin, margin, margin).contains(point)) {
            return control.action;
        }
    }
    return std::nullopt;
}

void CalivoWindow::showPress(double fill) {
    if (fill != pressFill_) {
        pressFill_ = fill;
        update();
    }
}

void CalivoWindow::showTaken(ScreenPoint devicePoint) {
    tickAt_ = toWidget(devicePoint);
    tickAge_.start();
    update();
    QTimer::singleShot(700, this, [this] { update(); });
}

void CalivoWindow::setCountdown(int seconds) {
    if (seconds != countdown_) {
        countdown_ = seconds;
        update();
    }
}

void CalivoWindow::showEnding(const QString& title, const QString& detail, bool good) {
    endingTitle_ = title;
    endingDetail_ = detail;
    endingGood_ = good;
    notice_.clear();
    countdown_ = 0;
    pressFill_ = -1;
    buttonRow_->hide();
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

void CalivoWindow::drawTick(QPainter& painter, QPointF centre, const QColor& colour) const {
    QPen pen(colour, 6);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QPointF tick[] = {centre + QPointF(-14, 0), centre + QPointF(-4, 11),
                            centre + QPointF(16, -13)};
    painter.drawPolyline(tick, 3);
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
                "closely.\nTouch a button (or press 2, 3 or 5), or touch anywhere else for 9 "
                "targets.");
        case Step::Dot:
            return QCoreApplication::translate(
                "Calivo",
                "Touch the centre of the red target and hold still until the ring around it is "
                "full, then lift: the target is taken when you lift.");
        case Step::GridRejected:
            return QCoreApplication::translate(
                "Calivo",
                "Some targets were touched out of place, so the driver could not use "
                "them.\nTouch Calibrate again (or press Enter).");
        case Step::Verify:
            return QCoreApplication::translate(
                "Calivo",
                "Touch the centre of the target once more, hold still and lift, to check the "
                "calibration.");
        case Step::VerifyMissed: {
            const auto& v = *session_.verification();
            return QCoreApplication::translate(
                       "Calivo",
                       "The check landed %1 pixels from the target (up to %2 is fine).\n"
                       "Touch Calibrate again (R) or Keep it (K).")
                .arg(v.distance, 0, 'f', 0)
                .arg(v.limit, 0, 'f', 0);
        }
        case Step::SoftKey:
            return QCoreApplication::translate(
                       "Calivo",
                       "Press soft key %1 on the board (%2 mode) and lift, or touch Skip this key "
                       "(Space) to leave it as it is.")
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

QString CalivoWindow::footer() const {
    if (session_.step() == Step::SoftKey) {
        return QCoreApplication::translate("Calivo",
                                           "The new calibration is saved. Touch Finish (or press "
                                           "Esc) to leave the other keys as they are.");
    }
    return QCoreApplication::translate(
        "Calivo", "Touch Cancel (or press Esc) to stop and keep the calibration as it was.");
}

void CalivoWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), kBackground);

    const int w = width();
    const int h = height();
    QFont font = painter.font();
    if (endingTitle_) {
        font.setPixelSize(std::max(22, h / 22));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(endingGood_ ? kDone : kText);
        painter.drawText(QRect(0, h * 2 / 5, w, h / 10), Qt::AlignCenter, *endingTitle_);
        font.setBold(false);
        font.setPixelSize(std::max(15, h / 44));
        painter.setFont(font);
        painter.setPen(kDim);
        painter.drawText(QRect(w / 8, h / 2, w * 3 / 4, h / 5),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, endingDetail_);
        return;
    }

    const Step step = session_.step();
    if (step == Step::Dot && session_.form()) {
        // The targets already taken, faintly, so the user sees the progress.
        const GridForm& form = *session_.form();
        const DotLayout layout =
            dotLayout(form.dotCount, session_.screen().width, session_.screen().height);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kDone);
        for (int k = 0; k < session_.dotTotal(); ++k) {
            if (!session_.dotTaken(k)) {
                continue;
            }
            painter.drawEllipse(toWidget(dotScreenPoint(layout, form.column(k), form.row(k))), 6,
                                6);
        }
    }
    if (step == Step::Dot || step == Step::Verify || step == Step::VerifyMissed) {
        drawTarget(painter, toWidget(session_.target()), kTarget);
    }
    if (pressFill_ >= 0 && (step == Step::Dot || step == Step::Verify)) {
        // The ring fills while the press's samples come in: the board is heard.
        const QPointF centre = toWidget(session_.target());
        const QRectF ring(centre - QPointF(36, 36), QSizeF(72, 72));
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kDim, 2));
        painter.drawEllipse(ring);
        QPen arc(pressFill_ >= 1 ? kDone : kNotice, 7);
        arc.setCapStyle(Qt::FlatCap);
        painter.setPen(arc);
        painter.drawArc(ring, 90 * 16, -static_cast<int>(360 * 16 * std::min(1.0, pressFill_)));
    }
    if (tickAt_ && tickAge_.isValid() && tickAge_.elapsed() < 650) {
        drawTick(painter, *tickAt_, kDone);
    }
    if (step == Step::VerifyMissed && session_.verification()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(kNotice);
        painter.drawEllipse(toWidget(session_.verification()->landed), 7, 7);
    }

    // The text sits between the top row of targets (10 %) and the next.
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
        // The bottom line, below the lowest row of targets: how to stop, and
        // in the last seconds how long is left, in front of it.
        const QRect line(0, h - h / 22, w, h / 28);
        const QString rest = footer();
        QString clock;
        if (countdown_ > 0) {
            clock = QCoreApplication::translate("Calivo",
                                                "Closing in %1 s unless the board is touched.")
                        .arg(countdown_) +
                    "   ";
        }
        QFont bold = font;
        bold.setBold(true);
        const int clockWidth = QFontMetrics(bold).horizontalAdvance(clock);
        const int left = (w - clockWidth - painter.fontMetrics().horizontalAdvance(rest)) / 2;
        painter.setPen(kDim);
        painter.drawText(line.adjusted(left + clockWidth, 0, 0, 0),
                         Qt::AlignLeft | Qt::AlignVCenter, rest);
        if (!clock.isEmpty()) {
            painter.setFont(bold);
            painter.setPen(kNotice);
            painter.drawText(line.adjusted(left, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, clock);
        }
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

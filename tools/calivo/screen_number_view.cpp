#include "tools/calivo/screen_number_view.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>

namespace zorvan::calivo {

namespace {

const QColor kBackground(0x1e, 0x22, 0x28);
const QColor kHighlight(0x1f, 0x6f, 0xd1);
const QColor kHeld(0x2e, 0x9e, 0x57);
const QColor kText(0xf2, 0xf2, 0xf2);
const QColor kDim(0x9a, 0xa3, 0xad);

QString translated(const char* text) {
    return QCoreApplication::translate("Calivo", text);
}

}  // namespace

ScreenNumberView::ScreenNumberView(int number, int count, QScreen* screen, Handlers handlers)
    : number_(number), count_(count), screen_(screen), handlers_(std::move(handlers)) {
    setWindowTitle(translated("Which screen is the board?"));
    setFocusPolicy(Qt::StrongFocus);
    const QSize size = screen->size() * screen->devicePixelRatio();
    name_ = QString("%1  ·  %2 × %3").arg(screen->name()).arg(size.width()).arg(size.height());
}

void ScreenNumberView::showFull() {
    // Each number on its own screen, not wherever the window manager would
    // put a new window.
    create();
    windowHandle()->setScreen(screen_);
    setGeometry(screen_->geometry());
    showFullScreen();
    raise();
}

void ScreenNumberView::setState(bool highlighted, bool held) {
    if (highlighted != highlighted_ || held != held_) {
        highlighted_ = highlighted;
        held_ = held;
        update();
    }
}

void ScreenNumberView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor background = held_ ? kHeld : highlighted_ ? kHighlight : kBackground;
    painter.fillRect(rect(), background);
    const int h = height();

    QFont font = painter.font();
    font.setPixelSize(std::max(18, h / 24));
    painter.setFont(font);
    painter.setPen(kText);
    painter.drawText(QRect(0, h / 20, width(), h / 8), Qt::AlignCenter | Qt::TextWordWrap,
                     translated("Which screen does the board show?"));

    font.setPixelSize(std::max(60, h * 2 / 5));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(highlighted_ || held_ ? kText : kDim);
    painter.drawText(QRect(0, h / 6, width(), h / 2), Qt::AlignCenter, QString::number(number_));

    font.setBold(false);
    font.setPixelSize(std::max(14, h / 30));
    painter.setFont(font);
    painter.drawText(QRect(0, h * 2 / 3, width(), h / 14), Qt::AlignCenter, name_);

    font.setPixelSize(std::max(16, h / 26));
    painter.setFont(font);
    painter.setPen(kText);
    const QString what =
        held_ ? translated("Lift to calibrate on screen %1.").arg(number_)
        : highlighted_
            ? translated("Touch the board now, anywhere, if it shows this screen.")
            : translated(
                  "When this screen lights up, touch the board anywhere if it shows this screen.");
    painter.drawText(QRect(width() / 20, h * 3 / 4, width() * 9 / 10, h / 8),
                     Qt::AlignCenter | Qt::TextWordWrap, what);

    font.setPixelSize(std::max(12, h / 45));
    painter.setFont(font);
    painter.setPen(highlighted_ || held_ ? kText : kDim);
    painter.drawText(
        QRect(0, h * 7 / 8, width(), h / 10), Qt::AlignCenter | Qt::TextWordWrap,
        translated("Keys: 1 to %1 choose a screen, Enter the lit one, Esc cancels.").arg(count_));
}

void ScreenNumberView::mousePressEvent(QMouseEvent* event) {
    if (handlers_.clicked) {
        handlers_.clicked();
    }
    event->accept();
}

void ScreenNumberView::keyPressEvent(QKeyEvent* event) {
    if (handlers_.keyPressed) {
        handlers_.keyPressed(event->key());
    }
    event->accept();
}

void ScreenNumberView::closeEvent(QCloseEvent* event) {
    // Closed by the window manager: the same as Esc.
    if (handlers_.keyPressed && isVisible()) {
        handlers_.keyPressed(Qt::Key_Escape);
    }
    event->accept();
}

}  // namespace zorvan::calivo

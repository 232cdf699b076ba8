#include "app/tray_icon.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace zorvan::app {

namespace {

QPixmap drawIcon(TrayLook look, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // The board: white, dark frame, on a short stand.
    p.setPen(QPen(QColor(0x30, 0x30, 0x38), s / 16));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(s * 0.06, s * 0.10, s * 0.88, s * 0.62), s * 0.06, s * 0.06);
    p.drawLine(QPointF(s * 0.5, s * 0.72), QPointF(s * 0.5, s * 0.90));
    p.drawLine(QPointF(s * 0.32, s * 0.92), QPointF(s * 0.68, s * 0.92));
    // A stroke on it.
    p.setPen(QPen(QColor(0x1e, 0x5a, 0xc8), s / 14, Qt::SolidLine, Qt::RoundCap));
    QPainterPath stroke(QPointF(s * 0.18, s * 0.52));
    stroke.cubicTo(QPointF(s * 0.30, s * 0.22), QPointF(s * 0.40, s * 0.58),
                   QPointF(s * 0.55, s * 0.30));
    p.drawPath(stroke);

    // The state's mark, bottom right.
    const QRectF mark(s * 0.52, s * 0.46, s * 0.46, s * 0.46);
    p.setPen(QPen(Qt::white, s / 20));
    switch (look) {
        case TrayLook::Connected:
            p.setBrush(QColor(0x2e, 0xa0, 0x43));
            p.drawEllipse(mark);
            break;
        case TrayLook::Paused: {
            p.setBrush(QColor(0xe8, 0x9a, 0x0c));
            p.drawEllipse(mark);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            const qreal bar = mark.width() * 0.14;
            const qreal top = mark.top() + mark.height() * 0.28;
            const qreal height = mark.height() * 0.44;
            p.drawRect(QRectF(mark.center().x() - bar * 1.5, top, bar, height));
            p.drawRect(QRectF(mark.center().x() + bar * 0.5, top, bar, height));
            break;
        }
        case TrayLook::Unplugged: {
            p.setBrush(QColor(0xd0, 0x24, 0x24));
            p.drawEllipse(mark);
            p.setPen(QPen(Qt::white, s / 12, Qt::SolidLine, Qt::RoundCap));
            const QRectF cross = mark.adjusted(mark.width() * 0.3, mark.height() * 0.3,
                                               -mark.width() * 0.3, -mark.height() * 0.3);
            p.drawLine(cross.topLeft(), cross.bottomRight());
            p.drawLine(cross.topRight(), cross.bottomLeft());
            break;
        }
        case TrayLook::Waiting:
            p.setBrush(QColor(0x80, 0x80, 0x88));
            p.drawEllipse(mark);
            p.setBrush(Qt::white);
            p.setPen(Qt::NoPen);
            p.drawEllipse(mark.center(), mark.width() * 0.16, mark.height() * 0.16);
            break;
    }
    return pixmap;
}

}  // namespace

QIcon trayIconFor(TrayLook look) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        icon.addPixmap(drawIcon(look, size));
    }
    return icon;
}

TrayIcon::TrayIcon(const Actions& actions, QObject* parent)
    : QObject(parent), menu_(new QMenu), icon_(new QSystemTrayIcon(this)) {
    menu_->addAction(tr("Show &window"), actions.showWindow);
    if (actions.calibrate) {
        menu_->addAction(tr("&Calibrate…"), actions.calibrate);
    }
    if (actions.screenMenu != nullptr) {
        menu_->addMenu(actions.screenMenu);
    }
    menu_->addSeparator();
    menu_->addAction(tr("&Quit"), actions.quit);
    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this,
            [toggle = actions.toggleWindow](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && toggle) {
                    toggle();
                }
            });
    icon_->setIcon(trayIconFor(look_));
    icon_->setToolTip(QStringLiteral("Zorvan"));
    // Shown even while the desktop has no tray: Qt puts it there once one
    // appears.
    icon_->show();
}

TrayIcon::~TrayIcon() {
    icon_->hide();
    delete menu_;
}

void TrayIcon::present(const PlainStatus& status) {
    if (!presented_ || status.look != look_) {
        look_ = status.look;
        icon_->setIcon(trayIconFor(look_));
    }
    presented_ = true;
    icon_->setToolTip(status.toolTip);
}

}  // namespace zorvan::app

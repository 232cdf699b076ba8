#include "app/status_panel.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zorvan::app {

StatusPanel::StatusPanel(QWidget* parent)
    : QWidget(parent),
      board_(new QLabel(this)),
      calibration_(new QLabel(this)),
      calibrate_(new QPushButton(tr("Calibrate…"), this)),
      quitHint_(new QLabel(tr("This desktop has no system tray: closing the window only "
                              "minimises it, and the board keeps working. To stop the driver, "
                              "choose Board ▸ Quit or press Ctrl+Q."),
                           this)) {
    QFont larger = board_->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.25);
    larger.setBold(true);
    board_->setFont(larger);
    for (QLabel* label : {board_, calibration_, quitHint_}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setTextFormat(Qt::PlainText);
    }
    quitHint_->setWordWrap(true);
    quitHint_->setVisible(false);
    calibrate_->setVisible(false);
    connect(calibrate_, &QPushButton::clicked, this, [this] {
        if (calibrateAction_) {
            calibrateAction_();
        }
    });

    auto* calibrationRow = new QHBoxLayout;
    calibrationRow->addWidget(calibration_, 1);
    calibrationRow->addWidget(calibrate_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(board_);
    layout->addLayout(calibrationRow);
    layout->addWidget(quitHint_);
}

void StatusPanel::present(const PlainStatus& status) {
    board_->setText(status.board);
    calibration_->setText(status.calibration);
    offer_ = status.offerCalibration;
    calibrate_->setVisible(offer_ && calibrateAction_);
}

void StatusPanel::setCalibrate(std::function<void()> calibrate) {
    calibrateAction_ = std::move(calibrate);
    calibrate_->setVisible(offer_ && calibrateAction_);
}

void StatusPanel::setQuitHint(bool shown) {
    quitHint_->setVisible(shown);
}

QString StatusPanel::boardText() const {
    return board_->text();
}

QString StatusPanel::calibrationText() const {
    return calibration_->text();
}

bool StatusPanel::offersCalibration() const {
    return !calibrate_->isHidden();
}

bool StatusPanel::showsQuitHint() const {
    return !quitHint_->isHidden();
}

}  // namespace zorvan::app

#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QStringList>

#include "tests/calibration/qt_test_application.h"

namespace zorvan::app {
namespace {

QStringList itemTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            texts << action->text();
        }
    }
    return texts;
}

QAction* item(const QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

TEST(MainWindow, MenusOfferTheDriversActionsAndQuit) {
    zorvan::testing::testApplication();
    struct Case {
        bool withListDevices;
        QStringList items;
    };
    const Case cases[] = {
        // The port list's item shows only once it has an action.
        {false, {"&Calibrate…", "&Re-arm soft keys", "&Quit"}},
        {true, {"&Calibrate…", "&List devices", "&Re-arm soft keys", "&Quit"}},
    };
    for (const Case& c : cases) {
        MainWindow window;
        QStringList called;
        MainWindow::Actions actions{
            .calibrate = [&] { called << "calibrate"; },
            .listDevices = {},
            .rearmSoftKeys = [&] { called << "rearm"; },
        };
        if (c.withListDevices) {
            actions.listDevices = [&] { called << "list"; };
        }
        window.installMenus(actions, "about");
        ASSERT_NE(window.boardMenu(), nullptr);
        EXPECT_EQ(itemTexts(window.boardMenu()), c.items);

        for (const QString& text : c.items) {
            if (text != "&Quit") {
                item(window.boardMenu(), text)->trigger();
            }
        }
        EXPECT_EQ(called.size(), c.items.size() - 1);
        EXPECT_EQ(item(window.boardMenu(), "&Quit")->shortcut(),
                  QKeySequence(Qt::CTRL | Qt::Key_Q));
    }
}

}  // namespace
}  // namespace zorvan::app

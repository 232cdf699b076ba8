#include "tools/calivo/board_screen.h"

#include "driver/board_screen_source.h"
#include "platform/qsettings_store.h"
#include "platform/qt_screens.h"

namespace zorvan::calivo {

QScreen* boardScreen() {
    // The driver's choice: the screen saved under "Screen", else the primary.
    QSettingsStore store;
    return boardQScreen(requestedScreen(store, {}));
}

}  // namespace zorvan::calivo

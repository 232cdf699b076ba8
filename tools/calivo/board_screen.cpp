#include "tools/calivo/board_screen.h"

#include "driver/board_screen_source.h"
#include "platform/qt_screens.h"

namespace zorvan::calivo {

QScreen* boardScreen(SettingsStore& store) {
    // The driver's choice: the screen saved under "Screen", else the primary.
    store.synchronize();
    return boardQScreen(requestedScreen(store, {}));
}

}  // namespace zorvan::calivo

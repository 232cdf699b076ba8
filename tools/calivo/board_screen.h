#pragma once

class QScreen;

namespace zorvan {
class SettingsStore;
}

namespace zorvan::calivo {

// The screen the board covers: the one the driver maps raw coordinates onto
// (the one saved under "Screen", else the primary screen). The only place
// the tool decides this. `store`: the settings as the driver reads them.
QScreen* boardScreen(SettingsStore& store);

}  // namespace zorvan::calivo

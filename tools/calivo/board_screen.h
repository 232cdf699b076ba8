#pragma once

class QScreen;

namespace zorvan::calivo {

// The screen the board covers: the one the driver maps raw coordinates onto
// (the one saved under "Screen", else the primary screen). The only place
// the tool decides this.
QScreen* boardScreen();

}  // namespace zorvan::calivo

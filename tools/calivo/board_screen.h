#pragma once

class QScreen;

namespace zorvan::calivo {

// The screen the board covers: the one the driver maps raw coordinates onto
// (today the primary screen). The only place the tool decides this.
QScreen* boardScreen();

}  // namespace zorvan::calivo

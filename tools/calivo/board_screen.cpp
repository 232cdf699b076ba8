#include "tools/calivo/board_screen.h"

#include <QGuiApplication>

namespace zorvan::calivo {

QScreen* boardScreen() {
    return QGuiApplication::primaryScreen();
}

}  // namespace zorvan::calivo

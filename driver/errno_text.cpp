#include "driver/errno_text.h"

#include <string.h>

namespace zorvan {

std::string errnoText(int errorNumber) {
    char buffer[256] = {};
    // GNU strerror_r: returns a pointer to the text, which may or may not be
    // the buffer.
    return ::strerror_r(errorNumber, buffer, sizeof buffer);
}

}  // namespace zorvan

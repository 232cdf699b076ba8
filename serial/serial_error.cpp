#include "serial/serial_error.h"

#include <string.h>

namespace zorvan::serial {

SerialError SerialError::posix(int errorNumber) {
    return SerialError{VXPOSIXErrorDomain, errorNumber, {}};
}

std::string errnoText(int errorNumber) {
    char buffer[256] = {};
    // GNU strerror_r answers a pointer to the text, which may or may not be
    // the buffer.
    return ::strerror_r(errorNumber, buffer, sizeof buffer);
}

}  // namespace zorvan::serial

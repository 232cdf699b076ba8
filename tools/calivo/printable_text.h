#pragma once

#include <string>
#include <string_view>

namespace zorvan::calivo {

// Text from a file or the command line made safe to print on a terminal:
// control characters (C0, DEL and C1) and bytes that are no UTF-8 become
// \xNN, so that an escape sequence in a bad file can't act on the terminal
// that shows the error. Printable ASCII and other UTF-8 stay as they are.
std::string printableText(std::string_view text);

}  // namespace zorvan::calivo

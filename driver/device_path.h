#pragma once

#include <string>

namespace zorvan {

// PATH with every symbolic link along it followed, as far as the links
// lead: "/dev/serial/by-id/usb-..." gives "/dev/ttyUSB0". A part that does
// not exist is kept as written ("." and ".." are taken out), so a link to a
// node that is gone still names that node. Empty for an empty or relative
// PATH, or a chain of more than 40 links.
//
// Built on lstat() and readlink() rather than realpath(): test beds that
// stand in for /dev through a preload library (umockdev) crash in their own
// realpath() on pty-backed nodes.
std::string resolvedDevicePath(const std::string& path);

}  // namespace zorvan

#include "serial/file_handle.h"

#include <unistd.h>

#include <utility>

namespace zorvan::serial {

FileHandle::~FileHandle() {
    closeFile();
}

void FileHandle::closeFile() {
    const int fd = fd_.exchange(-1);
    if (fd < 0) {
        return;
    }
    if (onClose_) {
        // Before the number is free again: whoever watches the descriptor
        // learns of the close while the number still means this file.
        std::exchange(onClose_, nullptr)();
    }
    // Never retried: after EINTR Linux has already released the descriptor.
    ::close(fd);
}

std::string FileHandle::description() const {
    const int fd = fd_.load();
    return fd >= 0 ? "<FileHandle: fd " + std::to_string(fd) + ">" : "<FileHandle: closed>";
}

}  // namespace zorvan::serial

#include "serial/file_handle.h"

#include <unistd.h>

namespace zorvan::serial {

FileHandle::~FileHandle() {
    closeFile();
}

void FileHandle::closeFile() {
    const int fd = fd_.exchange(-1);
    if (fd >= 0) {
        // Never retried: after EINTR Linux has already released the descriptor.
        ::close(fd);
    }
}

std::string FileHandle::description() const {
    const int fd = fd_.load();
    return fd >= 0 ? "<FileHandle: fd " + std::to_string(fd) + ">" : "<FileHandle: closed>";
}

}  // namespace zorvan::serial

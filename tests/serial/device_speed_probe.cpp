#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace zorvan::test {

std::uint32_t deviceOutputSpeed(int fd) {
    termios2 t{};
    return ::ioctl(fd, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
}

}  // namespace zorvan::test

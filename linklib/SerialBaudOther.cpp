// Rates outside the B constants of <termios.h> go through termios2 with
// BOTHER. This file must not include <termios.h>: <asm/termbits.h> defines
// the same names differently.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

int SetTermios2BaudRate(int fd, int baud) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return -1;
    settings.c_cflag &= ~CBAUD;
    settings.c_cflag |= BOTHER;
    settings.c_ispeed = static_cast<speed_t>(baud);
    settings.c_ospeed = static_cast<speed_t>(baud);
    settings.c_cflag &= ~(CBAUD << IBSHIFT);
    settings.c_cflag |= BOTHER << IBSHIFT;
    return ioctl(fd, TCSETS2, &settings);
}

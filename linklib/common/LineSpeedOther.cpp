// The termios2 half of LineSpeed.h. This file must not include <termios.h>:
// <asm/termbits.h> defines the same names differently, so it declares its
// two functions itself.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

int SetTermios2BaudRate(int fd, int baud);
unsigned Termios2OutputSpeed(int fd);

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

unsigned Termios2OutputSpeed(int fd) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
    return settings.c_ospeed;
}

// A file of its own: <asm/termbits.h> (termios2) clashes with <termios.h>.
#include "TtySpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

unsigned TtyOutputSpeed(int fd) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
    return tio.c_ospeed;
}

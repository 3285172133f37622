// LineSpeed: baud rates as a tty takes them. One table for everyone who sets
// a line speed: the serial port, the USB bridge layers and the simulated
// reader's pseudo-terminal.
#pragma once

#include <termios.h>

// The B constant of a rate, or B0 when <termios.h> has none for it.
speed_t SpeedConstant(long baud);

// Rates without a B constant go through termios2 with BOTHER; 0 or -1 with
// errno as ioctl gives them.
int SetTermios2BaudRate(int fd, int baud);
// The output rate a tty is set to, read with TCGETS2 so that rates outside
// the B constants count too; 0 when it cannot be read.
unsigned Termios2OutputSpeed(int fd);

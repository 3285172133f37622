// TtySpeed: the output baud rate a tty is set to.
#pragma once

// Reads the rate with TCGETS2, so rates outside the B-constants count too.
// Returns 0 when it cannot be read.
unsigned TtyOutputSpeed(int fd);

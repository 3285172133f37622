// The pty and the symbolic link that the simulator's serial endpoints (a
// reader, an adapter module) give a host.
#pragma once

#include <string>

namespace SimPty {

// "what: strerror(errno)".
std::string Errno(const char* what);

// Opens a pty pair: the master non-blocking, the slave raw (CLOCAL, CREAD)
// at baud (0: left as it is). False with the reason; what was opened so far
// stays in master and slave (-1 otherwise) for the caller to close.
bool Open(int& master, int& slave, std::string& slavePath, int baud, std::string& error);

// Points link at target (through a temporary name and a rename, so a host
// never sees it missing); never replaces a file that is not a symbolic link.
bool PlaceLink(const std::string& link, const std::string& target, std::string& error);

} // namespace SimPty

// SimAnnounce: how running simulated readers make themselves known to port
// lists. The convention belongs to the link library, whose serial port list
// reads it (PortList); a simulator writes its files through this header.
//
// A simulator writes one small file per simulated device into the announce
// directory, ${KVPLM_SIM_DIR}, else ${XDG_RUNTIME_DIR}/kvplm-sim, else
// /tmp/kvplm-sim (created with mode 0700). The file is named <pid>-<n>.port;
// line 1 is the device path a host opens, line 2 a label for port lists.
// The simulator removes its file when it stops; files left behind by a
// process that died are skipped by List.
//
// Plain C++ and POSIX only, so that the simulated reader can link it
// without the rest of the library.
#pragma once

#include <string>
#include <vector>

namespace SimAnnounce {

struct Entry {
    std::string path;  // device path to open
    std::string label; // e.g. "Simulated KV-PLM41"
};

std::string Directory();

// The live announced simulators, in the order they were announced. Skipped:
// files whose process is gone or whose device path no longer exists, and the
// whole directory when it does not belong to the current user.
std::vector<Entry> List();

// Writes an announce file (atomically) and returns its path; "" on failure.
std::string Write(const std::string& devicePath, const std::string& label);

// Removes an announce file written by Write.
void Remove(const std::string& file);

} // namespace SimAnnounce

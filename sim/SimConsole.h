// CSimConsole: the control commands of kvplm-readersim, one line at a time.
//
// Kept apart from the program so that tests can drive it. Every command
// answers with at least one line: its output, "ok", or "error: <why>".
#pragma once

#include "SimReader.h"
#include "SimTransponder.h"

#include <optional>
#include <string>
#include <vector>

class CLanSimulator;
class CPtySimulator;

class CSimConsole {
public:
    struct Result {
        std::string output; // lines, each ended by "\n"
        bool quit = false;
    };

    // endpoint may be null; "unplug" and "plug" then report an error.
    explicit CSimConsole(CSimReader& reader, CPtySimulator* endpoint = nullptr);
    // A reader on the network: "unplug" takes it off the network, and the
    // LAN commands (lan, disconnect, restart, record, fault lan) work.
    CSimConsole(CSimReader& reader, CLanSimulator& lan);

    Result Execute(const std::string& line);

    static std::string Help();

    // "EPC[:TID[:USER]]" (hex, as --tag takes it); nullopt with a reason when invalid.
    static std::optional<CSimTransponder> ParseTag(const std::string& text, std::string& error);
    // The one-line description of the device the program prints at start.
    static std::string DeviceLine(const CSimReader& reader, const CPtySimulator& endpoint);
    // "... on LAN 127.0.0.2-10001", a DHCP reader "... on LAN [NAME]127.0.0.2-10001".
    static std::string DeviceLine(const CSimReader& reader, const CLanSimulator& lan);

private:
    Result ExecuteLan(const std::vector<std::string>& words);
    Result LanFault(const std::vector<std::string>& words);
    bool Unplugged() const;

    CSimReader& m_reader;
    CPtySimulator* m_endpoint;
    CLanSimulator* m_lan = nullptr;
};

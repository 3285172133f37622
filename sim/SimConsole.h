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

class CHidSimulator;
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
    // A simulated HID reader: "unplug"/"plug" pull it and plug it in, and the
    // HID commands (hid, keys, hidlog) work.
    CSimConsole(CSimReader& reader, CHidSimulator& hid);

    Result Execute(const std::string& line);

    static std::string Help();

    // "EPC[:TID[:USER[:ACCESSPW]]]" (hex, as --tag takes it); nullopt with a reason when invalid.
    static std::optional<CSimTransponder> ParseTag(const std::string& text, std::string& error);
    // The one-line description of the device the program prints at start.
    static std::string DeviceLine(const CSimReader& reader, const CPtySimulator& endpoint);
    // "... on LAN 127.0.0.2-10001", a DHCP reader "... on LAN [NAME]127.0.0.2-10001".
    static std::string DeviceLine(const CSimReader& reader, const CLanSimulator& lan);
    // "... on USB HID 16C0:2913 serial 4400-000123 (list name "4400-000123 HID") at SOCKET".
    static std::string DeviceLine(const CSimReader& reader, const CHidSimulator& hid);

private:
    Result ExecuteLan(const std::vector<std::string>& words);
    Result LanFault(const std::vector<std::string>& words);
    Result ExecuteHid(const std::vector<std::string>& words);
    bool Unplugged() const;

    CSimReader& m_reader;
    CPtySimulator* m_endpoint;
    CLanSimulator* m_lan = nullptr;
    CHidSimulator* m_hid = nullptr;
};

// CSimConsole: the control commands of kvplm-readersim, one line at a time.
//
// Kept apart from the program so that tests can drive it. Every command
// answers with at least one line: its output, "ok", or "error: <why>".
#pragma once

#include "SimReader.h"
#include "SimTransponder.h"

#include <optional>
#include <string>

class CPtySimulator;

class CSimConsole {
public:
    struct Result {
        std::string output; // lines, each ended by "\n"
        bool quit = false;
    };

    // endpoint may be null; "unplug" and "plug" then report an error.
    explicit CSimConsole(CSimReader& reader, CPtySimulator* endpoint = nullptr);

    Result Execute(const std::string& line);

    static std::string Help();

    // "EPC[:TID[:USER]]" (hex, as --tag takes it); nullopt with a reason when invalid.
    static std::optional<CSimTransponder> ParseTag(const std::string& text, std::string& error);
    // The one-line description of the device the program prints at start.
    static std::string DeviceLine(const CSimReader& reader, const CPtySimulator& endpoint);

private:
    CSimReader& m_reader;
    CPtySimulator* m_endpoint;
};

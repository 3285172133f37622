#include "SimConsole.h"

#include "PtySimulator.h"
#include "SimHex.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

using Bytes = CSimReader::Bytes;

std::vector<std::string> Split(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Joins words[from..] and parses them as hex bytes.
std::optional<Bytes> HexWords(const std::vector<std::string>& words, size_t from) {
    std::string text;
    for (size_t i = from; i < words.size(); ++i)
        text += words[i] + " ";
    return SimHex::Parse(text);
}

// A number: decimal, or hex with 0x; with forceHex the 0x is optional.
std::optional<unsigned long> Number(const std::string& word, bool forceHex, unsigned long max) {
    if (word.empty()) return std::nullopt;
    char* end = nullptr;
    const bool hex = forceHex || word.rfind("0x", 0) == 0 || word.rfind("0X", 0) == 0;
    const unsigned long value = std::strtoul(word.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || value > max || word[0] == '-') return std::nullopt;
    return value;
}

std::optional<CSimTransponder> MakeTag(const std::string& epcHex, const std::string& tidHex,
                                       const std::string& userHex, std::string& error) {
    const auto epc = SimHex::Parse(epcHex);
    if (!epc || epc->empty() || epc->size() > CSimTransponder::MaxEpcSize) {
        error = "EPC must be 1 to 62 bytes of hex";
        return std::nullopt;
    }
    Bytes tid, user(CSimTransponder::DefaultUserSize);
    if (!tidHex.empty() && tidHex != "-") {
        const auto parsed = SimHex::Parse(tidHex);
        if (!parsed || parsed->size() > CSimTransponder::MaxTidSize) {
            error = "TID must be at most 254 bytes of hex";
            return std::nullopt;
        }
        tid = *parsed;
    }
    if (!userHex.empty() && userHex != "-") {
        const auto parsed = SimHex::Parse(userHex);
        if (!parsed || parsed->size() > CSimTransponder::MaxUserSize) {
            error = "user memory must be at most 254 bytes of hex";
            return std::nullopt;
        }
        user = *parsed;
    }
    return CSimTransponder(*epc, tid, user);
}

std::string Error(const std::string& why) {
    return "error: " + why + "\n";
}

} // namespace

CSimConsole::CSimConsole(CSimReader& reader, CPtySimulator* endpoint)
    : m_reader(reader), m_endpoint(endpoint) {}

std::optional<CSimTransponder> CSimConsole::ParseTag(const std::string& text, std::string& error) {
    std::string parts[3];
    size_t part = 0;
    for (char c : text) {
        if (c == ':') {
            if (++part == 3) {
                error = "a tag is EPC[:TID[:USER]]";
                return std::nullopt;
            }
        } else {
            parts[part].push_back(c);
        }
    }
    return MakeTag(parts[0], parts[1], parts[2], error);
}

std::string CSimConsole::DeviceLine(const CSimReader& reader, const CPtySimulator& endpoint) {
    const CSimReader::Options options = reader.GetOptions();
    std::string model = CSimReader::ModelName(options.deviceType);
    if (model.empty()) model = "unknown model";
    char text[160];
    std::snprintf(text, sizeof text, "kvplm-readersim: %s (type %03X, firmware V1.%02u) on ", model.c_str(),
                  options.deviceType & 0xFFFu, options.minorVersion & 0xFu);
    std::string line = text + endpoint.SlavePath();
    const std::string link = endpoint.GetOptions().linkPath;
    if (!link.empty()) line += " (link " + link + ")";
    return line;
}

std::string CSimConsole::Help() {
    return "commands:\n"
           "  place EPC [TID [USER]]      put a transponder into the field (hex; - for a default)\n"
           "  remove EPC|all              take transponders away\n"
           "  tags                        list the transponders in the field\n"
           "  rf on|off                   switch the RF field\n"
           "  fault silence N|on|off      ignore the next N requests, or all until off\n"
           "  fault noise HEX...          bytes in front of the next reply\n"
           "  fault badcheck              wrong check byte/CRC in the next reply\n"
           "  fault status CMD CODE       next reply to command CMD (hex) carries status CODE\n"
           "  fault extra HEX...          bytes after the next reply's check bytes\n"
           "  fault gap K MS              pause of MS milliseconds after K bytes of the next reply\n"
           "  fault clear                 forget every armed fault\n"
           "  send HEX...                 send bytes now, unasked\n"
           "  state [N]                   show the reader state (or set it)\n"
           "  blocks                      show the six configuration blocks\n"
           "  reset                       configuration blocks back to factory defaults\n"
           "  unplug | plug               pull the device / plug it in again\n"
           "  quit                        end the simulator\n";
}

CSimConsole::Result CSimConsole::Execute(const std::string& line) {
    Result result;
    const std::vector<std::string> words = Split(line);
    if (words.empty()) return result;
    const std::string command = Lower(words[0]);
    const std::string sub = words.size() > 1 ? Lower(words[1]) : "";
    std::string& out = result.output;

    if (command == "help" || command == "?") {
        out = Help();
    } else if (command == "quit" || command == "exit") {
        out = "ok\n";
        result.quit = true;
    } else if (command == "place") {
        if (words.size() < 2 || words.size() > 4) return {Error("usage: place EPC [TID [USER]]")};
        std::string error;
        const auto tag =
            MakeTag(words[1], words.size() > 2 ? words[2] : "", words.size() > 3 ? words[3] : "", error);
        if (!tag) return {Error(error)};
        m_reader.PlaceTag(*tag);
        out = "ok\n";
    } else if (command == "remove") {
        if (words.size() != 2) return {Error("usage: remove EPC|all")};
        if (sub == "all") {
            out = "removed " + std::to_string(m_reader.RemoveAllTags()) + "\n";
        } else {
            const auto epc = SimHex::Parse(words[1]);
            if (!epc) return {Error("EPC must be hex")};
            if (!m_reader.RemoveTag(*epc)) return {Error("no transponder with that EPC")};
            out = "ok\n";
        }
    } else if (command == "tags") {
        for (const CSimTransponder& tag : m_reader.Tags())
            out += "EPC " + SimHex::Format(tag.Epc()) + "  PC " + SimHex::Format(tag.PcBytes()) + "  TID " +
                   SimHex::Format(tag.Tid()) + "\n";
        if (out.empty()) out = "no transponders\n";
    } else if (command == "rf") {
        if (sub != "on" && sub != "off") return {Error("usage: rf on|off")};
        m_reader.SetRf(sub == "on");
        out = "ok\n";
    } else if (command == "fault") {
        if (sub == "silence" && words.size() == 3) {
            const std::string arg = Lower(words[2]);
            if (arg == "on" || arg == "off") {
                m_reader.FaultSilenceAll(arg == "on");
            } else {
                const auto n = Number(words[2], false, 1000000);
                if (!n) return {Error("usage: fault silence N|on|off")};
                m_reader.FaultSilence(static_cast<unsigned>(*n));
            }
        } else if ((sub == "noise" || sub == "extra") && words.size() >= 3) {
            const auto bytes = HexWords(words, 2);
            if (!bytes) return {Error("bytes must be hex")};
            if (sub == "noise")
                m_reader.FaultNoise(*bytes);
            else
                m_reader.FaultExtra(*bytes);
        } else if (sub == "badcheck" && words.size() == 2) {
            m_reader.FaultBadCheck();
        } else if (sub == "status" && words.size() == 4) {
            const auto code = Number(words[2], true, 0xFF);
            const auto status = Number(words[3], false, 0xFF);
            if (!code || !status) return {Error("usage: fault status CMD CODE (CMD hex, CODE 0..255)")};
            m_reader.FaultStatus(static_cast<uint8_t>(*code), static_cast<uint8_t>(*status));
        } else if (sub == "gap" && words.size() == 4) {
            const auto after = Number(words[2], false, 1000);
            const auto ms = Number(words[3], false, 60000);
            if (!after || !ms) return {Error("usage: fault gap K MS")};
            m_reader.FaultGap(*after, std::chrono::milliseconds(*ms));
        } else if (sub == "clear" && words.size() == 2) {
            m_reader.ClearFaults();
        } else {
            return {Error("unknown fault; try help")};
        }
        out = "ok\n";
    } else if (command == "send") {
        const auto bytes = HexWords(words, 1);
        if (!bytes || bytes->empty()) return {Error("usage: send HEX...")};
        m_reader.SendUnsolicited(*bytes);
        out = "ok\n";
    } else if (command == "state") {
        if (words.size() == 2) {
            const auto state = Number(words[1], false, 2);
            if (!state) return {Error("state is 0, 1 or 2")};
            m_reader.SetState(static_cast<int>(*state));
        }
        const SimLine line = m_reader.Line();
        out = "state " + std::to_string(m_reader.State()) + ", power-on mode " +
              std::to_string(m_reader.PowerOnMode()) + ", " + std::to_string(line.baud) + " baud format " +
              std::to_string(line.format) + ", rf " + (m_reader.Rf() ? "on" : "off") + ", " +
              std::to_string(m_reader.Tags().size()) + " transponder(s)";
        if (m_endpoint && m_endpoint->IsUnplugged()) out += ", unplugged";
        out += "\n";
    } else if (command == "blocks") {
        static const char* const names[] = {"Param", "Prefix", "Suffix", "Termix", "Postcode", "ModeParam"};
        for (int i = 0; i < CSimReader::BlockCount; ++i)
            out += std::string(names[i]) + ": " +
                   SimHex::Format(m_reader.GetBlock(static_cast<CSimReader::Block>(i))) + "\n";
    } else if (command == "reset") {
        m_reader.FactoryReset();
        out = "ok\n";
    } else if (command == "unplug") {
        if (!m_endpoint) return {Error("no device to unplug")};
        m_endpoint->Unplug();
        out = "unplugged\n";
    } else if (command == "plug") {
        if (!m_endpoint) return {Error("no device to plug in")};
        std::string error;
        if (!m_endpoint->Start(&error)) return {Error(error)};
        out = DeviceLine(m_reader, *m_endpoint) + "\n";
    } else {
        return {Error("unknown command '" + words[0] + "'; try help")};
    }
    return result;
}

#include "SimConsole.h"

#include "HidSimulator.h"
#include "LanSimulator.h"
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
                                       const std::string& userHex, const std::string& accessHex,
                                       std::string& error) {
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
    CSimTransponder tag(*epc, tid, user);
    if (!accessHex.empty() && accessHex != "-") {
        const auto parsed = SimHex::Parse(accessHex);
        if (!parsed || parsed->size() != 4) {
            error = "access password must be 4 bytes of hex";
            return std::nullopt;
        }
        tag.SetPasswords({}, *parsed);
    }
    return tag;
}

std::string Error(const std::string& why) {
    return "error: " + why + "\n";
}

} // namespace

CSimConsole::CSimConsole(CSimReader& reader, CPtySimulator* endpoint)
    : m_reader(reader), m_endpoint(endpoint) {}

CSimConsole::CSimConsole(CSimReader& reader, CLanSimulator& lan)
    : m_reader(reader), m_endpoint(nullptr), m_lan(&lan) {}

CSimConsole::CSimConsole(CSimReader& reader, CHidSimulator& hid)
    : m_reader(reader), m_endpoint(nullptr), m_hid(&hid) {}

bool CSimConsole::Unplugged() const {
    return (m_endpoint && m_endpoint->IsUnplugged()) || (m_lan && m_lan->IsUnplugged()) ||
           (m_hid && m_hid->IsUnplugged());
}

std::optional<CSimTransponder> CSimConsole::ParseTag(const std::string& text, std::string& error) {
    std::string parts[4];
    size_t part = 0;
    for (char c : text) {
        if (c == ':') {
            if (++part == 4) {
                error = "a tag is EPC[:TID[:USER[:ACCESSPW]]]";
                return std::nullopt;
            }
        } else {
            parts[part].push_back(c);
        }
    }
    return MakeTag(parts[0], parts[1], parts[2], parts[3], error);
}

namespace {

std::string DeviceLineStart(const CSimReader& reader) {
    const CSimReader::Options options = reader.GetOptions();
    std::string model = CSimReader::ModelName(options.deviceType);
    if (model.empty()) model = "unknown model";
    char text[160];
    std::snprintf(text, sizeof text, "kvplm-readersim: %s (type %03X, firmware V1.%02u) on ", model.c_str(),
                  options.deviceType & 0xFFFu, options.minorVersion & 0xFu);
    return text;
}

} // namespace

std::string CSimConsole::DeviceLine(const CSimReader& reader, const CLanSimulator& lan) {
    return DeviceLineStart(reader) + "LAN " + lan.ListForm();
}

std::string CSimConsole::DeviceLine(const CSimReader& reader, const CHidSimulator& hid) {
    const CHidSimulator::Options options = hid.GetOptions();
    char ids[64];
    std::snprintf(ids, sizeof ids, "USB HID %04X:%04X ", options.vendor, options.product);
    std::string line = DeviceLineStart(reader) + ids;
    if (options.serial && !options.serial->empty())
        line += "serial " + *options.serial + " (list name \"" + *options.serial + " HID\")";
    else
        line += std::string(options.serial ? "empty serial" : "no serial") + " (list name \"2286-???? HID\")";
    return line + " at " + hid.SocketPath();
}

std::string CSimConsole::DeviceLine(const CSimReader& reader, const CPtySimulator& endpoint) {
    std::string line = DeviceLineStart(reader) + endpoint.SlavePath();
    const std::string link = endpoint.GetOptions().linkPath;
    if (!link.empty()) line += " (link " + link + ")";
    return line;
}

std::string CSimConsole::Help() {
    return "commands:\n"
           "  place EPC [TID [USER [ACCESSPW]]]  put a transponder into the field (hex; - for a default;\n"
           "                              a non-zero access password locks it against writes)\n"
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
           "  quit                        end the simulator\n"
           "a reader on the network (--lan) also takes:\n"
           "  lan                         address, port, record 0, client, restarts, armed faults\n"
           "  disconnect                  close the client's TCP connection\n"
           "  restart                     restart as the restart datagram does\n"
           "  record N [HEX...]           show device record N (0..15), or write its first bytes\n"
           "  fault lan code N|on|off [CODE] [KIND...]   wrong answer code (default: code XOR 1)\n"
           "  fault lan short N|on|off [LEN] [KIND...]   answer payload cut to LEN bytes (default 119)\n"
           "  fault lan duplicate N|on|off [KIND...]     every answer sent twice\n"
           "  fault lan silence N|on|off [KIND...]       datagrams ignored, as if lost\n"
           "     N: the next N requests; KIND: search, read, write, restart (default all)\n"
           "  unplug                      the reader leaves the network (plug: back)\n"
           "a USB HID reader (--hid) also takes:\n"
           "  hid                         ids, serial, socket, host, link state, faults\n"
           "  hid silent on|off           no input reports at all\n"
           "  hid ignore-keys on|off      no answers to key queries\n"
           "  hid report HEX...           send one raw input report (count byte first)\n"
           "  keys [us|de]                show the keyboard table (or start it anew as us or de)\n"
           "  hidlog [clear]              what the host opened, closed and sent on the interface channel\n";
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
        if (words.size() < 2 || words.size() > 5) return {Error("usage: place EPC [TID [USER [ACCESSPW]]]")};
        std::string error;
        const auto tag = MakeTag(words[1], words.size() > 2 ? words[2] : "", words.size() > 3 ? words[3] : "",
                                 words.size() > 4 ? words[4] : "", error);
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
                   SimHex::Format(tag.Tid()) + (tag.Locked() ? "  locked" : "") + "\n";
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
            if (m_lan) m_lan->Module().ClearFaults();
        } else if (sub == "lan") {
            return LanFault(words);
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
        if (Unplugged()) out += ", unplugged";
        out += "\n";
    } else if (command == "blocks") {
        static const char* const names[] = {"Param", "Prefix", "Suffix", "Termix", "Postcode", "ModeParam"};
        for (int i = 0; i < CSimReader::BlockCount; ++i)
            out += std::string(names[i]) + ": " +
                   SimHex::Format(m_reader.GetBlock(static_cast<CSimReader::Block>(i))) + "\n";
    } else if (command == "reset") {
        m_reader.FactoryReset();
        out = "ok\n";
    } else if (m_lan && (command == "unplug" || command == "plug" || command == "lan" ||
                         command == "disconnect" || command == "restart" || command == "record")) {
        return ExecuteLan(words);
    } else if (m_hid && (command == "unplug" || command == "plug" || command == "hid" || command == "keys" ||
                         command == "hidlog")) {
        return ExecuteHid(words);
    } else if (command == "hid" || command == "keys" || command == "hidlog") {
        return {Error("not an HID reader (start with --hid)")};
    } else if (command == "lan" || command == "disconnect" || command == "restart" || command == "record") {
        return {Error("not a reader on the network (start with --lan)")};
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

CSimConsole::Result CSimConsole::ExecuteLan(const std::vector<std::string>& words) {
    Result result;
    std::string& out = result.output;
    const std::string command = Lower(words[0]);
    CSimNetModule& module = m_lan->Module();
    if (command == "unplug") {
        m_lan->Unplug();
        out = "unplugged\n";
    } else if (command == "plug") {
        std::string error;
        if (!m_lan->Start(&error)) return {Error(error)};
        out = DeviceLine(m_reader, *m_lan) + "\n";
    } else if (command == "disconnect") {
        if (!m_lan->Disconnect()) return {Error("no client is connected")};
        out = "ok\n";
    } else if (command == "restart") {
        if (!m_lan->IsRunning()) return {Error("the reader is off the network")};
        m_lan->Restart();
        out = "restarting\n";
    } else if (command == "record") {
        if (words.size() < 2) return {Error("usage: record N [HEX...]")};
        const auto n = Number(words[1], false, CSimNetModule::RecordCount - 1);
        if (!n) return {Error("a record is 0..15")};
        if (words.size() > 2) {
            const auto bytes = HexWords(words, 2);
            if (!bytes) return {Error("bytes must be hex")};
            module.SetRecord(static_cast<int>(*n), *bytes);
        }
        out = "record " + std::to_string(*n) + ": " + SimHex::Format(module.Record(static_cast<int>(*n))) +
              "\n";
    } else { // lan
        const CSimNetModule::Settings settings = module.CurrentSettings();
        out = "LAN " + m_lan->ListForm() + ", broadcast " + m_lan->Broadcast();
        if (m_lan->IsUnplugged())
            out += ", unplugged";
        else if (m_lan->IsRestarting())
            out += ", restarting";
        out += "; record 0: " +
               (settings.Dhcp() ? "DHCP name " + settings.dhcpName
                                : "address " + CSimNetModule::FormatAddress(settings.address)) +
               ", mask host bits " + std::to_string(settings.hostBits) + ", port " +
               std::to_string(settings.port) + "; device name " +
               CSimNetModule::DeviceNameOf(module.Record(2)) + "; client " +
               (m_lan->ClientConnected() ? "connected" : "none") + "; restarts " +
               std::to_string(m_lan->Restarts());
        const std::string faults = module.FaultSummary();
        if (!faults.empty()) out += "; faults " + faults;
        out += "\n";
    }
    return result;
}

// fault lan code|short|duplicate|silence N|on|off [VALUE] [KIND...]
CSimConsole::Result CSimConsole::LanFault(const std::vector<std::string>& words) {
    static const char* const usage =
        "usage: fault lan code|short|duplicate|silence N|on|off [VALUE] [KIND...]";
    if (!m_lan) return {Error("not a reader on the network (start with --lan)")};
    if (words.size() < 4) return {Error(usage)};
    const std::string kind = Lower(words[2]);
    CSimNetModule::Fault fault;
    bool takesValue = false;
    if (kind == "code") {
        fault = CSimNetModule::Fault::WrongCode;
        takesValue = true;
    } else if (kind == "short") {
        fault = CSimNetModule::Fault::ShortPayload;
        takesValue = true;
    } else if (kind == "duplicate") {
        fault = CSimNetModule::Fault::Duplicate;
    } else if (kind == "silence") {
        fault = CSimNetModule::Fault::Silence;
    } else {
        return {Error(usage)};
    }
    const std::string countWord = Lower(words[3]);
    int count;
    if (countWord == "on") {
        count = CSimNetModule::Forever;
    } else if (countWord == "off") {
        count = 0;
    } else {
        const auto n = Number(countWord, false, 1000000);
        if (!n) return {Error(usage)};
        count = static_cast<int>(*n);
    }
    std::optional<uint8_t> value;
    unsigned scope = 0;
    for (size_t i = 4; i < words.size(); ++i) {
        const std::string word = Lower(words[i]);
        if (word == "search") {
            scope |= CSimNetModule::ScopeSearch;
        } else if (word == "read") {
            scope |= CSimNetModule::ScopeRead;
        } else if (word == "write") {
            scope |= CSimNetModule::ScopeWrite;
        } else if (word == "restart") {
            scope |= CSimNetModule::ScopeRestart;
        } else if (takesValue && !value && scope == 0) {
            // A code is hex as on the wire (F9 or 0xF9), a length decimal.
            const auto v = Number(words[i], fault == CSimNetModule::Fault::WrongCode, 0xFF);
            if (!v)
                return {Error(fault == CSimNetModule::Fault::WrongCode ? "a code is one hex byte"
                                                                       : "a length is 0..255")};
            value = static_cast<uint8_t>(*v);
        } else {
            return {Error(usage)};
        }
    }
    m_lan->Module().SetFault(fault, count, scope ? scope : CSimNetModule::ScopeAll, value);
    return {"ok\n"};
}

CSimConsole::Result CSimConsole::ExecuteHid(const std::vector<std::string>& words) {
    Result result;
    std::string& out = result.output;
    const std::string command = Lower(words[0]);
    const std::string sub = words.size() > 1 ? Lower(words[1]) : "";
    if (command == "unplug") {
        m_hid->Unplug();
        out = "unplugged\n";
    } else if (command == "plug") {
        std::string error;
        if (!m_hid->Start(&error)) return {Error(error)};
        out = DeviceLine(m_reader, *m_hid) + "\n";
    } else if (command == "keys") {
        if (words.size() > 2) return {Error("usage: keys [us|de]")};
        if (words.size() == 2) {
            const auto table = CSimKeyTable::Named(sub);
            if (!table) return {Error("a start table is us or de")};
            m_hid->SetTable(*table);
            out = "ok\n";
        } else {
            out = m_hid->Table().Describe();
        }
    } else if (command == "hidlog") {
        if (sub == "clear" && words.size() == 2) {
            m_hid->ClearEvents();
            out = "ok\n";
        } else if (words.size() == 1) {
            for (const CHidSimulator::Event& event : m_hid->Events())
                out += CHidSimulator::Describe(event).substr(5) + "\n"; // without "hid: "
            if (out.empty()) out = "nothing recorded\n";
        } else {
            return {Error("usage: hidlog [clear]")};
        }
    } else if (sub == "silent" || sub == "ignore-keys") { // hid ...
        const std::string arg = words.size() == 3 ? Lower(words[2]) : "";
        if (arg != "on" && arg != "off") return {Error("usage: hid " + sub + " on|off")};
        if (sub == "silent")
            m_hid->SetSilent(arg == "on");
        else
            m_hid->SetIgnoreKeys(arg == "on");
        out = "ok\n";
    } else if (sub == "report") {
        const auto bytes = HexWords(words, 2);
        if (!bytes || bytes->empty() || bytes->size() > 63)
            return {Error("usage: hid report HEX... (1..63 bytes)")};
        if (!m_hid->HostConnected()) return {Error("no host holds the device open")};
        m_hid->SendReport(*bytes);
        out = "ok\n";
    } else if (words.size() == 1) {
        const CHidSimulator::Options options = m_hid->GetOptions();
        char ids[32];
        std::snprintf(ids, sizeof ids, "%04X:%04X", options.vendor, options.product);
        const auto state = m_hid->LinkState();
        out = std::string("HID ") + ids + ", serial " +
              (options.serial ? (options.serial->empty() ? "empty" : *options.serial) : "none") +
              ", socket " + m_hid->SocketPath() + ", host " +
              (m_hid->HostConnected() ? "connected" : "none") + ", link state " +
              (state ? std::to_string(*state) : "none") + ", silent " + (options.silent ? "on" : "off") +
              ", ignore keys " + (options.ignoreKeys ? "on" : "off");
        if (m_hid->IsUnplugged()) out += ", unplugged";
        out += "\n";
    } else {
        return {Error("unknown hid command; try help")};
    }
    return result;
}

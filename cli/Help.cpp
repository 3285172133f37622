#include "Help.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace Cli {

namespace {

// What a command's help says beyond its usage and summary: the options and
// notes, and the exit codes where they say more than the common scheme.
struct HelpText {
    const char* name;
    const char* details;
    const char* exits; // "1 ...": the command's own meanings; the rest is common
};

constexpr const char* kPortNote = "PORT: a link port name (kvplm --help), or \"-\" for the stored port.\n";

const HelpText kHelp[] = {
    {"help",
     "Without COMMAND: the command list (as kvplm --help). With one: its usage, options and exit codes.\n"
     "kvplm COMMAND --help says the same.\n",
     "2 bad command line, or no such command"},
    {"ports",
     "  --lan    also search the network readers (UDP broadcast) and list them\n"
     "  --json   one JSON object {\"serial\": [...], \"usb\": [...], \"lan\": [...] or null}\n",
     ""},
    {"lan",
     "  lan search [--all] [--json]   the network readers that answer a search (--all: every device)\n"
     "  lan show PORT                 a reader's network settings (address, mask, port, device name)\n"
     "  lan set PORT ADDRESS[-PORT] [--mask MASK] [--no-wait]\n"
     "  lan set PORT --dhcp NAME [--no-wait]\n"
     "                                change them; then wait (at most 25 s) until the reader answers as\n"
     "                                its new address, with a progress line on a terminal\n"
     "PORT: a network port as \"kvplm ports --lan\" lists it (a.b.c.d, a.b.c.d-PORT or [NAME]).\n"
     "--json (search): a JSON array, one {\"entry\", \"name\", \"address\", \"port\"} per reader "
     "(docs/cli.md).\n",
     "3 no reader found, no answer on the configuration channel (or the settings refused), or not found\n"
     "  again under its new address"},
    {"bt",
     "  bt scan PORT [--all]   the readers a Bluetooth adapter module on PORT finds (address, name);\n"
     "                         --all: every device it finds\n",
     "3 no module answers on PORT, or it finds no reader"},
    {"info",
     "Opens PORT and identifies the reader.\n"
     "  --json   one JSON object {\"model\", \"identification\", \"type\", \"firmware\", \"framing\", "
     "\"port\"}\n",
     "1 the reader does not identify itself"},
    {"transceive",
     "CMD: the command byte in hex; HEX: up to 255 payload bytes. Prints the reply data in hex.\n",
     "1 the reader answered with an error status or not at all"},
    {"raw-read",
     "Prints every byte the reader sends, in hex and printable, until Ctrl-C or --seconds N have passed.\n",
     "1 the connection was lost (the device went away)"},
    {"program",
     "Loads FILE.mkr as \"Laden\" does and programs the reader (an HID reader also gets the file's\n"
     "keyboard table). The file is checked before the reader is touched.\n"
     "  --set-baud RATE   the baud rate the reader is set to afterwards (2400, 4800, 9600, 19200)\n"
     "  --verify          read the blocks back and compare them with what was written\n"
     "  PORT PORT... FILE, or --lan-all FILE: several readers at once, a table of them on a terminal\n"
     "On a terminal a progress line names the block being written.\n",
     "1 a block, the baud rate or the keyboard table was refused, --verify found a difference, or (several\n"
     "  readers) any reader failed; 3 no connection (--lan-all: no reader found); 4 FILE cannot be read or "
     "its\n"
     "  pages do not pass their checks"},
    {"save",
     "Reads the reader's six blocks (an HID reader's keyboard table too) and saves them as FILE.mkr. "
     "Nothing\n"
     "is written when a block cannot be read or taken over.\n"
     "  --force   accept a key sequence cut to the 15 codes a file holds\n",
     "1 a block was not read or not taken over, or a sequence was cut (without --force); 4 FILE cannot be\n"
     "  written"},
    {"readback",
     "  --json   one JSON object: the blocks as read (hex), the baud rate, an HID reader's keyboard table\n",
     "1 a block could not be read"},
    {"show",
     "No reader is needed. An HID reader's file (one with a keyboard table) shows that table too.\n"
     "  --json   one JSON object: the record, the six blocks (hex), the baud rate to set or the keyboard\n"
     "           table\n",
     "4 FILE cannot be read, does not load, or its pages do not pass their checks"},
    {"diff",
     "Each side is a reader (PORT) or a .mkr file. One line per difference, \"FIELD: A -> B\"; nothing\n"
     "when they are equal.\n",
     "0 equal; 1 different; 3 a reader cannot be read; 4 a file cannot be read or used"},
    {"preview",
     "No reader is needed.\n"
     "  --tag EPC, --tid HEX, --user HEX   the sample transponder (hex)\n"
     "  --host-layout NAME                 an HID reader's file: the host's keyboard layout (default: this\n"
     "                                     computer's)\n"
     "  --json                             one JSON object of the preview (docs/preview.md)\n",
     "1 an HID reader's keys give other characters on the host layout; 4 FILE cannot be read or previewed,\n"
     "  or no keymap for the host layout"},
    {"keytable",
     "  PORT             the keyboard table of an HID reader\n"
     "  PORT --set FILE  transfer the keyboard table of FILE.mkr to the reader\n"
     "  --host           the keyboard table this computer's keyboard layout gives\n"
     "  --layout L       the table of the named layout (e.g. de, us)\n",
     "1 PORT is no HID reader, or the reader did not give or take the table; 4 FILE cannot be read or has "
     "no\n"
     "  keyboard table, or no keymap for the layout"},
    {"functest",
     "  --seconds N   end after N seconds (otherwise Ctrl-C ends)\n"
     "  --send        send the mode's request for each telegram\n",
     "1 an HID reader (watch its typing instead), or the connection was lost"},
    {"poweron", "Without a mode: prints the mode the reader starts in. With one: stores it in the reader.\n",
     "1 the reader refused"},
    {"inventory",
     "  --cyclic SECONDS   rounds until the time is up (0: until Ctrl-C), each new EPC with count and rate\n"
     "  --json             one inventory as a JSON array of decoded EPCs (docs/epc.md)\n"
     "  --watch            the inventory list, redrawn on a terminal; --seconds N ends it, --csv FILE saves\n"
     "                     it\n",
     "1 the inventory failed (no transponder is no failure); 4 the CSV cannot be written"},
    {"read",
     "BANK: reserved, epc, tid, user or 0-3. Without --length the whole bank.\n"
     "  --start BYTE    an even byte address\n"
     "  --length N      bytes to read\n"
     "  --select EPC    the transponder (otherwise the first an inventory finds)\n"
     "  --json          one JSON object {\"bank\", \"start\", \"data\", \"epc\" or \"tid\"} (docs/epc.md)\n",
     "1 no transponder, or the read failed"},
    {"write",
     "Writes HEX at --start BYTE (even) of BANK (reserved, epc, tid, user or 0-3).\n"
     "  --select EPC   the transponder (otherwise the first an inventory finds)\n",
     "1 no transponder, or the write failed"},
    {"write-epc",
     "  --select EPC          the transponder (otherwise the first an inventory finds)\n"
     "  --payload-length N    the PC's length field (default: the EPC's own length)\n"
     "  --json                the EPC the next inventory finds, decoded\n",
     "1 no transponder, or the write failed"},
    {"password",
     "kill or access: without HEX reads the password; with 4 bytes writes it.\n"
     "  --select EPC   the transponder (otherwise the first an inventory finds)\n",
     "1 no transponder, or the read or write failed"},
    {"read-all", "  --json   one JSON object of what was read (docs/epc.md)\n",
     "1 no transponder, or a read failed"},
    {"encode-batch",
     "Gives one transponder after the other the next serialised EPC, verified and logged in FILE.csv; a\n"
     "later run resumes from the log. stdout: one line per attempt; on a terminal a progress line on stderr\n"
     "(encoded / count, the next serial). Ctrl-C ends between two transponders.\n",
     "1 a transponder failed, the batch halted, or its fields make no EPC; 4 the log cannot be read or "
     "written; 130 Ctrl-C before\n"
     "  the count was complete"},
    {"epc",
     "  epc decode HEX...           a GS1 EPC's scheme, URIs and element string\n"
     "  epc encode URI|SCHEME...    the EPC of a tag URI or of a scheme's fields\n"
     "  --json                      JSON objects (docs/epc.md)\n",
     "1 a value cannot be encoded"},
    {"tid", "  tid decode HEX [--json]   a TID's class, mask designer, model and serial\n", ""},
};

const HelpText* FindHelp(const std::string& name) {
    for (const HelpText& help : kHelp)
        if (name == help.name) return &help;
    return nullptr;
}

bool TakesPort(const Command& command) {
    return std::strstr(command.usage, "PORT") != nullptr;
}

} // namespace

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: kvplm [--baud RATE] [--format 0..3] [--timeout MS] [--trace] COMMAND ARGS...\n"
                      "       kvplm help COMMAND | COMMAND --help | --version\n\n");
    std::fprintf(
        out, "PORT is the link port name: the port, optionally followed by \":\" and the bus address\n"
             "(/dev/ttyUSB0:1, /dev/pts/3:2, COM3:1), or \"-\" for the stored port: for the transponder\n"
             "commands (inventory, read, write, write-epc, password) the one of KV_PLM_Programmer,\n"
             "for the others the one of Morvane, connected as that program connects.\n"
             "A reader behind a Bluetooth adapter module: the module's port followed by \" BT\"\n"
             "(quoted: \"/dev/ttyUSB0 BT:1\"); \"bt scan\" lists the readers the module finds.\n"
             "--format: 0 8N1, 1 8E1, 2 8O1, 3 8N2.\n"
             "Exit codes: 0 ok, 1 the device said no / differs, 2 usage, 3 no connection, 4 file error.\n\n"
             "commands:\n");
    for (const Command& command : Commands())
        std::fprintf(out, "  %-12s %-28s %s\n", command.name, command.usage, command.summary);
}

const Command* FindCommand(const std::string& name) {
    static const std::vector<Command> commands = Commands();
    for (const Command& command : commands)
        if (name == command.name) return &command;
    return nullptr;
}

void PrintCommandHelp(const Command& command, std::FILE* out) {
    std::fprintf(out, "usage: kvplm [GLOBAL OPTIONS] %s %s\n\n%s\n\n", command.name, command.usage,
                 command.summary);
    const HelpText* help = FindHelp(command.name);
    if (help && *help->details) std::fprintf(out, "%s", help->details);
    if (TakesPort(command) && std::strcmp(command.name, "lan") != 0) std::fprintf(out, "%s", kPortNote);
    std::fprintf(out,
                 "Global options: --baud RATE, --format 0..3, --timeout MS, --trace (kvplm --help).\n\n");
    // The command's own codes and the common ones, in the order of their numbers.
    std::vector<std::pair<int, std::string>> codes{{0, "ok"}, {2, "bad command line"}};
    if (TakesPort(command))
        codes.push_back({3, "no connection: the port does not open or no reader answers"});
    const std::string exits = help ? help->exits : "";
    for (size_t at = 0; at < exits.size();) {
        size_t end = exits.find(';', at);
        if (end == std::string::npos) end = exits.size();
        std::string item = exits.substr(at, end - at);
        at = end + 1;
        // One line: the continuation's line break and indent become one blank.
        std::string flat;
        for (char c : item) {
            if (c == '\n') c = ' ';
            if (c == ' ' && (flat.empty() || flat.back() == ' ')) continue;
            flat += c;
        }
        const size_t blank = flat.find(' ');
        if (blank == std::string::npos) continue;
        const int code = std::atoi(flat.c_str());
        codes.erase(
            std::remove_if(codes.begin(), codes.end(), [&](const auto& c) { return c.first == code; }),
            codes.end());
        codes.push_back({code, flat.substr(blank + 1)});
    }
    std::stable_sort(codes.begin(), codes.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::fprintf(out, "exit codes:\n");
    for (const auto& [code, text] : codes)
        std::fprintf(out, "  %-3d %s\n", code, text.c_str());
}

} // namespace Cli

namespace Cli {

namespace {

int RunHelp(Options& options) {
    if (options.args.empty()) {
        PrintUsage(stdout);
        return ExitOk;
    }
    // "help lan search" is the help of lan, which names its verbs.
    const Command* command = FindCommand(options.args.front());
    if (!command) throw UsageError{"no command \"" + options.args.front() + "\""};
    PrintCommandHelp(*command, stdout);
    return ExitOk;
}

const Registration help{{"help", "[COMMAND]", "a command's usage, options and exit codes", 1, RunHelp}};

} // namespace

} // namespace Cli

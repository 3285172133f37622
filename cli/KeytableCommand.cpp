// kvplm keytable: the keyboard table of an HID reader.
//   kvplm keytable PORT                 the reader's table ("Aus Gerät laden")
//   kvplm keytable --host [--layout L]  the table this computer's (or the named) layout gives
//   kvplm keytable PORT --set FILE.mkr  transfers a file's table to the reader
#include "Commands.h"
#include "HostKeyboard.h"
#include "ParamRegisterkarteHID.h"
#include "ProfileFile.h"
#include "SetupCliHost.h"
#include "WinLatin1.h"

#include <cstdio>
#include <unistd.h>

namespace Cli {

namespace {

// text filled up with blanks to width characters (not bytes: "°" is two).
std::string Padded(const std::string& text, size_t width) {
    const size_t length = WinLatin1::Length(text);
    return length >= width ? text : text + std::string(width - length, ' ');
}

} // namespace

void PrintKeyTable(const CHidKeyTable& table) {
    using L = CHidKeyTable::Level;
    // A character as UTF-8, "--" for none (no single character reads so).
    auto shown = [](uint8_t c) { return c ? WinLatin1::ToUtf8(c) : std::string("--"); };
    int keys = 0;
    for (int scan = 0; scan < CHidKeyTable::ScanCodes; ++scan) {
        const uint8_t normal = table.Char(scan, L::Normal), shift = table.Char(scan, L::Shift),
                      altGr = table.Char(scan, L::AltGr);
        if (!normal && !shift && !altGr) continue;
        const int button = CHidKeyTable::ButtonOfScanCode(scan);
        const std::string caption = button < 0 ? "" : CHidKeyTable::Buttons()[size_t(button)].caption;
        std::printf("  %02X %s Normal %s  Shift %s  AltGr %s\n", scan, Padded(caption, 3).c_str(),
                    Padded(shown(normal), 2).c_str(), Padded(shown(shift), 2).c_str(), shown(altGr).c_str());
        ++keys;
    }
    if (!keys) std::printf("  (no keys)\n");
}

namespace {

// A key with no button is kept in the table and the file, but no reader gets it.
int RunKeytable(Options& options) {
    const bool hostLayout = TakeFlag(options.args, "--host");
    std::string layout, file;
    const bool named = TakeOption(options.args, "--layout", layout);
    const bool set = TakeOption(options.args, "--set", file);

    if (hostLayout || named) {
        if (set) throw UsageError{"--set takes a reader's PORT, not --host or --layout"};
        NoMoreArgs(options);
        CHidKeyTable table;
        std::string error;
        HostKeyboard::Source source;
        const bool made = named ? HostKeyboard::FromLayout(table, layout, &error)
                                : HostKeyboard::FromHost(table, &error, &source);
        if (!made) {
            std::fprintf(stderr, "kvplm: %s\n", error.c_str());
            return ExitFileError; // no keymap for the layout
        }
        std::printf("Keyboard table of %s\n", named ? layout.c_str() : source.describe.c_str());
        PrintKeyTable(table);
        return ExitOk;
    }

    const std::string port = TakePort(options);
    NoMoreArgs(options);
    CParamRegisterkarteHID page;
    if (set) {
        if (file.empty()) throw UsageError{"--set needs FILE.mkr"};
        CProfileFile profile;
        CProfileFile::Status status;
        if (access(file.c_str(), R_OK) != 0 || !profile.Load(file, status) || status.missing) {
            std::fprintf(stderr, "kvplm: cannot read %s%s%s\n", file.c_str(), status.what.empty() ? "" : ": ",
                         status.what.c_str());
            return ExitFileError;
        }
        if (!CHidKeyTable::InProfile(profile)) {
            std::fprintf(stderr, "kvplm: %s has no keyboard table (section %s)\n", file.c_str(),
                         CHidKeyTable::Section);
            return ExitFileError;
        }
        page.ReadKeyTable(profile);
    }

    CSetupCliHost host(port, options);
    if (!host.IsHid()) {
        std::fprintf(stderr, "kvplm: %s is not an HID reader (its port name has no \"HID\")\n", port.c_str());
        return ExitFailed;
    }
    if (!set) {
        if (!page.LoadFromDevice(host)) return ExitFailed;
        std::printf("Keyboard table of the reader\n");
        PrintKeyTable(page.Table());
        return ExitOk;
    }
    const SetupConnection connection = host.Connect(true);
    if (!connection.Connected()) {
        host.ShowMessage(SetupMessage::FromId(522));
        return ExitFailed;
    }
    bool transferred = false;
    if (std::unique_ptr<IHidChannel> channel = page.ChannelFactory()(connection.session))
        transferred = page.Table().Transfer(*channel);
    host.CloseSession(connection.session);
    if (!transferred) {
        std::fprintf(stderr, "kvplm: the reader did not take the keyboard table\n");
        return ExitFailed;
    }
    std::printf("Keyboard table of %s transferred (%zu key settings)\n", file.c_str(),
                page.Table().TransferReports().size());
    return ExitOk;
}

const Registration keytable{{"keytable", "PORT [--set FILE] | --host",
                             "an HID reader's keyboard table, or the computer's (--layout L)", 24,
                             RunKeytable}};

} // namespace

} // namespace Cli

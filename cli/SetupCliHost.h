// The Morvane procedures on a terminal: message boxes are printed (errors on
// stderr, line ends as LF), "connect with the stored settings" opens PORT
// with the global --baud/--format/--timeout exactly as the connect
// procedure does, settings live in memory for the run, and the file dialogs
// answer with the file named on the command line. PORT "-" connects with
// Morvane's stored settings and reads and writes them.
#pragma once

#include "Cli.h"
#include "HidKeyTable.h"
#include "KonfigDaten.h"
#include "Progress.h"
#include "ReaderConnect.h"
#include "SeriellEinstellModel.h"
#include "SetupHost.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Cli {

class CSetupCliHost : public ISetupHost {
public:
    CSetupCliHost(const std::string& port, const Options& options, const std::string& file = "");

    MessageAnswer ShowMessage(const SetupMessage& message) override;
    SetupConnection Connect(bool withMessages) override;
    void CloseSession(int session) override;
    std::string GetSetting(const std::string& section, const std::string& key,
                           const std::string& fallback) override;
    void SetSetting(const std::string& section, const std::string& key, const std::string& value) override;
    std::optional<std::string> ChooseOpenFile() override;
    std::optional<std::string> ChooseSaveFile() override;
    // On a terminal: the block being written on a progress line.
    void WritingBlock(const char* name, int index, int count) override;

    // Connection flags the pages are built with for this port (before any
    // connect): ConnectionFlag::OfConnection of its transport.
    int Flags() const;
    bool IsHid() const;
    // PORT, or for "-" the link port name of Morvane's stored settings.
    std::string LinkPortName() const;
    // The result of the last connect (device name, firmware).
    const ReaderConnect::Result& LastConnect() const { return m_last; }
    // Whether an error message was shown.
    bool ShowedError() const { return m_error; }

private:
    std::string m_port;
    std::string m_file;
    Options m_options;
    std::map<std::string, std::string> m_settings;
    ReaderConnect::Result m_last;
    bool m_error = false;
    ProgressLine m_progress;
};

// "\r\n" and lone "\r" as "\n".
std::string WithLf(const std::string& text);

// One line on stderr for each value of the pages that had no button and was
// replaced by its default; source names where the value came from.
void ReportReplacements(const std::vector<ValueReplacement>& replaced, const std::string& source);

// A .mkr file loaded for show and preview: a file with a keyboard table was
// saved for an HID reader and is loaded as that reader's dialog loads it.
// Null, with the message on stderr, when the file cannot be read or is no
// configuration; hid tells which reader the model is of.
std::unique_ptr<CSeriellEinstellModel> LoadShownFile(ISetupHost& host, const std::string& file, bool& hid);

// A keyboard table on stdout, one line per scan code that has characters:
// "  10 Q   Normal q   Shift Q   AltGr @" ("--" for none; a key without a
// button has no caption).
void PrintKeyTable(const CHidKeyTable& table);

} // namespace Cli

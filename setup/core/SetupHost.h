// What the Morvane procedures need from their surroundings: message boxes,
// connecting with the stored settings, closing a session, the settings store,
// the file dialogs and a few display hooks. The dialogs implement it with
// widgets, the command line with a terminal, tests with recorders.
#pragma once

#include <optional>
#include <string>

enum class MessageIcon { None, Information, Exclamation, Error, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// A modal message box with the program's title.
struct SetupMessage {
    int id = 0;       // string table id of the text (0: a text without id)
    std::string text; // the text to show, looked up and filled in
    MessageIcon icon = MessageIcon::Exclamation;
    MessageButtons buttons = MessageButtons::Ok;
    int control = 0; // a page's control that failed validation and gets the focus (0: none)

    // The text of id, filled with printf-style arguments.
    static SetupMessage FromId(int id, MessageIcon icon = MessageIcon::Exclamation);
};

// The pages of the programming dialog, in tab order.
enum class SetupPage { Param, Prefix, Daten, Suffix, Abziehen, Trenner };

// Result of "connect with the stored settings".
struct SetupConnection {
    int code = 1;     // 0 connected; 1 the port did not open, 2 no identification, 4 device refused
    int session = 0;  // Link API session id (> 0 when connected)
    int baud = 19200; // the baud rate in use
    int flags = 0;    // ConnectionFlag bits (LinkVocabulary.h)
    bool Connected() const { return code == 0 && session > 0; }
};

class ISetupHost {
public:
    virtual ~ISetupHost() = default;

    // Shows the message modally and returns the answer (Ok for an Ok box).
    virtual MessageAnswer ShowMessage(const SetupMessage& message) = 0;

    // Connect with the stored settings; with messages on, a failure shows
    // 521 (code 1) or 522 (codes 2 and 4) before returning.
    virtual SetupConnection Connect(bool withMessages) = 0;
    // Closes a session: LinkSetState 2, then LinkClose.
    virtual void CloseSession(int session) = 0;

    // The settings store (PortSettings::Baudrate and Name of "Port", "Settings"/"LastPfad").
    virtual std::string GetSetting(const std::string& section, const std::string& key,
                                   const std::string& fallback) = 0;
    virtual void SetSetting(const std::string& section, const std::string& key, const std::string& value) = 0;

    // The standard file dialogs of "Laden" and "Speichern" (filter *.mkr);
    // nothing = cancelled.
    virtual std::optional<std::string> ChooseOpenFile() { return std::nullopt; }
    virtual std::optional<std::string> ChooseSaveFile() { return std::nullopt; }

    // Display hooks: the parameter page's "Aktuell:" field got a new value;
    // a page's control should get the focus; the read-back report grew.
    virtual void CurrentBaudRateShown(int /*baud*/) {}
    virtual void FocusControl(SetupPage /*page*/, int /*control*/) {}
    virtual void ReportUpdated(const std::string& /*report*/) {}
    // Programming is about to write block index (1..count) of its blocks,
    // named as the file names them; for a progress display.
    virtual void WritingBlock(const char* /*name*/, int /*index*/, int /*count*/) {}
};

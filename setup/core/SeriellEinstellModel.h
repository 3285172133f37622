// CSeriellEinstellModel: the programming dialog's document without its
// widgets. It owns the six pages (parameter, Prefix, data, Suffix, Abziehen,
// Register Trenner), the session, baud rate and connection flags the dialog
// was opened with, and the caption; and it runs the dialog's procedures:
// reading the reader's blocks when the dialog opens, "Laden" and
// "Speichern". Messages, file choice, connecting and settings go through an
// ISetupHost.
//
// "Speichern" collects every key in memory and writes the file in one piece
// (temporary file, then rename) only when all pages validated: a page that
// fails leaves the file as it was, and a file that cannot be written is
// reported with the system's reason, not ignored. Nothing counts as saved
// that would not load back: a sequence longer than a file holds is written
// with its first 15 codes and reported.
//
// "Laden" refuses what is no configuration (a file with none of the
// sections Prefix, Data, Suffix, Abziehen, Termix, a device, a pipe, a file
// over 1 MiB) and leaves the pages and the caption as they were.
#pragma once

#include "ConfigImage.h"
#include "DatenRegisterkarte.h"
#include "EingabeBasisRegisterkarte.h"
#include "KonfigDaten.h"
#include "LinkVocabulary.h"
#include "ParamRegisterkarte.h"
#include "ParamRegisterkarteHID.h"
#include "SetupHost.h"

#include <optional>
#include <string>
#include <vector>

class CProfileFile;

class CSeriellEinstellModel {
public:
    // session 0 = none; baud = the baud rate in use; flags = connection flags.
    CSeriellEinstellModel(int session = 0, int baud = 19200, int connectionFlags = 0);

    // The parameter page of a normal reader; for an HID reader (flag 0x200)
    // the dialog shows ParamHid() in its place and the procedures use that.
    CParamRegisterkarte& Param() { return m_param; }
    CParamRegisterkarteHID& ParamHid() { return m_paramHid; }
    CDatenRegisterkarte& Daten() { return m_daten; }
    CEingabeBasisRegisterkarte& Prefix() { return m_prefix; }
    CEingabeBasisRegisterkarte& Suffix() { return m_suffix; }
    CEingabeBasisRegisterkarte& Abziehen() { return m_abziehen; }
    CEingabeBasisRegisterkarte& Trenner() { return m_trenner; }
    // Prefix, Suffix, Abziehen or Trenner; null for the other pages.
    CEingabeBasisRegisterkarte* KeyPage(SetupPage page);
    // The .mkr section of a key sequence page: "Prefix", "Suffix", "Abziehen", "Termix".
    static const char* Section(SetupPage page);

    int Session() const { return m_session; }
    void SetSession(int session) { m_session = session; }
    int Baud() const { return m_baud; }
    void SetBaud(int baud) { m_baud = baud; }
    int Flags() const { return m_flags; }
    bool IsHid() const { return (m_flags & ConnectionFlag::Hid) != 0; }
    bool IsNetwork() const { return (m_flags & ConnectionFlag::Network) != 0; }

    // 508, or after a load or save 508 " - " and the file's full path.
    const std::string& Caption() const { return m_caption; }

    // "Settings"/"LastPfad": when empty, the program's folder and "test.mkp".
    static void InitLastPath(ISetupHost& host);

    // Which blocks reached their pages when the dialog opened.
    struct ReaderRead {
        bool connected = false;
        bool modeParam = false, param = false, prefix = false, suffix = false, postcode = false,
             termix = false;
        bool AllRead() const { return modeParam && param && prefix && suffix && postcode && termix; }
        // Read, and taken over by its page: a Param block of another length,
        // or values the page's checks refuse, leave the page at its defaults
        // (after the check's message), which are not what the reader holds.
        // A ModeParam block shorter than its four bytes is not taken either.
        bool modeParamTaken = false, paramTaken = false;
        bool AllTaken() const { return AllRead() && modeParamTaken && paramTaken; }
        // HID reader: the keyboard table was read (silently) after the blocks.
        bool keyTable = false;
    };
    // Opening the dialog: connect if there is no session (with messages), read
    // the six blocks into the pages (a block that cannot be read leaves its
    // page as it is), for an HID reader then the keyboard table without any
    // message, close the session.
    ReaderRead ReadFromReader(ISetupHost& host);

    // "Laden": ask 516 when something changed (Yes saves first), choose the
    // file, load it. True when a file was loaded.
    bool Load(ISetupHost& host);
    // The loading itself, for a chosen file. False (with a message) only when
    // the file exists but cannot be read.
    bool LoadFile(ISetupHost& host, const std::string& path);
    // Whether "Laden" has to ask first (a validation message of the data page
    // is shown through host).
    bool NeedsSaving(ISetupHost& host);

    enum class SaveResult {
        Saved,    // the file holds the pages
        Cut,      // written, but a sequence kept only its first 15 codes (594 shown);
                  // the caption and the changed flags stay as they were
        NotSaved, // cancelled, a page did not validate, or the file could not be written
    };
    // "Speichern": validate, choose the file, write it.
    SaveResult SaveDocument(ISetupHost& host);
    // True when saved completely.
    bool Save(ISetupHost& host) { return SaveDocument(host) == SaveResult::Saved; }

    // The values of the data and parameter pages that had no button when they
    // were read (from the reader or the file) and were replaced by defaults.
    std::vector<ValueReplacement> Replacements() const;
    // The first key sequence page whose section the last file did not load
    // (message 531), or null. Programming refuses to run while there is one.
    const CEingabeBasisRegisterkarte* RefusedSequence() const;

    // What programming would write, built as programming builds it (for
    // display). A page that does not validate gives its message instead.
    struct Image {
        KonfigDaten record;
        ConfigImage::Bytes param, modeParam, prefix, suffix, postcode, termix;
    };
    std::optional<SetupMessage> BuildImage(Image& image);

    // The HID interface channel of a session, for reading and transferring
    // the keyboard table (the Link API's by default; tests give a fake).
    void SetHidChannelFactory(HidChannelFactory channels);
    const HidChannelFactory& HidChannels() const { return m_paramHid.ChannelFactory(); }
    // The outcome of the keyboard table transfer of the last programming of
    // an HID reader (nothing before one ran that far). It does not change
    // the result of programming.
    const std::optional<bool>& KeyTableTransferred() const { return m_keyTableTransferred; }
    void SetKeyTableTransferred(bool transferred) { m_keyTableTransferred = transferred; }

private:
    void SetCaptionPath(const std::string& path);

    int m_session;
    int m_baud;
    int m_flags;
    CParamRegisterkarte m_param;
    CParamRegisterkarteHID m_paramHid;
    CEingabeBasisRegisterkarte m_prefix;
    CDatenRegisterkarte m_daten;
    CEingabeBasisRegisterkarte m_suffix;
    CEingabeBasisRegisterkarte m_abziehen;
    CEingabeBasisRegisterkarte m_trenner;
    std::string m_caption;
    std::optional<bool> m_keyTableTransferred;
};

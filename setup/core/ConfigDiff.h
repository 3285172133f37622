// ConfigDiff: two reader configurations compared field by field, in the
// terms of the programming dialog's pages.
//
// A configuration is what a reader holds or what programming a file would
// write: the Param and ModeParam blocks, the four key sequences, for an HID
// reader the keyboard table, and the baud rate where there is one to compare.
// Both sides are compared as blocks, so a file and the reader it was
// programmed into compare equal (a cycle time of 1050 ms in a file reaches the
// reader as 1000 ms and is compared as that), and a value that no page button
// has (a representation 7 in a reader) is shown as it is, not as the default
// a page would take over instead.
//
// The baud rate is compared only where both sides have one: a file has the
// rate its programming sets, a reader on a serial line the rate it answers
// at. Network, USB and HID readers have none (programming does not change
// theirs), so comparing them with a file never fails on it.
//
// The keyboard table of an HID reader is compared key by key, for the keys
// that have a button on the HID parameter page (only those travel to and
// from the reader). A reader reports only the characters 32..126, so when
// one side is a reader the other characters are left out on both sides.
//
// Field names and values are the texts of the Morvane tables: German, or the
// language module's English when one is loaded.
#pragma once

#include "ConfigImage.h"
#include "HidKeyTable.h"
#include "SeriellEinstellModel.h"
#include "SetupHost.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ConfigDiff {

using Bytes = ConfigImage::Bytes;

struct Configuration {
    bool hid = false;
    bool fromReader = false; // read out of a reader (its table only knows 32..126)
    Bytes param;             // 24 bytes (a reader may give another length)
    Bytes modeParam;         // 4 bytes
    // The codes of Prefix, Suffix, Abziehen, Register Trenner (without the end mark).
    std::array<Bytes, 4> sequences{};
    std::optional<int> baudRate;          // none: not known or not compared
    std::optional<CHidKeyTable> keyTable; // HID only; none: the file has no table
};

// One difference: the field as the pages name it, the values of the two sides.
struct Difference {
    std::string field;
    std::string left, right;
};

// What programming would write for an image (CSeriellEinstellModel::BuildImage).
// baudRate: the rate programming sets (0: none).
Configuration FromImage(const CSeriellEinstellModel::Image& image, bool hid, int baudRate,
                        const CHidKeyTable* table);

// A .mkr file, loaded as "Laden" loads it into fresh pages of a normal reader,
// or of an HID reader when hid is set or the file has a keyboard table.
// Failures (the file does not load, a key sequence is refused, a page does
// not pass its checks) are shown through host; nothing then. replaced gets
// the values that had no button and became their defaults (programming the
// file writes the defaults, so they are compared as those).
std::optional<Configuration> LoadFile(ISetupHost& host, const std::string& path, bool hid = false,
                                      std::vector<ValueReplacement>* replaced = nullptr);
// Whether the file has a keyboard table (was saved for an HID reader).
bool FileIsHid(const std::string& path);

// Connects with the stored settings (messages on) and reads the six blocks as
// the read-back reads them, for an HID reader then its keyboard table through
// channels; closes the session. A block or the table that cannot be read,
// and a Param or ModeParam block too short to decode, are shown through host;
// nothing then.
std::optional<Configuration> ReadReader(ISetupHost& host,
                                        const HidChannelFactory& channels = LinkHidChannels());

// Every field that differs, in the order of the pages: parameters, data, the
// key sequences, the keyboard table.
std::vector<Difference> Compare(const Configuration& left, const Configuration& right);

// "Zykluszeit: 500 ms -> 1000 ms"
std::string Line(const Difference& difference);

// A key sequence as its page names its codes: "STX, A, CR (Enter)"; "keine" when empty.
std::string SequenceText(const Bytes& codes);

} // namespace ConfigDiff

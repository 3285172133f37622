// kvplm preview FILE.mkr: what a reader programmed with the file sends for a
// sample transponder (the telegram and the removal sequence, hex and
// printable), and for a file saved for an HID reader the keys it presses and
// what a host with a given keyboard layout makes of them.
#include "Commands.h"
#include "EpcOutput.h"
#include "OutputPreview.h"
#include "ProfileFile.h"
#include "SeriellEinstellModel.h"
#include "SetupCliHost.h"

#include <cctype>
#include <cstdio>
#include <unistd.h>

namespace Cli {

namespace {

// Hex digits in pairs; blanks, colons, commas and dashes between them are
// allowed ("E2003412", "E2 00 34 12").
Bytes ParseHexText(const std::string& text, const std::string& what) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == ',' || c == '-') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            throw UsageError{what + ": \"" + text + "\" is not hex"};
        digits += c;
    }
    if (digits.size() % 2) throw UsageError{what + ": \"" + text + "\" has an odd number of hex digits"};
    Bytes bytes;
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string KeyText(const ReaderOutput::Key& key) {
    char text[32];
    std::snprintf(text, sizeof text, "usage %02X modifier %02X", key.usage, key.modifier);
    return text;
}

std::string Padded(std::string text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

// "  label      value", without trailing blanks when the value is empty.
void PrintField(const char* label, const std::string& value) {
    if (value.empty())
        std::printf("  %s\n", label);
    else
        std::printf("  %s%s\n", Padded(label, 11).c_str(), value.c_str());
}

void PrintSequence(const char* title, const OutputPreview::Sequence& sequence, bool hid) {
    std::printf("%s\n", title);
    PrintField("hex", sequence.hex);
    PrintField("printable", sequence.printable);
    if (!hid) return;
    std::printf("  keys\n");
    for (size_t i = 0; i < sequence.keys.size(); ++i) {
        const OutputPreview::TypedKey& k = sequence.keys[i];
        std::string line = "    " + Padded(OutputPreview::CharacterName(k.character), 6);
        line += k.key.usage ? KeyText(k.key) : Padded("no key", 23);
        if (k.key.usage) {
            line += "  host ";
            line += Padded(k.hostCharacter ? OutputPreview::CharacterName(*k.hostCharacter) : "--", 6);
        }
        if (k.mismatch) line += "  MISMATCH " + k.Describe();
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::printf("%s\n", line.c_str());
    }
    PrintField("host text", sequence.hostText);
}

std::string KeysJson(const OutputPreview::Sequence& sequence) {
    std::vector<std::string> items;
    for (const OutputPreview::TypedKey& k : sequence.keys) {
        char head[96];
        std::snprintf(head, sizeof head,
                      "{\"character\":%u,\"usage\":%u,\"modifier\":%u,\"host\":", unsigned(k.character),
                      unsigned(k.key.usage), unsigned(k.key.modifier));
        std::string item = head;
        item += k.hostCharacter ? std::to_string(unsigned(*k.hostCharacter)) : "null";
        item += std::string(",\"mismatch\":") + (k.mismatch ? "true" : "false");
        if (k.mismatch) item += ",\"text\":" + JsonString(k.Describe());
        items.push_back(item + "}");
    }
    return JsonArray(items);
}

std::string SequenceJson(const OutputPreview::Sequence& sequence, bool hid) {
    std::vector<std::string> pieces;
    for (const ReaderOutput::Piece& piece : sequence.pieces)
        pieces.push_back("{\"pause_ms\":" + std::to_string(piece.pauseBefore.count()) +
                         ",\"hex\":" + JsonString(Hex(piece.bytes)) + "}");
    std::string json = "{\"hex\":" + JsonString(Hex(sequence.bytes)) +
                       ",\"printable\":" + JsonString(sequence.printable) +
                       ",\"pieces\":" + JsonArray(pieces);
    if (hid)
        json += ",\"keys\":" + KeysJson(sequence) + ",\"host_text\":" + JsonString(sequence.hostText) +
                ",\"mismatches\":" + std::to_string(sequence.mismatches.size());
    return json + "}";
}

int RunPreview(Options& options) {
    const bool json = TakeFlag(options.args, "--json");
    std::string tagText, tidText, userText, layoutName;
    const bool tagGiven = TakeOption(options.args, "--tag", tagText);
    const bool tidGiven = TakeOption(options.args, "--tid", tidText);
    const bool userGiven = TakeOption(options.args, "--user", userText);
    const bool layoutGiven = TakeOption(options.args, "--host-layout", layoutName);
    if (options.args.empty() || options.args.front().empty()) throw UsageError{"FILE.mkr is missing"};
    const std::string file = options.args.front();
    options.args.erase(options.args.begin());
    NoMoreArgs(options);
    if (layoutGiven && layoutName.empty()) throw UsageError{"--host-layout: the layout name is missing"};

    OutputPreview::Sample sample = OutputPreview::Sample::Default();
    if (tagGiven) {
        sample.epc = ParseHexText(tagText, "--tag");
        if (sample.epc.empty()) throw UsageError{"--tag: the EPC is missing"};
        if (sample.epc.size() > ReaderOutput::TagMemory::MaxEpcSize)
            throw UsageError{"--tag: an EPC has at most 62 bytes"};
        if (!tidGiven) sample.tid.clear(); // derived from this EPC
    }
    if (tidGiven) sample.tid = ParseHexText(tidText, "--tid");
    if (userGiven) sample.user = ParseHexText(userText, "--user");

    CSetupCliHost host("", options, file);
    bool hid = false;
    const std::unique_ptr<CSeriellEinstellModel> shown = LoadShownFile(host, file, hid);
    if (!shown) return ExitFileError;
    CSeriellEinstellModel& model = *shown;
    OutputPreview::Config config;
    if (auto message = OutputPreview::FromModel(model, config)) {
        host.ShowMessage(*message);
        return ExitFileError;
    }

    OutputPreview::HostLayout layout;
    if (hid) {
        std::string error;
        if (!OutputPreview::LoadHostLayout(layoutName, layout, &error)) {
            std::fprintf(stderr, "kvplm: no keymap for the host layout %s: %s\n",
                         layoutName.empty() ? "of this computer" : layoutName.c_str(), error.c_str());
            return ExitFileError;
        }
    } else if (layoutGiven) {
        std::fprintf(stderr, "kvplm: %s is no HID reader's file: --host-layout does not apply\n",
                     file.c_str());
    }
    const OutputPreview::Preview preview = OutputPreview::Make(config, sample, hid ? &layout : nullptr);
    const ReaderOutput::TagMemory memory = sample.Memory();

    if (json) {
        std::string text =
            "{\"file\":" + JsonString(file) + ",\"reader\":" + JsonString(hid ? "hid" : "serial") +
            ",\"transponder\":{\"epc\":" + JsonString(Hex(memory.Epc())) +
            ",\"tid\":" + JsonString(Hex(memory.tid)) + ",\"user\":" + JsonString(Hex(memory.user)) + "}";
        if (hid) text += ",\"host_layout\":" + JsonString(preview.hostLayout);
        text += ",\"telegram\":" + SequenceJson(preview.telegram, hid) +
                ",\"removal\":" + SequenceJson(preview.removal, hid);
        if (hid) text += ",\"mismatches\":" + std::to_string(preview.Mismatches());
        std::printf("%s}\n", text.c_str());
    } else {
        std::printf("Transponder\n");
        std::printf("  EPC        %s\n", Hex(memory.Epc()).c_str());
        std::printf("  TID        %s\n", Hex(memory.tid).c_str());
        std::printf("  user       %zu bytes\n", memory.user.size());
        PrintSequence("Telegram", preview.telegram, hid);
        PrintSequence("Removal", preview.removal, hid);
        if (hid) {
            std::printf("Host layout %s: ", preview.hostLayout.c_str());
            if (preview.Mismatches() == 0)
                std::printf("no mismatch\n");
            else
                std::printf("%zu mismatch%s\n", preview.Mismatches(), preview.Mismatches() == 1 ? "" : "es");
        }
    }
    return hid && preview.Mismatches() ? ExitFailed : ExitOk;
}

const Registration preview{{"preview",
                            "FILE.mkr [--tag EPC] [--tid HEX] [--user HEX] [--host-layout NAME] [--json]",
                            "what a reader programmed with the file sends for a transponder (HID: the keys, "
                            "and exit 1 when the host "
                            "layout shows other characters; 4 when there is nothing to preview)",
                            24, RunPreview}};

} // namespace

} // namespace Cli

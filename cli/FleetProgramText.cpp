// The parts of programming several readers that do no I/O: the worker's
// report lines, the table and the summary, the comparison of --verify.
#include "FleetProgram.h"

#include <algorithm>
#include <cstdint>

namespace Cli {

namespace {

// A key sequence up to its end mark; a block without one counts whole.
Bytes KeySequence(const Bytes& block) {
    const auto end = std::find(block.begin(), block.end(), uint8_t(0xFF));
    return Bytes(block.begin(), end);
}

// "0D 0A" (this file stands alone in the tests, without Cli.cpp's Hex).
std::string HexText(const uint8_t* data, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i) text += ' ';
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    return text;
}

std::string HexOrNone(const Bytes& bytes) {
    return bytes.empty() ? "nothing" : HexText(bytes.data(), bytes.size());
}

void CompareSequence(const char* name, const Bytes& written, const Bytes& read,
                     std::vector<std::string>& found) {
    const Bytes expected = KeySequence(written), got = KeySequence(read);
    if (expected != got)
        found.push_back(std::string(name) + " reads back as " + HexOrNone(got) + ", written " +
                        HexOrNone(expected));
}

// Every byte written comes back at its place; a reader may answer with more
// (a block of fixed size), not with less.
void CompareRecord(const char* name, const Bytes& written, const Bytes& read,
                   std::vector<std::string>& found) {
    if (read.size() < written.size()) {
        found.push_back(std::string(name) + " reads back " + std::to_string(read.size()) + " of the " +
                        std::to_string(written.size()) + " bytes written");
        return;
    }
    for (size_t i = 0; i < written.size(); ++i) {
        if (read[i] == written[i]) continue;
        found.push_back(std::string(name) + " byte " + std::to_string(i) + " reads back as " +
                        HexText(&read[i], 1) + ", written " + HexText(&written[i], 1));
        return;
    }
}

size_t Characters(const std::string& text) {
    return size_t(
        std::count_if(text.begin(), text.end(), [](char c) { return (uint8_t(c) & 0xC0) != 0x80; }));
}

std::string Padded(const std::string& text, size_t width) {
    const size_t used = Characters(text);
    return used >= width ? text : text + std::string(width - used, ' ');
}

} // namespace

std::vector<std::string> CompareBlocks(const BlockSet& written, const BlockSet& read) {
    std::vector<std::string> found;
    CompareSequence("Prefix", written.prefix, read.prefix, found);
    CompareRecord("Param", written.param, read.param, found);
    CompareRecord("ModeParam", written.modeParam, read.modeParam, found);
    CompareSequence("Suffix", written.suffix, read.suffix, found);
    CompareSequence("Postcode", written.postcode, read.postcode, found);
    CompareSequence("Termix", written.termix, read.termix, found);
    return found;
}

namespace Fleet {

std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        const bool blank = c == '\r' || c == '\n' || c == '\t' || c == ' ';
        if (blank) {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

std::string StepLine(const std::string& step) {
    return "step " + OneLine(step) + "\n";
}

std::string ResultLine(bool ok, const std::string& text) {
    return std::string("result ") + (ok ? "ok " : "failed ") + OneLine(text) + "\n";
}

std::optional<Event> ParseLine(const std::string& line) {
    Event event;
    if (line.rfind("step ", 0) == 0 && line.size() > 5) {
        event.kind = Event::Kind::Step;
        event.text = line.substr(5);
        return event;
    }
    for (const bool ok : {true, false}) {
        const std::string head = ok ? "result ok " : "result failed ";
        if (line.rfind(head, 0) != 0) continue;
        event.kind = Event::Kind::Result;
        event.ok = ok;
        event.text = line.substr(head.size());
        return event;
    }
    return std::nullopt;
}

std::string CutToWidth(const std::string& text, size_t width) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((uint8_t(text[i]) & 0xC0) == 0x80) continue;
        if (characters == width) return text.substr(0, i);
        ++characters;
    }
    return text;
}

std::vector<std::string> TableLines(const std::vector<Row>& rows, size_t width) {
    size_t readerWidth = 6;
    for (const Row& row : rows)
        readerWidth = std::max(readerWidth, Characters(row.reader));
    readerWidth += 2;
    constexpr size_t stepWidth = 12;
    std::vector<std::string> lines;
    auto add = [&](const std::string& reader, const std::string& step, const std::string& result) {
        std::string line = Padded(reader, readerWidth) + Padded(step, stepWidth) + result;
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        lines.push_back(CutToWidth(line, width));
    };
    add("reader", "step", "result");
    for (const Row& row : rows)
        add(row.reader, row.step, row.result);
    return lines;
}

bool ReaderOrder(const std::string& a, const std::string& b) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && digit(a[ei]))
                ++ei;
            while (ej < b.size() && digit(b[ej]))
                ++ej;
            // Without leading zeros the longer run is the larger number.
            std::string x = a.substr(i, ei - i), y = b.substr(j, ej - j);
            x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
            y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::string Summary(size_t programmed, size_t failed) {
    const size_t all = programmed + failed;
    return std::to_string(all) + (all == 1 ? " reader: " : " readers: ") + std::to_string(programmed) +
           " programmed, " + std::to_string(failed) + " failed";
}

} // namespace Fleet

} // namespace Cli

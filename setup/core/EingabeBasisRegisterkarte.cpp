#include "EingabeBasisRegisterkarte.h"

#include "KeyCodes.h"
#include "ProfileFile.h"
#include "SetupText.h"
#include "WinLatin1.h"

#include <algorithm>
#include <cstdio>

namespace {

int HexDigit(char32_t c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'A' && c <= 'F') return int(c - 'A') + 10;
    if (c >= 'a' && c <= 'f') return int(c - 'a') + 10;
    return -1;
}

} // namespace

CEingabeBasisRegisterkarte::CEingabeBasisRegisterkarte(int captionId, int headerId, bool hid)
    : m_captionId(captionId), m_headerId(headerId), m_hid(hid) {}

std::string CEingabeBasisRegisterkarte::Caption() const {
    return SetupText::Get(m_captionId);
}

std::string CEingabeBasisRegisterkarte::Header() const {
    return SetupText::Get(m_headerId);
}

std::string CEingabeBasisRegisterkarte::RowText(const KeyItem& item) {
    char code[16];
    std::snprintf(code, sizeof code, "%02X H     ", item.code);
    return code + item.name;
}

std::vector<std::string> CEingabeBasisRegisterkarte::Rows() const {
    std::vector<std::string> rows;
    for (const KeyItem& item : m_items)
        rows.push_back(RowText(item));
    return rows;
}

void CEingabeBasisRegisterkarte::TypeEntry(const std::string& text) {
    m_entry.text = text;
    m_entry.listSelection = -1;
    m_entry.textSelected = false;
}

void CEingabeBasisRegisterkarte::PickEntry(int code) {
    if (code < 0 || code >= KeyCodes::ListSize) {
        m_entry.listSelection = -1;
        return;
    }
    m_entry.listSelection = code;
    m_entry.text = KeyCodes::ListEntry(code);
    m_entry.textSelected = false;
}

void CEingabeBasisRegisterkarte::SelectRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [this](int row) { return row < 0 || row >= int(m_items.size()); }),
               rows.end());
    m_selected = std::move(rows);
}

std::optional<SetupMessage> CEingabeBasisRegisterkarte::Accept() {
    m_focusEntry = false;
    const int noted = m_selected.empty() ? -1 : m_selected.front();
    int code = 255;
    std::string name;
    bool lookupFailed = false;

    if (m_entry.listSelection >= 0 && m_entry.listSelection < KeyCodes::ListSize) {
        code = m_entry.listSelection;
        name = KeyCodes::ListEntry(code);
    } else {
        const std::vector<char32_t> chars = WinLatin1::Decode(m_entry.text);
        const int first = chars.empty() ? -1 : HexDigit(chars[0]);
        if (chars.size() == 1) {
            // The character's value in the Windows Latin 1 code page; one it
            // cannot hold is no valid code.
            const int byte = WinLatin1::Byte(chars[0]);
            code = byte < 0 ? 256 : byte;
            m_entry.listSelection = code < KeyCodes::ListSize ? code : -1;
            name = chars[0] == U' ' ? "SP" : WinLatin1::Encode(chars[0]);
        } else if (chars.size() == 2 && first >= 0 && first <= 8) {
            const int second = HexDigit(chars[1]);
            if (second < 0) {
                m_entry.textSelected = true;
                return SetupMessage::FromId(529, MessageIcon::Exclamation);
            }
            code = first * 16 + second;
            name = KeyCodes::Name(static_cast<uint8_t>(code));
        } else {
            const int found = KeyCodes::FindEntry(m_entry.text);
            if (found >= 0) {
                code = found;
                m_entry.listSelection = found;
                name = KeyCodes::ListEntry(found);
            } else {
                code = 255;
                lookupFailed = true;
            }
        }
    }
    if (!lookupFailed) m_entry.textSelected = true;
    if (code > 143) return SetupMessage::FromId(529, MessageIcon::Exclamation);

    std::optional<SetupMessage> message;
    if (int(m_items.size()) < MaxItems) {
        const KeyItem item{static_cast<uint8_t>(code), name};
        if (noted >= 0 && noted <= int(m_items.size()))
            m_items.insert(m_items.begin() + noted, item);
        else
            m_items.push_back(item);
        Edited();
    } else {
        message = SetupMessage::FromId(530, MessageIcon::None);
    }
    if (noted >= 0) SelectRows({noted});
    m_focusEntry = true;
    return message;
}

std::optional<SetupMessage> CEingabeBasisRegisterkarte::DeleteSelected() {
    m_focusEntry = false;
    if (m_selected.empty()) return SetupMessage::FromId(528, MessageIcon::Exclamation);
    // One after the other, as a list control deletes: each later row has
    // moved up by the rows deleted before it.
    int last = -1;
    int removed = 0;
    for (int row : m_selected) {
        const int at = row - removed;
        m_items.erase(m_items.begin() + at);
        last = at;
        ++removed;
    }
    m_selected.clear();
    if (last >= 0 && last < int(m_items.size())) m_selected.push_back(last);
    m_entry.text.clear();
    m_entry.listSelection = -1;
    m_entry.textSelected = false;
    m_focusEntry = true;
    Edited();
    return std::nullopt;
}

void CEingabeBasisRegisterkarte::Edited() {
    m_changed = true;
    m_loadRefused = false;
}

void CEingabeBasisRegisterkarte::ClearAll() {
    m_items.clear();
    m_selected.clear();
    Edited();
}

void CEingabeBasisRegisterkarte::MoveUp() {
    if (m_selected.empty()) return;
    const int row = m_selected.front();
    if (row <= 0) return;
    std::swap(m_items[size_t(row)], m_items[size_t(row - 1)]);
    m_selected = {row - 1};
    Edited();
}

void CEingabeBasisRegisterkarte::MoveDown() {
    if (m_selected.empty()) return;
    const int row = m_selected.front();
    if (row + 1 >= int(m_items.size())) return;
    std::swap(m_items[size_t(row)], m_items[size_t(row + 1)]);
    m_selected = {row + 1};
    Edited();
}

void CEingabeBasisRegisterkarte::Empty() {
    m_items.clear();
    m_selected.clear();
}

void CEingabeBasisRegisterkarte::SetCodes(const std::vector<uint8_t>& codes) {
    m_items.clear();
    for (uint8_t code : codes)
        m_items.push_back(KeyItem{code, KeyCodes::Name(code)});
    m_selected.clear();
    m_loadRefused = false;
}

void CEingabeBasisRegisterkarte::FromBlock(const uint8_t* bytes, size_t count) {
    std::vector<uint8_t> codes;
    if (bytes && count > 1) codes.assign(bytes, bytes + count - 1);
    SetCodes(codes);
}

void CEingabeBasisRegisterkarte::AppendBlock(std::vector<uint8_t>& block) const {
    for (const KeyItem& item : m_items)
        block.push_back(item.code);
    block.push_back(0xFF);
}

std::vector<uint8_t> CEingabeBasisRegisterkarte::ToBlock() const {
    std::vector<uint8_t> block;
    AppendBlock(block);
    return block;
}

std::optional<SetupMessage> CEingabeBasisRegisterkarte::ReadProfile(const CProfileFile& file,
                                                                    const std::string& section) {
    const int count = CProfileFile::Atoi(file.GetString(section, "Count", "0", 9));
    if (count > MaxItems) {
        m_loadRefused = true;
        return SetupMessage::FromId(531, MessageIcon::Exclamation);
    }
    std::vector<uint8_t> codes;
    for (int i = 0; i < count; ++i) {
        const std::string key = "Ascii" + std::to_string(i);
        codes.push_back(static_cast<uint8_t>(CProfileFile::Atoi(file.GetString(section, key, "0", 9))));
    }
    SetCodes(codes);
    return std::nullopt;
}

size_t CEingabeBasisRegisterkarte::WriteProfile(CProfileFile& file, const std::string& section) const {
    const size_t count = std::min(m_items.size(), size_t(MaxItems));
    file.Set(section, "Count", std::to_string(count));
    for (size_t i = 0; i < count; ++i)
        file.Set(section, "Ascii" + std::to_string(i), std::to_string(unsigned(m_items[i].code)));
    return count;
}

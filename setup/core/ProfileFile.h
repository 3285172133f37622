// CProfileFile: a .mkr (INI) file in memory, read and written with the
// semantics the configuration depends on:
//  - section and key names match without regard to case (ASCII letters);
//  - values are byte strings, read without surrounding blanks; nothing is
//    transcoded (Latin-1 bytes stay the bytes they are);
//  - a missing file, section or key reads as the default given;
//  - writing a key replaces its value in place, or adds it at the end of its
//    section, or adds the section at the end of the file; every other line
//    (other sections, comments, keys nobody reads any more) stays as it was;
//  - CRLF and LF files both load, a UTF-8 byte order mark is skipped (and
//    written back); new lines take the file's line end, a new file gets CRLF,
//    the line end of the Windows programs that exchange these files.
// Lines starting with ';' are comments; a line without '=' inside a section
// is kept but is not a key. The first of several equal sections (or keys)
// is the one read and written.
//
// Save writes a temporary file in the same folder and renames it over the
// old one, so a file is never left half written.
#pragma once

#include <optional>
#include <string>
#include <vector>

class CProfileFile {
public:
    CProfileFile() = default;

    // The file's text as it was written, in bytes.
    static CProfileFile FromText(const std::string& bytes);

    // Reads path. A missing file gives an empty profile and true; a file that
    // exists but cannot be read gives false with the reason in error.
    bool Load(const std::string& path, std::string* error = nullptr);
    // Writes the profile to path atomically; false with the reason in error.
    bool Save(const std::string& path, std::string* error = nullptr) const;

    // The value of a key without surrounding blanks; nothing when the section
    // or key is missing.
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;
    // The value, cut to maxChars bytes, or fallback when the key is missing
    // (a present but empty value gives "").
    std::string GetString(const std::string& section, const std::string& key, const std::string& fallback,
                          size_t maxChars = std::string::npos) const;
    // The value converted like atoi, or fallback when the key is missing or
    // its value is empty.
    int GetInt(const std::string& section, const std::string& key, int fallback) const;

    // Creates or replaces the key. Line breaks in value are dropped.
    void Set(const std::string& section, const std::string& key, const std::string& value);

    bool HasSection(const std::string& section) const;
    // The file's bytes.
    std::string Text() const;
    bool UsesCrLf() const { return m_eol == "\r\n"; }

    // atoi: leading blanks, an optional sign, then digits up to the first
    // other character; no digits give 0. Overflow wraps around (32 bits).
    static int Atoi(const std::string& text);
    static std::string Trim(const std::string& text);

private:
    struct Line {
        std::string content; // without its line end
        std::string eol;     // "\r\n", "\n" or "" (last line without one)
    };
    struct Parsed {
        enum Kind { Other, Section, Key } kind = Other;
        std::string name;  // section name or key, trimmed
        std::string value; // key value, trimmed
    };

    static Parsed Parse(const std::string& content);
    // Index of the header line of the first section with this name, or npos.
    size_t FindSection(const std::string& section) const;
    // Index of the key line inside the section starting at header, or npos.
    size_t FindKey(size_t header, const std::string& key) const;

    std::vector<Line> m_lines;
    std::string m_eol = "\r\n";
    bool m_bom = false;
};

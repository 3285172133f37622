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
// The lines are indexed once when the text is read (first section of each
// name, first key of each name in it), so a look-up does not scan the file.
//
// Only regular files up to MaxFileSize are read: a configuration is a few
// kilobytes, and a device, a pipe or a huge file is no configuration.
//
// Save writes a temporary file in the target's folder and renames it over
// the old one, so a file is never left half written. A symbolic link is
// written through to its target (a dangling link gets its target created),
// and a file the user may not write is refused, not replaced.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class CProfileFile {
public:
    // The largest file Load reads: 1 MiB.
    static constexpr size_t MaxFileSize = 1024 * 1024;

    // Why a file was not read or written.
    enum class Problem {
        None,
        System,     // a system call failed; error holds its errno
        NotRegular, // a folder, a device, a pipe, a socket
        TooLarge,   // more than MaxFileSize bytes
        ReadOnly,   // the user may not write the file (error: EACCES or EROFS)
    };
    struct Status {
        Problem problem = Problem::None;
        int error = 0;        // errno for System and ReadOnly
        bool missing = false; // Load: the file does not exist (read as empty)
        std::string what;     // "cannot read PATH: reason", for logs and tests
    };

    CProfileFile() = default;

    // The file's text as it was written, in bytes.
    static CProfileFile FromText(const std::string& bytes);

    // Reads path. A missing file gives an empty profile and true (status
    // missing); anything else that cannot be read gives false and the reason.
    bool Load(const std::string& path, std::string* error = nullptr);
    bool Load(const std::string& path, Status& status);
    // Writes the profile to path atomically; false with the reason.
    bool Save(const std::string& path, std::string* error = nullptr) const;
    bool Save(const std::string& path, Status& status) const;

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
    // The first section of a name.
    struct SectionIndex {
        size_t header = 0; // line of its [header]
        size_t last = 0;   // its last non-blank line (the header when it has none)
        // Folded key name -> line, counted from the header; the first of equal keys.
        std::unordered_map<std::string, size_t> keys;
    };

    static Parsed Parse(const std::string& content);
    // ASCII lower case of the trimmed name: the form names are compared in.
    static std::string Fold(const std::string& name);
    void BuildIndex();
    const SectionIndex* FindSection(const std::string& section) const;
    // Inserts a line before line at; the sections after it move down.
    void InsertLine(size_t at, Line line);

    std::vector<Line> m_lines;
    std::string m_eol = "\r\n";
    bool m_bom = false;
    std::vector<SectionIndex> m_sections;                    // in file order
    std::unordered_map<std::string, size_t> m_sectionByName; // folded name -> m_sections index
};

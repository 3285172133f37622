#include "ProfileFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kBlanks = " \t\r\n\v\f";
// Symbolic links followed on the way to a file, as the kernel allows.
constexpr int kMaxLinks = 40;

bool Blank(const std::string& text) {
    return text.find_first_not_of(kBlanks) == std::string::npos;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool Fail(CProfileFile::Status& status, CProfileFile::Problem problem, int error, const std::string& what,
          const std::string& path) {
    status.problem = problem;
    status.error = error;
    status.what = what + " " + path;
    if (error) status.what += std::string(": ") + std::strerror(error);
    return false;
}

// The folder part of a path with its slash ("" for a bare name).
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

std::string CProfileFile::Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string CProfileFile::Fold(const std::string& name) {
    std::string folded = Trim(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return folded;
}

int CProfileFile::Atoi(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::strchr(kBlanks, text[i]) && text[i] != '\0')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        value = value * 10u + uint32_t(text[i++] - '0');
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

CProfileFile CProfileFile::FromText(const std::string& bytes) {
    CProfileFile file;
    size_t start = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        file.m_bom = true;
        start = 3;
    }
    // A file without a single LF whose lines end in CR alone (as old Mac
    // editors write them) would otherwise be one line: its first section
    // header and nothing else, every value a default. Its lines end in CR;
    // any file with an LF is read as before.
    const char lineEnd = bytes.find('\n', start) == std::string::npos ? '\r' : '\n';
    bool eolSeen = false;
    while (start < bytes.size()) {
        const size_t newline = bytes.find(lineEnd, start);
        Line line;
        if (newline == std::string::npos) {
            line.content = bytes.substr(start);
            start = bytes.size();
        } else {
            size_t end = newline;
            line.eol = std::string(1, lineEnd);
            if (lineEnd == '\n' && end > start && bytes[end - 1] == '\r') {
                --end;
                line.eol = "\r\n";
            }
            line.content = bytes.substr(start, end - start);
            start = newline + 1;
            if (!eolSeen) {
                file.m_eol = line.eol;
                eolSeen = true;
            }
        }
        file.m_lines.push_back(std::move(line));
    }
    file.BuildIndex();
    return file;
}

void CProfileFile::BuildIndex() {
    m_sections.clear();
    m_sectionByName.clear();
    // The section whose lines are being indexed: none before the first
    // header and inside a repeated section (the first one is the one used).
    size_t current = std::string::npos;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Parsed parsed = Parse(m_lines[i].content);
        if (parsed.kind == Parsed::Section) {
            const std::string name = Fold(parsed.name);
            if (m_sectionByName.count(name)) {
                current = std::string::npos;
                continue;
            }
            current = m_sections.size();
            m_sectionByName.emplace(name, current);
            SectionIndex section;
            section.header = section.last = i;
            m_sections.push_back(std::move(section));
            continue;
        }
        if (current == std::string::npos) continue;
        SectionIndex& section = m_sections[current];
        if (!Blank(m_lines[i].content)) section.last = i;
        if (parsed.kind == Parsed::Key) section.keys.emplace(Fold(parsed.name), i - section.header);
    }
}

bool CProfileFile::Load(const std::string& path, std::string* error) {
    Status status;
    const bool ok = Load(path, status);
    if (!ok && error) *error = status.what;
    return ok;
}

bool CProfileFile::Load(const std::string& path, Status& status) {
    status = Status();
    // Look before opening: opening a pipe waits for a writer, and opening a
    // serial device may change its modem lines.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) { // a missing file reads as defaults
            *this = CProfileFile();
            status.missing = true;
            return true;
        }
        return Fail(status, Problem::System, errno, "cannot read", path);
    }
    if (!S_ISREG(info.st_mode)) return Fail(status, Problem::NotRegular, 0, "not a regular file:", path);
    if (uintmax_t(info.st_size) > MaxFileSize)
        return Fail(status, Problem::TooLarge, 0, "larger than 1 MiB:", path);

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return Fail(status, Problem::System, errno, "cannot read", path);
    // The name may have been given to something else in between.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Fail(status, Problem::NotRegular, 0, "not a regular file:", path);
    }
    std::string data;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int reason = errno;
            ::close(fd);
            return Fail(status, Problem::System, reason, "cannot read", path);
        }
        data.append(buffer, size_t(n));
        if (data.size() > MaxFileSize) { // it grew while being read
            ::close(fd);
            return Fail(status, Problem::TooLarge, 0, "larger than 1 MiB:", path);
        }
    }
    ::close(fd);
    *this = FromText(data);
    return true;
}

std::string CProfileFile::Text() const {
    std::string text = m_bom ? "\xEF\xBB\xBF" : "";
    for (const Line& line : m_lines)
        text += line.content + line.eol;
    return text;
}

bool CProfileFile::Save(const std::string& path, std::string* error) const {
    Status status;
    const bool ok = Save(path, status);
    if (!ok && error) *error = status.what;
    return ok;
}

bool CProfileFile::Save(const std::string& path, Status& status) const {
    status = Status();
    // Write what a symbolic link points to, not the link; a dangling link
    // gets its target created.
    std::string target = path;
    struct stat info {};
    bool exists = false;
    for (int links = 0;; ++links) {
        if (::lstat(target.c_str(), &info) != 0) {
            if (errno != ENOENT) return Fail(status, Problem::System, errno, "cannot write", target);
            break;
        }
        if (!S_ISLNK(info.st_mode)) {
            exists = true;
            break;
        }
        if (links == kMaxLinks) return Fail(status, Problem::System, ELOOP, "cannot write", path);
        char link[PATH_MAX];
        const ssize_t length = ::readlink(target.c_str(), link, sizeof link - 1);
        if (length < 0) return Fail(status, Problem::System, errno, "cannot write", target);
        if (length == 0) return Fail(status, Problem::System, ENOENT, "cannot write", target);
        const std::string next(link, size_t(length));
        target = next[0] == '/' ? next : FolderOf(target) + next;
    }
    if (exists) {
        if (!S_ISREG(info.st_mode))
            return Fail(status, Problem::NotRegular, 0, "not a regular file:", target);
        // Refused as an editor refuses it, although the folder would let the
        // file be replaced; also for root, who may write anything, a file
        // without any write permission is meant to stay as it is.
        if (::access(target.c_str(), W_OK) != 0)
            return Fail(status, Problem::ReadOnly, errno, "cannot write", target);
        if ((info.st_mode & 0222) == 0)
            return Fail(status, Problem::ReadOnly, EACCES, "cannot write", target);
    }

    const std::string prefix = FolderOf(target);
    const std::string folder = prefix.empty()       ? "."
                               : prefix.size() == 1 ? prefix
                                                    : prefix.substr(0, prefix.size() - 1);
    std::string temp = prefix + "." + target.substr(prefix.size()) + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return Fail(status, Problem::System, errno, "cannot create a file in", folder);
    temp = name.data();

    // The replacement gets the old file's owner and permissions; a new file
    // gets the usual ones.
    mode_t mode = 0;
    if (exists) {
        mode = info.st_mode & 07777;
        (void)::fchown(fd, info.st_uid, info.st_gid); // only as far as the user may give them
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    (void)::fchmod(fd, mode); // a file system without modes still takes the data
    int reason = 0;
    if (!WriteAll(fd, Text()) || ::fsync(fd) != 0) reason = errno;
    if (::close(fd) != 0 && !reason) reason = errno;
    if (reason) {
        ::unlink(temp.c_str());
        return Fail(status, Problem::System, reason, "cannot write", temp);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        reason = errno;
        ::unlink(temp.c_str());
        return Fail(status, Problem::System, reason, "cannot replace", target);
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

CProfileFile::Parsed CProfileFile::Parse(const std::string& content) {
    Parsed parsed;
    const std::string text = Trim(content);
    if (text.empty() || text[0] == ';') return parsed;
    if (text[0] == '[') {
        const size_t close = text.find(']');
        parsed.kind = Parsed::Section;
        parsed.name = Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return parsed;
    }
    const size_t equals = text.find('=');
    if (equals == std::string::npos) return parsed;
    parsed.name = Trim(text.substr(0, equals));
    if (parsed.name.empty()) return parsed;
    parsed.kind = Parsed::Key;
    parsed.value = Trim(text.substr(equals + 1));
    return parsed;
}

const CProfileFile::SectionIndex* CProfileFile::FindSection(const std::string& section) const {
    const auto found = m_sectionByName.find(Fold(section));
    return found == m_sectionByName.end() ? nullptr : &m_sections[found->second];
}

bool CProfileFile::HasSection(const std::string& section) const {
    return FindSection(section) != nullptr;
}

std::optional<std::string> CProfileFile::Value(const std::string& section, const std::string& key) const {
    const SectionIndex* index = FindSection(section);
    if (!index) return std::nullopt;
    const auto found = index->keys.find(Fold(key));
    if (found == index->keys.end()) return std::nullopt;
    return Parse(m_lines[index->header + found->second].content).value;
}

std::string CProfileFile::GetString(const std::string& section, const std::string& key,
                                    const std::string& fallback, size_t maxChars) const {
    std::string value = Value(section, key).value_or(fallback);
    if (value.size() > maxChars) value.resize(maxChars);
    return value;
}

int CProfileFile::GetInt(const std::string& section, const std::string& key, int fallback) const {
    const std::optional<std::string> value = Value(section, key);
    if (!value || value->empty()) return fallback;
    return Atoi(*value);
}

void CProfileFile::InsertLine(size_t at, Line line) {
    m_lines.insert(m_lines.begin() + long(at), std::move(line));
    // Keys are counted from their header, so only the headers move.
    for (SectionIndex& section : m_sections) {
        if (section.header < at) continue;
        ++section.header;
        ++section.last;
    }
}

void CProfileFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    std::string clean;
    for (char c : value)
        if (c != '\r' && c != '\n') clean += c;
    const std::string sectionName = Trim(section);
    const std::string keyName = Trim(key);

    const auto found = m_sectionByName.find(Fold(sectionName));
    if (found != m_sectionByName.end()) {
        SectionIndex& index = m_sections[found->second];
        const auto known = index.keys.find(Fold(keyName));
        if (known != index.keys.end()) {
            // Keep the key as the file spells it, and its indentation.
            std::string& content = m_lines[index.header + known->second].content;
            std::string name = content.substr(0, content.find('='));
            name.erase(name.find_last_not_of(kBlanks) + 1);
            content = name + "=" + clean;
            return;
        }
        // After the last non-blank line of the section.
        const size_t at = index.last + 1;
        if (m_lines[index.last].eol.empty()) m_lines[index.last].eol = m_eol;
        InsertLine(at, Line{keyName + "=" + clean, m_eol}); // moves the sections after this one
        index.last = at;
        index.keys.emplace(Fold(keyName), at - index.header);
        return;
    }
    if (!m_lines.empty()) {
        if (m_lines.back().eol.empty()) m_lines.back().eol = m_eol;
        if (!Blank(m_lines.back().content)) m_lines.push_back(Line{"", m_eol});
    }
    SectionIndex index;
    index.header = m_lines.size();
    index.last = index.header + 1;
    index.keys.emplace(Fold(keyName), 1);
    m_lines.push_back(Line{"[" + sectionName + "]", m_eol});
    m_lines.push_back(Line{keyName + "=" + clean, m_eol});
    m_sectionByName.emplace(Fold(sectionName), m_sections.size());
    m_sections.push_back(std::move(index));
}

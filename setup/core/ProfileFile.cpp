#include "ProfileFile.h"

#include <cctype>
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

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Reason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
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

} // namespace

std::string CProfileFile::Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
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
    bool eolSeen = false;
    while (start < bytes.size()) {
        const size_t newline = bytes.find('\n', start);
        Line line;
        if (newline == std::string::npos) {
            line.content = bytes.substr(start);
            start = bytes.size();
        } else {
            size_t end = newline;
            line.eol = "\n";
            if (end > start && bytes[end - 1] == '\r') {
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
    return file;
}

bool CProfileFile::Load(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) { // a missing file reads as defaults
            *this = CProfileFile();
            return true;
        }
        if (error) *error = Reason("cannot read", path);
        return false;
    }
    std::string data;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = Reason("cannot read", path);
            ::close(fd);
            return false;
        }
        data.append(buffer, size_t(n));
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
    // Replace what a symbolic link points to, not the link.
    std::string target = path;
    char resolved[PATH_MAX];
    struct stat linkInfo {};
    if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode) &&
        ::realpath(path.c_str(), resolved))
        target = resolved;

    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp =
        (slash == std::string::npos ? "" : target.substr(0, slash + 1)) + "." + base + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        if (error) *error = Reason("cannot create a file in", folder);
        return false;
    }
    temp = name.data();

    // Keep the permissions of the file replaced; a new file gets the usual ones.
    struct stat old {};
    mode_t mode = 0;
    if (::stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    (void)::fchmod(fd, mode); // a file system without modes still takes the data
    bool ok = WriteAll(fd, Text()) && ::fsync(fd) == 0;
    if (!ok && error) *error = Reason("cannot write", temp);
    if (::close(fd) != 0 && ok) {
        ok = false;
        if (error) *error = Reason("cannot write", temp);
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        if (error) *error = Reason("cannot replace", target);
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
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

size_t CProfileFile::FindSection(const std::string& section) const {
    const std::string wanted = Trim(section);
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Parsed parsed = Parse(m_lines[i].content);
        if (parsed.kind == Parsed::Section && EqualNoCase(parsed.name, wanted)) return i;
    }
    return std::string::npos;
}

size_t CProfileFile::FindKey(size_t header, const std::string& key) const {
    const std::string wanted = Trim(key);
    for (size_t i = header + 1; i < m_lines.size(); ++i) {
        const Parsed parsed = Parse(m_lines[i].content);
        if (parsed.kind == Parsed::Section) break;
        if (parsed.kind == Parsed::Key && EqualNoCase(parsed.name, wanted)) return i;
    }
    return std::string::npos;
}

bool CProfileFile::HasSection(const std::string& section) const {
    return FindSection(section) != std::string::npos;
}

std::optional<std::string> CProfileFile::Value(const std::string& section, const std::string& key) const {
    const size_t header = FindSection(section);
    if (header == std::string::npos) return std::nullopt;
    const size_t line = FindKey(header, key);
    if (line == std::string::npos) return std::nullopt;
    return Parse(m_lines[line].content).value;
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

void CProfileFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    std::string clean;
    for (char c : value)
        if (c != '\r' && c != '\n') clean += c;
    const std::string sectionName = Trim(section);
    const std::string keyName = Trim(key);

    size_t header = FindSection(sectionName);
    if (header != std::string::npos) {
        const size_t line = FindKey(header, keyName);
        if (line != std::string::npos) {
            // Keep the key as the file spells it, and its indentation.
            const std::string& content = m_lines[line].content;
            const size_t equals = content.find('=');
            std::string name = content.substr(0, equals);
            name.erase(name.find_last_not_of(kBlanks) + 1);
            m_lines[line].content = name + "=" + clean;
            return;
        }
        // After the last non-blank line of the section.
        size_t last = header;
        for (size_t i = header + 1; i < m_lines.size(); ++i) {
            if (Parse(m_lines[i].content).kind == Parsed::Section) break;
            if (!Trim(m_lines[i].content).empty()) last = i;
        }
        if (m_lines[last].eol.empty()) m_lines[last].eol = m_eol;
        m_lines.insert(m_lines.begin() + long(last) + 1, Line{keyName + "=" + clean, m_eol});
        return;
    }
    if (!m_lines.empty()) {
        if (m_lines.back().eol.empty()) m_lines.back().eol = m_eol;
        if (!Trim(m_lines.back().content).empty()) m_lines.push_back(Line{"", m_eol});
    }
    m_lines.push_back(Line{"[" + sectionName + "]", m_eol});
    m_lines.push_back(Line{keyName + "=" + clean, m_eol});
}

#include "Epc.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

// The binary encodings are table driven: each scheme is a header byte, an
// optional filter and partition, the company prefix with its second field
// (sized by the partition table), and a last field (an integer, a 7-bit
// string, a numeric string or reserved zero bits). GID-96 has its own fixed
// layout.
namespace Epc {

namespace {

// ----------------------------------------------------------------- bits

class BitReader {
public:
    explicit BitReader(const Bytes& bytes) : bytes_(bytes) {}
    size_t Size() const { return bytes_.size() * 8; }
    // Up to 64 bits at pos (caller checks the length).
    uint64_t Get(size_t pos, int count) const {
        uint64_t v = 0;
        for (int i = 0; i < count; ++i) {
            const size_t bit = pos + size_t(i);
            v = v << 1 | ((bytes_[bit / 8] >> (7 - bit % 8)) & 1);
        }
        return v;
    }
    bool ZeroFrom(size_t pos) const {
        for (size_t bit = pos; bit < Size(); ++bit)
            if ((bytes_[bit / 8] >> (7 - bit % 8)) & 1) return false;
        return true;
    }

private:
    const Bytes& bytes_;
};

class BitWriter {
public:
    void Put(uint64_t value, int count) {
        for (int i = count - 1; i >= 0; --i)
            bits_.push_back(i < 64 && ((value >> i) & 1)); // zero runs may be longer than 64
    }
    // Padded with zero bits to whole 16-bit words, as the EPC bank holds it.
    Bytes Finish() const {
        std::vector<bool> bits = bits_;
        while (bits.size() % 16)
            bits.push_back(false);
        Bytes out(bits.size() / 8, 0);
        for (size_t i = 0; i < bits.size(); ++i)
            if (bits[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
        return out;
    }

private:
    std::vector<bool> bits_;
};

// ------------------------------------------------------------ schemes

struct PartitionRow {
    int cpBits, cpDigits, refBits, refDigits; // refDigits: characters for a string reference
};
using PartitionTable = PartitionRow[7];

const PartitionTable kSgtinTable = {{40, 12, 4, 1}, {37, 11, 7, 2}, {34, 10, 10, 3}, {30, 9, 14, 4},
                                    {27, 8, 17, 5}, {24, 7, 20, 6}, {20, 6, 24, 7}};
const PartitionTable kSsccTable = {{40, 12, 18, 5}, {37, 11, 21, 6}, {34, 10, 24, 7}, {30, 9, 28, 8},
                                   {27, 8, 31, 9},  {24, 7, 34, 10}, {20, 6, 38, 11}};
const PartitionTable kSglnTable = {{40, 12, 1, 0}, {37, 11, 4, 1}, {34, 10, 7, 2}, {30, 9, 11, 3},
                                   {27, 8, 14, 4}, {24, 7, 17, 5}, {20, 6, 21, 6}};
const PartitionTable kGraiTable = {{40, 12, 4, 0}, {37, 11, 7, 1}, {34, 10, 10, 2}, {30, 9, 14, 3},
                                   {27, 8, 17, 4}, {24, 7, 20, 5}, {20, 6, 24, 6}};
const PartitionTable kGiai96Table = {{40, 12, 42, 13}, {37, 11, 45, 14}, {34, 10, 48, 15}, {30, 9, 52, 16},
                                     {27, 8, 55, 17},  {24, 7, 58, 18},  {20, 6, 62, 19}};
const PartitionTable kGiai202Table = {{40, 12, 148, 18}, {37, 11, 151, 19}, {34, 10, 154, 20},
                                      {30, 9, 158, 21},  {27, 8, 161, 22},  {24, 7, 164, 23},
                                      {20, 6, 168, 24}};
const PartitionTable kCpiTable = {{40, 12, 11, 3}, {37, 11, 14, 4}, {34, 10, 17, 5}, {30, 9, 21, 6},
                                  {27, 8, 24, 7},  {24, 7, 27, 8},  {20, 6, 31, 9}};

enum class Ref {
    Padded,   // exactly refDigits digits, leading zeros kept
    Unpadded, // a decimal integer without leading zeros, at most refDigits digits
    String,   // 7-bit characters, at most refDigits of them
};
enum class Last {
    None,
    Integer,       // a decimal integer without leading zeros
    String,        // 7-bit characters
    NumericString, // digits, leading zeros kept: the integer of "1" and the digits
    Reserved,      // zero bits
};
enum class Kind { Sgtin, Sscc, Sgln, Grai, Giai, Sgcn, Gdti, Cpi, Gid };

struct Scheme {
    const char* name; // tag URI spelling
    const char* base; // pure identity URI spelling
    Kind kind;
    uint8_t header;
    int bits;
    const PartitionRow* table;
    const char* refName;
    Ref ref;
    Last last;
    int lastBits;
    int lastChars; // String / NumericString: the most characters
    const char* lastName;
};

const Scheme kSchemes[] = {
    {"sgtin-96", "sgtin", Kind::Sgtin, 0x30, 96, kSgtinTable, "item reference", Ref::Padded, Last::Integer,
     38, 0, "serial"},
    {"sgtin-198", "sgtin", Kind::Sgtin, 0x36, 198, kSgtinTable, "item reference", Ref::Padded, Last::String,
     140, 20, "serial"},
    {"sscc-96", "sscc", Kind::Sscc, 0x31, 96, kSsccTable, "serial reference", Ref::Padded, Last::Reserved, 24,
     0, ""},
    {"sgln-96", "sgln", Kind::Sgln, 0x32, 96, kSglnTable, "location reference", Ref::Padded, Last::Integer,
     41, 0, "extension"},
    {"sgln-195", "sgln", Kind::Sgln, 0x39, 195, kSglnTable, "location reference", Ref::Padded, Last::String,
     140, 20, "extension"},
    {"grai-96", "grai", Kind::Grai, 0x33, 96, kGraiTable, "asset type", Ref::Padded, Last::Integer, 38, 0,
     "serial"},
    {"grai-170", "grai", Kind::Grai, 0x37, 170, kGraiTable, "asset type", Ref::Padded, Last::String, 112, 16,
     "serial"},
    {"giai-96", "giai", Kind::Giai, 0x34, 96, kGiai96Table, "asset reference", Ref::Unpadded, Last::None, 0,
     0, ""},
    {"giai-202", "giai", Kind::Giai, 0x38, 202, kGiai202Table, "asset reference", Ref::String, Last::None, 0,
     0, ""},
    {"gid-96", "gid", Kind::Gid, 0x35, 96, nullptr, "", Ref::Padded, Last::Integer, 36, 0, "serial"},
    {"sgcn-96", "sgcn", Kind::Sgcn, 0x3F, 96, kSglnTable, "coupon reference", Ref::Padded,
     Last::NumericString, 41, 12, "serial"},
    {"gdti-96", "gdti", Kind::Gdti, 0x2C, 96, kSglnTable, "document type", Ref::Padded, Last::Integer, 41, 0,
     "serial"},
    {"gdti-174", "gdti", Kind::Gdti, 0x3E, 174, kSglnTable, "document type", Ref::Padded, Last::String, 119,
     17, "serial"},
    {"cpi-96", "cpi", Kind::Cpi, 0x3C, 96, kCpiTable, "part reference", Ref::Unpadded, Last::Integer, 31, 0,
     "serial"},
};

// Headers of EPC schemes that are known but not decoded here.
struct OtherHeader {
    uint8_t header;
    const char* name;
    bool gs1;
};
const OtherHeader kOtherHeaders[] = {
    {0x2D, "GSRN-96", true},  {0x2E, "GSRNP-96", true}, {0x2F, "USDOD-96", false},
    {0x3A, "GDTI-113", true}, {0x3B, "ADI-var", false}, {0x3D, "CPI-var", true},
    {0x40, "ITIP-110", true}, {0x41, "ITIP-212", true}, {0x42, "GID-var", false},
};

const Scheme* FindScheme(const std::string& name) {
    std::string lower = name;
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const Scheme& s : kSchemes)
        if (lower == s.name) return &s;
    return nullptr;
}

std::string Upper(const char* name) {
    std::string text = name;
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// ------------------------------------------------------------ numbers

std::string Digits(uint64_t value, int width) {
    if (width == 0) return {}; // a reference without digits (12-digit company prefix)
    std::string text = std::to_string(value);
    if (int(text.size()) < width) text.insert(0, size_t(width - int(text.size())), '0');
    return text;
}

uint64_t Pow10(int n) {
    uint64_t v = 1;
    while (n-- > 0)
        v *= 10;
    return v;
}

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The decimal value of a digit string; false when it does not fit 64 bits.
bool ParseDecimal(const std::string& text, uint64_t& value) {
    value = 0;
    for (char c : text) {
        const uint64_t digit = uint64_t(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

// The GS1 check digit of a digit string (weights 3, 1, 3, ... from the right).
char CheckDigit(const std::string& digits) {
    int sum = 0;
    bool three = true;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        sum += (*it - '0') * (three ? 3 : 1);
        three = !three;
    }
    return char('0' + (10 - sum % 10) % 10);
}

// ------------------------------------------------------------ strings

// The characters GS1 allows in alphanumeric keys and serials (the 82-character set).
bool AllowedChar(int c) {
    if (c >= '0' && c <= '9') return true;
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= 'a' && c <= 'z') return true;
    static const std::string punctuation = "!\"%&'()*+,-./:;<=>?_";
    return c > 0 && punctuation.find(char(c)) != std::string::npos;
}

// In URIs these are written as %-escapes.
bool EscapedInUri(char c) {
    return c == '"' || c == '%' || c == '&' || c == '/' || c == '<' || c == '>' || c == '?';
}

std::string UriEscape(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        if (EscapedInUri(c)) {
            out += '%';
            out += hex[static_cast<unsigned char>(c) >> 4];
            out += hex[c & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool UriUnescape(const std::string& text, std::string& out, std::string& error) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            error = "\"" + text.substr(i, 3) + "\" is not a valid %-escape";
            return false;
        }
        out += char(high << 4 | low);
        i += 2;
    }
    return true;
}

// A 7-bit string field of `bits` bits at pos: the characters up to the first
// zero character (at most maxChars of them), all bits after it zero.
bool ReadString(const BitReader& r, size_t pos, int bits, int maxChars, const char* what, const Scheme& s,
                std::string& out, std::string& reason) {
    out.clear();
    const int chars = bits / 7;
    bool ended = false;
    for (int i = 0; i < chars; ++i) {
        const int c = int(r.Get(pos + size_t(i) * 7, 7));
        if (ended) {
            if (c != 0) {
                reason = std::string(what) + " of " + Upper(s.name) + " has characters after its end";
                return false;
            }
            continue;
        }
        if (c == 0) {
            ended = true;
            continue;
        }
        if (!AllowedChar(c)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "0x%02X", c);
            reason = std::string(what) + " of " + Upper(s.name) + " holds the character " + buf +
                     ", which is not allowed";
            return false;
        }
        out += char(c);
    }
    if (bits % 7 && r.Get(pos + size_t(chars) * 7, bits % 7) != 0) {
        reason = std::string(what) + " of " + Upper(s.name) + " has non-zero padding bits";
        return false;
    }
    if (out.empty()) {
        reason = std::string(what) + " of " + Upper(s.name) + " is empty";
        return false;
    }
    if (int(out.size()) > maxChars) {
        reason = std::string(what) + " of " + Upper(s.name) + " has " + std::to_string(out.size()) +
                 " characters, at most " + std::to_string(maxChars) + " are allowed";
        return false;
    }
    return true;
}

std::string ElementString(const Scheme& s, const std::vector<std::string>& f) {
    const std::string& cp = f[0];
    switch (s.kind) {
    case Kind::Sgtin: {
        const std::string body = f[1].substr(0, 1) + cp + f[1].substr(1);
        return "(01)" + body + CheckDigit(body) + "(21)" + f[2];
    }
    case Kind::Sscc: {
        const std::string body = f[1].substr(0, 1) + cp + f[1].substr(1);
        return "(00)" + body + CheckDigit(body);
    }
    case Kind::Sgln: {
        const std::string gln = cp + f[1];
        std::string text = "(414)" + gln + CheckDigit(gln);
        if (f[2] != "0") text += "(254)" + f[2];
        return text;
    }
    case Kind::Grai: {
        const std::string body = cp + f[1];
        return "(8003)0" + body + CheckDigit(body) + f[2];
    }
    case Kind::Giai:
        return "(8004)" + cp + f[1];
    case Kind::Sgcn: {
        const std::string body = cp + f[1];
        return "(255)" + body + CheckDigit(body) + f[2];
    }
    case Kind::Gdti: {
        const std::string body = cp + f[1];
        return "(253)" + body + CheckDigit(body) + f[2];
    }
    case Kind::Cpi:
        return "(8010)" + cp + f[1] + "(8011)" + f[2];
    case Kind::Gid:
        break;
    }
    return {};
}

std::string JoinUri(const std::vector<std::string>& fields, bool escapeLast) {
    std::string text;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) text += '.';
        text += (escapeLast && i + 1 == fields.size()) ? UriEscape(fields[i]) : fields[i];
    }
    return text;
}

bool HasStringField(const Scheme& s) {
    return s.ref == Ref::String || s.last == Last::String;
}

void Finish(const Scheme& s, int filter, int partition, std::vector<std::string> fields, Decoded& d) {
    d.gs1 = true;
    d.scheme = s.name;
    d.filter = filter;
    d.partition = partition;
    const std::string uriFields = JoinUri(fields, HasStringField(s));
    d.pureIdentity = std::string("urn:epc:id:") + s.base + ":" + uriFields;
    d.tagUri = std::string("urn:epc:tag:") + s.name + ":" +
               (filter >= 0 ? std::to_string(filter) + "." : "") + uriFields;
    d.elementString = ElementString(s, fields);
    d.fields = std::move(fields);
}

bool DecodeGid(const BitReader& r, const Scheme& s, Decoded& d) {
    Finish(s, -1, -1,
           {std::to_string(r.Get(8, 28)), std::to_string(r.Get(36, 24)), std::to_string(r.Get(60, 36))}, d);
    return true;
}

bool DecodeScheme(const BitReader& r, const Scheme& s, Decoded& d) {
    if (s.kind == Kind::Gid) return DecodeGid(r, s, d);
    const int filter = int(r.Get(8, 3));
    const int partition = int(r.Get(11, 3));
    if (partition == 7) {
        d.reason = "partition 7 is reserved (" + Upper(s.name) + ")";
        return false;
    }
    const PartitionRow& row = s.table[partition];
    size_t pos = 14;
    const uint64_t cp = r.Get(pos, row.cpBits);
    pos += size_t(row.cpBits);
    if (cp >= Pow10(row.cpDigits)) {
        d.reason = "company prefix " + std::to_string(cp) + " has more than " + std::to_string(row.cpDigits) +
                   " digits (" + Upper(s.name) + " partition " + std::to_string(partition) + ")";
        return false;
    }
    std::vector<std::string> fields{Digits(cp, row.cpDigits)};
    if (s.ref == Ref::String) {
        std::string text;
        if (!ReadString(r, pos, row.refBits, row.refDigits, s.refName, s, text, d.reason)) return false;
        fields.push_back(text);
    } else {
        const uint64_t ref = r.Get(pos, row.refBits);
        if (ref >= Pow10(row.refDigits)) {
            d.reason = std::string(s.refName) + " " + std::to_string(ref) + " has more than " +
                       std::to_string(row.refDigits) + " digits (" + Upper(s.name) + " partition " +
                       std::to_string(partition) + ")";
            return false;
        }
        fields.push_back(s.ref == Ref::Padded ? Digits(ref, row.refDigits) : std::to_string(ref));
    }
    pos += size_t(row.refBits);
    switch (s.last) {
    case Last::None:
        break;
    case Last::Integer:
        fields.push_back(std::to_string(r.Get(pos, s.lastBits)));
        break;
    case Last::String: {
        std::string text;
        if (!ReadString(r, pos, s.lastBits, s.lastChars, s.lastName, s, text, d.reason)) return false;
        fields.push_back(text);
        break;
    }
    case Last::NumericString: {
        const std::string text = std::to_string(r.Get(pos, s.lastBits));
        if (text.size() < 2 || text.size() > size_t(s.lastChars) + 1 || text[0] != '1') {
            d.reason = std::string(s.lastName) + " of " + Upper(s.name) + " is not a valid numeric string";
            return false;
        }
        fields.push_back(text.substr(1));
        break;
    }
    case Last::Reserved:
        if (r.Get(pos, s.lastBits) != 0) {
            d.reason = "the reserved bits of " + Upper(s.name) + " are not zero";
            return false;
        }
        break;
    }
    Finish(s, filter, partition, std::move(fields), d);
    return true;
}

// ------------------------------------------------------------ encoding

Encoded Fail(std::string error) {
    return {false, {}, std::move(error)};
}

std::string FieldList(const Scheme& s) {
    if (s.kind == Kind::Gid) return "general manager, object class, serial";
    std::string text = std::string("company prefix, ") + s.refName;
    if (s.last != Last::None && s.last != Last::Reserved) text += std::string(", ") + s.lastName;
    return text;
}

size_t FieldCount(const Scheme& s) {
    if (s.kind == Kind::Gid) return 3;
    return (s.last == Last::None || s.last == Last::Reserved) ? 2 : 3;
}

// A decimal integer without leading zeros below 2^bits (and below 10^maxDigits
// where maxDigits > 0).
bool CheckInteger(const std::string& text, const char* what, const Scheme& s, int bits, int maxDigits,
                  uint64_t& value, std::string& error) {
    const std::string scheme = Upper(s.name);
    if (text.empty()) {
        error = std::string(what) + " is empty";
        return false;
    }
    if (!AllDigits(text)) {
        error =
            std::string(what) + " " + text + " is not a decimal number (" + scheme + " takes digits only)";
        return false;
    }
    if (text.size() > 1 && text[0] == '0') {
        error = std::string(what) + " with leading zeros cannot be encoded in " + scheme;
        return false;
    }
    uint64_t limit = (bits >= 64 ? UINT64_MAX : (uint64_t(1) << bits) - 1);
    if (maxDigits > 0) limit = std::min(limit, Pow10(maxDigits) - 1);
    if (!ParseDecimal(text, value) || value > limit) {
        error = std::string(what) + " " + text + " is too large for " + scheme + " (at most " +
                std::to_string(limit) + ")";
        return false;
    }
    return true;
}

bool CheckString(const std::string& text, const char* what, const Scheme& s, int maxChars,
                 std::string& error) {
    const std::string scheme = Upper(s.name);
    if (text.empty()) {
        error = std::string(what) + " is empty";
        return false;
    }
    if (int(text.size()) > maxChars) {
        error = std::string(what) + " " + text + " has " + std::to_string(text.size()) + " characters, " +
                scheme + " takes at most " + std::to_string(maxChars);
        return false;
    }
    for (char c : text) {
        if (!AllowedChar(static_cast<unsigned char>(c))) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned char>(c));
            error = std::string(what) + " " + text + " holds the character " + buf + ", which " + scheme +
                    " cannot encode";
            return false;
        }
    }
    return true;
}

void PutString(BitWriter& w, const std::string& text, int bits) {
    int used = 0;
    for (char c : text) {
        w.Put(uint64_t(static_cast<unsigned char>(c)), 7);
        used += 7;
    }
    for (int rest = bits - used; rest > 0; rest -= std::min(rest, 32))
        w.Put(0, std::min(rest, 32));
}

Encoded EncodeGid(const Scheme& s, const std::vector<std::string>& fields) {
    uint64_t gm, oc, serial;
    std::string error;
    if (!CheckInteger(fields[0], "general manager", s, 28, 0, gm, error) ||
        !CheckInteger(fields[1], "object class", s, 24, 0, oc, error) ||
        !CheckInteger(fields[2], "serial", s, 36, 0, serial, error))
        return Fail(error);
    BitWriter w;
    w.Put(s.header, 8);
    w.Put(gm, 28);
    w.Put(oc, 24);
    w.Put(serial, 36);
    return {true, w.Finish(), {}};
}

Encoded EncodeScheme(const Scheme& s, int filter, const std::vector<std::string>& fields) {
    if (fields.size() != FieldCount(s))
        return Fail(Upper(s.name) + " takes " + std::to_string(FieldCount(s)) + " fields (" + FieldList(s) +
                    "), not " + std::to_string(fields.size()));
    if (s.kind == Kind::Gid) return EncodeGid(s, fields);
    if (filter < 0 || filter > 7) return Fail("filter " + std::to_string(filter) + " is out of range 0..7");

    const std::string scheme = Upper(s.name);
    const std::string& cp = fields[0];
    if (!AllDigits(cp)) return Fail("company prefix " + cp + " is not a decimal number");
    if (cp.size() < 6 || cp.size() > 12) return Fail("company prefix must be 6 to 12 digits");
    const int partition = 12 - int(cp.size());
    const PartitionRow& row = s.table[partition];

    BitWriter w;
    w.Put(s.header, 8);
    w.Put(uint64_t(filter), 3);
    w.Put(uint64_t(partition), 3);
    uint64_t cpValue;
    ParseDecimal(cp, cpValue);
    w.Put(cpValue, row.cpBits);

    const std::string& ref = fields[1];
    const std::string refName = s.refName;
    const std::string forPrefix = " for a " + std::to_string(cp.size()) + "-digit company prefix";
    std::string error;
    if (s.ref == Ref::Padded) {
        if (!ref.empty() && !AllDigits(ref)) return Fail(refName + " " + ref + " is not a decimal number");
        if (int(ref.size()) > row.refDigits)
            return Fail(refName + " " + ref + " has too many digits" + forPrefix + " (" +
                        std::to_string(row.refDigits) + " needed)");
        if (int(ref.size()) < row.refDigits)
            return Fail(refName + " " + (ref.empty() ? "\"\"" : ref) + " has too few digits" + forPrefix +
                        " (" + std::to_string(row.refDigits) + " needed)");
        uint64_t v = 0;
        ParseDecimal(ref, v);
        w.Put(v, row.refBits);
    } else if (s.ref == Ref::Unpadded) {
        if (AllDigits(ref) && !(ref.size() > 1 && ref[0] == '0') && int(ref.size()) > row.refDigits)
            return Fail(refName + " " + ref + " has too many digits" + forPrefix + " (at most " +
                        std::to_string(row.refDigits) + ")");
        uint64_t v;
        if (!CheckInteger(ref, s.refName, s, row.refBits, row.refDigits, v, error)) return Fail(error);
        w.Put(v, row.refBits);
    } else {
        if (int(ref.size()) > row.refDigits)
            return Fail(refName + " " + ref + " has " + std::to_string(ref.size()) + " characters, " +
                        scheme + " takes at most " + std::to_string(row.refDigits) + forPrefix);
        if (!CheckString(ref, s.refName, s, row.refDigits, error)) return Fail(error);
        PutString(w, ref, row.refBits);
    }

    switch (s.last) {
    case Last::None:
        break;
    case Last::Integer: {
        uint64_t v;
        if (!CheckInteger(fields[2], s.lastName, s, s.lastBits, 0, v, error)) return Fail(error);
        w.Put(v, s.lastBits);
        break;
    }
    case Last::String:
        if (!CheckString(fields[2], s.lastName, s, s.lastChars, error)) return Fail(error);
        PutString(w, fields[2], s.lastBits);
        break;
    case Last::NumericString: {
        const std::string& text = fields[2];
        if (text.empty()) return Fail(std::string(s.lastName) + " is empty");
        if (!AllDigits(text))
            return Fail(std::string(s.lastName) + " " + text + " is not a decimal number (" + scheme +
                        " takes digits only)");
        if (int(text.size()) > s.lastChars)
            return Fail(std::string(s.lastName) + " " + text + " has " + std::to_string(text.size()) +
                        " digits, " + scheme + " takes at most " + std::to_string(s.lastChars));
        uint64_t v;
        ParseDecimal("1" + text, v);
        w.Put(v, s.lastBits);
        break;
    }
    case Last::Reserved:
        w.Put(0, s.lastBits);
        break;
    }
    return {true, w.Finish(), {}};
}

// Splits "a.b.c" into exactly `count` fields; the last takes the rest (a
// string serial may hold dots).
bool SplitFields(const std::string& text, size_t count, std::vector<std::string>& out) {
    out.clear();
    size_t start = 0;
    while (out.size() + 1 < count) {
        const size_t dot = text.find('.', start);
        if (dot == std::string::npos) return false;
        out.push_back(text.substr(start, dot - start));
        start = dot + 1;
    }
    out.push_back(text.substr(start));
    return true;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

// The URI's fields, with the escapes of a string field resolved.
bool UriFields(const Scheme& s, const std::string& text, std::vector<std::string>& fields,
               std::string& error) {
    if (!SplitFields(text, FieldCount(s), fields)) {
        error = Upper(s.name) + " takes " + std::to_string(FieldCount(s)) + " fields (" + FieldList(s) + ")";
        return false;
    }
    if (HasStringField(s)) {
        std::string raw;
        if (!UriUnescape(fields.back(), raw, error)) return false;
        fields.back() = raw;
    }
    return true;
}

// ------------------------------------------------------------ TID

struct MaskDesigner {
    int id;
    const char* name;
};
// GS1's published mask-designer identifiers (the common entries).
const MaskDesigner kMaskDesigners[] = {
    {0x001, "Impinj"},
    {0x002, "Texas Instruments"},
    {0x003, "Alien Technology"},
    {0x004, "Intelleflex"},
    {0x005, "Atmel"},
    {0x006, "NXP Semiconductors"},
    {0x007, "STMicroelectronics"},
    {0x008, "EP Microelectronics"},
    {0x009, "Motorola"},
    {0x00A, "Sentech Snd Bhd"},
    {0x00B, "EM Microelectronic"},
    {0x00C, "Renesas Technology"},
    {0x00D, "Mstar"},
    {0x00E, "Tyco International"},
    {0x00F, "Quanray Electronics"},
    {0x010, "Fujitsu"},
};

} // namespace

// ------------------------------------------------------------ public

std::string ToHex(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

bool FromHex(const std::string& text, Bytes& out) {
    out.clear();
    int high = -1;
    for (char c : text) {
        if (c == ' ') continue;
        const int v = HexValue(c);
        if (v < 0) return false;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(uint8_t(high << 4 | v));
            high = -1;
        }
    }
    return high < 0;
}

Decoded Decode(const Bytes& epc) {
    Decoded d;
    d.hex = ToHex(epc);
    if (epc.empty()) {
        d.reason = "the EPC is empty";
        return d;
    }
    const uint8_t header = epc[0];
    const Scheme* scheme = nullptr;
    for (const Scheme& s : kSchemes)
        if (s.header == header) scheme = &s;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", header);
    if (!scheme) {
        for (const OtherHeader& o : kOtherHeaders) {
            if (o.header != header) continue;
            d.reason = std::string("header ") + hex + " (" + o.name + ") is " +
                       (o.gs1 ? "a scheme not decoded here" : "not a GS1 scheme");
            return d;
        }
        d.reason = std::string("header ") + hex + " is not a GS1 scheme";
        return d;
    }
    const BitReader r(epc);
    if (r.Size() < size_t(scheme->bits)) {
        d.reason = "too short for " + Upper(scheme->name) + " (" + std::to_string(r.Size()) + " bits, " +
                   std::to_string(scheme->bits) + " needed)";
        return d;
    }
    // Words beyond the scheme's length (a longer EPC length in the PC) must be zero.
    if (!r.ZeroFrom(size_t(scheme->bits))) {
        d.reason =
            "bits after the " + std::to_string(scheme->bits) + " of " + Upper(scheme->name) + " are not zero";
        return d;
    }
    if (!DecodeScheme(r, *scheme, d)) {
        d.fields.clear();
        return d;
    }
    return d;
}

std::string Summary(const Decoded& decoded) {
    return decoded.gs1 ? decoded.pureIdentity : NotGs1Text;
}

Encoded Encode(const std::string& scheme, int filter, const std::vector<std::string>& fields) {
    const Scheme* s = FindScheme(scheme);
    if (!s) return Fail("unknown scheme \"" + scheme + "\"");
    return EncodeScheme(*s, filter, fields);
}

Encoded EncodeTagUri(const std::string& tagUri) {
    static const std::string prefix = "urn:epc:tag:";
    if (!StartsWithNoCase(tagUri, prefix))
        return Fail("\"" + tagUri + "\" is not a tag URI (urn:epc:tag:...)");
    const size_t colon = tagUri.find(':', prefix.size());
    if (colon == std::string::npos) return Fail("\"" + tagUri + "\" has no fields after the scheme");
    const std::string name = tagUri.substr(prefix.size(), colon - prefix.size());
    const Scheme* s = FindScheme(name);
    if (!s) return Fail("unknown scheme \"" + name + "\"");
    std::string rest = tagUri.substr(colon + 1);
    int filter = -1;
    if (s->kind != Kind::Gid) {
        const size_t dot = rest.find('.');
        const std::string f = rest.substr(0, dot);
        if (!AllDigits(f) || f.size() > 2) return Fail("filter \"" + f + "\" is not a number 0..7");
        filter = std::stoi(f);
        if (filter > 7) return Fail("filter " + f + " is out of range 0..7");
        if (dot == std::string::npos)
            return Fail(Upper(s->name) + " takes " + FieldList(*s) + " after the filter");
        rest = rest.substr(dot + 1);
    }
    std::vector<std::string> fields;
    std::string error;
    if (!UriFields(*s, rest, fields, error)) return Fail(error);
    return EncodeScheme(*s, filter, fields);
}

Encoded EncodePureIdentity(const std::string& pureUri, const std::string& scheme, int filter) {
    const Scheme* s = FindScheme(scheme);
    if (!s) return Fail("unknown scheme \"" + scheme + "\"");
    const std::string prefix = std::string("urn:epc:id:") + s->base + ":";
    if (!StartsWithNoCase(pureUri, prefix))
        return Fail("\"" + pureUri + "\" is not a pure identity URI for " + Upper(s->name) + " (" + prefix +
                    "...)");
    std::vector<std::string> fields;
    std::string error;
    if (!UriFields(*s, pureUri.substr(prefix.size()), fields, error)) return Fail(error);
    return EncodeScheme(*s, filter, fields);
}

std::vector<std::string> Schemes() {
    std::vector<std::string> names;
    for (const Scheme& s : kSchemes)
        names.push_back(s.name);
    return names;
}

Tid DecodeTid(const Bytes& tid) {
    Tid t;
    if (tid.size() < 4) {
        t.reason = "a TID needs at least 4 bytes, got " + std::to_string(tid.size());
        return t;
    }
    t.classId = tid[0];
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X", tid[0]);
    switch (tid[0]) {
    case 0xE0:
        t.classText = "ISO/IEC 7816-6 (E0)";
        break;
    case 0xE1:
        t.classText = "ISO/IEC 14816 (E1)";
        break;
    case 0xE2:
        t.classText = "EPCglobal (E2)";
        break;
    case 0xE3:
        t.classText = "ISO/IEC 7816-6 (E3)";
        break;
    default:
        t.reason = std::string("class identifier ") + hex + " is not a known TID class";
        return t;
    }
    t.valid = true;
    if (tid[0] != 0xE2) {
        // The other classes carry a maker code of their own registry and a serial.
        t.serialHex = ToHex(Bytes(tid.begin() + 2, tid.end()));
        return t;
    }
    const uint32_t word = uint32_t(tid[1]) << 16 | uint32_t(tid[2]) << 8 | tid[3];
    t.extended = (word >> 23) & 1;
    t.securityIndicator = (word >> 22) & 1;
    t.fileIndicator = (word >> 21) & 1;
    t.maskDesigner = int((word >> 12) & 0x1FF);
    t.model = int(word & 0xFFF);
    for (const MaskDesigner& m : kMaskDesigners)
        if (m.id == t.maskDesigner) t.maker = m.name;
    // The XTID header's lowest three bits give the serial's length:
    // 0 none, n: 48 + 16 * (n - 1) bits right after the header.
    if (t.extended && tid.size() >= 6) {
        const int serialization = tid[5] & 7;
        if (serialization > 0) {
            const size_t bytes = size_t(48 + 16 * (serialization - 1)) / 8;
            if (tid.size() >= 6 + bytes)
                t.serialHex = ToHex(Bytes(tid.begin() + 6, tid.begin() + 6 + long(bytes)));
        }
    }
    return t;
}

std::string Summary(const Tid& tid) {
    if (!tid.valid) return "unknown TID";
    std::string text = tid.classText;
    if (tid.classId != 0xE2) return text;
    char buf[48];
    if (!tid.maker.empty())
        text += ", " + tid.maker;
    else {
        std::snprintf(buf, sizeof buf, ", mask designer 0x%03X", unsigned(tid.maskDesigner));
        text += buf;
    }
    std::snprintf(buf, sizeof buf, ", model 0x%03X", unsigned(tid.model));
    text += buf;
    if (tid.extended) text += ", XTID";
    if (!tid.serialHex.empty()) text += ", serial " + tid.serialHex;
    return text;
}

} // namespace Epc

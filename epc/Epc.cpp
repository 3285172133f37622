#include "Epc.h"

// Placeholder until the schemes are in: every EPC is reported as not a GS1
// EPC and every encoding is refused, so callers build and behave safely.
namespace Epc {

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
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            return false;
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
    d.reason = "no scheme known";
    return d;
}

std::string Summary(const Decoded& decoded) {
    return decoded.gs1 ? decoded.pureIdentity : NotGs1Text;
}

Encoded EncodeTagUri(const std::string&) {
    return {false, {}, "no scheme known"};
}
Encoded Encode(const std::string&, int, const std::vector<std::string>&) {
    return {false, {}, "no scheme known"};
}
Encoded EncodePureIdentity(const std::string&, const std::string&, int) {
    return {false, {}, "no scheme known"};
}
std::vector<std::string> Schemes() {
    return {};
}

Tid DecodeTid(const Bytes&) {
    Tid t;
    t.reason = "no class known";
    return t;
}
std::string Summary(const Tid& tid) {
    return tid.valid ? tid.classText : "unknown TID";
}

} // namespace Epc

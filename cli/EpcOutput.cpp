#include "EpcOutput.h"

#include <cstdio>

namespace Cli {

namespace {

// The length of the well-formed UTF-8 sequence at text[at], 0 when there is none.
size_t Utf8Length(const std::string& text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    unsigned low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned c = static_cast<unsigned char>(text[at + i]);
        if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

} // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    char buf[8];
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else if (u < 0x80) {
            out += c;
        } else if (const size_t length = Utf8Length(text, i)) {
            out.append(text, i, length);
            i += length - 1;
        } else {
            // A byte that is no UTF-8 (a device's reply, a Latin-1 name)
            // stays one character, so the document stays valid JSON.
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        }
    }
    return out + "\"";
}

std::string JsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i)
        out += (i ? "," : "") + items[i];
    return out + "]";
}

std::string EpcJson(const Epc::Decoded& d) {
    std::string out = "{\"hex\":" + JsonString(d.hex) + ",\"gs1\":" + (d.gs1 ? "true" : "false");
    if (!d.gs1) return out + ",\"reason\":" + JsonString(d.reason) + "}";
    out += ",\"scheme\":" + JsonString(d.scheme);
    out += ",\"filter\":" + (d.filter >= 0 ? std::to_string(d.filter) : "null");
    out += ",\"partition\":" + (d.partition >= 0 ? std::to_string(d.partition) : "null");
    out += ",\"pureIdentity\":" + JsonString(d.pureIdentity);
    out += ",\"tagUri\":" + JsonString(d.tagUri);
    out +=
        ",\"elementString\":" + (d.elementString.empty() ? std::string("null") : JsonString(d.elementString));
    std::vector<std::string> fields;
    for (const std::string& f : d.fields)
        fields.push_back(JsonString(f));
    out += ",\"fields\":" + JsonArray(fields);
    return out + "}";
}

std::string TidJson(const std::string& hex, const Epc::Tid& t) {
    std::string out = "{\"hex\":" + JsonString(hex) + ",\"valid\":" + (t.valid ? "true" : "false");
    if (!t.valid) return out + ",\"reason\":" + JsonString(t.reason) + "}";
    out += ",\"classId\":" + std::to_string(t.classId);
    out += ",\"class\":" + JsonString(t.classText);
    if (t.classId == 0xE2) {
        out += std::string(",\"xtid\":") + (t.extended ? "true" : "false");
        out += std::string(",\"securityIndicator\":") + (t.securityIndicator ? "true" : "false");
        out += std::string(",\"fileIndicator\":") + (t.fileIndicator ? "true" : "false");
        out += ",\"maskDesigner\":" + std::to_string(t.maskDesigner);
        out += ",\"maker\":" + (t.maker.empty() ? std::string("null") : JsonString(t.maker));
        out += ",\"model\":" + std::to_string(t.model);
    }
    out += ",\"serial\":" + (t.serialHex.empty() ? std::string("null") : JsonString(t.serialHex));
    out += ",\"summary\":" + JsonString(Epc::Summary(t));
    return out + "}";
}

Epc::Decoded DecodeEpcText(const std::string& hexText) {
    Epc::Bytes bytes;
    if (Epc::FromHex(hexText, bytes)) return Epc::Decode(bytes);
    Epc::Decoded d;
    d.reason = "\"" + hexText + "\" is not hex";
    return d;
}

std::string EpcColumn(const Epc::Decoded& decoded) {
    return decoded.gs1 ? "\t" + decoded.pureIdentity : std::string();
}

bool EpcFromBank(const std::vector<uint8_t>& bank, Epc::Bytes& epc, std::string& reason) {
    epc.clear();
    if (bank.size() < 4) {
        reason = "the data holds no PC";
        return false;
    }
    const unsigned pc = unsigned(bank[2]) << 8 | bank[3];
    const size_t length = size_t(pc >> 11) * 2;
    if (bank.size() < 4 + length) {
        reason = "the data ends before the " + std::to_string(length) + " bytes of EPC the PC gives";
        return false;
    }
    if (pc & 0x0100) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "the PC's toggle bit is set (AFI 0x%02X): not a GS1 EPC", pc & 0xFF);
        reason = buf;
        return false;
    }
    epc.assign(bank.begin() + 4, bank.begin() + long(4 + length));
    return true;
}

} // namespace Cli

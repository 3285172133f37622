#include "EpcOutput.h"

#include <cstdio>

namespace Cli {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
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

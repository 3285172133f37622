#include "ConfigJson.h"

#include "EpcOutput.h"
#include "WinLatin1.h"

#include <vector>

namespace Cli {

std::string RecordJson(const KonfigDaten& r) {
    auto field = [](const char* name, long value) {
        return std::string(",\"") + name + "\":" + std::to_string(value);
    };
    std::vector<std::string> registers;
    for (const KonfigDaten::Register& reg : r.Registers)
        registers.push_back("{\"MemType\":" + std::to_string(reg.MemTypeRegister) +
                            ",\"Start\":" + std::to_string(reg.StartRegister) +
                            ",\"Laenge\":" + std::to_string(reg.LaengeRegister) + "}");
    std::string out = "{\"TransponderTyp\":" + std::to_string(r.TransponderTyp);
    out += ",\"Registers\":" + JsonArray(registers);
    out += field("Darstellung", r.Darstellung) + field("ZeichenAnzahl", r.ZeichenAnzahl) +
           field("Betriebsart", r.Betriebsart) + field("GueltigeBytes", r.GueltigeBytes) +
           field("GueltigeBytesAb", r.GueltigeBytesAb) + field("Ausrichtung", r.Ausrichtung) +
           field("KennungLinks", r.KennungLinks) + field("KennungRechts", r.KennungRechts) +
           field("Zykluszeit", r.Zykluszeit) + field("Baudrate", r.Baudrate) +
           field("TimeoutRS232", r.TimeoutRS232) + field("Aufforderung", r.Aufforderung);
    return out + "}";
}

std::string KeyTableJson(const CHidKeyTable& table) {
    using L = CHidKeyTable::Level;
    auto character = [](uint8_t c) { return c ? JsonString(WinLatin1::ToUtf8(c)) : std::string("null"); };
    std::vector<std::string> keys;
    for (int scan = 0; scan < CHidKeyTable::ScanCodes; ++scan) {
        const uint8_t normal = table.Char(scan, L::Normal), shift = table.Char(scan, L::Shift),
                      altGr = table.Char(scan, L::AltGr);
        if (!normal && !shift && !altGr) continue;
        const int button = CHidKeyTable::ButtonOfScanCode(scan);
        const std::string key =
            button < 0 ? "null" : JsonString(CHidKeyTable::Buttons()[size_t(button)].caption);
        keys.push_back("{\"scanCode\":" + std::to_string(scan) + ",\"key\":" + key +
                       ",\"normal\":" + character(normal) + ",\"shift\":" + character(shift) +
                       ",\"altGr\":" + character(altGr) + "}");
    }
    return JsonArray(keys);
}

} // namespace Cli

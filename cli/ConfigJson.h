// The JSON pieces of "show --json" and "readback --json" (schema: docs/cli.md).
#pragma once

#include "HidKeyTable.h"
#include "KonfigDaten.h"

#include <string>

namespace Cli {

// {"TransponderTyp": 0, "Registers": [{"MemType":..,"Start":..,"Laenge":..} x4], ..., "Aufforderung": 63}
std::string RecordJson(const KonfigDaten& record);
// [{"scanCode": 16, "key": "Q" or null, "normal": "q", "shift": "Q", "altGr": "@" or null}, ...]: the scan
// codes that have a character on some level.
std::string KeyTableJson(const CHidKeyTable& table);

} // namespace Cli

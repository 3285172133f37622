// The decoded form of EPCs and TIDs beside the hex in the transponder
// commands' output, and their JSON objects (the schema is in docs/epc.md).
#pragma once

#include "Epc.h"

#include <string>
#include <vector>

namespace Cli {

// A JSON string literal (quotes and escapes included).
std::string JsonString(const std::string& text);

// {"hex": ..., "gs1": true, "scheme": ..., ...} or {"hex": ..., "gs1": false, "reason": ...}.
std::string EpcJson(const Epc::Decoded& decoded);
// {"hex": ..., "valid": ..., "class": ..., ...}.
std::string TidJson(const std::string& hex, const Epc::Tid& tid);

// The EPC of a hex text as the programmer shows it ("30 74 25 ..."); not
// hex gives a "not a GS1 EPC" result with the reason.
Epc::Decoded DecodeEpcText(const std::string& hexText);

// "\t" and the pure identity URI for a GS1 EPC, nothing otherwise: the
// column that follows the hex, so that lines of other EPCs stay as they are.
std::string EpcColumn(const Epc::Decoded& decoded);

// The EPC inside an EPC bank read from byte 0 (StoredCRC, PC, EPC): the PC
// gives its length. False when the data does not hold the PC and the whole
// EPC, or the PC's toggle bit marks a numbering system other than GS1's (the
// reason says which).
bool EpcFromBank(const std::vector<uint8_t>& bank, Epc::Bytes& epc, std::string& reason);

// "[a,b]" of the items, each already JSON.
std::string JsonArray(const std::vector<std::string>& items);

} // namespace Cli

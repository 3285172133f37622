// EPC and TID decoding and encoding after the GS1 EPC Tag Data Standard.
//
// No reader code and no Qt: bytes in, texts out. Decoding never fails: a bit
// pattern that is not a GS1 EPC of a known scheme is reported as such with
// its raw hex (never a guess). Encoding checks every field against the
// standard's ranges and says which one is out of range and why.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Epc {

using Bytes = std::vector<uint8_t>;

// One decoded EPC (the EPC bank's EPC words, without StoredCRC and PC).
struct Decoded {
    bool gs1 = false;          // false: "not a GS1 EPC"
    std::string scheme;        // "sgtin-96", "sscc-96", ... (tag URI spelling)
    int filter = -1;           // -1 where the scheme has none (GID-96)
    int partition = -1;        // -1 where the scheme has none
    std::string pureIdentity;  // "urn:epc:id:sgtin:0614141.812345.6789"
    std::string tagUri;        // "urn:epc:tag:sgtin-96:3.0614141.812345.6789"
    std::string elementString; // "(01)80614141123458(21)6789"; empty where GS1 has none (GID)
    std::string hex;           // the input, upper-case hex without blanks
    // Why it is not a GS1 EPC ("header 0x00 is not a GS1 scheme", "too short for
    // SGTIN-96", "partition 7 is reserved", ...); empty when gs1.
    std::string reason;
    // The identity's fields in the tag URI's order without the filter, as
    // Encode takes them (string fields unescaped); empty when not gs1.
    std::vector<std::string> fields;
};

Decoded Decode(const Bytes& epc);
// One line for lists: the pure identity URI, or "not a GS1 EPC".
std::string Summary(const Decoded& decoded);
constexpr const char* NotGs1Text = "not a GS1 EPC";

struct Encoded {
    bool ok = false;
    Bytes bytes;       // the EPC (12 bytes for a -96 scheme, ...)
    std::string error; // e.g. "serial 274877906944 is too large for SGTIN-96 (at most 274877906943)"
};

// From a tag URI: "urn:epc:tag:sgtin-96:3.0614141.812345.6789".
Encoded EncodeTagUri(const std::string& tagUri);
// From a scheme name (as in the tag URI, case-insensitive), the filter and
// the fields in the tag URI's order (company prefix and the rest as digit
// strings; the digit count of the company prefix picks the partition), e.g.
// ("sgtin-96", 3, {"0614141", "812345", "6789"}). Alphanumeric fields are
// taken as they are (no %-escapes); GID-96 ignores the filter.
Encoded Encode(const std::string& scheme, int filter, const std::vector<std::string>& fields);
// From a pure identity URI and a scheme with its size and a filter:
// ("urn:epc:id:sgtin:0614141.812345.6789", "sgtin-96", 3).
Encoded EncodePureIdentity(const std::string& pureUri, const std::string& scheme, int filter);
// The schemes Encode takes, in the tag URI spelling.
std::vector<std::string> Schemes();

// The TID bank's first words.
struct Tid {
    bool valid = false;    // false: fewer than 4 bytes, or an unknown class identifier
    int classId = -1;      // 0xE2 (EPCglobal), 0xE0 (ISO/IEC 7816-6), 0xE3 ...
    std::string classText; // "EPCglobal (E2)"
    bool extended = false; // the XTID bit (E2 class)
    bool securityIndicator = false;
    bool fileIndicator = false;
    int maskDesigner = -1; // 9 bits for class E2
    std::string maker;     // from the public mask-designer table; empty where unknown
    int model = -1;        // 12-bit tag model number (class E2)
    std::string serialHex; // the serial after the first 4 bytes (class E2 with XTID), may be empty
    std::string reason;    // why not valid
};

Tid DecodeTid(const Bytes& tid);
// One line for lists: class, maker (or the mask-designer id), model, XTID.
std::string Summary(const Tid& tid);

// Upper-case hex without blanks, and the reverse (blanks ignored; false on
// other characters or an odd digit count).
std::string ToHex(const Bytes& bytes);
bool FromHex(const std::string& text, Bytes& out);

} // namespace Epc

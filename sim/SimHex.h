// SimHex: hex text helpers of the simulated reader's console and tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace SimHex {

// Bytes as two upper-case hex digits separated by single blanks: "02 01 F0".
std::string Format(const uint8_t* data, size_t count);
inline std::string Format(const std::vector<uint8_t>& bytes) {
    return Format(bytes.data(), bytes.size());
}

// Hex text to bytes. Tokens are separated by blanks or tabs; each token holds an
// even number of hex digits ("E2 00 01" and "E20001" give the same bytes). An
// odd token or a character that is no hex digit makes the whole text invalid.
std::optional<std::vector<uint8_t>> Parse(const std::string& text);

} // namespace SimHex

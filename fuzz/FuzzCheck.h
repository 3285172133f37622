// What every fuzz target shares: a property check that stops the run (so
// that libFuzzer keeps the input as a crash), and a hex dump for its message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace Fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s:%d: property failed: %s\n%s%s", file, line, what, detail.c_str(),
                 detail.empty() ? "" : "\n");
    std::abort();
}

inline std::string Hex(const uint8_t* data, size_t count) {
    std::string text;
    char piece[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(piece, sizeof piece, "%02x ", data[i]);
        text += piece;
    }
    return text;
}
inline std::string Hex(const std::vector<uint8_t>& data) {
    return Hex(data.data(), data.size());
}

} // namespace Fuzz

// FUZZ_CHECK(condition) or FUZZ_CHECK(condition, detail text).
#define FUZZ_CHECK(condition, ...)                                                                           \
    do {                                                                                                     \
        if (!(condition)) Fuzz::Fail(__FILE__, __LINE__, #condition, std::string{__VA_ARGS__});              \
    } while (0)

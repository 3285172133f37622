#include "PageValidation.h"

#include "SetupText.h"
#include "WinLatin1.h"

#include <cstdint>

namespace PageValidation {

namespace {

SetupMessage Failure(int id, const std::vector<std::string>& args, int control) {
    SetupMessage message;
    message.id = id;
    message.text = SetupText::Placeholders(SetupText::Get(id), args);
    message.icon = MessageIcon::Exclamation;
    message.control = control;
    return message;
}

} // namespace

std::optional<SetupMessage> Integer(const std::string& text, int control, int& value) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const char first = i < text.size() ? text[i] : '\0';
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t magnitude = 0;
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        digits = true;
        if (magnitude <= INT64_C(0x100000000)) magnitude = magnitude * 10 + (text[i] - '0');
        ++i;
    }
    int64_t result = digits ? (negative ? -magnitude : magnitude) : 0;
    if (result > INT32_MAX) result = INT32_MAX;
    if (result < INT32_MIN) result = INT32_MIN;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if ((result == 0 && first != '0') || i != text.size()) return Failure(61712, {}, control);
    value = int(result);
    return std::nullopt;
}

std::optional<SetupMessage> Range(int value, int low, int high, int control) {
    if (value >= low && value <= high) return std::nullopt;
    return Failure(61714, {std::to_string(low), std::to_string(high)}, control);
}

std::optional<SetupMessage> IntegerInRange(const std::string& text, int low, int high, int control,
                                           int& value) {
    // Like the framework's exchange: the member takes the number, then the
    // range is checked.
    if (auto failure = Integer(text, control, value)) return failure;
    return Range(value, low, high, control);
}

std::optional<SetupMessage> MaxChars(const std::string& text, size_t maxChars, int control) {
    if (WinLatin1::Length(text) <= maxChars) return std::nullopt;
    return Failure(61716, {std::to_string(maxChars)}, control);
}

} // namespace PageValidation

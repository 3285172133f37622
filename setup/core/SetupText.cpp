#include "SetupText.h"

#include "TextTable.h"
#include "WinLatin1.h"

#include <cstdio>

namespace SetupText {

std::string Get(int id) {
    return TextTable::Get(TextTable::Program::Morvane, id);
}

namespace {

std::string Pad(std::string body, int width, bool left, char fill, size_t signLength) {
    const size_t length = WinLatin1::Length(body);
    if (width <= 0 || length >= size_t(width)) return body;
    const size_t missing = size_t(width) - length;
    if (left) return body + std::string(missing, ' ');
    if (fill == '0') return body.insert(signLength, std::string(missing, '0'));
    return std::string(missing, ' ') + body;
}

std::string Number(long long value, char conversion, bool plus, bool space, bool alternate, int precision) {
    std::string digits;
    bool negative = false;
    unsigned long long magnitude = 0;
    if (conversion == 'd' || conversion == 'i') {
        negative = value < 0;
        magnitude =
            negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    } else {
        // Unsigned conversions see the 32-bit pattern, as the C library does for an int.
        magnitude = static_cast<unsigned long long>(static_cast<uint32_t>(value));
    }
    const int base = (conversion == 'x' || conversion == 'X') ? 16 : 10;
    const char* set = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits.insert(digits.begin(), set[magnitude % unsigned(base)]);
        magnitude /= unsigned(base);
    } while (magnitude);
    if (precision >= 0 && digits.size() < size_t(precision))
        digits.insert(0, size_t(precision) - digits.size(), '0');
    std::string sign;
    if (negative)
        sign = "-";
    else if ((conversion == 'd' || conversion == 'i') && plus)
        sign = "+";
    else if ((conversion == 'd' || conversion == 'i') && space)
        sign = " ";
    if (alternate && base == 16 && value != 0) sign += conversion == 'X' ? "0X" : "0x";
    return sign + digits;
}

} // namespace

std::string Format(const std::string& format, const std::vector<Arg>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        size_t j = i + 1;
        if (j < format.size() && format[j] == '%') {
            out += '%';
            i = j;
            continue;
        }
        bool left = false, plus = false, space = false, alternate = false;
        char fill = ' ';
        for (; j < format.size(); ++j) {
            const char f = format[j];
            if (f == '-')
                left = true;
            else if (f == '+')
                plus = true;
            else if (f == ' ')
                space = true;
            else if (f == '#')
                alternate = true;
            else if (f == '0')
                fill = '0';
            else
                break;
        }
        int width = 0;
        while (j < format.size() && format[j] >= '0' && format[j] <= '9' && width < 1000)
            width = width * 10 + (format[j++] - '0');
        int precision = -1;
        if (j < format.size() && format[j] == '.') {
            precision = 0;
            ++j;
            while (j < format.size() && format[j] >= '0' && format[j] <= '9' && precision < 1000)
                precision = precision * 10 + (format[j++] - '0');
        }
        while (j < format.size() && (format[j] == 'l' || format[j] == 'h' || format[j] == 'I'))
            ++j;
        if (j >= format.size()) { // a lone '%' at the end stays as it is
            out += format.substr(i);
            break;
        }
        const char conversion = format[j];
        if (std::string("diuxXcs").find(conversion) == std::string::npos) {
            out += format.substr(i, j - i + 1); // unknown: copied unchanged
            i = j;
            continue;
        }
        i = j;
        if (next >= args.size()) continue;
        const Arg& arg = args[next++];
        std::string body;
        size_t signLength = 0;
        if (conversion == 'c') {
            body =
                arg.isText ? arg.text.substr(0, arg.text.empty() ? 0 : 1) : std::string(1, char(arg.number));
            fill = ' ';
        } else if (conversion == 's') {
            body = arg.isText ? arg.text : std::to_string(arg.number);
            if (precision >= 0 && body.size() > size_t(precision)) body.resize(size_t(precision));
            fill = ' ';
        } else if (arg.isText) {
            body = arg.text;
            fill = ' ';
        } else {
            body = Number(arg.number, conversion, plus, space, alternate, precision);
            if (precision >= 0) fill = ' ';
            signLength = body.find_first_of("0123456789abcdefABCDEF");
            if (alternate && signLength != std::string::npos && body.compare(signLength, 2, "0x") == 0)
                signLength += 2;
            if (alternate && signLength != std::string::npos && body.compare(signLength, 2, "0X") == 0)
                signLength += 2;
            if (signLength == std::string::npos) signLength = 0;
        }
        out += Pad(body, width, left, fill, signLength);
    }
    return out;
}

std::string Formatted(int id, const std::vector<Arg>& args) {
    return Format(Get(id), args);
}

std::string Placeholders(const std::string& text, const std::vector<std::string>& args) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const size_t index = size_t(text[i + 1] - '1');
            if (index < args.size()) out += args[index];
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string Label(const std::string& text, size_t width) {
    const size_t length = WinLatin1::Length(text);
    return text + std::string(length < width ? width - length : 0, ' ') + ": ";
}

} // namespace SetupText

// Morvane's texts by id, and a printf-like formatter that is safe for
// format strings that come from a text table (a language module may hold
// anything: a placeholder without an argument, or of the wrong kind, never
// reads past the arguments given).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace SetupText {

// The text of a Morvane string table id (own table, then the common one).
std::string Get(int id);

// One argument of Format: a number or a text.
struct Arg {
    Arg(int value) : isText(false), number(value) {}
    Arg(unsigned value) : isText(false), number(value) {}
    Arg(long value) : isText(false), number(value) {}
    Arg(long long value) : isText(false), number(value) {}
    Arg(const char* value) : isText(true), text(value ? value : "") {}
    Arg(std::string value) : isText(true), text(std::move(value)) {}
    bool isText;
    long long number = 0;
    std::string text;
};

// Fills %d %i %u %x %X %c %s (flags "-0 +#", width and precision, length
// modifiers ignored) and %% from the arguments in order. A placeholder
// without an argument is left out; %c of a number appends that byte; %s of a
// number gives its decimal text, %d of a text gives the text.
std::string Format(const std::string& format, const std::vector<Arg>& args);

// Get(id), then Format.
std::string Formatted(int id, const std::vector<Arg>& args);

// %1, %2, ... replaced by the arguments (the framework messages).
std::string Placeholders(const std::string& text, const std::vector<std::string>& args);

// A report label: the text filled up with blanks to width characters (a
// longer text stays whole), followed by ": ".
std::string Label(const std::string& text, size_t width = 14);

} // namespace SetupText

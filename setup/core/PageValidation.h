// The checks a page makes when it takes over its controls, with the
// framework's standard messages: 61712 not an integer, 61714 out of range
// (%1, %2 the bounds), 61716 too many characters (%1 the maximum). The
// failing control is named in the message so that it gets the focus.
#pragma once

#include "SetupHost.h"

#include <optional>
#include <string>

namespace PageValidation {

// An integer edit: blanks, an optional sign and digits, blanks; a text whose
// value is 0 without starting with the digit 0 (empty, "-0", "abc") fails.
// Values beyond 32 bits are clamped (and then fail their range).
std::optional<SetupMessage> Integer(const std::string& text, int control, int& value);
std::optional<SetupMessage> Range(int value, int low, int high, int control);
// Both of the above; value takes a well-formed number even when it is out
// of range, as the framework's exchange leaves it.
std::optional<SetupMessage> IntegerInRange(const std::string& text, int low, int high, int control,
                                           int& value);
// A text edit of at most maxChars characters.
std::optional<SetupMessage> MaxChars(const std::string& text, size_t maxChars, int control);

} // namespace PageValidation

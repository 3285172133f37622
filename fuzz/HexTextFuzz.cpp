// The programmer's hex text fields as the user types or pastes them.
#include "FuzzCheck.h"

#include "HexText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

using Programmer::Bytes;
using Programmer::HexText;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const size_t limits[] = {HexText::SelectionLimit, HexText::EpcWriteLimit, HexText::FieldLimit, 4, 0};
    const size_t limit = limits[input.ConsumeIntegralInRange<size_t>(0, 4)];
    const std::string text = input.ConsumeRemainingBytesAsString();

    const Bytes bytes = HexText::Parse(text, limit);
    FUZZ_CHECK(bytes.size() <= limit);
    // The form shown for what was read reads back as the same bytes.
    const std::string shown = HexText::Format(bytes);
    FUZZ_CHECK(shown.size() == (bytes.empty() ? 0 : 3 * bytes.size() - 1));
    FUZZ_CHECK(HexText::Parse(shown, HexText::FieldLimit) == bytes, shown);
    FUZZ_CHECK(HexText::TokenCount(shown) == bytes.size(), shown);
    // And the input's bytes, shown, read back as themselves.
    const Bytes raw(text.begin(), text.end());
    const std::string all = HexText::Format(raw);
    const size_t most = std::min(raw.size(), HexText::FieldLimit);
    FUZZ_CHECK(HexText::Parse(all, HexText::FieldLimit) == Bytes(raw.begin(), raw.begin() + long(most)), all);
    return 0;
}

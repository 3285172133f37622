// ReaderOutput: what a reader in reader mode sends for a transponder, built
// from its stored configuration blocks (Param, Prefix, Suffix, Termix,
// Postcode). Pure functions, so the formatting is tested without a line;
// the simulated reader sends exactly this, and the preview shows it.
// docs/simulator.md ("Reader mode output") describes the interpretation.
#pragma once

#include "TagMemory.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace ReaderOutput {

// Output with pauses: each piece goes out after the pause that precedes it
// (a "Wait 100" code starts a new piece).
struct Piece {
    std::chrono::milliseconds pauseBefore{0};
    Bytes bytes;
};
using Output = std::vector<Piece>;

// Appends the codes of a key sequence block up to its first 0xFF: 0..127
// and 144..254 as those bytes, F1..F12 as the VT220/xterm escape sequences,
// Shift+/Control+/Alt+ modifying the next code, Wait 100 as a pause.
void AppendKeys(Output& output, const Bytes& block);
void AppendBytes(Output& output, const Bytes& bytes);
// All bytes of an output, pauses left out.
Bytes Flatten(const Output& output);

// One piece of data (the EPC, or one register) formatted as the Param block
// asks: used bytes, rotation, representation, character count.
Bytes FormatData(const Bytes& data, const Bytes& param);

// The data pieces of a transponder: its EPC, or in block format the
// registers up to the first empty one (a register that cannot be read gives
// an empty piece).
std::vector<Bytes> DataPieces(const TagMemory& tag, const Bytes& param);

struct Blocks {
    Bytes param, prefix, suffix, termix, postcode;
};

// Prefix, identifier before, the formatted pieces separated by the Termix
// sequence, identifier after, Suffix. Without a transponder: Prefix and
// Suffix alone.
Output Telegram(const Blocks& blocks, const TagMemory* tag);
// The removal sequence (Postcode) alone.
Output Removal(const Blocks& blocks);

} // namespace ReaderOutput

// SimTelegram: the simulated reader's reader-mode output, the output
// engine (output/Telegram.h) over the simulator's transponders.
#pragma once

#include "SimTransponder.h"
#include "Telegram.h"

#include <vector>

namespace SimTelegram {

using ReaderOutput::AppendBytes;
using ReaderOutput::AppendKeys;
using ReaderOutput::Blocks;
using ReaderOutput::Bytes;
using ReaderOutput::Flatten;
using ReaderOutput::FormatData;
using ReaderOutput::Output;
using ReaderOutput::Piece;
using ReaderOutput::Removal;

std::vector<Bytes> DataPieces(const CSimTransponder& tag, const Bytes& param);
Output Telegram(const Blocks& blocks, const CSimTransponder* tag);

} // namespace SimTelegram

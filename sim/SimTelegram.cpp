#include "SimTelegram.h"

namespace SimTelegram {

std::vector<Bytes> DataPieces(const CSimTransponder& tag, const Bytes& param) {
    return ReaderOutput::DataPieces(tag.Memory(), param);
}

Output Telegram(const Blocks& blocks, const CSimTransponder* tag) {
    if (!tag) return ReaderOutput::Telegram(blocks, nullptr);
    const ReaderOutput::TagMemory memory = tag->Memory();
    return ReaderOutput::Telegram(blocks, &memory);
}

} // namespace SimTelegram

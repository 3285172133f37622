#include "PcWord.h"

#include "HexText.h"

namespace Programmer {

std::string PcWord::WithPayloadLength(const std::string& pcText, int payloadLength) {
    Bytes pc = HexText::Parse(pcText, 2);
    pc.resize(2, 0);
    pc[0] = static_cast<uint8_t>((pc[0] & 0x07) | FirstByte(payloadLength));
    return HexText::Format(pc);
}

} // namespace Programmer

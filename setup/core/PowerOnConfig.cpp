#include "PowerOnConfig.h"

#include "LinkApi.h"
#include "LinkVocabulary.h"

namespace PowerOnConfig {

std::optional<int> Read(int session, ISetupHost& host) {
    unsigned char reply[16];
    const int length = LinkTransceive(session, 0xF4, nullptr, 0, reply, sizeof reply);
    if (length != 1) {
        host.ShowMessage(SetupMessage::FromId(519));
        return std::nullopt;
    }
    return reply[0] & 1;
}

bool Write(int session, int mode, ISetupHost& host) {
    if (LinkSetState(session, ReaderState::StorePowerOn + (mode & 1)) < 0) {
        host.ShowMessage(SetupMessage::FromId(510, MessageIcon::Error));
        return false;
    }
    return true;
}

} // namespace PowerOnConfig

#include "ReaderConnect.h"

#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "ReaderConnection.h"
#include "SetupText.h"

namespace ReaderConnect {

Result Connect(const Request& request) {
    frontend::ReaderRequest reader;
    reader.linkPortName = request.port;
    reader.baudrate = request.baudrate;
    reader.timeoutMs = request.timeoutMs;
    reader.network = LinkPort::TransportOf(request.port) == LinkPort::Kind::Lan;
    reader.serial = !reader.network && !LinkPort::NamesHidReader(request.port);
    const frontend::ReaderResult found = frontend::ConnectReader(reader);

    Result result;
    result.connection.code = found.code;
    result.connection.baud = found.baudrate;
    result.openedBaud = reader.serial ? PackedBaud::Rate(found.baudrate) : 19200;
    if (found.code != frontend::ReaderResult::Ok) return result;
    result.connection.session = found.session;
    result.connection.flags = found.flags;
    result.deviceType = found.deviceType;
    result.deviceName = found.deviceName;
    result.firmware = SetupText::Formatted(533, {1, found.minorVersion});
    return result;
}

SetupMessage FailureMessage(int code) {
    return SetupMessage::FromId(code == 1 ? 521 : 522, MessageIcon::Exclamation);
}

void Close(int session) {
    if (session <= 0) return;
    LinkSetState(session, ReaderState::BeforeClose);
    LinkClose(session);
}

} // namespace ReaderConnect

#include "Funktionstest.h"

#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "SetupText.h"

#include <cstdio>

CFunktionstest::CFunktionstest(Now now) : m_now(std::move(now)) {}

CFunktionstest::~CFunktionstest() {
    Close();
}

bool CFunktionstest::CountingMode(int mode) {
    return mode == 0 || mode == 3 || mode == 5 || mode == 6;
}

bool CFunktionstest::Open(ISetupHost& host, int connectionFlags) {
    m_host = &host;
    const SetupConnection connection = host.Connect(true);
    if (!connection.Connected()) return false;
    unsigned char mode[4] = {0, 0, 0, 0};
    if (ReadModeParam(connection.session, mode, sizeof mode) < 0) {
        host.CloseSession(connection.session);
        return false;
    }
    LinkSetState(connection.session, ReaderState::Reader);
    Start(connection.session, mode[0], mode[2], connectionFlags);
    return true;
}

void CFunktionstest::Start(int session, uint8_t modeByte, uint8_t requestByte, int connectionFlags) {
    m_session = session;
    m_mode = modeByte & 0x0F;
    m_request = requestByte < 0x20 ? uint8_t('?') : requestByte;
    m_lastReception = m_now();
    m_counter = 0;
    m_lost = false;
    m_telegram.clear();
    ClearViews();
    m_counterVisible = CountingMode(m_mode);
    m_sendEnabled = !m_counterVisible;
    m_sendBuffer.clear();
    if (m_sendEnabled) m_sendBuffer.push_back(m_request);
    m_relayVisible = (connectionFlags & ConnectionFlag::Relay) != 0;
}

void CFunktionstest::Close() {
    if (m_session <= 0) return;
    const int session = m_session;
    m_session = 0;
    if (m_host) {
        m_host->CloseSession(session);
    } else {
        LinkSetState(session, ReaderState::BeforeClose);
        LinkClose(session);
    }
}

std::string CFunktionstest::RequestText() const {
    std::string text;
    char hex[8];
    for (uint8_t byte : m_sendBuffer) {
        std::snprintf(hex, sizeof hex, "%02X ", byte);
        text += hex;
    }
    return text;
}

std::string CFunktionstest::LostText() {
    return SetupText::Get(LostTextId);
}

SetupMessage CFunktionstest::LostMessage() {
    return SetupMessage::FromId(LostTextId, MessageIcon::Exclamation);
}

bool CFunktionstest::CheckConnected() {
    if (m_lost) return false;
    // -1 (the session is not known any more) counts as gone as well.
    if (LinkIsConnected(m_session) != 1) m_lost = true;
    return !m_lost;
}

bool CFunktionstest::OnTimer(int timerId) {
    if (timerId != TimerId || m_session <= 0 || m_lost) return false;
    unsigned char buffer[255];
    const int count = LinkReceiveRaw(m_session, buffer, sizeof buffer);
    // What arrived before the device went away is still shown.
    const bool changed = OnReceived(buffer, count > 0 ? size_t(count) : 0);
    CheckConnected();
    return changed;
}

bool CFunktionstest::OnReceived(const uint8_t* bytes, size_t count) {
    if (!bytes || count == 0) return false;
    const Clock::time_point now = m_now();
    if (now - m_lastReception > TelegramGap || TelegramFull()) {
        ClearViews();
        m_telegram.clear();
        if (m_counterVisible) ++m_counter;
    }
    m_lastReception = now;
    char hex[8];
    for (size_t i = 0; i < count; ++i) {
        m_ascii += char(bytes[i]);
        m_ascii += "   ";
        std::snprintf(hex, sizeof hex, "%02X ", bytes[i]);
        m_hex += hex;
        m_telegram.push_back(bytes[i]);
    }
    return true;
}

void CFunktionstest::ClearViews() {
    m_ascii.clear();
    m_hex.clear();
}

bool CFunktionstest::SendBytes(const unsigned char* bytes, int count) {
    if (m_session <= 0 || m_lost || count <= 0) return false;
    // Asked before sending too: the device may have gone since the last tick.
    if (!CheckConnected()) return false;
    return LinkSendRaw(m_session, bytes, count) >= 0;
}

bool CFunktionstest::Send() {
    if (m_lost) return false; // the last telegram stays as it was
    const bool sent = SendBytes(m_sendBuffer.data(), int(m_sendBuffer.size()));
    if (m_lost) return false;
    ClearViews();
    m_telegram.clear();
    return sent;
}

bool CFunktionstest::Relay(bool pressed) {
    const unsigned char byte = pressed ? 0x11 : 0x13;
    return SendBytes(&byte, 1);
}

bool CFunktionstest::Buzzer() {
    const unsigned char byte = 0x07;
    return SendBytes(&byte, 1);
}

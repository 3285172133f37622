#include "Funktionstest.h"

#include "LinkApi.h"
#include "LinkVocabulary.h"

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

bool CFunktionstest::OnTimer(int timerId) {
    if (timerId != TimerId || m_session <= 0) return false;
    unsigned char buffer[255];
    const int count = LinkReceiveRaw(m_session, buffer, sizeof buffer);
    return OnReceived(buffer, count > 0 ? size_t(count) : 0);
}

bool CFunktionstest::OnReceived(const uint8_t* bytes, size_t count) {
    if (!bytes || count == 0) return false;
    const Clock::time_point now = m_now();
    if (now - m_lastReception > TelegramGap) {
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

void CFunktionstest::Send() {
    if (m_session > 0 && !m_sendBuffer.empty())
        LinkSendRaw(m_session, m_sendBuffer.data(), int(m_sendBuffer.size()));
    ClearViews();
    m_telegram.clear();
}

void CFunktionstest::Relay(bool pressed) {
    const unsigned char byte = pressed ? 0x11 : 0x13;
    if (m_session > 0) LinkSendRaw(m_session, &byte, 1);
}

void CFunktionstest::Buzzer() {
    const unsigned char byte = 0x07;
    if (m_session > 0) LinkSendRaw(m_session, &byte, 1);
}

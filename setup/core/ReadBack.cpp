#include "ReadBack.h"

#include "ConfigImage.h"
#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "SetupText.h"

#include <cstdio>

using SetupText::Formatted;
using SetupText::Get;
using SetupText::Label;

CReadBack::CReadBack(int session, int baud, int connectionFlags)
    : m_session(session), m_baud(baud), m_flags(connectionFlags) {}

std::string CReadBack::KeySequenceLine(int labelId, const uint8_t* bytes, size_t count) {
    std::string line = " " + Label(Get(labelId));
    char hex[8];
    for (size_t i = 0; bytes && i < count && bytes[i] != 0xFF; ++i) {
        std::snprintf(hex, sizeof hex, "%02X ", bytes[i]);
        line += hex;
    }
    return line + "\r\n";
}

std::string CReadBack::Separator() {
    return "\r\n " + std::string(49, '-') + "\r\n\r\n ";
}

std::string CReadBack::ParameterLines(const uint8_t* paramBytes, size_t paramCount, const uint8_t* modeBytes,
                                      size_t modeCount) {
    const auto param = ConfigImage::DecodeParam(paramBytes, paramCount);
    const auto mode = ConfigImage::DecodeModeParam(modeBytes, modeCount);
    if (!param || !mode) return Get(546);

    std::string text;
    // Tag type and rotation.
    text += Label(Get(538));
    text += param->formatByte == 0 ? "Tag ID" : param->formatByte == 1 ? "Block" : "Def. unkown";
    switch (param->rotation) {
    case 1:
        text += " " + Get(557);
        break;
    case 2:
        text += " " + Get(558);
        break;
    case 3:
        text += " " + Get(557) + " " + Get(558);
        break;
    default:
        break;
    }
    text += "\r\n ";

    // Registers, up to the first empty one, one after the other.
    static const char* const kBanks[4] = {"Res.", "EPC ", "TID ", "User"};
    text += Label(Get(539));
    for (const ConfigImage::Register& reg : param->registers) {
        if (reg.empty) break;
        text += std::string(kBanks[reg.bank]) + " " + Get(570) + " " + std::to_string(reg.start) + " " +
                Get(571) + " " + std::to_string(reg.length);
    }
    text += "\r\n ";

    text += Label(Get(540));
    switch (param->representation) {
    case 0:
        text += Get(541);
        break;
    case 1:
        text += Get(542);
        break;
    case 2:
        text += Get(564);
        break;
    case 3:
        text += Get(580);
        break;
    case 4:
        text += Get(560);
        break;
    default:
        text += Formatted(561, {int(param->representation)});
        break;
    }
    text += " ";
    text += Formatted(543, {int(param->characterCount)}) + " ";
    text += Formatted(577, {int(param->firstUsedByte), int(param->lastUsedByte)}) + " ";
    text += Formatted(547, {mode->mode}) + " ";
    text += Get(mode->sensor ? 575 : 576) + " ";
    text += Formatted(548, {mode->cycleTimeMs}) + " ";
    const int request = mode->requestByte >= 0x20 && mode->requestByte <= 0x7F ? mode->requestByte : '?';
    text += Formatted(553, {request}) + " ";
    text += Formatted(513, {int(mode->timeoutByte) * 100}) + " ";
    return text;
}

bool CReadBack::Run(ISetupHost& host) {
    m_complete = false;
    if (m_session == 0) {
        m_baud = 19200;
        const SetupConnection connection = host.Connect(true);
        if (!connection.Connected()) return false;
        m_session = connection.session;
        m_baud = connection.baud;
    }
    const int session = m_session;
    auto close = [&] {
        host.CloseSession(session);
        m_session = 0;
    };
    LinkSetState(session, ReaderState::Programming);

    unsigned char buffer[64];
    int length = ReadPrefix(session, buffer, sizeof buffer);
    if (length < 0) {
        const int code = LinkGetLastError(session);
        close();
        SetupMessage message;
        message.id = 590;
        message.text = Formatted(590, {code});
        message.icon = MessageIcon::Exclamation;
        host.ShowMessage(message);
        return true;
    }
    // A report read before ends with the blank that starts its next line:
    // the appended report's first line starts with that one, so that it lines
    // up with the lines before it.
    if (m_report.size() >= 2 && m_report.compare(m_report.size() - 2, 2, "\n ") == 0) m_report.pop_back();
    m_report += KeySequenceLine(500, buffer, size_t(length));
    host.ReportUpdated(m_report);

    struct Sequence {
        int (*read)(int, unsigned char*, int);
        int label;
        const char* name;
    };
    const Sequence sequences[] = {{ReadSuffix, 501, "ReadSuffix"},
                                  {ReadPostcode, 502, "ReadPostcode"},
                                  {ReadTermix, 554, "ReadTermix"}};
    auto failed = [&](const char* name) {
        m_report += Formatted(562, {LinkGetLastError(session), name});
        close();
        host.ReportUpdated(m_report);
        return true;
    };
    for (const Sequence& sequence : sequences) {
        length = sequence.read(session, buffer, sizeof buffer);
        if (length < 0) return failed(sequence.name);
        m_report += KeySequenceLine(sequence.label, buffer, size_t(length));
        host.ReportUpdated(m_report);
    }
    m_report += Separator();

    unsigned char param[64];
    const int paramLength = ReadParam(session, param, sizeof param);
    if (paramLength < 0) return failed("ReadParam");
    unsigned char mode[4];
    const int modeLength = ReadModeParam(session, mode, sizeof mode);
    if (modeLength < 0) return failed("ReadModeParam");
    close();
    m_report += ParameterLines(param, size_t(paramLength), mode, size_t(modeLength));
    host.ReportUpdated(m_report);
    m_complete = true;
    return true;
}

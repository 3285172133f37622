#include "ProgramReader.h"

#include "ConfigImage.h"
#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "SeriellEinstellModel.h"
#include "SetupText.h"

ProgramResult ProgramReader(CSeriellEinstellModel& model, ISetupHost& host) {
    // A sequence the file did not load would be programmed as whatever the
    // page held before (empty after "Laden"): nothing is written then.
    if (const CEingabeBasisRegisterkarte* refused = model.RefusedSequence()) {
        SetupMessage message;
        message.id = 595;
        message.text = SetupText::Formatted(595, {refused->Caption()});
        message.icon = MessageIcon::Exclamation;
        host.ShowMessage(message);
        return ProgramResult::Invalid;
    }

    // 1. Connect; the stored baud rate replaces the 19200.
    model.SetBaud(19200);
    const SetupConnection connection = host.Connect(true);
    if (!connection.Connected()) {
        host.ShowMessage(SetupMessage::FromId(522));
        return ProgramResult::NoConnection;
    }
    const int session = connection.session;
    model.SetBaud(connection.baud);

    auto fail = [&](ProgramResult result) {
        host.CloseSession(session);
        if (result == ProgramResult::Failed) host.ShowMessage(SetupMessage::FromId(510, MessageIcon::Error));
        return result;
    };
    int written = 0;
    auto write = [&](int (*writer)(int, const unsigned char*, int), const ConfigImage::Bytes& block,
                     const char* name) {
        host.WritingBlock(name, ++written, 6);
        return writer(session, block.data(), int(block.size())) >= 0;
    };

    // 2. The baud rate in use on the parameter page.
    CParamRegisterkarte& param = model.Param();
    if (!model.IsHid()) {
        param.ShowCurrentBaudRate(connection.baud);
        host.CurrentBaudRateShown(connection.baud);
    }

    // 3. Prefix.
    if (!write(WritePrefix, model.Prefix().ToBlock(), "Prefix")) return fail(ProgramResult::Failed);

    // 4, 5. The data page through a fresh record into the Param block.
    CDatenRegisterkarte& daten = model.Daten();
    if (auto message = daten.Validate()) {
        host.ShowMessage(*message);
        if (daten.ErrorMarker() == 1)
            host.FocusControl(SetupPage::Daten, CDatenRegisterkarte::StartIds[0]);
        else if (message->control)
            host.FocusControl(SetupPage::Daten, message->control);
        return fail(ProgramResult::Invalid);
    }
    KonfigDaten record;
    daten.ToRecord(record);
    if (!write(WriteParam, ConfigImage::BuildParam(record), "Param")) return fail(ProgramResult::Failed);

    // 6. The parameter page (an HID reader's own); a rate chosen under
    // "Setzen:" is stored at once.
    if (auto message = model.IsHid() ? model.ParamHid().Validate() : param.Validate()) {
        host.ShowMessage(*message);
        if (message->control) host.FocusControl(SetupPage::Param, message->control);
        return fail(ProgramResult::Invalid);
    }
    if (model.IsHid())
        model.ParamHid().ToRecord(record);
    else
        param.ToRecord(record);
    const int newBaud = model.IsHid() ? 0 : param.ChosenBaudRate();
    if (newBaud) host.SetSetting(PortSettings::Section, PortSettings::Baudrate, std::to_string(newBaud));

    // 7, 8. ModeParam and the other three key sequences.
    if (!write(WriteModeParam, ConfigImage::BuildModeParam(record), "ModeParam"))
        return fail(ProgramResult::Failed);
    if (!write(WriteSuffix, model.Suffix().ToBlock(), "Suffix")) return fail(ProgramResult::Failed);
    if (!write(WritePostcode, model.Abziehen().ToBlock(), "Postcode")) return fail(ProgramResult::Failed);
    if (!write(WriteTermix, model.Trenner().ToBlock(), "Termix")) return fail(ProgramResult::Failed);

    // 9. The baud rate, never over USB or the network.
    const int current = param.GetMembers().currentBaud;
    if (LinkIsUsb(session) == 0 && !(connection.flags & ConnectionFlag::Network) && newBaud &&
        newBaud != current) {
        if (LinkSetBaudRate(session, newBaud, 0) < 0) return fail(ProgramResult::Failed);
    }

    // 10. An HID reader gets the keyboard table; how that went does not
    // change the outcome (the blocks are in the reader).
    if (model.IsHid()) {
        bool transferred = false;
        if (model.HidChannels()) {
            if (std::unique_ptr<IHidChannel> channel = model.HidChannels()(session))
                transferred = model.ParamHid().Table().Transfer(*channel);
        }
        model.SetKeyTableTransferred(transferred);
    } else {
        // The rate now in use; the choice is done.
        const int shown = newBaud ? newBaud : current;
        param.ShowCurrentBaudRate(shown);
        host.CurrentBaudRateShown(shown);
        param.ClearSetBaud();
    }

    // 11.
    host.CloseSession(session);
    host.ShowMessage(SetupMessage::FromId(509, MessageIcon::Information));
    return ProgramResult::Programmed;
}

#include "SetupHost.h"

#include "SetupText.h"

SetupMessage SetupMessage::FromId(int id, MessageIcon icon) {
    SetupMessage message;
    message.id = id;
    message.text = SetupText::Get(id);
    message.icon = icon;
    return message;
}

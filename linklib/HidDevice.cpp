#include "HidDevice.h"

void CHidDevice::BindHidLibraries() {}
void CHidDevice::UnbindHidLibraries() {}
void CHidDevice::ListDevices(std::vector<std::string>&) {}
bool CHidDevice::OpenByName(const std::string&) {
    return false;
}
bool CHidDevice::Send(const uint8_t*, size_t) {
    return false;
}
int CHidDevice::Poll(uint8_t*, int) {
    return 0;
}
bool CHidDevice::SetLinkState(int) {
    return false;
}
bool CHidDevice::SendInterfaceCommand(const uint8_t*, size_t) {
    return false;
}
int CHidDevice::TransactInterfaceCommand(const uint8_t*, size_t, uint8_t*, int) {
    return -1;
}

bool CHidDevice::OpenLink(const std::string& name, const LinkLine&) {
    if (!OpenByName(name)) return false;
    SetLinkState(0);
    return true;
}

void CHidDevice::CloseLink() {
    if (!IsOpen()) return;
    SetLinkState(1);
    Close();
}

#include "BluetoothLink.h"

bool CBluetoothLink::Open(const std::string&) {
    return false;
}
bool CBluetoothLink::Send(const uint8_t*, size_t) {
    return false;
}
int CBluetoothLink::Receive(uint8_t*, int) {
    return 0;
}
bool CBluetoothLink::SetBaudRate(int) {
    return false;
}

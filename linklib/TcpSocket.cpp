#include "TcpSocket.h"

bool CTcpSocket::ConnectTcp(const std::string&) {
    return false;
}
bool CTcpSocket::OpenChannel(const std::string&) {
    return false;
}
int CTcpSocket::Search(std::vector<std::string>& list, int, bool) {
    list.clear();
    return 0;
}
bool CTcpSocket::ReadRecord(int, std::vector<uint8_t>&) {
    return false;
}
bool CTcpSocket::WriteRecord(int, const std::vector<uint8_t>&) {
    return false;
}
void CTcpSocket::Restart() {}
void CTcpSocket::CloseChannel() {
    m_lanId = 0;
}
bool CTcpSocket::Send(const uint8_t*, size_t) {
    return false;
}
void CTcpSocket::CloseTcp() {
    m_lanId = 0;
}

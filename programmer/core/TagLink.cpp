#include "TagLink.h"

#include "LinkApi.h"

namespace Programmer {

namespace {

class ApiTagLink : public TagLink {
public:
    int Inventory(int session, int value, uint8_t* buffer, int size) override {
        return LinkInventory(session, value, buffer, size);
    }
    int Select(int session, const uint8_t* bytes, int count) override {
        return LinkSelect(session, bytes, count);
    }
    int ReadTag(int session, int bank, int wordAddress, uint8_t* buffer, int size) override {
        return LinkReadTag(session, bank, wordAddress, buffer, size);
    }
    int ReadTagAll(int session, int bank, int wordAddress, uint8_t* buffer, int size) override {
        return LinkReadTagAll(session, bank, wordAddress, buffer, size);
    }
    int WriteTag(int session, int bank, int wordAddress, const uint8_t* bytes, int count) override {
        return LinkWriteTag(session, bank, wordAddress, bytes, count);
    }
    int RfSwitch(int session, int value) override { return LinkRfSwitch(session, value); }
    int GetLastError(int session) override { return LinkGetLastError(session); }
    int SetKeepWindowEnabled(int session, int flag) override {
        return LinkSetKeepWindowEnabled(session, flag);
    }
    int IsConnected(int session) override { return LinkIsConnected(session); }
};

} // namespace

int TagLink::Access(int session, const uint8_t password[4]) {
    uint8_t reply[16];
    return LinkTransceive(session, AccessCommand, password, 4, reply, sizeof reply) < 0 ? -1 : 0;
}

TagLink& TagLink::Api() {
    static ApiTagLink api;
    return api;
}

} // namespace Programmer

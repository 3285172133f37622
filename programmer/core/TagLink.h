// The Link API calls the transponder operations make, behind one small
// interface so that tests can script a reader's answers. Programs use Api(),
// which forwards every call unchanged to the link library.
#pragma once

#include <cstdint>

namespace Programmer {

// The reader command of TagLink::Access.
constexpr int AccessCommand = 0xC6;

class TagLink {
public:
    virtual ~TagLink() = default;

    virtual int Inventory(int session, int value, uint8_t* buffer, int size) = 0;
    virtual int Select(int session, const uint8_t* bytes, int count) = 0;
    virtual int ReadTag(int session, int bank, int wordAddress, uint8_t* buffer, int size) = 0;
    virtual int ReadTagAll(int session, int bank, int wordAddress, uint8_t* buffer, int size) = 0;
    virtual int WriteTag(int session, int bank, int wordAddress, const uint8_t* bytes, int count) = 0;
    virtual int RfSwitch(int session, int value) = 0;
    virtual int GetLastError(int session) = 0;
    virtual int SetKeepWindowEnabled(int session, int flag) = 0;
    // 1 while the session's device is there, 0 once it went away (unplugged,
    // hung up), -1 for an unknown session. Sends nothing.
    virtual int IsConnected(int /*session*/) { return 1; }
    // Command 0xC6 (this system's addition to the reader's command set): the
    // selected transponder's 4-byte access password, which a locked
    // transponder needs before it takes writes until the next select or
    // inventory. 0 when accepted, -1 otherwise (the session status says why).
    // Default: sent through LinkTransceive.
    virtual int Access(int session, const uint8_t password[4]);

    // The link library itself.
    static TagLink& Api();
};

} // namespace Programmer

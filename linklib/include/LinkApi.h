/*
 * LinkApi.h - the reader link library's public interface.
 *
 * Flat functions with C linkage over plain integers, byte buffers and
 * NUL-terminated texts. A connection to a reader is named by its session id,
 * a positive integer returned by LinkOpen (or LinkLanOpenConfig) and valid
 * until LinkClose (or LinkLanCloseConfig).
 *
 * Contract shared by every function:
 *  - Nothing throws. A failure returns -1 (or the value stated below) and
 *    stores a status code in the session; LinkGetLastError reads it. A
 *    success never clears an older status.
 *  - An unknown id returns the stated failure value and changes no status.
 *  - A reply longer than the caller's buffer sets status 5 and returns -1.
 *  - Every call is made from one thread (the program's user-interface
 *    thread). Waits for a reply keep that thread alive through the hooks of
 *    LinkSetUiHooks.
 *
 * Session status codes set by the library:
 *   3 unknown id (reported by LinkGetLastError only)
 *   4 reply timeout          5 reply longer than the caller's buffer
 *   6 payload too long       8 nothing to send
 *  10 check byte or CRC mismatch   12 empty reply
 *  13 bad state argument    14 serial format cannot be changed here
 *  15 tag word address out of range
 *  any other value: the reader's own status byte (21 = no valid transponder).
 *
 * Device lists (LinkList...): entries ended by NUL, one more NUL after the
 * last; an entry is copied only while position + length + 2 <= size. The
 * result is the number of bytes used including the final NUL (an empty list
 * is one NUL, result 1).
 */
#ifndef KVPLM_LINKAPI_H
#define KVPLM_LINKAPI_H

#if defined(__GNUC__)
#define LINKAPI __attribute__((visibility("default")))
#else
#define LINKAPI
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Library version times 100: 104. */
LINKAPI int LinkGetVersion(void);

/* Device lists (see above). */
LINKAPI int LinkListHidPorts(char* buffer, int size);
LINKAPI int LinkListComPorts(char* buffer, int size);
LINKAPI int LinkListLanDevices(char* buffer, int size);
LINKAPI int LinkListLanDevicesAll(char* buffer, int size);

/* Network readers. The list functions search with a broadcast to UDP port
 * 30718 and listen 200 ms; LinkListLanDevices keeps only readers of this
 * family (record 2 read back), LinkListLanDevicesAll lists every answer
 * ("a.b.c.d-port", or "[NAME]a.b.c.d-port" for a DHCP reader, which the
 * verified list names "[NAME]"). The broadcast goes to 255.255.255.255
 * unless the environment variable KVPLM_LAN_BROADCAST names another
 * address. LinkLanSetAddress: 0, -1, or LinkLanOpenConfig's negative
 * result; an address text in neither form ("a.b.c.d[-port]",
 * "[NAME][-port]") or a mask that is no dotted address gives -1 before
 * anything is sent. LinkLanReadConfig: the record's bytes, or -1 (no answer
 * within 500 ms: status 4; buffer too small: status 5). */
LINKAPI int LinkLanSetAddress(const char* portName, const char* addressText, const char* maskText);
LINKAPI int LinkLanFind(const char* text);
LINKAPI int LinkLanOpenConfig(const char* portName);
LINKAPI int LinkLanReadConfig(int id, int record, unsigned char* buffer, int size);
LINKAPI int LinkLanCloseConfig(int id, int restart);

/* HID interface channel: commands for a USB HID reader's interface itself
 * (at most report length - 2 bytes, 7 for the usual 9-byte reports).
 * LinkHidExchange writes the request and waits up to 100 ms for an answer
 * of more than 2 bytes whose first byte equals the request's; it returns the
 * answer's bytes copied into reply (at most size), -1 when the request did
 * not go out or no such answer came, and 0 for an unknown id or a session
 * that is not a HID session. LinkHidSend writes the command without waiting:
 * 0 when it went out, -1 otherwise (also for unknown ids and other
 * sessions). */
LINKAPI int LinkHidExchange(int id, const unsigned char* request, int count, unsigned char* reply, int size);
LINKAPI int LinkHidSend(int id, const unsigned char* bytes, int count);

/* Opens a reader. portName is the transport text, optionally followed by
 * ":" and the bus address (COM3:1, /dev/ttyUSB0:2). format: 0 8N1, 1 8E1,
 * 2 8O1, 3 8N2. Returns the session id (> 0); -1 the transport could not be
 * opened or the name is refused; -2 negative timeout; -11 no reader answered
 * the identification in either framing. After -1, errno says why: ENOENT no
 * such device, EBUSY in use, EACCES no permission, ENOTTY not a terminal
 * device (a serial port must be one; nothing is written to anything else),
 * EINVAL a refused name. */
LINKAPI int LinkOpen(const char* portName, int baud, int format, int timeoutMs);

/* 0, or -1 for an unknown id. */
LINKAPI int LinkClose(int id);

/* Identification (0xF0): the reply bytes are copied into buffer; the model
 * name is copied into name (may be null) only when it fits with its NUL. */
LINKAPI int LinkGetDeviceInfo(int id, char* buffer, int size, char* name, int nameSize);

/* 1 for a HID session or a serial session on a USB bridge, 0 otherwise,
 * -1 for an unknown id. */
LINKAPI int LinkIsUsb(int id);

LINKAPI int LinkSetBaudRate(int id, int baud, int format);
/* State byte (0xF4): low 7 bits 0 programming, 1 reader, 2 before closing;
 * bit 7 stores bit 0 as the power-on mode. Low 7 bits >= 3: status 13. */
LINKAPI int LinkSetState(int id, int state);
LINKAPI int LinkRfSwitch(int id, int value);

/* 1 while the session's device is there; 0 once it went away (unplugged,
 * hung up: exchanges then time out, raw receives stay empty); -1 for an
 * unknown id. Changes no status and sends nothing. */
LINKAPI int LinkIsConnected(int id);

/* The session status; 3 for an unknown id. */
LINKAPI int LinkGetLastError(int id);

/* What a status code means, in English ("reply timeout"): the library's own
 * codes above, 0 and the reader status bytes 21 and 24; NULL for any other
 * reader status byte. The text is static and must not be freed. The
 * programs show their own texts by id instead. */
LINKAPI const char* LinkStatusText(int code);

/* 1, storing the flag; -1 for an unknown id. While set, reply waits leave
 * the main window enabled. */
LINKAPI int LinkSetKeepWindowEnabled(int id, int flag);

LINKAPI int LinkSendCommandByte(int id, int value);

/* Unframed bytes, for a reader that runs on its own (function test). */
LINKAPI int LinkSendRaw(int id, const unsigned char* bytes, int count);
LINKAPI int LinkReceiveRaw(int id, unsigned char* buffer, int maximum);

/* Any command: returns the reply data length, or -1. */
LINKAPI int LinkTransceive(int id, int command, const unsigned char* payload, int length,
                           unsigned char* reply, int size);

/* Configuration blocks. Writes return 0 or -1 (WriteParam refuses more than
 * 50 bytes, the others more than 100, with status 6 and nothing sent);
 * reads return the reply data length or -1. */
LINKAPI int WriteParam(int id, const unsigned char* bytes, int count);
LINKAPI int WritePrefix(int id, const unsigned char* bytes, int count);
LINKAPI int WriteSuffix(int id, const unsigned char* bytes, int count);
LINKAPI int WriteTermix(int id, const unsigned char* bytes, int count);
LINKAPI int WritePostcode(int id, const unsigned char* bytes, int count);
LINKAPI int WriteModeParam(int id, const unsigned char* bytes, int count);
LINKAPI int ReadParam(int id, unsigned char* buffer, int size);
LINKAPI int ReadPrefix(int id, unsigned char* buffer, int size);
LINKAPI int ReadSuffix(int id, unsigned char* buffer, int size);
LINKAPI int ReadTermix(int id, unsigned char* buffer, int size);
LINKAPI int ReadPostcode(int id, unsigned char* buffer, int size);
LINKAPI int ReadModeParam(int id, unsigned char* buffer, int size);

/* Transponder commands. LinkInventory copies, when the reply is longer than
 * size, only size rounded down to a multiple of 16 and returns that count.
 * LinkReadTag sends size as its length byte, LinkReadTagAll sends 0 (the
 * whole bank). Word addresses outside 0..0xFFFF: status 15. */
LINKAPI int LinkInventory(int id, int value, unsigned char* buffer, int size);
LINKAPI int LinkReadTag(int id, int bank, int wordAddress, unsigned char* buffer, int size);
LINKAPI int LinkReadTagAll(int id, int bank, int wordAddress, unsigned char* buffer, int size);
LINKAPI int LinkWriteTag(int id, int bank, int wordAddress, const unsigned char* bytes, int count);
LINKAPI int LinkSelect(int id, const unsigned char* bytes, int count);

/*
 * Additions for programs on this platform.
 *
 * LinkUiHooks: what a reply wait does to keep the program alive. Each poll
 * step of a wait calls pumpEvents; a wait disables the main window (unless
 * the session's keep-window-enabled flag is set) and restores its previous
 * state afterwards; network operations show the wait cursor. Any member may
 * be null. Without hooks (command line, tests) they do nothing.
 */
typedef struct LinkUiHooks {
    void* context;
    void (*pumpEvents)(void* context);
    /* Disables the main window; returns 1 if it was enabled before, 0 if
     * not, -1 if there is no main window. */
    int (*disableMainWindow)(void* context);
    void (*restoreMainWindow)(void* context, int previous);
    void (*setWaitCursor)(void* context, int on);
} LinkUiHooks;

/* Installs (a copy of) the hooks; null removes them. */
LINKAPI void LinkSetUiHooks(const LinkUiHooks* hooks);

/* The one failure the library shows the user: a network read error, as
 * "CTcpSocket::OnReceive Fehler : %d" with the error number. With a hook
 * installed the text goes to it (the program shows it in a message box);
 * without one, to the debug log. null removes the hook. */
typedef void (*LinkMessageHook)(const char* text);
LINKAPI void LinkSetMessageHook(LinkMessageHook hook);

/* Trace of every frame: ">" sent, "<" received, "(%08x) " session id, then
 * "%02x " per byte and CR LF. Installed into the sessions opened afterwards;
 * null removes it. Empty by default, so nothing is formatted. */
typedef void (*LinkTraceHook)(int sessionId, const char* line);
LINKAPI void LinkSetTraceHook(LinkTraceHook hook);

/* Bluetooth adapter modules (an addition of this library): opens the module
 * on port (a COM name or device path, or a USB adapter's product string;
 * " BT" markers are ignored), runs an inquiry of up to 10 s for readers
 * (class of device 0x000500; LinkBluetoothScanAll: any class) with room for
 * 29 devices, asks each for its name, closes the module and fills buffer in
 * the device list format with "AA:BB:CC:DD:EE:FF NAME" entries (address
 * bytes in the module's order, the name up to 30 characters, a control
 * character in it shown as '?'). Returns the bytes used, or -1 when the port
 * does not open or the module does not finish the inquiry in time. */
LINKAPI int LinkBluetoothScan(const char* port, char* buffer, int size);
LINKAPI int LinkBluetoothScanAll(const char* port, char* buffer, int size);

/* The framing the identification probe chose: 0 BCC, 1 CRC; -1 for an
 * unknown id. */
LINKAPI int LinkGetFraming(int id);

/* 1 when the USB virtual COM driver (cdc_acm) is present, so that a
 * dual-mode reader can switch between HID and virtual COM operation; 0 if
 * not. */
LINKAPI int LinkIsVirtualComDriverInstalled(void);

#ifdef __cplusplus
}
#endif

#endif /* KVPLM_LINKAPI_H */

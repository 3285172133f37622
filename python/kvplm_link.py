"""The kvplm reader link library (libkvplmlink.so.1) from Python, through ctypes.

    import kvplm_link

    with kvplm_link.Reader("/dev/ttyUSB0") as reader:
        print(reader.info().model)
        for tag in reader.inventory():
            print(tag.epc.hex().upper())

Every failure of the library raises a LinkError (or one of its subclasses,
one per family of status codes) carrying the session status in .status and
the library's text for it in .text. Only the standard library is used.

The library is the one named by the environment variable
KVPLM_LINK_LIBRARY, else the one ctypes.util.find_library("kvplmlink")
finds, else "libkvplmlink.so.1" by the loader's search path.

As in the C API, every call on a session is made from one thread.
"""

import ctypes
import ctypes.util
import os
from collections import namedtuple

__all__ = [
    "LinkError", "OpenError", "UnknownSessionError", "CommunicationError", "ReplyTimeoutError",
    "ConnectionLostError", "ArgumentError", "ReaderError", "NoTransponderError",
    "Reader", "DeviceInfo", "Tag", "load_library", "library_version", "status_text", "com_ports",
    "BANK_RESERVED", "BANK_EPC", "BANK_TID", "BANK_USER", "KILL_PASSWORD", "ACCESS_PASSWORD",
]

# Memory banks of a transponder.
BANK_RESERVED = 0  # kill password at byte 0, access password at byte 4
BANK_EPC = 1  # CRC, PC, EPC
BANK_TID = 2
BANK_USER = 3

# The passwords, by the word address of their 4 bytes in the reserved bank.
KILL_PASSWORD = 0
ACCESS_PASSWORD = 2

# The reader command that hands the selected transponder its access password.
_ACCESS_COMMAND = 0xC6

# Status codes of the library itself (LinkApi.h) by family.
_UNKNOWN_SESSION = 3
_TIMEOUT = 4
_COMMUNICATION = {_TIMEOUT, 10, 12}
_ARGUMENT = {5, 6, 8, 13, 14, 15}
_NO_TRANSPONDER = 21

# LinkOpen's results besides a session id.
_OPEN_NEGATIVE_TIMEOUT = -2
_OPEN_NO_ANSWER = -11

# The largest reply a frame carries.
_REPLY_SIZE = 255


class LinkError(Exception):
    """A call of the link library failed: .status is the session status, .text what it means."""

    def __init__(self, operation, status, text=None):
        self.operation = operation
        self.status = status
        self.text = text if text is not None else status_text(status)
        super().__init__("%s failed: %s (status %d)" % (operation, self.text, status))


class OpenError(LinkError):
    """The port did not open, or no reader answered on it.

    .result is LinkOpen's result (-1, -2, -11) and .errno, after -1, the reason
    the system gave (ENOENT, EBUSY, EACCES, ENOTTY, EINVAL), or 0.
    """

    def __init__(self, port, result, error_number=0):
        self.port = port
        self.result = result
        self.errno = error_number
        if result == _OPEN_NO_ANSWER:
            text = "no reader answered"
        elif result == _OPEN_NEGATIVE_TIMEOUT:
            text = "negative timeout"
        elif error_number:
            text = os.strerror(error_number)
        else:
            text = "the port did not open"
        super().__init__("opening %s" % port, result, text)


class UnknownSessionError(LinkError):
    """The session id is not (or no longer) open (status 3)."""


class CommunicationError(LinkError):
    """No usable reply came: time-out, check byte or CRC mismatch, empty reply."""


class ReplyTimeoutError(CommunicationError):
    """No whole reply within the reply time-out (status 4)."""


class ConnectionLostError(CommunicationError):
    """The reader went away (unplugged, hung up); the session stays open until closed."""


class ArgumentError(LinkError, ValueError):
    """The library refused the call's arguments before (or instead of) sending them."""


class ReaderError(LinkError):
    """The reader answered with a status byte of its own."""


class NoTransponderError(ReaderError):
    """No valid transponder in the field, or none selected (reader status 21)."""


DeviceInfo = namedtuple("DeviceInfo", "model type_code firmware reply framing")
DeviceInfo.__doc__ = """The reader's identification.

model: the model name ("" for a type the library does not know); type_code:
the device type (0x311); firmware: "V1.05"; reply: the identification's
text; framing: "BCC" or "CRC"."""

Tag = namedtuple("Tag", "pc epc")
Tag.__doc__ = """A transponder found by an inventory: its PC word and EPC as bytes."""

_library = None


def _candidates():
    named = os.environ.get("KVPLM_LINK_LIBRARY")
    if named:
        return [named]
    found = ctypes.util.find_library("kvplmlink")
    return [found, "libkvplmlink.so.1"] if found else ["libkvplmlink.so.1"]


def _declare(lib):
    c_int, c_char_p, c_void_p = ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p
    signatures = {
        "LinkGetVersion": ([], c_int),
        "LinkListComPorts": ([c_void_p, c_int], c_int),
        "LinkOpen": ([c_char_p, c_int, c_int, c_int], c_int),
        "LinkClose": ([c_int], c_int),
        "LinkGetDeviceInfo": ([c_int, c_void_p, c_int, c_void_p, c_int], c_int),
        "LinkGetFraming": ([c_int], c_int),
        "LinkIsConnected": ([c_int], c_int),
        "LinkGetLastError": ([c_int], c_int),
        "LinkStatusText": ([c_int], c_char_p),
        "LinkTransceive": ([c_int, c_int, c_void_p, c_int, c_void_p, c_int], c_int),
        "LinkInventory": ([c_int, c_int, c_void_p, c_int], c_int),
        "LinkSelect": ([c_int, c_void_p, c_int], c_int),
        "LinkReadTag": ([c_int, c_int, c_int, c_void_p, c_int], c_int),
        "LinkReadTagAll": ([c_int, c_int, c_int, c_void_p, c_int], c_int),
        "LinkWriteTag": ([c_int, c_int, c_int, c_void_p, c_int], c_int),
        "LinkRfSwitch": ([c_int, c_int], c_int),
    }
    for name, (arguments, result) in signatures.items():
        function = getattr(lib, name)
        function.argtypes = arguments
        function.restype = result


def load_library():
    """The link library, loaded once (see the module's text for where it is looked for)."""
    global _library
    if _library is None:
        errors = []
        for candidate in _candidates():
            try:
                lib = ctypes.CDLL(candidate, use_errno=True)
            except OSError as error:
                errors.append(str(error))
                continue
            _declare(lib)
            _library = lib
            break
        else:
            raise OSError("the kvplm link library is not found: " + "; ".join(errors))
    return _library


def library_version():
    """The library's version as text, "1.04"."""
    version = load_library().LinkGetVersion()
    return "%d.%02d" % (version // 100, version % 100)


def status_text(status):
    """What a status code means, in English; reader status bytes without a name of the library's own
    get "reader status N"."""
    text = load_library().LinkStatusText(status)
    return text.decode("utf-8", "replace") if text is not None else "reader status %d" % status


def _split_list(raw):
    return [entry.decode("utf-8", "replace") for entry in raw.split(b"\0") if entry]


def com_ports():
    """The serial ports the library lists (device paths, simulated readers with their model)."""
    buffer = ctypes.create_string_buffer(8192)
    used = load_library().LinkListComPorts(buffer, len(buffer))
    return _split_list(buffer.raw[:max(used, 0)])


def _bytes(data, name):
    try:
        return bytes(data)
    except TypeError:
        raise TypeError("%s must be bytes, not %s" % (name, type(data).__name__)) from None


class Reader:
    """One open session with a reader; a context manager that closes it."""

    def __init__(self, port, baud=19200, line_format=0, timeout_ms=500):
        """Opens the reader on port (a device path, "COM3", "a.b.c.d-port", "... HID", with an optional
        ":address"). line_format: 0 8N1, 1 8E1, 2 8O1, 3 8N2. Raises OpenError."""
        self._lib = load_library()
        self.port = port
        ctypes.set_errno(0)
        result = self._lib.LinkOpen(os.fsencode(port), baud, line_format, timeout_ms)
        if result <= 0:
            raise OpenError(port, result, ctypes.get_errno() if result == -1 else 0)
        self.id = result

    # --- the session ---------------------------------------------------------

    def close(self):
        """Closes the session; closing twice does nothing."""
        if self.id:
            self._lib.LinkClose(self.id)
            self.id = 0

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    @property
    def connected(self):
        """True while the reader's device is there."""
        return self._lib.LinkIsConnected(self.id) == 1

    @property
    def last_status(self):
        """The session status (3 once closed)."""
        return self._lib.LinkGetLastError(self.id)

    def _fail(self, operation):
        status = self._lib.LinkGetLastError(self.id)
        if status == _UNKNOWN_SESSION:
            raise UnknownSessionError(operation, status)
        if self._lib.LinkIsConnected(self.id) == 0:
            raise ConnectionLostError(operation, status, "the connection is lost (the device went away)")
        if status == _TIMEOUT:
            raise ReplyTimeoutError(operation, status)
        if status in _COMMUNICATION:
            raise CommunicationError(operation, status)
        if status in _ARGUMENT:
            raise ArgumentError(operation, status)
        if status == _NO_TRANSPONDER:
            raise NoTransponderError(operation, status)
        raise ReaderError(operation, status)

    def _checked(self, operation, result):
        if result < 0:
            self._fail(operation)
        return result

    # --- identification and plain commands -----------------------------------

    def info(self):
        """The reader's identification (command F0) as a DeviceInfo."""
        reply = ctypes.create_string_buffer(64)
        name = ctypes.create_string_buffer(128)
        n = self._checked("identification",
                          self._lib.LinkGetDeviceInfo(self.id, reply, len(reply) - 1, name, len(name)))
        text = reply.raw[:n].decode("ascii", "replace")
        try:
            type_code = int(text[:3], 16)
        except ValueError:
            type_code = None
        firmware = "V1.%02d" % int(text[3], 16) if len(text) >= 4 and text[3] in "0123456789abcdefABCDEF" else ""
        framing = "CRC" if self._lib.LinkGetFraming(self.id) == 1 else "BCC"
        return DeviceInfo(name.value.decode("utf-8", "replace"), type_code, firmware, text, framing)

    def transceive(self, command, payload=b""):
        """Any command with its payload (at most 255 bytes); returns the reply data."""
        payload = _bytes(payload, "payload")
        if not 0 <= command <= 0xFF:
            raise ValueError("the command is one byte, not %r" % command)
        reply = ctypes.create_string_buffer(_REPLY_SIZE)
        n = self._checked("command %02X" % command,
                          self._lib.LinkTransceive(self.id, command, payload, len(payload), reply, len(reply)))
        return reply.raw[:n]

    def rf(self, on):
        """Switches the reader's field on or off."""
        self._checked("RF switch", self._lib.LinkRfSwitch(self.id, 1 if on else 0))

    # --- transponders ----------------------------------------------------------

    def inventory(self):
        """The transponders in the field as a list of Tag; [] for an empty field."""
        reply = ctypes.create_string_buffer(_REPLY_SIZE)
        tags = []
        n = self._lib.LinkInventory(self.id, 0, reply, len(reply))
        if n < 0:
            if self._lib.LinkGetLastError(self.id) == _NO_TRANSPONDER and self.connected:
                return tags
            self._fail("inventory")
        # Each reply: how many are left (this one included), the PC word, the EPC. A reader
        # that never counts down is not asked more often than it can announce.
        for _ in range(255):
            data = reply.raw[:n]
            if len(data) < 3 or data[0] == 0:
                break
            tags.append(Tag(data[1:3], data[3:]))
            if data[0] <= 1:
                break
            n = self._checked("inventory", self._lib.LinkInventory(self.id, 2, reply, len(reply)))
        return tags

    def select(self, epc):
        """Selects the transponder whose EPC begins with epc (at most 16 bytes) for the reads and writes
        that follow."""
        epc = _bytes(epc, "epc")
        if not epc or len(epc) > 16:
            raise ValueError("a selection is 1 to 16 bytes of the EPC")
        self._checked("select", self._lib.LinkSelect(self.id, epc, len(epc)))

    def read(self, bank, word_address, length):
        """length bytes (1..255) of the selected transponder's bank from the word address."""
        if not 1 <= length <= 255:
            raise ValueError("a read is 1 to 255 bytes (read_all reads a whole bank)")
        buffer = ctypes.create_string_buffer(length)
        n = self._checked("read", self._lib.LinkReadTag(self.id, bank, word_address, buffer, length))
        return buffer.raw[:n]

    def read_all(self, bank, word_address=0):
        """The selected transponder's bank from the word address to its end."""
        buffer = ctypes.create_string_buffer(_REPLY_SIZE)
        n = self._checked("read", self._lib.LinkReadTagAll(self.id, bank, word_address, buffer, len(buffer)))
        return buffer.raw[:n]

    def write(self, bank, word_address, data):
        """Writes data into the selected transponder's bank from the word address (more than one
        frame holds: ArgumentError)."""
        data = _bytes(data, "data")
        if not data:
            raise ValueError("nothing to write")
        self._checked("write", self._lib.LinkWriteTag(self.id, bank, word_address, data, len(data)))

    # --- passwords ---------------------------------------------------------------

    @staticmethod
    def _password(password):
        password = _bytes(password, "password")
        if len(password) != 4:
            raise ValueError("a password is exactly 4 bytes")
        return password

    def read_password(self, which):
        """The selected transponder's kill (KILL_PASSWORD) or access (ACCESS_PASSWORD) password."""
        if which not in (KILL_PASSWORD, ACCESS_PASSWORD):
            raise ValueError("which is KILL_PASSWORD or ACCESS_PASSWORD")
        return self.read(BANK_RESERVED, which, 4)

    def write_password(self, which, password):
        """Writes the selected transponder's kill or access password (4 bytes)."""
        if which not in (KILL_PASSWORD, ACCESS_PASSWORD):
            raise ValueError("which is KILL_PASSWORD or ACCESS_PASSWORD")
        self.write(BANK_RESERVED, which, self._password(password))

    def access(self, password):
        """Hands the selected transponder its access password (4 bytes): a locked transponder takes
        writes after it until the next select or inventory."""
        self.transceive(_ACCESS_COMMAND, self._password(password))

"""kvplm_link against the simulated reader (kvplm-readersim on a pty).

Environment: KVPLM_READERSIM the simulator program, KVPLM_LINK_LIBRARY the
library under test (ctest sets both).
"""
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import kvplm_link  # noqa: E402

READERSIM = os.environ.get("KVPLM_READERSIM") or shutil.which("kvplm-readersim")
# Every wait for the simulator is bounded; a loaded machine gets its time.
WAIT_SECONDS = 20

EPC_A = "300833B2DDD9014000000001"
EPC_B = "E20000000000000000000002"
TID_A = "E28011052000000000000001"
ACCESS_PASSWORD = "11223344"


class Simulator:
    """kvplm-readersim as a process on a pty reached through a symlink; its console on stdin/stdout."""

    def __init__(self, folder, *options):
        self.device = os.path.join(folder, "device")
        self.process = subprocess.Popen(
            [READERSIM, "--no-line-time", "--no-announce", "--quiet", "--link", self.device] + list(options),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self._pending = b""
        self.first_line = self.read_line()

    def read_line(self):
        deadline = time.monotonic() + WAIT_SECONDS
        while b"\n" not in self._pending:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.process.stdout], [], [], left)[0]:
                raise AssertionError("the simulator said nothing within %d s" % WAIT_SECONDS)
            chunk = os.read(self.process.stdout.fileno(), 4096)
            if not chunk:
                raise AssertionError("the simulator ended")
            self._pending += chunk
        line, self._pending = self._pending.split(b"\n", 1)
        return line.decode()

    def console(self, command):
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()
        return self.read_line()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(WAIT_SECONDS)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdin.close()
        self.process.stdout.close()


@unittest.skipUnless(READERSIM, "kvplm-readersim is not found (KVPLM_READERSIM)")
class ReaderTestCase(unittest.TestCase):
    options = ("--type", "0x311", "--tag", EPC_A + ":" + TID_A, "--tag", EPC_B)

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="kvplm-link-py-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.sim = Simulator(self.folder, *self.options)
        self.addCleanup(self.sim.stop)
        self.reader = kvplm_link.Reader(self.sim.device)
        self.addCleanup(self.reader.close)


class IdentificationAndInventory(ReaderTestCase):
    def test_info_names_the_simulated_programmer(self):
        info = self.reader.info()
        self.assertIn("(type 311, firmware V1.05)", self.sim.first_line)
        self.assertIn(info.model, self.sim.first_line)
        self.assertTrue(info.model)
        self.assertEqual(info.type_code, 0x311)
        self.assertEqual(info.firmware, "V1.05")
        self.assertIn(info.framing, ("BCC", "CRC"))
        self.assertEqual(kvplm_link.library_version(), "1.04")

    def test_inventory_lists_every_transponder_then_an_empty_field(self):
        tags = self.reader.inventory()
        self.assertEqual(sorted(tag.epc.hex().upper() for tag in tags), sorted([EPC_A, EPC_B]))
        for tag in tags:
            self.assertEqual(tag.pc, bytes([len(tag.epc) // 2 << 3, 0]))
        self.assertEqual(self.sim.console("remove all"), "removed 2")
        self.assertEqual(self.reader.inventory(), [])
        self.assertEqual(self.sim.console("rf off"), "ok")
        self.assertEqual(self.reader.inventory(), [])

    def test_port_in_use_then_closed_and_unknown(self):
        with self.assertRaises(kvplm_link.OpenError) as caught:
            kvplm_link.Reader(self.sim.device)
        self.assertEqual(caught.exception.errno, 16)  # EBUSY: held by the first session
        self.reader.close()
        self.reader.close()  # twice does nothing
        with self.assertRaises(kvplm_link.UnknownSessionError) as caught:
            self.reader.info()
        self.assertEqual((caught.exception.status, caught.exception.text), (3, "unknown session"))
        # Closed, the port is free again; the context manager closes it too.
        with kvplm_link.Reader(self.sim.device) as second:
            self.assertEqual(second.info().type_code, 0x311)
        self.assertEqual(second.id, 0)
        kvplm_link.Reader(self.sim.device).close()


class BanksAndPasswords(ReaderTestCase):
    def test_read_write_and_read_whole_bank(self):
        self.reader.select(bytes.fromhex(EPC_A))
        self.assertEqual(self.reader.read(kvplm_link.BANK_TID, 0, 4), bytes.fromhex(TID_A)[:4])
        self.assertEqual(self.reader.read_all(kvplm_link.BANK_TID), bytes.fromhex(TID_A))
        self.reader.write(kvplm_link.BANK_USER, 1, b"\x12\x34\x56\x78")
        self.assertEqual(self.reader.read(kvplm_link.BANK_USER, 1, 4), b"\x12\x34\x56\x78")
        # The EPC bank: CRC, then the PC, then the EPC.
        self.assertEqual(self.reader.read(kvplm_link.BANK_EPC, 2, 12), bytes.fromhex(EPC_A))

    def test_reads_without_a_selection_and_refused_arguments(self):
        self.reader.select(bytes.fromhex(EPC_A))
        with self.assertRaises(kvplm_link.NoTransponderError) as caught:
            self.reader.select(b"\xAA\xBB")  # no such EPC
        self.assertEqual((caught.exception.status, caught.exception.text), (21, "no valid transponder"))
        self.assertIsInstance(caught.exception, kvplm_link.ReaderError)
        # The failed select leaves nothing selected: a read reaches no transponder.
        self.assertRaises(kvplm_link.NoTransponderError, self.reader.read, kvplm_link.BANK_TID, 0, 4)
        with self.assertRaises(kvplm_link.ArgumentError) as caught:
            self.reader.read(kvplm_link.BANK_USER, 0x10000, 2)
        self.assertEqual(caught.exception.status, 15)
        self.assertIsInstance(caught.exception, ValueError)
        with self.assertRaises(kvplm_link.ArgumentError) as caught:
            self.reader.write(kvplm_link.BANK_USER, 0, bytes(252))  # more than a frame holds
        self.assertEqual(caught.exception.status, 6)
        for wrong in (lambda: self.reader.read(1, 0, 0), lambda: self.reader.select(b""),
                      lambda: self.reader.write_password(kvplm_link.ACCESS_PASSWORD, b"\x01\x02\x03"),
                      lambda: self.reader.read_password(1), lambda: self.reader.transceive(0x100)):
            self.assertRaises(ValueError, wrong)

    def test_passwords_and_a_locked_transponder(self):
        self.assertEqual(self.sim.console("place E20000000000000000000077 - - " + ACCESS_PASSWORD), "ok")
        locked = bytes.fromhex("E20000000000000000000077")
        self.reader.select(locked)
        self.assertEqual(self.reader.read_password(kvplm_link.ACCESS_PASSWORD), bytes.fromhex(ACCESS_PASSWORD))
        # Locked: a write without the access password is refused, and the data stays.
        with self.assertRaises(kvplm_link.ReaderError) as caught:
            self.reader.write(kvplm_link.BANK_USER, 0, b"\xCA\xFE")
        self.assertEqual(caught.exception.status, 20)
        self.assertEqual(caught.exception.text, "reader status 20")
        self.assertNotEqual(self.reader.read(kvplm_link.BANK_USER, 0, 2), b"\xCA\xFE")
        # A wrong password grants nothing; the right one does.
        self.assertRaises(kvplm_link.ReaderError, self.reader.access, b"\x00\x00\x00\x01")
        self.assertRaises(kvplm_link.ReaderError, self.reader.write, kvplm_link.BANK_USER, 0, b"\xCA\xFE")
        self.reader.access(bytes.fromhex(ACCESS_PASSWORD))
        self.reader.write(kvplm_link.BANK_USER, 0, b"\xCA\xFE")
        self.assertEqual(self.reader.read(kvplm_link.BANK_USER, 0, 2), b"\xCA\xFE")
        self.reader.write_password(kvplm_link.KILL_PASSWORD, b"\x0A\x0B\x0C\x0D")
        self.assertEqual(self.reader.read_password(kvplm_link.KILL_PASSWORD), b"\x0A\x0B\x0C\x0D")


class Failures(ReaderTestCase):
    def test_silent_reader_times_out_and_a_reader_status_is_raised(self):
        self.assertEqual(self.sim.console("fault silence on"), "ok")
        with self.assertRaises(kvplm_link.ReplyTimeoutError) as caught:
            self.reader.inventory()
        self.assertEqual((caught.exception.status, caught.exception.text), (4, "reply timeout"))
        self.assertIsInstance(caught.exception, kvplm_link.CommunicationError)
        self.assertEqual(self.sim.console("fault silence off"), "ok")
        self.assertEqual(self.sim.console("fault status C0 24"), "ok")
        with self.assertRaises(kvplm_link.ReaderError) as caught:
            self.reader.inventory()
        self.assertEqual((caught.exception.status, caught.exception.text), (24, "unknown command"))
        self.assertIn("inventory failed: unknown command (status 24)", str(caught.exception))

    def test_unplugged_reader_is_a_lost_connection(self):
        self.assertTrue(self.reader.connected)
        self.assertEqual(self.sim.console("unplug"), "unplugged")
        with self.assertRaises(kvplm_link.ConnectionLostError):
            self.reader.inventory()
        self.assertFalse(self.reader.connected)


class Opening(unittest.TestCase):
    def test_open_failures_say_why(self):
        folder = tempfile.mkdtemp(prefix="kvplm-link-py-")
        self.addCleanup(shutil.rmtree, folder, True)
        with self.assertRaises(kvplm_link.OpenError) as caught:
            kvplm_link.Reader(os.path.join(folder, "missing"))
        self.assertEqual((caught.exception.result, caught.exception.errno), (-1, 2))  # ENOENT
        # No terminal: refused before anything is written to it.
        plain = os.path.join(folder, "plain")
        open(plain, "w").close()
        with self.assertRaises(kvplm_link.OpenError) as caught:
            kvplm_link.Reader(plain)
        self.assertEqual(caught.exception.errno, 25)  # ENOTTY
        self.assertEqual(os.path.getsize(plain), 0)

    @unittest.skipUnless(READERSIM, "kvplm-readersim is not found (KVPLM_READERSIM)")
    def test_nothing_answers_on_a_pty_of_another_device(self):
        folder = tempfile.mkdtemp(prefix="kvplm-link-py-")
        self.addCleanup(shutil.rmtree, folder, True)
        # The simulated reader answers only bus address 5.
        sim = Simulator(folder, "--address", "5")
        self.addCleanup(sim.stop)
        with self.assertRaises(kvplm_link.OpenError) as caught:
            kvplm_link.Reader(sim.device + ":3")
        self.assertEqual(caught.exception.result, -11)
        self.assertEqual(caught.exception.text, "no reader answered")
        with kvplm_link.Reader(sim.device + ":5") as reader:
            self.assertTrue(reader.info().reply)

    def test_library_named_by_the_environment_must_exist(self):
        environment = dict(os.environ, KVPLM_LINK_LIBRARY="/nonexistent/libkvplmlink.so.1")
        result = subprocess.run([sys.executable, os.path.join(HERE, "examples", "inventory.py"), "/dev/null"],
                                env=environment, capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertIn("the kvplm link library is not found: /nonexistent/libkvplmlink.so.1", result.stderr)
        self.assertEqual(result.stdout, "")


@unittest.skipUnless(READERSIM, "kvplm-readersim is not found (KVPLM_READERSIM)")
class Example(unittest.TestCase):
    def run_example(self, *arguments):
        return subprocess.run([sys.executable, os.path.join(HERE, "examples", "inventory.py")] + list(arguments),
                              capture_output=True, text=True, timeout=60)

    def test_example_inventories_the_field(self):
        folder = tempfile.mkdtemp(prefix="kvplm-link-py-")
        self.addCleanup(shutil.rmtree, folder, True)
        sim = Simulator(folder, "--type", "0x311", "--tag", EPC_A)
        self.addCleanup(sim.stop)
        result = self.run_example(sim.device, "--repeat", "2")
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertRegex(lines[0], r"^.+ \(type 0x311, firmware V1\.05\) on " + sim.device + "$")
        self.assertEqual(lines[1:], ["1 transponder", "EPC %s  PC 3000" % EPC_A] * 2)

        missing = self.run_example(os.path.join(folder, "missing"))
        self.assertEqual(missing.returncode, 3)
        self.assertIn("No such file or directory", missing.stderr)
        self.assertEqual(self.run_example(sim.device, "--repeat", "0").returncode, 2)


if __name__ == "__main__":
    unittest.main()

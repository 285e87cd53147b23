"""PyVISA, a VISA client nobody here wrote, drives our VISA library end to end,
against the simulated meter in-process or, through the kernel's usbtmc driver,
against dmmgadget on a USB bus.

usage: tst_pyvisa.py SIMULATOR_LIBRARY VISA_LIBRARY
       tst_pyvisa.py --kernel DMMGADGET VISA_LIBRARY
SIMULATOR_LIBRARY is the one a client loads to have the simulated meter listed
(libdmmsimvisa.so); VISA_LIBRARY is the bare VISA library (libdmmvisa.so).
--kernel needs root, the USB gadget modules and a device controller
(dummy_hcd): scripts/usb-vm-test.sh runs it inside a virtual machine."""

import ctypes
import os
import subprocess
import sys
import time
import unittest
import warnings

try:
    import pyvisa
    from pyvisa import constants
    from pyvisa.constants import StatusCode
except ImportError:
    print("tst_pyvisa: PyVISA is not installed (Debian package python3-pyvisa); skipped")
    sys.exit(77)

LIBRARY = ""
BARE_LIBRARY = ""
SIMULATED_SERIAL = "KM4473N-SIM"
SERIAL = SIMULATED_SERIAL
METER = ""
UNPLUG_AFTER = 3
GADGET = None  # the meter on the USB bus, in --kernel mode
MODE_ARGUMENTS = []  # what a child process is started with before its case


def meter_name(serial):
    return "USB0::0x28E9::0x0285::%s::INSTR" % serial


def open_object_count():
    return ctypes.CDLL(LIBRARY).dmmvisaOpenObjectCount()


def wait_until_listed(listed, limit=60):
    """Polls the library itself (no resource manager of PyVISA's, so none of a test's is touched)."""
    lib = ctypes.CDLL(LIBRARY)
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        rm = ctypes.c_uint32()
        assert lib.viOpenDefaultRM(ctypes.byref(rm)) >= 0
        found = lib.viFindRsrc(rm, METER.encode(), None, None, ctypes.create_string_buffer(256)) == 0
        lib.viClose(rm)
        if found == listed:
            return
        time.sleep(0.02)
    raise AssertionError("%s still %s after %d s" % (METER, "missing" if listed else "listed", limit))


class Gadget:
    """dmmgadget as a child process: the meter on this machine's USB bus."""

    def __init__(self, program):
        self.program = program
        self.process = None

    def start(self, faults=""):
        self.stop()
        self.process = subprocess.Popen([self.program, "--serial", SERIAL, "--packet-size", "16", "--faults", faults])
        wait_until_listed(True)

    def stop(self):
        if self.process is None:
            return
        self.process.terminate()
        self.process.wait(timeout=20)
        self.process = None
        wait_until_listed(False)


def setUpModule():
    if GADGET:
        GADGET.start()


def tearDownModule():
    if GADGET:
        GADGET.stop()


class VisaTestCase(unittest.TestCase):
    def setUp(self):
        self.rm = pyvisa.ResourceManager(LIBRARY)

    def tearDown(self):
        self.rm.close()
        self.assertEqual(open_object_count(), 0)

    def assertVisaError(self, code, call, *args, **kwargs):
        with self.assertRaises(pyvisa.errors.VisaIOError) as caught:
            call(*args, **kwargs)
        self.assertEqual(caught.exception.error_code, code)

    def open_meter(self, **kwargs):
        return self.rm.open_resource(METER, write_termination="\n", **kwargs)


class TestResources(VisaTestCase):
    def test_list_with_patterns(self):
        for pattern, wanted in [
            ("?*::INSTR", True),
            ("USB?*INSTR", True),
            ("usb?*instr", True),
            ("?*::0x0285::?*", True),
            (meter_name(SERIAL[:-1] + "?"), True),
            (meter_name(SERIAL[:-2] + "?"), False),
            ("ASRL?*::INSTR", False),
        ]:
            with self.subTest(pattern=pattern):
                self.assertEqual(METER in self.rm.list_resources(pattern), wanted)
        self.assertEqual(self.rm.list_resources("?*%s?*" % SERIAL), (METER,))

    def test_resource_names_parse_as_the_standard_writes_them(self):
        for name in [METER, "usb::10473::645::" + SERIAL.lower(), "USB0::0x28e9::0x0285::%s::0::INSTR" % SERIAL]:
            with self.subTest(name=name):
                info = self.rm.resource_info(name)
                self.assertEqual(info.interface_type, constants.InterfaceType.usb)
                self.assertEqual(info.interface_board_number, 0)
                self.assertEqual(info.resource_class, "INSTR")
                self.assertEqual(info.resource_name, METER)
                self.assertIsNone(info.alias)
        info = self.rm.resource_info("USB0::0x1234::0x0001::elsewhere")
        self.assertEqual(info.resource_name, "USB0::0x1234::0x0001::elsewhere::INSTR")
        for name, code in [
            ("USB0::0x28E9::no-model", StatusCode.error_invalid_resource_name),
            (METER.replace("USB0", "USB1"), StatusCode.error_interface_number_not_configured),
            ("GPIB0::12::INSTR", StatusCode.error_interface_number_not_configured),
            (METER.replace("INSTR", "RAW"), StatusCode.error_resource_not_found),
        ]:
            with self.subTest(name=name):
                self.assertVisaError(code, self.rm.resource_info, name)
        self.assertVisaError(StatusCode.error_resource_not_found, self.rm.open_resource,
                             "USB0::0x1234::0x0001::elsewhere::INSTR")


class TestMessages(VisaTestCase):
    def test_queries_with_and_without_termination_character(self):
        meter = self.open_meter()
        for termination, command, answer in [
            (None, "SYSTem:LOCal", None),
            (None, "SYSTem:REMote?", "NO\n"),
            (None, "SYSTem:REMote", None),
            (None, "SYSTem:REMote?", "YES\n"),
            ("\n", "FUNCtion:LINE1 CH1,DBM", None),
            ("\n", "FUNCtion:LINE1?", "CH1,DBM"),
            (",", "FUNCtion:LINE1?", "CH1"),
        ]:
            with self.subTest(command=command, termination=termination):
                meter.read_termination = termination
                if answer is None:
                    meter.write(command)
                else:
                    self.assertEqual(meter.query(command), answer)
        # The rest of a message after the termination character is read next.
        self.assertEqual(meter.read_raw(), b"DBM\n")
        meter.write_termination = "\r\n"  # PyVISA's own default: the meter takes it too
        self.assertEqual(meter.query("FUNCtion:LINE1?"), "CH1")
        with self.assertWarns(UserWarning):  # the message ended without the termination character
            self.assertEqual(meter.read(), "DBM\n")

    def test_write_then_read_and_read_raw(self):
        meter = self.open_meter(read_termination="\n")
        self.assertEqual(meter.write("MEMory:STORe?"), len("MEMory:STORe?\n"))
        self.assertTrue(meter.read().isdigit())
        meter.write("Fetch?")
        whole = meter.read_raw()
        self.assertTrue(whole.endswith(b"\n"))
        self.assertEqual(len(whole.split(b",")), 4)
        meter.write("FUNCtion:LINE1?")
        self.assertEqual(meter.read_raw(size=2), meter.query("FUNCtion:LINE1?").encode() + b"\n")

    def test_timeout_then_next_query_answers(self):
        meter = self.open_meter(read_termination="\n", timeout=300)
        self.assertEqual(meter.timeout, 300)
        # Repeated: the clear after a time-out once raced with the next
        # command at the USB device, losing that command's answer now and then.
        for attempt in range(5):
            with self.subTest(attempt=attempt):
                start = time.monotonic()
                self.assertVisaError(StatusCode.error_timeout, meter.query, "NOSUCH?")
                elapsed = time.monotonic() - start
                self.assertGreaterEqual(elapsed, 0.25)
                # Through the kernel the device clear after a time-out may wait for its
                # control time-outs on an emulated machine: the bound only rules out a hang.
                self.assertLess(elapsed, 0.3 + (30 if GADGET else 10))
                self.assertIn(meter.query("SYSTem:REMote?"), ("YES", "NO"))
        meter.timeout = None
        self.assertEqual(meter.timeout, float("inf"))

    def test_clear_drops_the_pending_answer(self):
        meter = self.open_meter(read_termination=",")
        self.assertEqual(meter.query("FUNCtion:LINE1?"), "CH1")  # the rest of that answer is held
        meter.write("Fetch?")  # and this answer is not read at all
        meter.clear()
        meter.read_termination = "\n"
        self.assertIn(meter.query("SYSTem:REMote?"), ("YES", "NO"))
        session = meter.session
        meter.close()
        self.assertVisaError(StatusCode.error_invalid_object, self.rm.visalib.clear, session)

    def test_close_leaves_nothing_open(self):
        first = self.open_meter()
        second = self.open_meter()
        self.rm.list_resources()
        self.assertEqual(open_object_count(), 3)  # the resource manager and two sessions
        first.close()
        self.assertEqual(open_object_count(), 2)
        self.assertEqual(len(self.rm.list_opened_resources()), 1)
        self.assertIs(self.rm.list_opened_resources()[0], second)


class TestAttributesAndOperations(VisaTestCase):
    def test_attributes(self):
        meter = self.open_meter()
        for attribute, value in [
            ("resource_name", METER),
            ("resource_class", "INSTR"),
            ("interface_type", constants.InterfaceType.usb),
            ("interface_number", 0),
            ("manufacturer_id", 0x28E9),
            ("model_code", 0x0285),
            ("serial_number", SERIAL),
            ("resource_manufacturer_name", "dmmpanel"),
            ("lock_state", constants.AccessModes.no_lock),
            ("send_end", True),
            ("io_protocol", constants.IOProtocol.normal),
            ("timeout", 2000),
        ]:
            with self.subTest(attribute=attribute):
                self.assertEqual(getattr(meter, attribute), value)
        meter.read_termination = "\r"
        self.assertEqual(meter.get_visa_attribute(constants.ResourceAttribute.termchar), ord("\r"))
        self.assertEqual(meter.get_visa_attribute(constants.ResourceAttribute.termchar_enabled), constants.VI_TRUE)
        for call, code in [
            (lambda: meter.manufacturer_name, StatusCode.error_nonsupported_attribute),
            (lambda: setattr(meter, "send_end", False), StatusCode.error_nonsupported_attribute_state),
            (lambda: meter.set_visa_attribute(constants.ResourceAttribute.resource_name, 0),
             StatusCode.error_attribute_read_only),
        ]:
            with self.subTest(code=code):
                self.assertVisaError(code, call)

    def test_unsupported_operations_say_so(self):
        meter = self.open_meter()
        lib, session = self.rm.visalib, meter.session
        for name, call in [
            ("lock", lambda: meter.lock_excl()),
            ("read status byte", meter.read_stb),
            ("trigger", meter.assert_trigger),
            ("remote enable", lambda: meter.control_ren(constants.RENLineOperation.deassert_gtl)),
            ("control transfer", lambda: meter.control_in(0xC0, 1, 0, 0, 1)),
            ("events", lambda: meter.enable_event(constants.EventType.service_request, constants.EventMechanism.queue)),
            ("wait on event", lambda: meter.wait_on_event(constants.EventType.service_request, 0)),
            ("buffer size", lambda: lib.set_buffer(session, constants.BufferType.io_in, 64)),
            ("locking open", lambda: self.rm.open_resource(METER, access_mode=constants.AccessModes.exclusive_lock)),
        ]:
            with self.subTest(operation=name):
                self.assertVisaError(StatusCode.error_nonsupported_operation, call)
        meter.flush(constants.BufferOperation.discard_read_buffer)
        self.assertVisaError(StatusCode.error_invalid_mask, meter.flush, 0)

    def test_status_descriptions(self):
        for code in [StatusCode.success, StatusCode.error_timeout, StatusCode.error_connection_lost,
                     StatusCode.error_nonsupported_operation, StatusCode.success_termination_character_read]:
            with self.subTest(code=code):
                text, status = self.rm.visalib.status_description(self.rm.session, code)
                self.assertEqual(status, StatusCode.success)
                self.assertTrue(text.startswith(pyvisa.errors.completion_and_error_messages[code][0] + ": "))
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            text, status = self.rm.visalib.status_description(self.rm.session, 0x12345)
        self.assertEqual(status, StatusCode.warning_unknown_status)
        self.assertIn("0x00012345", text)


def bare_library():
    """Runs in a child process: the VISA library alone knows no simulated meter."""
    rm = pyvisa.ResourceManager(BARE_LIBRARY)
    resources = rm.list_resources()
    assert meter_name(SIMULATED_SERIAL) not in resources, resources
    assert (METER in resources) == bool(GADGET), resources
    rm.close()


def unplugged_meter():
    """Runs in a child process whose meter loses its cable after UNPLUG_AFTER commands."""
    rm = pyvisa.ResourceManager(LIBRARY)
    meter = rm.open_resource(METER, write_termination="\n", read_termination="\n", timeout=5000)
    answered = 0
    try:
        for _ in range(UNPLUG_AFTER + 1):
            meter.query("SYSTem:REMote?")
            answered += 1
    except pyvisa.errors.VisaIOError as e:
        assert e.error_code == StatusCode.error_connection_lost, e
    assert answered == UNPLUG_AFTER, answered
    try:
        meter.read()
        raise AssertionError("a read of an unplugged meter succeeded")
    except pyvisa.errors.VisaIOError as e:
        assert e.error_code == StatusCode.error_connection_lost, e
    wait_until_listed(False, limit=20)  # the kernel takes a moment to drop the device
    assert METER not in rm.list_resources()
    rm.close()
    assert open_object_count() == 0


class TestInChildProcesses(unittest.TestCase):
    """Cases that need a meter of their own: the simulated meter lives as long as its process."""

    def run_child(self, case, faults=""):
        env = dict(os.environ, DMMPANEL_SIMULATOR="1", DMMPANEL_SIMULATOR_FAULTS=faults)
        if GADGET:
            GADGET.start(faults)
        try:
            start = time.monotonic()
            child = subprocess.run([sys.executable, __file__] + MODE_ARGUMENTS + [case], env=env,
                                   capture_output=True, text=True, timeout=120)
            self.assertEqual(child.returncode, 0, child.stdout + child.stderr)
            self.assertLess(time.monotonic() - start, 60)
        finally:
            if GADGET:
                GADGET.start()

    def test_unplug_raises_a_connection_error_not_a_hang(self):
        self.run_child("--unplugged-meter", "unplug-after=%d" % UNPLUG_AFTER)

    def test_the_visa_library_alone_lists_no_simulated_meter(self):
        self.run_child("--bare-library")


if __name__ == "__main__":
    if sys.argv[1] == "--kernel":
        MODE_ARGUMENTS, rest = sys.argv[1:4], sys.argv[4:]
        LIBRARY = BARE_LIBRARY = os.path.abspath(sys.argv[3])
        SERIAL = "KM4473NG0001"
        GADGET = Gadget(os.path.abspath(sys.argv[2]))
    else:
        MODE_ARGUMENTS, rest = sys.argv[1:3], sys.argv[3:]
        LIBRARY, BARE_LIBRARY = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    METER = meter_name(SERIAL)
    children = {"--unplugged-meter": unplugged_meter, "--bare-library": bare_library}
    if rest[:1] and rest[0] in children:
        children[rest[0]]()
    else:
        unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)

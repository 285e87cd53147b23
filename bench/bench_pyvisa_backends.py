"""Query round trip and 100-query throughput from Python (PyVISA) against
dmmgadget on a USB bus: through our VISA library (the kernel's usbtmc driver)
and through pyvisa-py (@py, libusb), one after the other on the same meter.
Printed, not asserted. Runs as root inside the USB virtual machine:

    scripts/usb-vm-test.sh --bench      (which runs, in the machine,)
    bench_pyvisa_backends.py DMMGADGET VISA_LIBRARY
"""
import ctypes
import statistics
import subprocess
import sys
import time

import pyvisa

METER = "USB0::0x28E9::0x0285::KM4473NG0001::INSTR"
ROUND_TRIPS = 300
BATCH = 100
BATCHES = 10


def wait_until_listed(library, limit=60):
    lib = ctypes.CDLL(library)
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        rm = ctypes.c_uint32()
        lib.viOpenDefaultRM(ctypes.byref(rm))
        found = lib.viFindRsrc(rm, METER.encode(), None, None, ctypes.create_string_buffer(256)) == 0
        lib.viClose(rm)
        if found:
            return
        time.sleep(0.05)
    sys.exit("bench: the gadget was not listed within %d s" % limit)


def measure(backend):
    """(median round trip in ms, median queries per second over batches of 100)."""
    rm = pyvisa.ResourceManager(backend)
    meter = rm.open_resource(METER, read_termination="\n", write_termination="\n", timeout=5000)
    try:
        meter.write("SYSTem:REMote")
        for _ in range(20):  # warm-up: caches, the first transfers' set-up
            meter.query("SYSTem:REMote?")
        trips = []
        for _ in range(ROUND_TRIPS):
            started = time.perf_counter()
            answer = meter.query("SYSTem:REMote?")
            trips.append(time.perf_counter() - started)
            assert answer == "YES", answer
        rates = []
        for _ in range(BATCHES):
            started = time.perf_counter()
            for _ in range(BATCH):
                answer = meter.query("Fetch?")
            rates.append(BATCH / (time.perf_counter() - started))
            assert answer.count(",") == 3, answer
        meter.write("SYSTem:LOCal")
    finally:
        meter.close()
        rm.close()
    return statistics.median(trips) * 1000, statistics.median(rates)


def main():
    gadget_program, library = sys.argv[1], sys.argv[2]
    gadget = subprocess.Popen([gadget_program])
    try:
        wait_until_listed(library)
        # Ours first: pyvisa-py takes the device from the kernel's driver.
        results = [("our VISA library (kernel usbtmc)", measure(library)),
                   ("pyvisa-py @py (libusb)", measure("@py"))]
    finally:
        gadget.terminate()
        gadget.wait(timeout=20)
    for name, (trip, rate) in results:
        print("bench: %-33s round trip %.3f ms (median of %d), %.0f queries/s (median of %d x %d)"
              % (name, trip, ROUND_TRIPS, rate, BATCHES, BATCH))
    (ours_trip, ours_rate), (py_trip, py_rate) = results[0][1], results[1][1]
    print("bench: ours / pyvisa-py: round trip %.2fx as fast, throughput %.2fx" % (py_trip / ours_trip, ours_rate / py_rate))


if __name__ == "__main__":
    main()

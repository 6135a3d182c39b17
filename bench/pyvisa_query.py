#!/usr/bin/env python3
# The query of the VISA connection benchmark made with pyvisa-py, the Python VISA layer a user would pick
# instead: "*IDN?" written and its line read back from the loopback instrument, timed over many queries
# after 50 warm-up ones.
#
#   pyvisa_query.py PORT COUNT   prints "seconds_per_query <s>"; exit code 3 when pyvisa is not installed
import sys
import time

try:
    import pyvisa
except ImportError:
    print("pyvisa is not installed (Debian package python3-pyvisa-py)")
    sys.exit(3)


def main():
    port, count = sys.argv[1], int(sys.argv[2])
    manager = pyvisa.ResourceManager("@py")
    instrument = manager.open_resource(f"TCPIP0::127.0.0.1::{port}::SOCKET", read_termination="\n",
                                       write_termination="\n", timeout=2000)
    if not instrument.query("*IDN?").startswith("VORNIC"):
        print("unexpected answer")
        return 1
    for _ in range(50):
        instrument.query("*IDN?")
    start = time.perf_counter()
    for _ in range(count):
        instrument.query("*IDN?")
    elapsed = time.perf_counter() - start
    instrument.close()
    print(f"seconds_per_query {elapsed / count:.9f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

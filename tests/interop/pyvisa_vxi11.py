"""wavedial-sim as a VXI-11 gateway, driven by pyvisa with the pyvisa-py backend: a client
written elsewhere, which finds the core channel through the port mapper on port 111.
Exits 77 (skipped) where port 111 cannot be had. Usage: pyvisa_vxi11.py WAVEDIAL_SIM"""
import os
import subprocess
import sys
import tempfile
import warnings

import pyvisa
from pyvisa import constants, errors

warnings.simplefilter("ignore")
SKIP = 77


def start(sim, trace):
    proc = subprocess.Popen(
        [sim, "--vxi11", "127.0.0.1:111", "--trace", trace, "FG5010@5"],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = proc.stdout.readline().strip()
    if not line.endswith(":111"):
        proc.wait(5)
        why = proc.stderr.readline().strip() or line
        print("SKIP: port 111 cannot be had here (not root, or taken): " + why)
        sys.exit(SKIP)
    return proc


def visa_error(action):
    try:
        action()
        return "no error"
    except errors.VisaIOError as e:
        return constants.StatusCode(e.error_code).name
    except Exception as e:  # pyvisa-py reports a refused link as a plain exception
        return str(e)


def main():
    work = tempfile.mkdtemp()
    trace = os.path.join(work, "trace")
    sim = start(sys.argv[1], trace)
    rm = pyvisa.ResourceManager("@py")
    fg = rm.open_resource("TCPIP::127.0.0.1::gpib0,5::INSTR")
    fg.write_termination = ""
    fg.read_termination = None
    fg.timeout = 2000

    def lines():
        with open(trace) as f:
            return f.read().splitlines()

    def chunked():
        fg.chunk_size = 4
        fg.write("ID?")
        before = len(lines())
        reply = fg.read_raw().decode()
        fg.chunk_size = 20 * 1024
        return reply, lines()[before:]

    def cleared():
        fg.write("FREQ?")
        fg.clear()
        fg.timeout = 50  # nothing is left to read: the gateway waits this out
        return lines()[-1], visa_error(fg.read_raw)

    def opened(name):
        return lambda: rm.open_resource("TCPIP::127.0.0.1::" + name + "::INSTR").write("ID?")

    rows = [
        ("ID? query", lambda: fg.query("ID?"), "ID SIM/FG5010,V2.1"),
        ("write, then read back", lambda: fg.write("AMPL 2.5") and fg.query("AMPL?"),
         "AMPL 2.50E+0"),
        ("read in chunks of 4", chunked,
         ("ID SIM/FG5010,V2.1",
          ["read 5 ID S", "read 5 IM/F", "read 5 G501", "read 5 0,V2", "read 5 .1"])),
        ("read_stb after a refused command",
         lambda: (fg.write("AMPL 99"), fg.read_stb(), fg.read_stb())[1:], (98, 0)),
        ("clear drops the reply", cleared, ("clear 5", "error_timeout")),
        ("no listener at gpib0,7", lambda: visa_error(opened("gpib0,7")), "error_io"),
        ("no such address gpib0,31", lambda: visa_error(opened("gpib0,31")),
         "error creating link: 21"),
    ]
    failed = 0
    for name, action, expected in rows:
        try:
            got = action()
        except Exception as e:
            got = "raised " + repr(e)
        failed += got != expected
        print("%-4s %-34s %r" % ("ok" if got == expected else "FAIL", name, got))
        print("     expected %r" % (expected,)) if got != expected else None
    rm.close()
    sim.kill()
    print("%d of %d rows as expected" % (len(rows) - failed, len(rows)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

"""What the Windows end-to-end checks share: a throwaway Wine prefix that runs
the programs and maps COM ports onto Linux pseudo-terminals, and a reader
that collects what arrives on such a terminal.

Every wait here is for a condition, with a generous ceiling: Wine starts
slowly on a loaded machine (several seconds for a program, more for a new
prefix), and that must not fail a check.
"""
import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import tty

# Ceilings, not expected durations.
BOOT_CEILING = 300.0
PROGRAM_START_CEILING = 120.0


def cli_pair_args(doc, script):
    """The --exe (kiv-cli.exe) and --linux-cli options of a script that sets
    the two programs side by side; None, after saying which is missing,
    when either file is not there."""
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    p = argparse.ArgumentParser(description=doc.split("\n\n")[0])
    p.add_argument("--exe", default=os.path.join(root, "build-windows", "kiv-cli.exe"))
    p.add_argument("--linux-cli", default=os.path.join(root, "build", "src", "kiv-cli"))
    args = p.parse_args()
    args.exe = os.path.abspath(args.exe)
    for path in (args.exe, args.linux_cli):
        if not os.path.isfile(path):
            print(f"{script}: {path} is missing", file=sys.stderr)
            return None
    return args


class WinePrefix:
    """A Wine prefix for one run. Uses $WINEPREFIX when the caller made one
    (scripts/test-windows.sh boots it once for every step); otherwise makes
    and boots its own and removes it on close."""

    def __init__(self, prefix=None):
        self.owned = prefix is None
        self.path = prefix or tempfile.mkdtemp(prefix="kiv-wine-")
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all")
        # No "wine-mono/gecko missing" dialogs, no desktop menu entries.
        self.env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
        if self.owned:
            self.boot()

    def boot(self):
        # A server that stays up between the programs saves Wine's start-up each time.
        self._server("-p")
        rc, out = self.run(["wineboot", "--init"], ceiling=BOOT_CEILING)
        if rc != 0:
            raise RuntimeError(f"wineboot --init failed ({rc}): {out[-500:]}")

    def _server(self, *args):
        # The server must not hold our output pipes: its services outlive the
        # program that started them, so everything Wine starts writes to
        # files or nowhere.
        subprocess.run(["wineserver", *args], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=BOOT_CEILING)

    def run(self, args, ceiling=PROGRAM_START_CEILING, extra_env=None):
        """Runs a Wine program to its end; returns (exit code, output)."""
        proc = self.start(args, extra_env=extra_env)
        rc = proc.wait(ceiling)
        return rc, proc.output()

    def start(self, args, extra_env=None):
        return WineProcess(args, dict(self.env, **(extra_env or {})))

    def map_ports(self, ports):
        """Maps COM names onto Linux devices ({"COM5": "/dev/pts/3"}).

        Wine's mount manager reads its Ports key when its services start,
        so the server restarts after the keys are written; the next program
        brings the services up with the new links."""
        for name, device in ports.items():
            rc, out = self.run(["reg", "add", r"HKLM\Software\Wine\Ports", "/v", name, "/d", device, "/f"])
            if rc != 0:
                raise RuntimeError(f"wine reg add {name}={device} failed ({rc}): {out[-500:]}")
        self._server("-k")
        self._server("-w")
        self._server("-p")

    def port_link(self, name):
        """The Linux device a COM name opens, or None when it opens nothing."""
        try:
            return os.readlink(os.path.join(self.path, "dosdevices", name.lower()))
        except OSError:
            return None

    def close(self):
        self._server("-k")
        if self.owned:
            shutil.rmtree(self.path, ignore_errors=True)


class WineProcess:
    """A Windows program under Wine, its output in files (see _server)."""

    def __init__(self, args, env):
        self._out = tempfile.TemporaryFile()
        self._err = tempfile.TemporaryFile()
        self.args = args
        self.popen = subprocess.Popen(["wine", *args], env=env, stdin=subprocess.DEVNULL,
                                      stdout=self._out, stderr=self._err)

    def wait(self, ceiling):
        """The exit code; kills the program and raises when it outlives the ceiling."""
        try:
            return self.popen.wait(timeout=ceiling)
        except subprocess.TimeoutExpired:
            self.kill()
            raise RuntimeError(f"{' '.join(self.args)} did not end within {ceiling:.0f} s") from None

    def running(self):
        return self.popen.poll() is None

    def kill(self):
        if self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait()

    def _text(self, f):
        f.seek(0)
        return f.read().decode("utf-8", errors="replace")

    def stdout(self):
        return self._text(self._out)

    def stderr(self):
        return self._text(self._err)

    def output(self):
        return self.stdout() + self.stderr()


class PtyLine:
    """A Linux pseudo-terminal whose slave end a program opens as its serial
    device. The slave stays open and raw for the whole life of the line, so
    the line keeps its settings between programs and never turns 0x0A into
    0x0D 0x0A; a thread keeps reading the master end. With `reply` it also
    answers: each run of bytes read goes to reply(run), and the pieces it
    gives back are written to the master end, in order, as the far end of
    the line would send them."""

    def __init__(self, reply=None):
        self._reply = reply
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        self.path = os.ttyname(self.slave)
        self._data = bytearray()
        self._cond = threading.Condition()
        self._stop = False
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        while not self._stop:
            ready, _, _ = select.select([self.master], [], [], 0.2)
            if ready:
                with self._cond:
                    if not self._drain_locked():
                        return

    def _drain_locked(self):
        # Reads only while holding the lock, so whoever holds it sees every
        # byte read so far. False once the line has ended.
        while self.master is not None:
            try:
                chunk = os.read(self.master, 65536)
            except BlockingIOError:
                return True
            except OSError:
                return False
            if not chunk:
                return False
            self._data += chunk
            self._cond.notify_all()
            for piece in self._reply(chunk) if self._reply else ():
                os.write(self.master, piece)
        return False

    def wait_for(self, count, ceiling, also=None):
        """Waits until `count` bytes have arrived, or `also()` turns true, or
        the ceiling passes; returns the number of bytes there."""
        deadline = time.monotonic() + ceiling
        with self._cond:
            while len(self._data) < count and not (also and also()):
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self._cond.wait(min(left, 0.2))
            return len(self._data)

    def settle(self):
        """Everything that has arrived: call after the writer has ended, when
        its last bytes are already in the terminal's buffer."""
        with self._cond:
            self._drain_locked()
            return bytes(self._data)

    def take(self):
        """Everything that has arrived, emptying the record."""
        with self._cond:
            self._drain_locked()
            data = bytes(self._data)
            self._data.clear()
            return data

    def hang_up(self):
        """Closes the far end, as a receiver that goes away mid-send: the
        program's writes on the line then fail."""
        self._stop = True
        self._thread.join()
        if self.master is not None:
            os.close(self.master)
            self.master = None

    def close(self):
        self.hang_up()
        os.close(self.slave)


class Checks:
    """Counts and prints named checks; the last line of a script is the
    count the test command adds up."""

    def __init__(self, title):
        self.title = title
        self.passed = 0
        self.failed = 0
        self.skipped = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS {name}", flush=True)
        else:
            self.failed += 1
            print(f"FAIL {name}: {detail}", flush=True)
        return ok

    def skip(self, name, why):
        self.skipped += 1
        print(f"SKIP {name}: {why}", flush=True)

    def finish(self):
        if self.skipped:
            print(f"     ({self.skipped} skipped)", flush=True)
        print(f"{self.title}: {self.passed} passed, {self.failed} failed", flush=True)
        return 0 if self.failed == 0 and self.passed > 0 else 1

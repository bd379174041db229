"""velmora-server under mpirun, on loopback only: velmora-batch --connect gives the --out files
and the console text of local velmora-batch for N = 1, 2 and 3 processes on the small and
the default city; and the server survives garbage, refuses a client without its token, lets
a client go mid-request, and ends as a whole when one of its processes dies.
"""

import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import shared_city  # noqa: E402

BATCH = os.environ["VELMORA_BATCH"]
SERVER = os.environ["VELMORA_SERVER"]
# Every MPI connection and every client stays on the loopback interface.
MPI_ENV = dict(os.environ, OMPI_MCA_btl_tcp_if_include="lo", OMPI_MCA_oob_tcp_if_include="lo",
               VELMORA_THREADS="1")
MPIRUN = ["mpirun", "--allow-run-as-root", "--oversubscribe"]


def field_ranges(folder):
    """(lowest, highest) of density, energy and momentum as the volume's header states."""
    with open(os.path.join(folder, "volume.kav"), "rb") as f:
        head = f.read(152)
    lo = struct.unpack("<9d", head[4:76])
    hi = struct.unpack("<9d", head[76:148])
    return {"density": (lo[3], hi[3]), "energy": (lo[4], hi[4]), "momentum": (lo[8], hi[8])}


def jobs(folder):
    """Isosurfaces of all three fields, path lines above the streets, and path lines seeded
    among the buildings, some of them inside one (a line of its seed alone)."""
    out = []
    for field, (lo, hi) in field_ranges(folder).items():
        out.append(["iso", field, repr(lo + 0.45 * (hi - lo))])
    out.append(["pathlines", "-405", "60", "-405", "50", "12"])
    out.append(["pathlines", "-405", "10", "-405", "50", "12"])
    return out


def without_times(text):
    return re.sub(r"seconds=[0-9.]+", "", text)


class Server:
    """An mpirun job of velmora-server; stops it (and so its processes) on exit."""

    def __init__(self, folder, n, args=(), env=None):
        # The job appends to files that the test reads through files of its own: a file
        # shared with the job would share its offset, and a read could make the job write
        # over what it wrote before.
        self.folder = tempfile.mkdtemp(prefix="velmora-server-log-")
        self.log = os.path.join(self.folder, "stdout")
        self.errors = os.path.join(self.folder, "stderr")
        with open(self.log, "ab") as out, open(self.errors, "ab") as err:
            self.process = subprocess.Popen(
                MPIRUN + ["-np", str(n), SERVER, "--port", "0"] + list(args) + [folder],
                stdout=out, stderr=err, env=env or MPI_ENV, start_new_session=True)
        self.port = None
        deadline = time.time() + 120
        while time.time() < deadline and self.process.poll() is None:
            match = re.search(r"Listening on (\S+):(\d+)", self.output())
            if match:
                self.address, self.port = match.group(1), int(match.group(2))
                return
            time.sleep(0.1)
        raise AssertionError("no server: " + self.output() + self.error_output())

    def output(self):
        with open(self.log, "rb") as f:
            return f.read().decode(errors="replace")

    def error_output(self):
        with open(self.errors, "rb") as f:
            return f.read().decode(errors="replace")

    def connect_arg(self, host="127.0.0.1"):
        return "%s:%d" % (host, self.port)

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def batch(args, out=None):
    command = [BATCH] + args + (["--out", out] if out else [])
    return subprocess.run(command, capture_output=True, text=True, timeout=600)


def raw_connection(port):
    s = socket.create_connection(("127.0.0.1", port), timeout=30)
    return s


def frame(payload):
    return struct.pack("<I", len(payload)) + payload


def read_reply(s):
    """The next message's payload, or None when the server closed the connection."""
    def exactly(n):
        data = b""
        while len(data) < n:
            try:
                piece = s.recv(n - len(data))
            except ConnectionResetError:
                return None
            if not piece:
                return None
            data += piece
        return data
    head = exactly(4)
    if head is None:
        return None
    return exactly(struct.unpack("<I", head)[0])


def hello(token=b""):
    return frame(b"\x01" + struct.pack("<I", 1) + struct.pack("<I", len(token)) + token)


def error_text(reply):
    assert reply is not None and reply[0] == 17, reply
    (size,) = struct.unpack("<I", reply[1:5])
    return reply[5:5 + size].decode()


class SameResults(unittest.TestCase):
    """--out files and console text of velmora-batch --connect against local velmora-batch."""

    def check_city(self, folder, sizes=(1, 2, 3)):
        scratch = tempfile.mkdtemp(prefix="velmora-server-")
        expected = []
        for i, job in enumerate(jobs(folder)):
            out = os.path.join(scratch, "local%d.vtp" % i)
            run = batch([folder] + job, out)
            self.assertEqual(run.returncode, 0, run.stderr)
            with open(out, "rb") as f:
                expected.append((without_times(run.stdout), f.read()))
        for n in sizes:
            with Server(folder, n) as server:
                listening = subprocess.run(["ss", "-ltnH"], capture_output=True, text=True).stdout
                self.assertIn("127.0.0.1:%d " % server.port, listening)
                self.assertNotIn("0.0.0.0:%d " % server.port, listening)
                for i, job in enumerate(jobs(folder)):
                    out = os.path.join(scratch, "remote%d-%d.vtp" % (n, i))
                    run = batch(["--connect", server.connect_arg()] + job, out)
                    self.assertEqual(run.returncode, 0, run.stderr)
                    text, data = expected[i]
                    self.assertEqual(without_times(run.stdout), text, "%s, N=%d" % (job, n))
                    with open(out, "rb") as f:
                        self.assertTrue(f.read() == data, "%s, N=%d: --out differs" % (job, n))
                # The loading lines once, from process 0, then the listening line.
                self.assertEqual(server.output().count("Reading tetrahedral volume file"), 1)
                self.assertEqual(server.output().count("Volume spans:"), 1)

    def test_small_city(self):
        self.check_city(shared_city("--small"))

    def test_default_city(self):
        self.check_city(shared_city(""))


class Safety(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = shared_city("--small")

    def assertServes(self, server, args=()):
        run = batch(["--connect", server.connect_arg()] + list(args) + jobs(self.folder)[0])
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("Block 1 processed..", run.stdout)

    def test_garbage_and_oversized_messages_get_an_error_reply(self):
        with Server(self.folder, 2) as server:
            with raw_connection(server.port) as s:
                # Garbage of a right length: an error, and the connection goes on.
                s.sendall(frame(b"\x63garbage"))
                self.assertIn("unknown request type", error_text(read_reply(s)))
                s.sendall(frame(b"\x02\x07\x00\x00\x00" + b"\x00" * 8))
                self.assertIn("unknown field", error_text(read_reply(s)))
                s.sendall(frame(b"\x02\x00"))
                self.assertIn("malformed", error_text(read_reply(s)))
                s.sendall(frame(b""))
                self.assertIn("empty", error_text(read_reply(s)))
                s.sendall(frame(b"\x03" + struct.pack("<I", 0xFFFFFFFF)))
                self.assertIn("too many seeds", error_text(read_reply(s)))
                # A request before the greeting ends the connection.
                s.sendall(frame(b"\x02" + struct.pack("<Id", 0, 1.0)))
                self.assertIn("before the greeting", error_text(read_reply(s)))
                self.assertIsNone(read_reply(s))
            with raw_connection(server.port) as s:
                s.sendall(struct.pack("<I", 0xFFFFFFF0) + b"x" * 64)
                self.assertIn("longer than", error_text(read_reply(s)))
                self.assertIsNone(read_reply(s))
            with raw_connection(server.port) as s:
                s.sendall(struct.pack("<I", 1000) + b"cut short")  # and gone
            self.assertServes(server)

    def test_a_client_gone_mid_request_frees_the_server(self):
        with Server(self.folder, 2) as server:
            with raw_connection(server.port) as s:
                s.sendall(hello())
                self.assertEqual(read_reply(s)[0], 16)
                seeds = struct.pack("<d", -405) * 3 * 20000
                s.sendall(frame(b"\x03" + struct.pack("<I", 20000) + seeds))
            deadline = time.time() + 60
            while "pathlines lines=20000" not in server.output() and time.time() < deadline:
                time.sleep(0.1)
            self.assertIn("(client gone)", server.output())
            self.assertServes(server)

    def test_other_addresses_need_the_token(self):
        token = os.path.join(tempfile.mkdtemp(prefix="velmora-token-"), "token")
        with Server(self.folder, 2, ["--bind", "127.0.0.2", "--token-file", token]) as server:
            self.assertEqual(os.stat(token).st_mode & 0o777, 0o600)
            listening = subprocess.run(["ss", "-ltnH"], capture_output=True, text=True).stdout
            self.assertIn("127.0.0.2:%d " % server.port, listening)
            address = server.connect_arg("127.0.0.2")
            run = batch(["--connect", address] + jobs(self.folder)[0])
            self.assertEqual(run.returncode, 2)
            self.assertIn("needs its token", run.stderr)
            wrong = token + ".wrong"
            with open(wrong, "w") as f:
                f.write("0" * 64 + "\n")
            run = batch(["--connect", address, "--token-file", wrong] + jobs(self.folder)[0])
            self.assertEqual(run.returncode, 2)
            self.assertIn("wrong token", run.stderr)
            run = batch(["--connect", address, "--token-file", token] + jobs(self.folder)[0])
            self.assertEqual(run.returncode, 0, run.stderr)

    def ranks_of(self, server):
        """The processes mpirun started: its children, each a velmora-server."""
        ranks = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % pid) as f:
                    stat = f.read()
            except OSError:
                continue
            fields = stat[stat.rindex(")") + 2:].split()
            if int(fields[1]) == server.process.pid and "velmora-server" in stat:
                ranks.append(int(pid))
        return sorted(ranks)

    def test_a_killed_process_ends_the_server(self):
        # Once while it waits for clients, once in the middle of a request.
        for mid_request in (False, True):
            server = Server(shared_city("") if mid_request else self.folder, 3)
            try:
                ranks = self.ranks_of(server)
                self.assertEqual(len(ranks), 3)
                client = None
                if mid_request:
                    client = subprocess.Popen(
                        [BATCH, "--connect", server.connect_arg(), "--quiet", "pathlines",
                         "-200", "100", "-200", "100", "100000"],
                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                    # The request is under way once the client is connected: it sends at once,
                    # and the server takes seconds over 100000 lines.
                    deadline = time.time() + 60
                    while time.time() < deadline and client.poll() is None:
                        connected = subprocess.run(
                            ["ss", "-tnH", "state", "established",
                             "( sport = :%d )" % server.port],
                            capture_output=True, text=True).stdout
                        if connected.strip():
                            break
                        time.sleep(0.05)
                    self.assertIsNone(client.poll(), "the request ended before the kill")
                os.kill(ranks[-1], signal.SIGKILL)
                server.process.wait(60)
                self.assertNotEqual(server.process.returncode, 0)
                said = server.output() + server.error_output()
                self.assertRegex(said, r"rank 2 .*exited on signal 9")
                if client:
                    out, err = client.communicate(timeout=60)
                    self.assertNotEqual(client.returncode, 0)
                    self.assertIn("ERROR: the server at", err)
                run = batch(["--connect", server.connect_arg()] + jobs(self.folder)[0])
                self.assertNotEqual(run.returncode, 0)
                self.assertIn("ERROR: cannot connect", run.stderr)
            finally:
                server.stop()


if __name__ == "__main__":
    unittest.main()

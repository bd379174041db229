"""Drives the real viewer in a real window on a private Xvfb server.

A Viewer starts Xvfb (1280x1024x24) and the program in a data folder with unbuffered
stdout, collects the console transcript (with the time each piece arrived), sends input with
xdotool and reads pixels with ImageMagick's `import`. With no window manager the window sits
at (0, 0), so window and screen coordinates agree. Everything it starts, it stops.
"""

import fcntl
import os
import subprocess
import tempfile
import threading
import time


def _program(name):
    """The program named by the environment variable NAME: a path (made absolute, since the
    viewer runs in its data folder) or a command on the PATH."""
    value = os.environ.get(name.upper(), name)
    return os.path.abspath(value) if os.sep in value else value


VELMORA = _program("velmora")
CITYGEN = _program("citygen")


def make_city(folder=None, size="--small"):
    """Generates a demo city into `folder` (a new temporary one by default); size "" makes
    the default city."""
    folder = folder or tempfile.mkdtemp(prefix="velmora-e2e-")
    args = [CITYGEN, folder] + ([size] if size else [])
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    return folder


def shared_city(size="--large"):
    """A demo city that the tests only read, generated once beside citygen and again only
    when citygen is newer than it (the large one takes a while to make)."""
    folder = os.path.join(os.path.dirname(os.path.abspath(CITYGEN)), "e2e-city" + size)
    os.makedirs(folder, exist_ok=True)
    stamp = os.path.join(folder, "complete")  # written once every file is whole
    with open(os.path.join(folder, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(stamp) or os.path.getmtime(stamp) < os.path.getmtime(CITYGEN):
            if os.path.exists(stamp):
                os.remove(stamp)
            make_city(folder, size)
            open(stamp, "w").close()
    return folder


class Image:
    """An RGB screenshot; pixel(x, y) in window coordinates (y downward)."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])

    def pixels(self, x0=0, y0=0, x1=None, y1=None, step=1):
        x1 = self.width if x1 is None else x1
        y1 = self.height if y1 is None else y1
        for y in range(y0, y1, step):
            for x in range(x0, x1, step):
                yield self.pixel(x, y)

    def differs(self, other):
        return sum(1 for a, b in zip(self.pixels(step=4), other.pixels(step=4)) if a != b)


def read_png(path):
    """A PNG file as an Image, through ImageMagick."""
    ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True,
                         capture_output=True).stdout
    return parse_ppm(ppm)


def run_velmora(args, cwd=None, display=None, timeout=120):
    """Runs the viewer to its end; returns (status, stdout, stderr)."""
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    if display:
        env["DISPLAY"] = display
    done = subprocess.run([VELMORA] + list(args), cwd=cwd, env=env, capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=timeout)
    return done.returncode, done.stdout.decode(), done.stderr.decode()


class XServer:
    """A private Xvfb server (1280x1024x24); `display` is its DISPLAY value."""

    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"], pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.xvfb.kill()
            self.xvfb.wait()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        self.xvfb.kill()
        self.xvfb.wait()


class Viewer:
    """The viewer on its own Xvfb server, started in `cwd` (default: `folder`) with `args`
    (default: none, so that it reads the folder it runs in) and `env` added."""

    def __init__(self, folder, stdin=subprocess.DEVNULL, args=(), cwd=None, env=None):
        self.folder = folder
        self.transcript = ""
        self.arrivals = []  # (time, transcript length after the piece that came then)
        self._pointer = None
        self._lock = threading.Lock()
        self.xserver = XServer()
        self.display = self.xserver.display
        env = dict(os.environ, DISPLAY=self.display, **(env or {}))
        self.proc = subprocess.Popen(["stdbuf", "-o0", VELMORA] + list(args),
                                     cwd=cwd or folder, env=env,
                                     stdin=stdin, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def _read(self):
        while True:
            chunk = self.proc.stdout.read1(65536)
            if not chunk:
                return
            with self._lock:
                self.transcript += chunk.decode("utf-8", "replace")
                self.arrivals.append((time.time(), len(self.transcript)))

    def text(self):
        with self._lock:
            return self.transcript

    def wait_for(self, needle, timeout=60, start=0):
        """Waits until `needle` appears in the transcript after `start`; returns its index."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            i = self.text().find(needle, start)
            if i >= 0:
                return i
            if self.proc.poll() is not None:
                time.sleep(0.2)
                i = self.text().find(needle, start)
                if i >= 0:
                    return i
                raise AssertionError("viewer exited (%s) before printing %r:\n%s"
                                     % (self.proc.returncode, needle, self.text()[-3000:]))
            time.sleep(0.05)
        raise AssertionError("timed out waiting for %r:\n%s" % (needle, self.text()[-3000:]))

    def arrival(self, index):
        """When the transcript's character at `index` arrived (time.time())."""
        with self._lock:
            for t, length in self.arrivals:
                if length > index:
                    return t
        raise IndexError(index)

    def running(self):
        return self.proc.poll() is None

    def xdotool(self, *args):
        if "mousemove" in args:
            self._pointer = None  # moved somewhere by hand: sync the next move
        subprocess.run(["xdotool"] + [str(a) for a in args], check=True,
                       env=dict(os.environ, DISPLAY=self.display))

    def move(self, x, y):
        # "mousemove --sync" waits for the pointer to move, which takes its whole time-out
        # when the pointer is already there.
        if (x, y) != self._pointer:
            self.xdotool("mousemove", "--sync", x, y)
            self._pointer = (x, y)

    def click(self, x, y, button=1):
        self.move(x, y)
        self.xdotool("click", button)

    def drag(self, x0, y0, x1, y1, button=1, hold=0.5):
        self.move(x0, y0)
        self.xdotool("mousedown", button)
        self.move(x1, y1)
        time.sleep(hold)
        self.xdotool("mouseup", button)

    def hold(self, x, y, seconds, button=1):
        """Presses at (x, y), keeps the button down for `seconds`, then lets go."""
        self.move(x, y)
        self.xdotool("mousedown", button)
        time.sleep(seconds)
        self.xdotool("mouseup", button)

    def key(self, name):
        self.xdotool("key", name)

    def frames(self, seconds=1.0):
        """Lets the viewer draw for a while (it redraws continuously)."""
        time.sleep(seconds)

    def wait_until(self, shows, timeout=120):
        """Waits until `shows(screenshot)` holds, then lets one more frame by; returns that
        screenshot."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            shot = self.screenshot()
            if shows(shot):
                self.frames(1.0)
                return shot
            time.sleep(0.1)
        raise AssertionError("the window did not show what was awaited")

    def wait_for_panel(self, width, timeout=120):
        """Waits until the panel `width` pixels wide (the main menu 200, the others 400)
        stands fully shown, its right border on column `width`, then lets one more frame by
        so that it takes clicks. Panels slide a fixed step per frame, so on a slow frame rate
        a slide takes longer than any fixed wait."""
        self.wait_until(lambda shot: all(shot.pixel(width, y) == (255, 255, 255)
                                         for y in (100, 250, 450)), timeout)

    def screenshot(self, path=None):
        """The window's 1024x768 area as an Image; also saved to `path` when given."""
        ppm = subprocess.run(["import", "-window", "root", "-crop", "1024x768+0+0", "-depth", "8",
                              "ppm:-"],
                             check=True, capture_output=True,
                             env=dict(os.environ, DISPLAY=self.display)).stdout
        if path:
            with open(path, "wb") as out:
                out.write(ppm)
        return parse_ppm(ppm)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        self._reader.join(timeout=5)
        self.proc.stdout.close()
        self.xserver.stop()


def parse_ppm(data):
    """Parses a binary (P6) PPM with 8-bit samples."""
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("not an 8-bit P6 PPM")
    width, height = int(fields[1]), int(fields[2])
    return Image(width, height, data[pos + 1:pos + 1 + 3 * width * height])


def widget_centre(x, y, w, h, panel_height=500, window_height=768, step=0):
    """Window coordinates (y downward) of the centre of a widget given in panel pixels.

    A panel hangs from the window's top-left corner; widget rectangles are measured from
    the panel's bottom-left corner with y upward.
    """
    bottom = window_height - panel_height  # the panel's bottom edge, y upward
    return step + x + w // 2, window_height - (bottom + y + h // 2)

#!/usr/bin/python3
"""tools/screen-view from outside: its page, frame stream, states and touches, without a browser.

Usage: screen-view-test.py VIEWER
"""

import errno
import fcntl
import http.client
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

VIEWER = None
WAIT_SECONDS = 20


def png(width, height, grey):
    """A whole grey PNG of the given size."""
    def chunk(kind, data):
        return (len(data).to_bytes(4, "big") + kind + data
                + zlib.crc32(kind + data).to_bytes(4, "big"))
    rows = b"".join(b"\x00" + bytes([grey]) * (width * 3) for _ in range(height))
    header = width.to_bytes(4, "big") + height.to_bytes(4, "big") + b"\x08\x02\x00\x00\x00"
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
            + chunk(b"IEND", b""))


class ViewerTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="screen-view-test-")
        self.film = os.path.join(self.folder, "film")
        os.mkdir(self.film)
        self.touch = os.path.join(self.folder, "touch")
        os.mkfifo(self.touch, 0o600)
        self.viewer = subprocess.Popen([VIEWER, "--film", self.film, "--touch", self.touch, "--port", "0"],
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.viewer.stdout.readline()
        self.assertTrue(line.startswith("screen-view: http://127.0.0.1:"), line)
        self.port = int(line.rsplit(":", 1)[1].strip("/\n"))

    def tearDown(self):
        self.viewer.terminate()
        self.assertEqual(0, self.viewer.wait(WAIT_SECONDS))
        self.viewer.stdout.close()
        self.viewer.stderr.close()
        shutil.rmtree(self.folder)

    def request(self, method, path, body=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=WAIT_SECONDS)
        try:
            connection.request(method, path, body)
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def events(self):
        """The viewer's event stream: a function that returns the next event's data."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=WAIT_SECONDS)
        connection.request("GET", "/events")
        response = connection.getresponse()
        self.addCleanup(connection.close)

        def next_event():
            while True:
                line = response.readline()
                self.assertTrue(line, "the event stream ended")
                if line.startswith(b"data: "):
                    return json.loads(line[6:])
        return next_event

    def write_frame(self, number, data):
        with open(os.path.join(self.film, "frame-%05d.png" % number), "wb") as file:
            file.write(data)

    def test_a_frame_is_shown_only_once_it_is_whole(self):
        next_event = self.events()
        self.assertEqual({"frame": None, "width": 1024, "height": 600, "state": "waiting"}, next_event())
        whole = png(320, 200, 0x80)
        self.write_frame(1, whole[: len(whole) // 2])
        self.write_frame(2, whole)
        event = next_event()
        self.assertEqual((2, 320, 200), (event["frame"], event["width"], event["height"]))
        self.assertEqual((200, whole), self.request("GET", "/frame/2.png"))
        self.assertEqual(404, self.request("GET", "/frame/1.png")[0])

    def test_state_follows_the_display_lock(self):
        next_event = self.events()
        self.assertEqual("waiting", next_event()["state"])
        fd = os.open(os.path.join(self.film, "display.lock"), os.O_RDWR | os.O_CREAT, 0o644)
        try:
            fcntl.flock(fd, fcntl.LOCK_SH)
            self.assertEqual("running", next_event()["state"])
        finally:
            os.close(fd)  # as when the program ends: the kernel drops its lock
        self.assertEqual("ended", next_event()["state"])

    def test_touches_inside_the_display_reach_the_pipe_and_others_do_not(self):
        status, reply = self.request("POST", "/touch", b"5 6")
        self.assertEqual(409, status, "nobody reads the pipe yet")
        reader = os.open(self.touch, os.O_RDWR | os.O_NONBLOCK)
        self.addCleanup(os.close, reader)
        self.assertEqual(200, self.request("POST", "/touch", b"1024 10")[0])  # ignored: outside
        self.assertEqual(200, self.request("POST", "/touch", b"-1 10")[0])
        self.assertEqual(400, self.request("POST", "/touch", b"10")[0])
        self.assertEqual(400, self.request("POST", "/touch", b"x y")[0])
        self.assertEqual(400, self.request("POST", "/touch", b"1 " * 100)[0])
        self.assertEqual((200, b"Touched at 1023 599.\n"), self.request("POST", "/touch", b"1023 599"))
        self.assertEqual(b"1023 599\n", os.read(reader, 100))

    def test_every_other_path_is_not_found(self):
        self.assertEqual(200, self.request("GET", "/")[0])
        for path in ("/index.html", "/frame/1.png", "/frame/../display.lock", "/frame/1.png?x", "/events/"):
            self.assertEqual(404, self.request("GET", path)[0], path)
        self.assertEqual(404, self.request("POST", "/", b"1 1")[0])

    def test_a_second_viewer_on_the_same_port_says_so_and_exits_1(self):
        second = subprocess.run([VIEWER, "--film", self.film, "--port", str(self.port)],
                                capture_output=True, text=True, timeout=WAIT_SECONDS)
        self.assertEqual(1, second.returncode)
        self.assertIn("the port is in use", second.stderr)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        sys.exit(2)
    VIEWER = sys.argv.pop(1)
    unittest.main(verbosity=2)

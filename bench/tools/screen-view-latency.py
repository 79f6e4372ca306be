#!/usr/bin/python3
"""How long a posted page takes to reach the browser through tools/screen-view.

Usage: screen-view-latency.py [--frames N] [--runs R]

Writes N frames (the english in-progress, success and failure pages in turn)
into a film folder the way the screen stand-in films them, while headless
Chromium shows the viewer's page, and takes for each frame the time from the
file being closed to the page showing it (the page notes when its picture
loaded). Baseline, in the same run: the browser loading the same PNG file
straight from Python's standard file server, the least any viewer must spend.
Prints, for each run, the median and the worst latency in milliseconds, the
baseline's median and the ratio of the two medians; the goal is a page within
about 100 ms.
"""

import argparse
import functools
import http.server
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PAGES = [os.path.join(ROOT, "ui", "resources", "english", name) for name in ("16.png", "15.png", "17.png")]


def start_browser():
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                     "--window-size=1200,800"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service(executable_path="/usr/bin/chromedriver"), options=options)


def wait_until(condition, limit=30):
    deadline = time.monotonic() + limit
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError("timed out")
        time.sleep(0.002)


def viewer_latencies(browser, frames, pages):
    """Milliseconds from each frame's close to the viewer's page showing it."""
    folder = tempfile.mkdtemp(prefix="screen-view-bench-")
    film = os.path.join(folder, "film")
    os.mkdir(film)
    viewer = subprocess.Popen([os.path.join(ROOT, "tools", "screen-view"), "--film", film, "--port", "0"],
                              stdout=subprocess.PIPE, text=True)
    try:
        url = viewer.stdout.readline().split(" ", 1)[1].strip()
        browser.get(url)
        frame = lambda: browser.execute_script("return document.getElementById('screen').dataset.frame || ''")
        latencies = []
        for number in range(1, frames + 1):
            with open(os.path.join(film, "frame-%05d.png" % number), "wb") as file:
                file.write(pages[number % len(pages)])
            closed = time.time() * 1000
            wait_until(lambda: frame() == str(number))
            shown = float(browser.execute_script("return document.getElementById('screen').dataset.shownAt"))
            latencies.append(shown - closed)
        return latencies
    finally:
        viewer.terminate()
        viewer.wait()
        shutil.rmtree(folder)


class QuietFileHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):
        pass


def baseline_latencies(browser, frames, pages):
    """Milliseconds for the browser to load the same PNG files from a plain file server."""
    folder = tempfile.mkdtemp(prefix="screen-view-bench-")
    for index, data in enumerate(pages):
        with open(os.path.join(folder, "%d.png" % index), "wb") as file:
            file.write(data)
    handler = functools.partial(QuietFileHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        base = "http://127.0.0.1:%d/" % server.server_address[1]
        browser.get(base)
        latencies = []
        for number in range(1, frames + 1):
            latencies.append(browser.execute_async_script(
                "const done = arguments[1]; const start = performance.now(); const image = new Image();"
                "image.onload = () => done(performance.now() - start); image.src = arguments[0];",
                "%s%d.png?%d" % (base, number % len(pages), number)))
        return latencies
    finally:
        server.shutdown()
        server.server_close()
        shutil.rmtree(folder)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--frames", type=int, default=30)
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    pages = []
    for path in PAGES:
        with open(path, "rb") as file:
            pages.append(file.read())
    print("load average before: %.2f" % os.getloadavg()[0])
    browser = start_browser()
    try:
        for run in range(1, options.runs + 1):
            viewer = viewer_latencies(browser, options.frames, pages)
            baseline = baseline_latencies(browser, options.frames, pages)
            print("run %d: viewer median %.1f ms, worst %.1f ms; baseline median %.1f ms; ratio %.2f"
                  % (run, statistics.median(viewer), max(viewer), statistics.median(baseline),
                     statistics.median(viewer) / max(statistics.median(baseline), 0.1)))
    finally:
        browser.quit()
    print("load average after: %.2f" % os.getloadavg()[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())

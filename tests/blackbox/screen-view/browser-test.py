#!/usr/bin/python3
"""A person watching and pressing through the monitor's road in a real browser.

Usage: browser-test.py SANDBOX VIEWER DRIVER MONITOR ROAD_PICTURE SCRATCH

RadioFlashMonitor runs in the simulated printer under the black-box driver;
tools/screen-view serves its display; headless Chromium opens the page and
sees the in-progress page, then (after the success marker) the success page,
clicks its button, sees the black of the stopped compositor and is told that
the program has ended (the restart 15 s after the marker ends it). What the
browser shows is judged from its own screenshot of the picture, named by
road-picture against the compiled-in pages.

Exit status 0 when all of it was seen, 1 otherwise, 77 (skipped, with the
reason) where the sandbox cannot run or no browser is installed.
"""

import os
import shutil
import subprocess
import sys
import time

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
except ImportError:
    webdriver = None

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
# The success page's button, in display pixels.
BUTTON = (929, 550)
STEP_SECONDS = 0.1
WAIT_SECONDS = 60
# The sandbox never outlives the test, however it ends.
RUN_LIMIT_SECONDS = "150"


def skip(reason):
    print("browser test skipped: " + reason, flush=True)
    sys.exit(77)


def browser_or_skip():
    for path in (CHROMIUM, CHROMEDRIVER):
        if not os.access(path, os.X_OK):
            skip(path + " is not installed (Debian's chromium and chromium-driver; tools/install-deps)")
    if webdriver is None:
        skip("Selenium is not installed for /usr/bin/python3 (Debian's python3-selenium; tools/install-deps)")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    # Root in a container: Chromium's own sandbox cannot start there.
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                     "--window-size=1200,800", "--force-device-scale-factor=1", "--force-color-profile=srgb"):
        options.add_argument(argument)
    try:
        return webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER), options=options)
    except Exception as error:  # the driver's own exception types differ between versions
        skip("Chromium does not start here: %s" % str(error).splitlines()[0])


class Road:
    """The monitor in the sandbox, its viewer and the browser, each ended by close()."""

    def __init__(self, sandbox, viewer, driver, monitor, road_picture, scratch):
        self.browser = browser_or_skip()
        self.road_picture = road_picture
        self.scratch = scratch
        self.film = os.path.join(scratch, "film")
        shutil.rmtree(scratch, ignore_errors=True)
        os.makedirs(os.path.join(scratch, "store"))
        os.makedirs(self.film)
        self.commands = os.path.join(scratch, "commands")
        os.mkfifo(self.commands, 0o600)
        touch = os.path.join(scratch, "touch")
        self.viewer = subprocess.Popen(
            [viewer, "--film", self.film, "--touch", touch, "--port", "0"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = self.viewer.stdout.readline().strip()
        if not line.startswith("screen-view: http://127.0.0.1:"):
            raise AssertionError("the viewer did not start: " + line)
        self.url = line.split(" ", 1)[1]
        self.sandbox = subprocess.Popen(
            ["/usr/bin/timeout", RUN_LIMIT_SECONDS, sandbox, "--store", os.path.join(scratch, "store"),
             "--program", monitor, "--bind", scratch, scratch, "--setenv", "UPGRADE_SCREEN_FILM", self.film,
             "--setenv", "UPGRADE_SCREEN_TOUCH", touch, "--", "/bin/bash", driver, scratch, monitor],
            stdin=subprocess.DEVNULL, stdout=open(os.path.join(scratch, "sandbox.out"), "wb"),
            stderr=subprocess.STDOUT)

    def close(self):
        if self.browser is not None:
            self.browser.quit()
        for process in (self.sandbox, self.viewer):
            if process.poll() is None:
                process.terminate()
            process.wait(30)

    def send(self, command):
        fd = os.open(self.commands, os.O_WRONLY | os.O_NONBLOCK)
        try:
            os.write(fd, (command + "\n").encode())
        finally:
            os.close(fd)

    def shown(self):
        """What the browser's picture shows: "16", "15", "black", ... or "nothing" before a frame."""
        picture = self.browser.find_element(By.ID, "screen")
        if picture.get_attribute("data-frame") is None:
            return "nothing"
        path = os.path.join(self.scratch, "browser-shows.png")
        with open(path, "wb") as file:
            file.write(picture.screenshot_as_png)
        named = subprocess.run([self.road_picture, "--name-pages", "english", path],
                               capture_output=True, text=True).stdout.split()
        return named[-1] if named else "unreadable"

    def state(self):
        return self.browser.find_element(By.ID, "status").get_attribute("data-state")

    def touch_reply(self):
        return self.browser.find_element(By.ID, "touch").text

    def wait_for(self, what, wanted, observe):
        deadline = time.monotonic() + WAIT_SECONDS
        seen = observe()
        while seen != wanted:
            if time.monotonic() > deadline:
                raise AssertionError("the browser did not show %s: it showed %s" % (what, seen))
            time.sleep(STEP_SECONDS)
            seen = observe()
        print("seen in the browser: " + what, flush=True)

    def click(self, x, y):
        """A click on the picture at display pixel (x, y)."""
        display = self.browser.find_element(By.ID, "display")
        box = display.rect
        # Offsets count from the element's centre, in page pixels.
        ActionChains(self.browser).move_to_element_with_offset(
            display, int(x * box["width"] / 1024 - box["width"] / 2),
            int(y * box["height"] / 600 - box["height"] / 2)).click().perform()


def main(sandbox, viewer, driver, monitor, road_picture, scratch):
    check = subprocess.run([sandbox, "--check"], capture_output=True, text=True)
    if check.returncode != 0:
        print(check.stderr.strip(), flush=True)
        sys.exit(77)
    road = Road(sandbox, viewer, driver, monitor, road_picture, scratch)
    try:
        road.browser.get(road.url)
        road.wait_for("the in-progress page", "16", road.shown)
        road.send("create wifi.started")
        road.wait_for("the success page", "15", road.shown)
        road.click(*BUTTON)
        road.wait_for("the viewer's word that the touch went in", "Touched at %d %d." % BUTTON, road.touch_reply)
        road.wait_for("the black of the stopped compositor", "black", road.shown)
        road.wait_for("that the program has ended", "ended", road.state)
    except AssertionError as failure:
        print("FAILED: %s (the road's files are in %s)" % (failure, scratch), flush=True)
        return 1
    finally:
        road.close()
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 7:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))

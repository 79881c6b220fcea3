#!/usr/bin/python3
"""End-to-end test of `playgraph serve` in headless Chromium.

Opens the page on a copy of the bundled story, checks the drawn graph and
default path, asks what plays at a time, splits a segment, undoes (keyboard)
and redoes (button), sees a refused edit's message, saves, checks the saved
file with the playgraph tool, and sees that a file changed on disk is not
overwritten without asking. Then what a person types and reads: times read
(and refused) as the tool reads them, split disabled where the tool would
refuse it, segments off the default path, inserts that cut the path short or
go between, a removal undone, saves that keep a compact or 4-space layout,
and a large graph's split whose new half is drawn, selected and in view.
Last, generated video served with `--media`, read back from a canvas frame
by frame (skipped without ffmpeg).

    serve_e2e.py TOOL EXAMPLES_DIR                run the test (CTest does)
    serve_e2e.py TOOL EXAMPLES_DIR --screenshot PNG   save the README's picture
    serve_e2e.py TOOL EXAMPLES_DIR --large N      time opening an N-segment playgraph

Exits 77 (skipped) when Chromium, its driver or Selenium is not installed.
"""

import html
import html.entities
import html.parser
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "media"))
import testmedia  # noqa: E402

CHROMIUM = "/usr/bin/chromium"
EXAMPLES = "examples"
DRIVER = "/usr/bin/chromedriver"

try:
    from selenium import webdriver
    from selenium.common.exceptions import (NoAlertPresentException,
                                            StaleElementReferenceException, TimeoutException)
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    webdriver = None


class Server:
    """`playgraph serve FILE [OPTIONS]` on a free port, stopped on exit."""

    def __init__(self, tool, path, *options):
        self.process = subprocess.Popen([tool, "serve", os.path.basename(path), *options],
                                        cwd=os.path.dirname(path), stdout=subprocess.PIPE,
                                        text=True)
        line = self.process.stdout.readline()
        match = re.search(r"http://127\.0\.0\.1:\d+/", line)
        if not match:
            self.process.kill()
            raise AssertionError(f"serve did not start: {line!r}")
        self.url = match.group(0)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(timeout=10)


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    # The network is closed: every background connection is switched off.
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync",
                 "--window-size=1400,860", f"--user-data-dir={profile}"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(DRIVER), options=options)


def wait(driver, condition, what, seconds=10):
    try:
        return WebDriverWait(driver, seconds, poll_frequency=0.05,
                             ignored_exceptions=(NoAlertPresentException,
                                                 StaleElementReferenceException)).until(
                                                     lambda d: condition())
    except TimeoutException:
        raise AssertionError(f"timed out waiting for {what}") from None


def node_titles(driver, css="#graph g.node"):
    # One script, so that a graph redrawn meanwhile is read whole or not at all.
    return driver.execute_script(
        "return [...document.querySelectorAll(arguments[0])].map(t => t.textContent)",
        f"{css} > title")


def message(driver):
    return driver.find_element(By.ID, "message").text


def tool_output(tool, *args):
    return subprocess.run([tool, *args], capture_output=True, text=True, check=False).stdout


def open_page(driver, url):
    driver.get(url)
    wait(driver, lambda: driver.find_element(By.TAG_NAME, "body").get_attribute("data-ready"),
         "the page to draw the graph and the path", seconds=20)


def run_test(driver, tool, path):
    with open(path, encoding="utf-8") as f:
        segments = set(json.load(f)["segments"])
    with Server(tool, path) as server:
        open_page(driver, server.url)

        # Every segment is drawn; the default path is highlighted.
        assert set(node_titles(driver)) == segments, node_titles(driver)
        assert node_titles(driver, "#graph g.node.path") == ["intro", "vault", "recap", "credits"]
        assert len(driver.find_elements(By.CSS_SELECTOR, "#graph g.edge.path")) == 3

        # What plays at 14.5 s.
        field = driver.find_element(By.ID, "time")
        field.clear()
        field.send_keys("14.5")
        answer = driver.find_element(By.ID, "answer")
        wait(driver, lambda: "vault" in answer.text and "14.500" in answer.text, "the answer")

        # Split vault at the cursor, undo with the keyboard, redo with the button.
        assert "vault at 2.500 s" in driver.find_element(By.ID, "split-what").text
        driver.find_element(By.ID, "split-second").clear()
        driver.find_element(By.ID, "split-second").send_keys("vault-b")
        driver.find_element(By.ID, "split").click()
        wait(driver, lambda: "vault-b" in node_titles(driver), "the split")
        assert "vault-b" in node_titles(driver, "#graph g.node.path")
        driver.find_element(By.ID, "graph").send_keys(Keys.CONTROL, "z")
        wait(driver, lambda: set(node_titles(driver)) == segments, "the undo")
        driver.find_element(By.ID, "redo").click()
        wait(driver, lambda: "vault-b" in node_titles(driver), "the redo")
        # What changed since the file was opened: listed, and marked on the graph.
        wait(driver, lambda: set(node_titles(driver, "#graph g.node.changed")) == {"vault", "vault-b"},
             "the changed segments marked")
        assert "segments.vault.endTimeMs retimed: 31500 \u2192 14500" in \
            driver.find_element(By.ID, "changes").text

        # A refused edit shows the library's message and changes nothing.
        field.clear()
        field.send_keys("20")
        wait(driver, lambda: "vault-b at 5.500 s" in
             driver.find_element(By.ID, "split-what").text, "the cursor in vault-b")
        driver.find_element(By.ID, "split-second").clear()
        driver.find_element(By.ID, "split-second").send_keys("intro")
        driver.find_element(By.ID, "split").click()
        wait(driver, lambda: message(driver) == "A segment with id intro already exists",
             "the refusal")

        # Save, then read the file with the library.
        driver.find_element(By.ID, "save").click()
        wait(driver, lambda: message(driver).startswith("Saved"), "the save")
        wait(driver, lambda: driver.find_element(By.ID, "changes").text == "No unsaved changes." and
             not node_titles(driver, "#graph g.node.changed"), "nothing unsaved after the save")
        assert "segment vault-b, viewable 81, viewable time 14.500 s" in \
            tool_output(tool, "at", "14.5", path)

        # A file changed on disk is not overwritten without asking.
        with open(path, "a", encoding="utf-8") as f:
            f.write(" ")
        with open(path, encoding="utf-8") as f:
            changed = f.read()
        driver.find_element(By.ID, "undo").click()
        wait(driver, lambda: set(node_titles(driver)) == segments, "the second undo")
        driver.find_element(By.ID, "save").click()
        alert = wait(driver, lambda: driver.switch_to.alert, "the overwrite question")
        assert "changed on disk" in alert.text, alert.text
        alert.dismiss()
        wait(driver, lambda: message(driver) == "Not saved.", "the refusal to overwrite")
        with open(path, encoding="utf-8") as f:
            assert f.read() == changed

    # Refused requests above show as network errors; script errors must not.
    errors = [entry["message"] for entry in driver.get_log("browser")
              if entry["level"] == "SEVERE" and entry.get("source") != "network"]
    assert not errors, errors


def tool_refusal(tool, *args):
    """The message of a refused tool run, without its "playgraph: " prefix."""
    result = subprocess.run([tool, *args], capture_output=True, text=True, check=False)
    assert result.returncode == 2, result
    return result.stderr.splitlines()[0].removeprefix("playgraph: ")


def panel_field(driver, name):
    return driver.execute_script(
        "const row = [...document.querySelectorAll('#segment-panel tr')]"
        ".find(r => r.querySelector('th') && r.querySelector('th').textContent === arguments[0]);"
        "return row ? row.querySelector('td').textContent : null", name)


def panel_title(driver):
    titles = driver.find_elements(By.CSS_SELECTOR, "#segment-panel h2")
    return titles[0].text if titles else None


def select_node(driver, segment):
    for node in driver.find_elements(By.CSS_SELECTOR, "#graph g.node"):
        if node.find_element(By.TAG_NAME, "title").get_attribute("textContent") == segment:
            node.click()
            break
    wait(driver, lambda: panel_title(driver) == segment, f"the panel of {segment}")


def type_time(driver, text):
    field = driver.find_element(By.ID, "time")
    field.clear()
    field.send_keys(text)


class Markup(html.parser.HTMLParser):
    """The ids and the text of a page."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.ids = []
        self.text = []

    def handle_starttag(self, tag, attrs):
        self.ids += [value for name, value in attrs if name == "id"]

    def handle_data(self, data):
        self.text.append(data)


def check_markup(page):
    markup = Markup()
    markup.feed(page)
    twice = sorted({i for i in markup.ids if markup.ids.count(i) > 1})
    assert not twice, f"ids used more than once: {twice}"
    # An entity that reads as text: one without its "&" or one escaped twice.
    stray = [word for word in re.findall(r"[A-Za-z][A-Za-z0-9]*;|#x?[0-9A-Fa-f]+;",
                                         "".join(markup.text))
             if word in html.entities.html5 or word.startswith("#")]
    assert not stray, f"entities left as text: {stray}"


def run_typing_test(driver, tool, directory):
    """What a person types and reads: times, positions off the path, inserts,
    removals undone, layouts kept by a save, the large graph's view."""
    story = os.path.join(directory, "typing.json")
    with open(story, "w", encoding="utf-8") as f:
        with open(os.path.join(EXAMPLES, "story.json"), encoding="utf-8") as original:
            json.dump(json.load(original), f, separators=(",", ":"))  # compact, one line
    with Server(tool, story) as server:
        # The page as sent and as drawn: no id twice, no entity left as text.
        page = urllib.request.urlopen(server.url).read().decode()
        check_markup(page)
        assert "Checking\u2026" in html.unescape(page)
        open_page(driver, server.url)
        select_node(driver, "vault")
        check_markup(driver.execute_script("return document.documentElement.outerHTML"))

        # A time is read as the tool reads it, refusals with the tool's words.
        answer = driver.find_element(By.ID, "answer")
        for text in ("0x10", "abc", "-3"):
            type_time(driver, text)
            refusal = tool_refusal(tool, "at", text, story)
            wait(driver, lambda: answer.text == refusal, f"the refusal of {text!r}")
            assert driver.find_element(By.ID, "split").get_attribute("disabled")
        type_time(driver, "1e3")
        wait(driver, lambda: answer.text == "no segment at 16:40.000", "1e3 as 1000 s")
        type_time(driver, "0:14.5")
        wait(driver, lambda: "vault" in answer.text and "14.500" in answer.text, "a clock time")
        assert "segment vault, viewable 81, viewable time 14.500 s" in \
            tool_output(tool, "at", "0:14.5", story)

        # Split is disabled where the tool would refuse it, with the reason.
        type_time(driver, "12")
        split = driver.find_element(By.ID, "split")
        wait(driver, lambda: split.get_attribute("disabled"), "split disabled at offset 0")
        assert split.get_attribute("title").startswith("OFFSET 0.000 s is not inside segment vault")

        # Off the default path there is no offset in the playgraph.
        select_node(driver, "rooftop")
        assert panel_field(driver, "offset in playgraph") == "not on the default path"
        select_node(driver, "vault")
        assert panel_field(driver, "offset in playgraph") == "12.000 s"

        # Insert after as default cuts the path short and says so; insert
        # between keeps it going, selects the new segment, and is one step.
        driver.find_element(By.ID, "insert-id").clear()
        driver.find_element(By.ID, "insert-id").send_keys("heist")
        driver.find_element(By.ID, "insert-after").click()
        wait(driver, lambda: "takes recap, credits off the default path, which now ends at heist"
             in message(driver), "the warning")
        wait(driver, lambda: panel_title(driver) == "heist", "the new segment selected")
        driver.find_element(By.ID, "undo").click()
        wait(driver, lambda: "heist" not in node_titles(driver), "the undo")
        select_node(driver, "vault")
        driver.find_element(By.ID, "insert-id").clear()
        driver.find_element(By.ID, "insert-id").send_keys("heist")
        driver.find_element(By.ID, "insert-between").click()
        wait(driver, lambda: node_titles(driver, "#graph g.node.path") ==
             ["intro", "vault", "heist", "recap", "credits"], "insert between")
        wait(driver, lambda: node_titles(driver, "#graph g.node.selected") == ["heist"],
             "the new segment selected")
        assert message(driver) == ""
        assert "Undo insert heist after vault; " in driver.find_element(By.ID, "undo").get_attribute("title")

        # A removal undone shows the segment again.
        driver.find_element(By.ID, "remove").click()
        wait(driver, lambda: "The segment is gone." in
             driver.find_element(By.ID, "segment-panel").text, "the removal")
        driver.find_element(By.ID, "undo").click()
        wait(driver, lambda: panel_title(driver) == "heist", "the segment back after the undo")

        # The save keeps the file on one line.
        driver.find_element(By.ID, "save").click()
        wait(driver, lambda: message(driver).startswith("Saved"), "the save")
        with open(story, encoding="utf-8") as f:
            text = f.read()
        assert text.count("\n") == 0 and '"heist":{' in text, text

    # An indented file keeps its indent width.
    with open(story, "w", encoding="utf-8") as f:
        json.dump(json.loads(text), f, indent=4)
        f.write("\n")
    with Server(tool, story) as server:
        open_page(driver, server.url)
        select_node(driver, "heist")
        driver.find_element(By.ID, "remove").click()
        wait(driver, lambda: "heist" not in node_titles(driver), "the removal")
        driver.find_element(By.ID, "save").click()
        wait(driver, lambda: message(driver).startswith("Saved"), "the second save")
        with open(story, encoding="utf-8") as f:
            lines = f.read().split("\n")
        assert lines[1] == '    "playgraphId": "heist-story",' and lines[-1] == "", lines[:3]

    # In a large graph a split's new half is drawn, selected and in view; a
    # long path's length reads h:mm:ss.mmm.
    large = os.path.join(directory, "large-typing.json")
    with open(large, "w", encoding="utf-8") as f:
        json.dump(large_playgraph(400), f)
    with Server(tool, large) as server:
        open_page(driver, server.url)
        summary = driver.find_element(By.ID, "summary").text
        assert re.search(r", \d+:\d\d:\d\d\.\d{3}$", summary), summary
        # The page's own state, through the module that holds it.
        middle = driver.execute_async_script(
            "import('/state.js').then(({ app }) => arguments[0](app.path[300].offset"
            " + app.path[300].length / 2))")
        type_time(driver, f"{middle:.3f}")
        wait(driver, lambda: "Split s300 at" in driver.find_element(By.ID, "split-what").text,
             "the cursor in s300")
        driver.find_element(By.ID, "split").click()
        wait(driver, lambda: node_titles(driver, "#graph g.node.selected") == ["s300-b"],
             "the new half selected")
        assert driver.execute_script(
            "const box = document.getElementById('graph').getBoundingClientRect();"
            "const node = [...document.querySelectorAll('#graph g.node.selected')][0]"
            ".getBoundingClientRect();"
            "return node.left >= box.left && node.right <= box.right && "
            "node.top >= box.top && node.bottom <= box.bottom")


# Loads viewable arguments[0]'s media in a video element, seeks to
# arguments[1] seconds and answers the RGBA pixels on screen then, or the
# element's error.
SHOW_FRAME = """
const [viewable, time, withToken, done] = arguments;
const token = document.querySelector('meta[name="playgraph-token"]').content;
const video = document.createElement("video");
video.muted = true;
video.preload = "auto";
video.addEventListener("error", () => done({error: video.error ? video.error.code : -1}));
video.addEventListener("loadeddata", () => { video.currentTime = time; }, {once: true});
video.addEventListener("seeked", () => {
  const canvas = document.createElement("canvas");
  canvas.width = video.videoWidth;
  canvas.height = video.videoHeight;
  const context = canvas.getContext("2d");
  context.drawImage(video, 0, 0);
  const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
  video.remove();
  done({width: canvas.width, height: canvas.height, pixels: Array.from(data)});
}, {once: true});
video.src = `/media/${viewable}` + (withToken ? `?token=${token}` : "");
document.body.append(video);
"""


def run_media_test(driver, tool, directory):
    """Generated video served by `--media`: Chromium loads it through the
    token (with byte ranges), seeks, and the frame on its canvas is the one
    asked for; media that is missing or asked for without the token fails."""
    if shutil.which("ffmpeg") is None:
        print("serve e2e: the media test needs ffmpeg; skipped")
        return False
    media = os.path.join(directory, "media")
    testmedia.write_media(media, {81: 13, 82: 2})
    path = os.path.join(directory, "story.json")
    shutil.copy(os.path.join(EXAMPLES, "story.json"), path)
    with Server(tool, path, "--media", media) as server:
        open_page(driver, server.url)
        listing = json.loads(urllib.request.urlopen(server.url + "api/media").read())
        assert [m["viewable"] for m in listing["media"]] == ["81", "82"], listing
        assert listing["missing"] == ["83"], listing
        media_list = driver.find_element(By.ID, "media")
        wait(driver, lambda: "no media for viewable 83" in media_list.text, "the media panel")
        assert [e.text for e in media_list.find_elements(By.TAG_NAME, "li")] == [
            "viewable 81: served", "viewable 82: served", "no media for viewable 83"]
        driver.set_script_timeout(30)
        rng = random.Random(7)
        frames = [(81, 300), (81, 312), (82, 0), (82, 49), (81, 0), (81, 324)]
        frames += [(81, rng.randrange(325)) for _ in range(4)]
        for viewable, frame in frames:
            # On a slow machine (a sanitizer build) Chromium may still paint
            # the frame before the seek when `seeked` fires: a fresh element
            # gets up to two more tries, and the asked frame must show.
            for attempt in range(3):
                # The middle of the frame's time, so rounding cannot pick a neighbour.
                shown = driver.execute_async_script(SHOW_FRAME, viewable,
                                                    (frame + 0.5) / testmedia.FPS, True)
                assert "error" not in shown, (viewable, frame, shown)
                read = testmedia.read_frame(bytes(shown["pixels"]), shown["width"],
                                            shown["height"], channels=4)
                if read == (viewable, frame):
                    break
            assert read == (viewable, frame), (viewable, frame, read)
        for viewable, with_token in ((83, True), (81, False)):
            shown = driver.execute_async_script(SHOW_FRAME, viewable, 0.5, with_token)
            assert "error" in shown, (viewable, with_token)
    return True


def screenshot(driver, tool, path, png):
    with Server(tool, path) as server:
        open_page(driver, server.url)
        field = driver.find_element(By.ID, "time")
        field.clear()
        field.send_keys("14.5")
        wait(driver, lambda: "vault" in driver.find_element(By.ID, "answer").text, "the answer")
        [n for n in driver.find_elements(By.CSS_SELECTOR, "#graph g.node")
         if n.find_element(By.TAG_NAME, "title").get_attribute("textContent") == "vault"][0].click()
        wait(driver, lambda: driver.find_elements(By.CSS_SELECTOR, "#segment-panel h2"),
             "the segment panel")
        time.sleep(0.3)
        driver.save_screenshot(png)


def large_playgraph(count):
    """A chain of `count` segments with a branch every few segments."""
    rng = random.Random(1)
    segments = {}
    start = 0
    for i in range(count):
        length = rng.randint(2000, 30000)
        segment = {"startTimeMs": start, "endTimeMs": start + length}
        if i + 1 < count:
            segment["defaultNext"] = f"s{i + 1}"
            segment["next"] = {f"s{i + 1}": {"weight": 70}}
            if i % 6 == 5 and i + 2 < count:
                segment["next"][f"s{i + 2}"] = {"weight": 30}
        segments[f"s{i}"] = segment
        start += length
    return {"playgraphId": "large", "type": "branching", "initialSegment": "s0",
            "segments": {**{"s0": {**segments.pop("s0"), "main": 81}}, **segments}}


def measure(driver, tool, directory, count):
    path = os.path.join(directory, "large.json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump(large_playgraph(count), f)
    with Server(tool, path) as server:
        for attempt in range(3):
            open_page(driver, server.url)
            ready = driver.execute_script(
                "return performance.getEntriesByName('playgraph-ready')[0].startTime")
            nodes = len(driver.find_elements(By.CSS_SELECTOR, "#graph g.node"))
            print(f"{count} segments: page ready after {ready:.0f} ms ({nodes} nodes drawn)")


def main():
    global EXAMPLES
    tool, examples = os.path.abspath(sys.argv[1]), sys.argv[2]
    EXAMPLES = examples
    if webdriver is None or not (os.path.exists(CHROMIUM) and os.path.exists(DRIVER)):
        print("skipped: needs chromium, chromium-driver and python3-selenium")
        return 77
    directory = tempfile.mkdtemp(prefix="playgraph-serve-e2e-")
    driver = browser(os.path.join(directory, "profile"))
    try:
        path = os.path.join(directory, "story.json")
        shutil.copy(os.path.join(examples, "story.json"), path)
        if len(sys.argv) > 4 and sys.argv[3] == "--screenshot":
            screenshot(driver, tool, path, sys.argv[4])
        elif len(sys.argv) > 4 and sys.argv[3] == "--large":
            measure(driver, tool, directory, int(sys.argv[4]))
        else:
            run_test(driver, tool, path)
            run_typing_test(driver, tool, directory)
            passed = 2 + run_media_test(driver, tool, directory)
            print(f"serve e2e: {passed} passed, 0 failed")
    finally:
        driver.quit()
        shutil.rmtree(directory, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""The branching player in headless Chromium, on generated video.

Every frame of the test media says which viewable and frame it is; a probe
reads the frame on screen at each animation frame from a canvas, so the
tests see exactly what a viewer sees. Through `playgraph serve`: missing
media is named; the bundled story plays to its end along the default path
with no input; a choice made with the keyboard is followed, and every frame
shown lies inside a segment of the path played; Back returns to the
decision; a reload resumes where playback was. Through `export-player` and
a plain static server: the exported site plays the end of the story.

    player_e2e.py TOOL      (bench/player_bench.py measures the player)

Exits 77 (skipped) without Chromium, its driver, Selenium, ffmpeg or the
built JavaScript package.
"""

import functools
import http.server
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "media"))
sys.path.insert(0, HERE)
import testmedia  # noqa: E402
from serve_e2e import CHROMIUM, DRIVER, Server, browser, wait, webdriver  # noqa: E402, F401

PACKAGE = os.path.join(HERE, "..", "..", "web")
RATE = 3  # the tests play at this speed; measurements at 1

# Reads the frame on screen at every animation frame: (viewable, frame) as
# testmedia.read_frame does, with the segment the player says is playing.
PROBE = """
const canvas = document.createElement('canvas');
canvas.width = 160; canvas.height = 90;
const context = canvas.getContext('2d', { willReadFrequently: true });
window.shown = [];
const read = () => {
  const words = [];
  for (let row = 0; row < 3; row++) {
    let word = 0;
    for (let bit = 0; bit < 16; bit++) {
      const data = context.getImageData(bit * 10 + 3, row * 30 + 10, 4, 10).data;
      let total = 0;
      for (let i = 0; i < data.length; i += 4) total += data[i];
      const mean = total / 40;
      if (mean > 80 && mean < 170) return null;
      word = (word << 1) | (mean >= 128 ? 1 : 0);
    }
    words.push(word);
  }
  return (words[0] ^ words[1] ^ 0xA5A5) === words[2] ? [words[0], words[1]] : null;
};
const look = () => {
  const video = document.querySelector('.play-video.shown');
  if (video && video.readyState >= 2) {
    context.drawImage(video, 0, 0, 160, 90);
    const frame = read();
    const last = window.shown[window.shown.length - 1];
    if (frame && !(last && last[0] === frame[0] && last[1] === frame[1])) window.shown.push(frame);
  }
  requestAnimationFrame(look);
};
requestAnimationFrame(look);
"""


def player(driver, expression, *args):
    return driver.execute_script(f"const p = window.playgraphPlayer; return {expression};", *args)


def open_player(driver, url, rate=RATE):
    driver.get(url)
    wait(driver, lambda: driver.execute_script("return !!window.playgraphPlayer"),
         "the player to load", seconds=30)
    player(driver, "p.setRate(arguments[0])", rate)
    driver.execute_script(PROBE)


def notice(driver):
    return player(driver, "p.notice.hidden ? '' : p.notice.textContent")


def play_to_end(driver, seconds):
    player(driver, "p.play()")
    wait(driver, lambda: player(driver, "p.session.ended()"), "the end of the story", seconds)


def check_frames(driver, graph):
    """Every frame shown belongs to a segment of the played path, in order,
    and the path's segments each showed frames. Returns the segments."""
    step = player(driver, "p.session.currentStep()")
    path = [e["segmentId"] for e in player(driver, "p.session.timeline()")][:step + 1]
    shown = driver.execute_script("return window.shown")
    visited = []
    for viewable, frame in shown:
        # The frame's span overlaps the segment's (a seek to a time shows
        # the frame that holds it).
        begin, end = frame / testmedia.FPS, (frame + 1) / testmedia.FPS
        owner = [s for s in path if str(graph[s][0]) == str(viewable)
                 and graph[s][1] < end - 1e-6 and begin + 1e-6 < graph[s][2]]
        assert owner, f"frame {frame} of {viewable} is in no segment of {path}"
        if not visited or visited[-1] not in owner:
            # The next segment of the path that holds it.
            following = path[path.index(visited[-1]) + 1:] if visited else path
            assert any(s in owner for s in following), (viewable, frame, visited, path)
            visited.append(next(s for s in following if s in owner))
    return visited


def story_ranges(story):
    """segment -> (viewable, start, end) in seconds, as the tool reads them."""
    with open(story, encoding="utf-8") as f:
        segments = json.load(f)["segments"]
    out = {}
    main = 81
    for sid, s in segments.items():
        out[sid] = (s.get("viewableId", main), s["startTimeMs"] / 1000,
                    s.get("endTimeMs", 1e9) / 1000)
    return out


def run_tests(driver, tool, directory):
    story = os.path.join(directory, "story.json")
    shutil.copy(os.path.join(HERE, "..", "..", "examples", "story.json"), story)
    media = os.path.join(directory, "media")
    testmedia.write_media(media, {81: 36.5, 82: 18.25})
    graph = story_ranges(story)
    with Server(tool, story, "--media", media) as server:
        # Missing media is named.
        open_player(driver, server.url)
        wait(driver, lambda: "no media for viewable 83" in notice(driver), "the missing media")
        testmedia.write_media(media, {83: 9})

        # The default path to the end with no input.
        open_player(driver, server.url)
        assert notice(driver) == "", notice(driver)
        play_to_end(driver, 60)
        assert check_frames(driver, graph) == ["intro", "vault", "recap", "credits"]
        assert [d["defaulted"] for d in player(driver, "p.session.decisions()")] == [True]
        assert player(driver, "p.stats.outOfRange") == 0

        # A choice by keyboard, in the decision window, is followed; Back.
        player(driver, "p.restart()")
        driver.execute_script("window.shown = []")
        player(driver, "p.play()")
        wait(driver, lambda: player(driver, "!p.choices.hidden"), "the choices", 30)
        player(driver, "p.pause()")  # the deadline is a second away at this speed
        button = driver.find_element("css selector", '.play-choice[data-segment="rooftop"]')
        button.send_keys(" ")
        player(driver, "p.play()")
        wait(driver, lambda: player(driver, "p.current.segmentId") == "rooftop", "rooftop", 30)
        wait(driver, lambda: driver.execute_script(
            "return [...document.querySelectorAll('#graph g.node.playing > title')]"
            ".map(t => t.textContent)") == ["rooftop"], "rooftop marked in the graph")
        wait(driver, lambda: player(driver, "p.current.segmentId") == "recap", "recap", 30)
        player(driver, "p.pause()")
        assert check_frames(driver, graph) == ["intro", "rooftop", "recap"]
        record = player(driver, "p.session.decisions()")[0]
        assert record["destination"] == "rooftop" and not record["defaulted"], record
        assert player(driver, "p.stats.stalls") == 0
        assert player(driver, "p.back()") is None
        position = player(driver, "p.session.position()")
        assert position["segmentId"] == "intro" and abs(position["watchableTime"] - 7) < 1e-6
        assert player(driver, "p.session.decisions()") == []

        # A reload resumes there.
        player(driver, "p.seek(9.5)")
        wait(driver, lambda: player(driver, "p.playing.loaded"), "the frame at 9.5 s")
        open_player(driver, server.url)
        resumed = player(driver, "p.session.sessionTime()")
        assert abs(resumed - 9.5) < 0.05, resumed  # the time of the frame shown
        wait(driver, lambda: player(driver, "p.playing.loaded"), "the resumed frame")
        wait(driver, lambda: driver.execute_script("return window.shown.length"), "a frame")
        assert driver.execute_script("return window.shown[0]") == [81, int(9.5 * 25)]

        # Restart plays the story as edited in the page since.
        status = driver.execute_script(
            "const token = document.querySelector('meta[name=\"playgraph-token\"]').content;"
            "return fetch('/api/edit', {method: 'POST', headers: {'X-Playgraph-Token': token},"
            "body: JSON.stringify({verb: 'remove', args: ['recap']})}).then(r => r.status)")
        player(driver, "p.restart()")
        path = [e["segmentId"] for e in player(driver, "p.session.timeline()")]
        assert status == 200 and "recap" not in path, (status, path)

    # The exported site on a plain static server, the credits playing to
    # the end of their video: of unknown length until it loads.
    with open(story, encoding="utf-8") as f:
        document = json.load(f)
    del document["segments"]["credits"]["endTimeMs"]
    with open(story, "w", encoding="utf-8") as f:
        json.dump(document, f)
    site = os.path.join(directory, "site")
    subprocess.run([tool, "export-player", story, "--media", media, "-o", site], check=True,
                   capture_output=True)
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    handler = functools.partial(Quiet, directory=site)
    static = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=static.serve_forever, daemon=True).start()
    try:
        open_player(driver, f"http://127.0.0.1:{static.server_address[1]}/index.html")
        assert not player(driver, "p.session.duration().known")
        player(driver, "p.seek(30)")
        wait(driver, lambda: player(driver, "p.playing.loaded"), "the frame at 30 s")
        driver.execute_script("window.shown = []")
        play_to_end(driver, 30)
        assert check_frames(driver, graph) == ["vault", "recap", "credits"]
        assert player(driver, "p.session.duration()") == {
            "seconds": 45.5, "known": True, "endless": False}
    finally:
        static.shutdown()


def main():
    tool = os.path.abspath(sys.argv[1])
    ready = os.path.exists(os.path.join(PACKAGE, "dist", "playgraph-core.wasm"))
    if webdriver is None or not (os.path.exists(CHROMIUM) and os.path.exists(DRIVER)) or \
            shutil.which("ffmpeg") is None or not ready:
        print("skipped: needs chromium, chromium-driver, python3-selenium, ffmpeg and the "
              "built package (scripts/web.sh)")
        return 77
    directory = tempfile.mkdtemp(prefix="playgraph-player-e2e-")
    driver = browser(os.path.join(directory, "profile"))
    try:
        run_tests(driver, tool, directory)
        print("player e2e: passed")
    finally:
        driver.quit()
        shutil.rmtree(directory, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""The player's figures for docs/BENCHMARKS.md, in one headless Chromium run
(`bench/player_bench.py TOOL [--screenshot PNG]`, after scripts/web.sh;
--screenshot saves the README's picture instead): the switch gap of the pool of preloaded
elements against a plain single-element source swap, choices made at random
times before their deadlines, the pool's memory, and the page's frame time
on a 2,000-segment story."""

import json
import os
import shutil
import statistics
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "tests", "tools"), os.path.join(HERE, "..", "tests", "media")]
import testmedia  # noqa: E402
from player_e2e import Server, browser, open_player, player, wait  # noqa: E402

LEVELS = 24  # decision points in the switching story, each a switch


def switching_story():
    """Two ways at every level, each a jump to another viewable or time."""
    segments = {}
    for level in range(LEVELS):
        for way, viewable in (("a", 81), ("b", 82)):
            start = (level % 8) * 3000 + (500 if way == "b" else 0)
            segment = {"viewableId": viewable, "startTimeMs": start, "endTimeMs": start + 2000}
            if level + 1 < LEVELS:
                segment["next"] = {f"a{level + 1}": {"weight": 50}, f"b{level + 1}": {"weight": 50}}
                segment["defaultNext"] = f"a{level + 1}"
            segments[f"{way}{level}"] = segment
    return {"playgraphId": "switching", "type": "branching", "initialSegment": "a0",
            "segments": segments}


def large_story(count):
    """`count` one-second segments of viewable 81, a branch every fifth."""
    segments = {}
    for i in range(count):
        start = (i % 20) * 1000
        segment = {"viewableId": 81, "startTimeMs": start, "endTimeMs": start + 1000}
        if i + 1 < count:
            segment["defaultNext"] = f"s{i + 1}"
            segment["next"] = {f"s{i + 1}": {"weight": 70}}
            if i % 5 == 4 and i + 2 < count:
                segment["next"][f"s{i + 2}"] = {"weight": 30}
        segments[f"s{i}"] = segment
    return {"playgraphId": "large", "type": "branching", "initialSegment": "s0",
            "segments": segments}


# Chooses a random way at a random time between each decision window's start
# and its deadline, through the player (as a click does).
CHOOSER = """
const p = window.playgraphPlayer;
window.chosen = [];
const planned = new Map();
const look = () => {
  const d = p.decision;
  if (d && !p.session.ended() && Number.isFinite(d.deadline)) {
    const key = `${d.entry.segmentId}@${d.entry.start}`;
    if (!planned.has(key)) {
      const way = d.waysOn[Math.floor(Math.random() * d.waysOn.length)].segmentId;
      planned.set(key, { way, at: d.windowStart + Math.random() * (d.deadline - d.windowStart) * 0.9 });
    }
    const plan = planned.get(key);
    const now = p.session.sessionTime();
    if (!plan.done && now >= plan.at && now < d.deadline) {
      plan.done = true;
      p.choose(plan.way);
      window.chosen.push({ segment: d.entry.segmentId, way: plan.way, before: d.deadline - now });
    }
  }
  requestAnimationFrame(look);
};
requestAnimationFrame(look);
"""

# The baseline: one element, its source swapped and seeked at each
# segment's last frame; the gap from that frame to the next one presented.
BASELINE = """
const [jumps, done] = arguments;
const video = document.createElement('video');
video.muted = true;
document.body.append(video);
const gaps = [];
const token = document.querySelector('meta[name="playgraph-token"]').content;
const url = (viewable) => `/media/${viewable}?token=${token}`;
let index = 0;
const begin = async () => {
  const [viewable, start] = jumps[index];
  const event = (name) => new Promise((resolve) => video.addEventListener(name, resolve, { once: true }));
  video.src = url(viewable);
  await event('loadedmetadata');
  if (Math.abs(video.currentTime - start) > 0.001) {
    video.currentTime = start;
    await event('seeked');
  }
  await video.play();
};
const onFrame = async (now, frame) => {
  const [, start] = jumps[index];
  if (frame.mediaTime + 0.04 >= start + 1 - 0.001) {
    const last = frame.presentationTime;
    video.pause();
    index += 1;
    if (index >= jumps.length) { done(gaps); return; }
    await begin();
    video.requestVideoFrameCallback((t, first) => {
      gaps.push(first.presentationTime - last);
      video.requestVideoFrameCallback(onFrame);
    });
    return;
  }
  video.requestVideoFrameCallback(onFrame);
};
begin().then(() => video.requestVideoFrameCallback(onFrame));
"""

# Wraps the player's per-frame work in a timer and counts animation frames.
FRAME_TIMER = """
const p = window.playgraphPlayer;
window.work = [];
window.intervals = [];
const frame = p.frame.bind(p);
p.frame = (slot, f) => { const t0 = performance.now(); frame(slot, f); window.work.push(performance.now() - t0); };
const refresh = p.refresh.bind(p);
window.refreshes = [];
p.refresh = () => { const t0 = performance.now(); refresh(); window.refreshes.push(performance.now() - t0); };
let last = performance.now();
const count = (now) => { window.intervals.push(now - last); last = now; requestAnimationFrame(count); };
requestAnimationFrame(count);
"""


def quantiles(values):
    values = sorted(values)
    return {"median": statistics.median(values), "p95": values[int(0.95 * (len(values) - 1))],
            "worst": values[-1], "count": len(values)}


def run(driver, tool, directory):
    media = os.path.join(directory, "media")
    testmedia.write_media(media, {81: 26, 82: 26})
    story = os.path.join(directory, "switching.json")
    with open(story, "w", encoding="utf-8") as f:
        json.dump(switching_story(), f)
    results = {}
    driver.set_script_timeout(120)
    with Server(tool, story, "--media", media) as server:
        open_player(driver, server.url, rate=1)
        player(driver, "p.config.prefetchLead = 0.5")
        player(driver, "p.restart()")
        driver.execute_script(CHOOSER)
        player(driver, "p.play()")
        wait(driver, lambda: player(driver, "p.session.ended()"), "the end", LEVELS * 2 + 30)
        stats = player(driver, "p.stats")
        gaps = [1000 * (s["firstFrame"] - s["lastFrame"]) - 1000 * (s["firstMediaTime"] - s["start"])
                for s in stats["switches"]]
        # The last frame of a segment to the first of the next (the one the
        # element held, on screen when the page drew the switch), and how
        # long that frame stayed until the element presented its next one.
        switches = stats["switches"]
        results["pool"] = quantiles([s["shown"] - s["lastFrame"] for s in switches])
        results["poolHeld"] = quantiles([s["firstFrame"] - s["shown"] for s in switches])
        results["frameInterval"] = 1000 * min(s["frameInterval"] for s in switches)
        results["stalls"] = stats["stalls"]
        results["outOfRange"] = stats["outOfRange"]
        results["maxElements"] = stats["maxElements"]
        results["maxBufferedSeconds"] = round(stats["maxBuffered"], 1)
        chosen = driver.execute_script("return window.chosen")
        taken = {r["segmentId"]: r for r in player(driver, "p.session.decisions()")}
        honoured = [c for c in chosen if taken.get(c["segment"], {}).get("destination") == c["way"]
                    and not taken[c["segment"]]["defaulted"]]
        results["choices"] = {"made": len(chosen), "honoured": len(honoured),
                              "leastSecondsBeforeDeadline": round(min(c["before"] for c in chosen), 3)}
        jumps = [(81 if i % 2 == 0 else 82, (i % 8) * 3 + 0.5 * (i % 2)) for i in range(21)]
        results["baseline"] = quantiles(driver.execute_async_script(BASELINE, jumps))

    story = os.path.join(directory, "large.json")
    with open(story, "w", encoding="utf-8") as f:
        json.dump(large_story(2000), f)
    with Server(tool, story, "--media", media) as server:
        open_player(driver, server.url, rate=1)
        driver.execute_script(FRAME_TIMER)
        player(driver, "p.play()")
        wait(driver, lambda: player(driver, "p.session.sessionTime()") > 12, "12 s of play", 40)
        player(driver, "p.pause()")
        results["large"] = {
            "work": quantiles(driver.execute_script("return window.work")),
            "refresh": quantiles(driver.execute_script("return window.refreshes")),
            "animationFrames": quantiles(driver.execute_script("return window.intervals.slice(5)")),
        }
    print(json.dumps(results, indent=1))


def screenshot(driver, tool, directory, png):
    """The Play view on the bundled story, in intro's decision window."""
    media = os.path.join(directory, "media")
    testmedia.write_media(media, {81: 36.5, 82: 18.25, 83: 9})
    story = os.path.join(HERE, "..", "examples", "story.json")
    with Server(tool, story, "--media", media) as server:
        open_player(driver, server.url, rate=2)
        player(driver, "p.play()")
        wait(driver, lambda: player(driver, "p.session.sessionTime()") > 8.2, "the window", 20)
        player(driver, "p.pause()")
        driver.find_element("css selector", '.play-choice[data-segment="rooftop"]').click()
        driver.save_screenshot(png)


if __name__ == "__main__":
    scratch = tempfile.mkdtemp(prefix="playgraph-player-bench-")
    chromium = browser(os.path.join(scratch, "profile"))
    try:
        if len(sys.argv) > 3 and sys.argv[2] == "--screenshot":
            screenshot(chromium, os.path.abspath(sys.argv[1]), scratch, sys.argv[3])
        else:
            run(chromium, os.path.abspath(sys.argv[1]), scratch)
    finally:
        chromium.quit()
        shutil.rmtree(scratch, ignore_errors=True)

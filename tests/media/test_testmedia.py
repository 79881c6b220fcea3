"""The test media round-trips: what testmedia.py writes and ffmpeg decodes
reads back as exactly the viewable and frame it was made as."""

import os
import random
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))
import testmedia  # noqa: E402

SIZE = testmedia.WIDTH * testmedia.HEIGHT


def test_every_frame_reads_back_through_the_codec(tmp_path):
    rng = random.Random(31)
    lengths = {0: 0.3, testmedia.MAX_VALUE: 0.5, rng.randrange(1, 65535): 2.0}
    paths = testmedia.write_media(str(tmp_path), lengths)
    for viewable, seconds in lengths.items():
        frames = testmedia.decode_frames(paths[viewable])
        assert len(frames) == testmedia.frame_count(seconds)
        assert frames == [(viewable, n) for n in range(len(frames))]


def test_keyframes_come_often_enough_to_cut_anywhere(tmp_path):
    path = testmedia.write_media(str(tmp_path), {7: 2.0})[7]
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                          "frame=key_frame:stream=codec_name,r_frame_rate,width,height",
                          "-of", "csv=p=0", path], capture_output=True, text=True, check=True)
    lines = out.stdout.split()
    keys = [i for i, line in enumerate(lines[:-1]) if line == "1"]
    assert lines[-1] == f"vp8,{testmedia.WIDTH},{testmedia.HEIGHT},{testmedia.FPS}/1"
    assert keys[0] == 0
    assert max(b - a for a, b in zip(keys, keys[1:] + [len(lines) - 1])) <= 5


def test_pixels_read_back_exactly_and_damage_is_noticed():
    rng = random.Random(1)
    for _ in range(300):
        viewable, frame = rng.randrange(65536), rng.randrange(65536)
        pixels = bytearray(testmedia.frame_pixels(viewable, frame))
        assert len(pixels) == SIZE
        assert testmedia.read_frame(pixels) == (viewable, frame)
        # The same pixels as RGBA (a canvas's layout) read the same.
        rgba = bytes(b for p in pixels for b in (p, p, p, 255))
        assert testmedia.read_frame(rgba, channels=4) == (viewable, frame)
        # One block turned over is never read as another frame.
        row, bit = rng.randrange(3), rng.randrange(testmedia.BITS)
        for y in range(row * testmedia.BLOCK_H, (row + 1) * testmedia.BLOCK_H):
            for x in range(bit * testmedia.BLOCK_W, (bit + 1) * testmedia.BLOCK_W):
                pixels[y * testmedia.WIDTH + x] ^= testmedia.DARK ^ testmedia.LIGHT
        assert testmedia.read_frame(pixels) is None


def test_other_pictures_are_not_frames():
    assert testmedia.read_frame(bytes(SIZE)) is None  # black
    assert testmedia.read_frame(bytes([255]) * SIZE) is None  # white
    assert testmedia.read_frame(bytes([128]) * SIZE) is None  # grey
    assert testmedia.read_frame(testmedia.frame_pixels(3, 4)[:-1]) is None  # cut short
    assert testmedia.read_frame(bytes(2 * SIZE), width=2 * testmedia.WIDTH) is None
    rng = random.Random(2)
    noise = [bytes(rng.choice((0, 255)) for _ in range(SIZE)) for _ in range(20)]
    assert sum(testmedia.read_frame(n) is not None for n in noise) == 0


def test_refuses_what_it_cannot_encode(tmp_path):
    for viewable, frame in ((-1, 0), (65536, 0), (0, 65536)):
        with pytest.raises(ValueError):
            testmedia.frame_pixels(viewable, frame)
    for seconds in (0, -1, float("nan"), float("inf"), 3000):
        with pytest.raises(ValueError):
            testmedia.write_video(str(tmp_path / "x.webm"), 1, seconds)
    assert not (tmp_path / "x.webm").exists()


def test_command_line(tmp_path):
    script = os.path.join(os.path.dirname(__file__), "testmedia.py")
    ok = subprocess.run([sys.executable, script, str(tmp_path), "5=0.2", "6=0.1"],
                        capture_output=True, text=True)
    assert ok.returncode == 0, ok.stderr
    assert sorted(os.listdir(tmp_path)) == ["5.webm", "6.webm"]
    bad = subprocess.run([sys.executable, script, str(tmp_path), "x=1"],
                         capture_output=True, text=True)
    assert bad.returncode == 2 and "'x=1' is not ID=SECONDS" in bad.stderr
    usage = subprocess.run([sys.executable, script], capture_output=True, text=True)
    assert usage.returncode == 2 and "usage" in usage.stderr

#!/usr/bin/python3
"""Test video whose every frame says which viewable and frame it is.

Each frame is WIDTH x HEIGHT, grey, with three rows of BITS black or white
blocks: the viewable id, the frame number, and a check word (both XORed with
CHECK_KEY), most significant bit first. The blocks are large enough to survive
lossy coding, so a test that reads the pixels back (from a decoded file or a
browser's canvas) knows exactly which viewable and time is on screen, and a
frame that is not one of these (black, half-decoded, scaled) reads as None.
Browser tests hand a canvas's RGBA pixels to `read_frame`.

    testmedia.py OUTDIR ID=SECONDS [ID=SECONDS ...]   writes OUTDIR/ID.webm

Needs ffmpeg with libvpx (Debian's `ffmpeg`).
"""

import math
import os
import shutil
import subprocess
import sys

WIDTH = 160
HEIGHT = 90
FPS = 25
KEYFRAME_INTERVAL = 5  # frames: a cut point is never more than 0.2 s from a keyframe
BITS = 16
BLOCK_W = WIDTH // BITS
BLOCK_H = HEIGHT // 3
CHECK_KEY = 0xA5A5
DARK, LIGHT = 16, 235
MAX_VALUE = (1 << BITS) - 1


def check_word(viewable, frame):
    return viewable ^ frame ^ CHECK_KEY


def frame_pixels(viewable, frame):
    """The grey pixels (one byte each, row by row) of frame `frame` of `viewable`."""
    if not (0 <= viewable <= MAX_VALUE and 0 <= frame <= MAX_VALUE):
        raise ValueError(f"viewable {viewable} frame {frame}: each must be 0 to {MAX_VALUE}")
    rows = []
    for word in (viewable, frame, check_word(viewable, frame)):
        line = bytearray()
        for bit in range(BITS):
            on = (word >> (BITS - 1 - bit)) & 1
            line += bytes([LIGHT if on else DARK]) * BLOCK_W
        line += bytes([DARK]) * (WIDTH - len(line))
        rows += [bytes(line)] * BLOCK_H
    rows += [bytes([DARK]) * WIDTH] * (HEIGHT - len(rows))
    return b"".join(rows)


def read_frame(pixels, width=WIDTH, height=HEIGHT, channels=1):
    """(viewable, frame) read from pixels laid out as `frame_pixels` makes them
    (`channels` bytes a pixel, the first one read: grey, or red of RGBA), or
    None when they are not such a frame."""
    if width != WIDTH or height != HEIGHT or len(pixels) < width * height * channels:
        return None
    words = []
    for row in range(3):
        word = 0
        for bit in range(BITS):
            # The middle of the block: its edges ring after lossy coding.
            x0, y0 = bit * BLOCK_W + BLOCK_W // 2 - 2, row * BLOCK_H + BLOCK_H // 2 - 5
            total = 0
            for y in range(y0, y0 + 10):
                for x in range(x0, x0 + 4):
                    total += pixels[(y * width + x) * channels]
            mean = total / 40
            if 80 < mean < 170:
                return None  # neither black nor white: not a pattern frame
            word = (word << 1) | (mean >= 128)
        words.append(word)
    viewable, frame, check = words
    return (viewable, frame) if check == check_word(viewable, frame) else None


def frame_count(seconds):
    return max(1, math.ceil(seconds * FPS))


def write_video(path, viewable, seconds):
    """Writes `seconds` of `viewable`'s frames to `path` (VP8 in WebM)."""
    if not math.isfinite(seconds) or seconds <= 0 or frame_count(seconds) > MAX_VALUE + 1:
        raise ValueError(f"viewable {viewable}: {seconds} s is not a length this media can have")
    ffmpeg = shutil.which("ffmpeg")
    if ffmpeg is None:
        raise RuntimeError("ffmpeg is not installed (Debian: apt-get install ffmpeg)")
    command = [ffmpeg, "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "gray",
               "-s", f"{WIDTH}x{HEIGHT}", "-r", str(FPS), "-i", "-",
               "-c:v", "libvpx", "-pix_fmt", "yuv420p", "-crf", "4", "-b:v", "1M",
               "-g", str(KEYFRAME_INTERVAL), "-keyint_min", str(KEYFRAME_INTERVAL),
               "-auto-alt-ref", "0", "-deadline", "good", "-cpu-used", "4", "-an", path]
    frames = b"".join(frame_pixels(viewable, n) for n in range(frame_count(seconds)))
    result = subprocess.run(command, input=frames, capture_output=True)
    if result.returncode != 0:
        raise RuntimeError(f"ffmpeg failed on {path}: {result.stderr.decode(errors='replace')}")


def write_media(directory, lengths):
    """Writes DIRECTORY/ID.webm for each viewable id -> seconds in `lengths`;
    returns the paths by id."""
    os.makedirs(directory, exist_ok=True)
    paths = {}
    for viewable, seconds in lengths.items():
        paths[viewable] = os.path.join(directory, f"{viewable}.webm")
        write_video(paths[viewable], int(viewable), float(seconds))
    return paths


def decode_frames(path):
    """Every frame of the video at `path`, decoded by ffmpeg, read with
    `read_frame`."""
    result = subprocess.run([shutil.which("ffmpeg") or "ffmpeg", "-loglevel", "error", "-i", path,
                             "-f", "rawvideo", "-pix_fmt", "gray", "-"],
                            capture_output=True, check=True)
    size = WIDTH * HEIGHT
    return [read_frame(result.stdout[i:i + size]) for i in range(0, len(result.stdout), size)]


def main(argv):
    if len(argv) < 3 or any("=" not in a for a in argv[2:]):
        print("usage: testmedia.py OUTDIR ID=SECONDS [ID=SECONDS ...]", file=sys.stderr)
        return 2
    lengths = {}
    for argument in argv[2:]:
        viewable, seconds = argument.split("=", 1)
        try:
            lengths[int(viewable)] = float(seconds)
        except ValueError:
            print(f"testmedia.py: {argument!r} is not ID=SECONDS", file=sys.stderr)
            return 2
    try:
        for path in write_media(argv[1], lengths).values():
            print(path)
    except (ValueError, RuntimeError, OSError) as e:
        print(f"testmedia.py: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

"""What the Python layer costs on top of the library.

Loads a generated 10,000-segment playgraph from JSON text through
playgraph.loads() and times the same load as a bare C++ loop
(playgraph_timings, a module built beside the package, not in it), the two
alternating in one thread, both timed in the thread's CPU time (the machine
may be shared). Then compares
a query called from Python with the same query in a C++ loop, and checks
that another Python thread runs while a load holds no GIL.

    PYTHONPATH=build/release/python python3 python/bench/overhead.py [SEGMENTS] [ROUNDS]
"""

import random
import statistics
import sys
import threading
import time

import playgraph
import playgraph_timings as _timings


def generated_story(count, seed=1):
    """A long default path through one viewable with a branch every few
    segments whose alternatives rejoin the path, some decorative and
    annotated segments, ids of 10 to 20 characters, shuffled entries."""
    rng = random.Random(seed)
    ids = [f"scene_{i:06d}_{''.join(rng.choices('abcdefghij', k=rng.randrange(1, 8)))}"
           for i in range(count)]
    segments, start = {}, 0
    for i, segment_id in enumerate(ids):
        length = rng.randrange(2000, 30000)
        entry = {"startTimeMs": start, "endTimeMs": start + length}
        start += length
        if i + 1 < count:
            entry["defaultNext"] = ids[i + 1]
            entry["next"] = {ids[i + 1]: {"weight": 70}}
            if i % 6 == 0 and i + 2 < count:
                entry["next"][ids[i + 2]] = {"weight": 30, "transitionType": "immediate"}
        if i % 17 == 0:
            entry["annotations"] = {"decorative": True}
        elif i % 11 == 0:
            entry["annotations"] = {"allowsSkipForward": False, "breakIndex": i % 5}
        segments[segment_id] = entry
    shuffled = list(segments.items())
    rng.shuffle(shuffled)
    return {"playgraphId": "bench", "type": "branching", "initialSegment": ids[0],
            "segments": dict(shuffled)}, ids


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    dictionary, ids = generated_story(count)
    text = playgraph.dumps(dictionary)
    load = playgraph.loads
    graph = load(text, 81)
    assert len(graph.all_segment_ids) == count

    # Load: alternate the two sides, several loads per sample.
    per_sample = max(1, 200000 // count)
    python_times, cpp_times = [], []
    for _ in range(rounds):
        start = time.thread_time()
        for _ in range(per_sample):
            load(text, 81)
        python_times.append((time.thread_time() - start) / per_sample)
        cpp_times.append(_timings.load_from_text(text, per_sample) / per_sample)
    ratios = [p / c for p, c in zip(python_times, cpp_times)]
    print(f"load {count} segments from JSON text ({len(text) / count:.0f} bytes per segment), "
          f"{rounds} x {per_sample} loads per side")
    print(f"  through Python: median {statistics.median(python_times) * 1e3:.2f} ms, "
          f"min {min(python_times) * 1e3:.2f} ms")
    print(f"  bare C++:       median {statistics.median(cpp_times) * 1e3:.2f} ms, "
          f"min {min(cpp_times) * 1e3:.2f} ms")
    print(f"  ratio: median {statistics.median(ratios):.3f}, "
          f"min-to-min {min(python_times) / min(cpp_times):.3f}")

    # Queries: Python call per iteration against the C++ loop.
    calls = 200000
    time_at = graph.duration / 3
    middle = ids[count // 2]
    empty = range(calls)
    start = time.thread_time()
    for _ in empty:
        pass
    loop_ns = (time.thread_time() - start) / calls * 1e9
    for name, method, argument, bare in [
        ("segment_id_at_playgraph_time", graph.segment_id_at_playgraph_time, time_at,
         lambda n: _timings.segment_id_at_playgraph_time(graph, time_at, n)[0]),
        ("segment_by_id", graph.segment_by_id, middle,
         lambda n: _timings.segment_by_id(graph, middle, n)[0]),
    ]:
        python_ns, cpp_ns = [], []
        for _ in range(5):
            loop = range(calls)
            start = time.thread_time()
            for _ in loop:
                method(argument)
            python_ns.append((time.thread_time() - start) / calls * 1e9)
            cpp_ns.append(bare(calls) / calls * 1e9)
        print(f"{name}: from Python {min(python_ns):.0f} ns per call, bare C++ {min(cpp_ns):.0f} ns, "
              f"binding overhead {min(python_ns) - min(cpp_ns):.0f} ns "
              f"(the Python loop alone: {loop_ns:.0f} ns per iteration)")

    # The GIL: a Python thread counts while the main thread loads.
    counted = [0]
    done = threading.Event()

    def count_along():
        while not done.is_set():
            counted[0] += 1

    helper = threading.Thread(target=count_along)
    helper.start()
    time.sleep(0.05)
    before = counted[0]
    start = time.perf_counter()
    for _ in range(per_sample):
        load(text, 81)
    elapsed = time.perf_counter() - start
    during = counted[0] - before
    done.set()
    helper.join()
    print(f"a Python thread counted {during} times during {elapsed * 1e3:.0f} ms of loads "
          f"(it would count 0 if the loads held the GIL)")


if __name__ == "__main__":
    main()

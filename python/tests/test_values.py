"""Dictionaries in and out of the library: lossless round trips and refusals."""

import json
import math
import random

import pytest

import playgraph


def same(a, b):
    """Equal with the same types all the way down (1, 1.0 and True differ)."""
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, float) and math.isnan(a):
        return math.isnan(b)
    return a == b


def random_value(rng, depth=0):
    kind = rng.randrange(10 if depth < 4 else 7)
    if kind == 0:
        return None
    if kind == 1:
        return rng.random() < 0.5
    if kind == 2:
        return rng.choice([0, -1, 2**63 - 1, -(2**63), 2**63, 2**64 - 1, rng.getrandbits(64)])
    if kind == 3:
        return rng.choice([0.0, -0.0, 10000.0, 1e300, 5e-324, rng.uniform(-1e6, 1e6)])
    if kind in (4, 5, 6):
        return "".join(rng.choice("ab\"\\\n\u00e9\u4e2d\U0001f600") for _ in range(rng.randrange(6)))
    if kind in (7, 8):
        return {f"k{rng.randrange(99)}": random_value(rng, depth + 1) for _ in range(rng.randrange(5))}
    return [random_value(rng, depth + 1) for _ in range(rng.randrange(5))]


def test_random_values_round_trip_through_the_library_and_json():
    rng = random.Random(7)
    for _ in range(300):
        value = {"segments": {}, "x": random_value(rng)}
        back = playgraph.MutablePlaygraph(value).dictionary_representation()
        assert same(back["x"], value["x"])
        assert same(json.loads(playgraph.dumps(value))["x"], value["x"])
        assert same(json.loads(playgraph.dumps(value, pretty=True)), value)


def test_host_objects_come_back_as_themselves():
    class Params(playgraph.QZPlaygraphParams):
        pass

    params, other = Params(), playgraph.HostObject()
    params.note = "kept"
    graph = playgraph.MutablePlaygraph({"segments": {}, "x": [params, {"o": other}]})
    del params
    x = graph.dictionary_representation()["x"]
    assert type(x[0]) is Params and x[0].note == "kept" and x[1]["o"] is other
    with pytest.raises(playgraph.JsonError, match=r"x\[0\]"):
        playgraph.dumps(graph)


@pytest.mark.parametrize("value, error, text", [
    ({"a": {1, 2}}, TypeError, r"cannot convert set.*\(at a\)"),
    ({"a": [0, {3: 1}]}, TypeError, r"keys must be str.*\(at a\[1\]\)"),
    ({"a": 2**64}, OverflowError, r"64-bit.*\(at a\)"),
    ({"a": -(2**63) - 1}, OverflowError, "64-bit"),
])
def test_values_without_a_dictionary_form_are_refused(value, error, text):
    with pytest.raises(error, match=text):
        playgraph.MutablePlaygraph(value)


def test_strings_that_are_not_utf8_survive_and_json_refuses_them():
    graph = playgraph.MutablePlaygraph({"x": "\udc80\u00e9"})
    assert graph.dictionary_representation()["x"] == "\udc80\u00e9"
    with pytest.raises(playgraph.JsonError, match="UTF-8"):
        playgraph.dumps(graph)


def test_a_container_holding_itself_is_refused():
    looped = {}
    looped["self"] = looped
    with pytest.raises(ValueError, match="levels deep"):
        playgraph.dumps(looped)
    with pytest.raises(playgraph.JsonError, match="not-a-number") as caught:
        playgraph.dumps({"a": [math.nan]})
    assert caught.value.key_path == "a[0]" and caught.value.line is None

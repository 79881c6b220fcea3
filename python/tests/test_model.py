"""Loading, the queries, the walks and the lifetime of model objects."""

import gc
import io
import math
import os
import pathlib
import unittest.mock

import pytest

import playgraph

STORY = pathlib.Path(os.environ.get("PLAYGRAPH_EXAMPLES", "examples")) / "story.json"


def test_every_source_loads_the_same_playgraph():
    text = STORY.read_text()
    with open(STORY, "rb") as binary, open(STORY, encoding="utf-8") as textual:
        sources = [STORY, str(STORY), binary, textual, __import__("json").loads(text)]
        graphs = [playgraph.load(source, default_viewable_id=81) for source in sources]
    graphs += [playgraph.loads(text, 81), playgraph.loads(text.encode(), 81),
               playgraph.MutablePlaygraph(io.StringIO(text), 81)]
    for graph in graphs:
        assert (graph.playgraph_id, graph.duration, graph.main_viewable_id) == ("heist-story", 45.5, 81)
        assert graph.segment_by_id("vault").viewable_id == 81
    # A str is a path, never text: JSON text in load() is a missing file.
    for path in ("no-such-file.json", text):
        with pytest.raises(FileNotFoundError, match="loads" if path == text else "No such"):
            playgraph.load(path)
    with pytest.raises(playgraph.JsonError) as caught:
        playgraph.loads('{"segments": {,}}')
    assert isinstance(caught.value, ValueError) and (caught.value.line, caught.value.column) == (1, 15)
    for wrong, call in ((42, playgraph.load), (text.encode(), playgraph.load), (STORY, playgraph.loads)):
        with pytest.raises(TypeError):
            call(wrong)


def test_queries_and_positions():
    graph = playgraph.load(STORY, 81)
    assert [graph.segment_id_at_playgraph_time(t) for t in (0, 12, 45.5, 46)] == [
        "intro", "vault", "credits", None]
    assert graph.player_time_for_playgraph_offset(13) == 13
    assert math.isnan(graph.playgraph_offset_for_player_time(1, graph.segment_by_id("rooftop")))
    assert graph.segment_ids_for_position(20, 81) == ["vault"]
    position = graph.position_at_segment_viewable_time("vault", 20)
    assert position == playgraph.PlaygraphPosition(graph.segment_by_id("vault"), 20.0)
    assert graph.position_at_viewable_time(5, 83).segment.segment_id == "credits"
    assert graph.initial_position.segment.segment_id == "intro"
    intro = graph.segment_by_id("intro")
    assert (intro.default_next, intro.segment_duration, intro.canonical_segment_id) == (
        "vault", 12.0, "heist-story::intro")
    rooftop = intro.next["rooftop"]
    assert (rooftop.weight, rooftop.transition_type, rooftop.destination_segment) == (
        30, "immediate", graph.segment_by_id("rooftop"))
    rooftop.override_weight(5.5)
    assert intro.next["rooftop"].weight == 5.5
    assert graph.segment_by_id("recap").is_decorative_segment
    assert playgraph.Playgraph.last_segment_id_in_default_traversal_in_playgraph(graph) == "credits"


def test_walks_as_lists_and_as_callbacks():
    graph = playgraph.load(STORY, 81)
    walks = [
        lambda cb=None: graph.default_path_traversal(cb),
        lambda cb=None: graph.depth_first_traversal_from_segment_id(None, cb),
        lambda cb=None: graph.bredth_first_traversal_from_segment_id("intro", 3, cb),
    ]
    for walk in walks:
        steps = walk()
        seen = []
        assert walk(lambda segment, index: seen.append((segment, index))) is None
        assert seen == steps and len(steps) >= 4
        stopped = []
        walk(lambda segment, index: stopped.append(segment) or len(stopped) == 2)
        assert stopped == [s for s, _ in steps[:2]]
    assert [(s.segment_id, i) for s, i in graph.default_path_traversal()] == [
        ("intro", 0), ("vault", 1), ("recap", 2), ("credits", 3)]
    # From a missing id there is nothing to walk; a negative depth is refused.
    assert graph.bredth_first_traversal_from_segment_id("nowhere", 1) == []
    assert graph.bredth_first_traversal_from_segment_id("nowhere", 1, lambda s, i: None) is None
    with pytest.raises(ValueError, match="max_depth must be a whole number from 0, not -1"):
        graph.bredth_first_traversal_from_segment_id("intro", -1)
    assert len(graph.bredth_first_traversal_from_segment_id("intro", 2**70)) == 5

    calls = []

    def failing(segment, index):
        calls.append(index)
        raise KeyError("walk")

    with pytest.raises(KeyError, match="walk"):
        graph.default_path_traversal(failing)
    assert calls == [0]


def test_objects_outlive_their_playgraph_and_back_references_read_none():
    graph = playgraph.load(STORY, 81)
    intro = graph.segment_by_id("intro")
    transition = intro.next["vault"]
    position = graph.initial_position
    assert intro.playgraph is graph and transition.source_segment is intro
    del graph
    gc.collect()
    assert intro.playgraph is None and transition.destination_segment is None
    assert position.segment is intro and intro.segment_duration == 12.0
    del intro, position
    gc.collect()
    assert transition.source_segment is None and transition.key == "(null) -> vault@0"


def test_the_defaults_and_refusals_of_the_tool():
    # Without default_viewable_id the first "main" gives one, as in the tool.
    for graph in (playgraph.load(STORY), playgraph.load(str(STORY)),
                  playgraph.Playgraph(__import__("json").loads(STORY.read_text())),
                  playgraph.MutablePlaygraph(STORY)):
        assert graph["vault"].viewable_id == 81 and graph["recap"].viewable_id == 81
    assert playgraph.load(STORY, 7)["vault"].viewable_id == 7
    for text in ("[1]", b"3", '  ["a"]'):
        with pytest.raises(playgraph.JsonError) as caught:
            playgraph.loads(text)
        assert caught.value.reason == "the top level is not a JSON object"
        assert str(caught.value) == "<input>: the top level is not a JSON object"
    with pytest.raises(playgraph.JsonError, match="the top level is not a JSON object"):
        playgraph.MutablePlaygraph(io.StringIO("[]"))


def test_what_a_python_user_expects():
    graph = playgraph.load(STORY)
    assert playgraph.__version__.count(".") == 2
    assert len(graph) == 5 and list(graph) == ["intro", "vault", "rooftop", "recap", "credits"]
    assert "intro" in graph and "nowhere" not in graph and 5 not in graph
    assert graph["intro"] == graph.segment_by_id("intro")
    # Another type is left to Python: NotImplemented, so its own __eq__ decides.
    assert graph["intro"].__eq__("intro") is NotImplemented and graph != "heist-story"
    assert graph["intro"] == unittest.mock.ANY
    with pytest.raises(KeyError):
        graph["nowhere"]
    assert repr(graph["intro"]) == "Segment('intro', viewable=81, 0.000-12.000 s)"
    assert repr(graph["intro"].next["vault"]) == "Transition('intro' -> 'vault', weight=70)"
    assert repr(graph) == "Playgraph('heist-story', 5 segments, 45.500 s)"
    open_ended = playgraph.load({"initialSegment": "a", "segments": {
        "a": {"viewableId": 1, "startTimeMs": 500}}})
    assert repr(open_ended["a"]) == "Segment('a', viewable=1, 0.500 s-end)"

    # Off the default path the offset is the model's 0, and on_default_path says so.
    assert [s for s in graph if graph[s].on_default_path] == ["intro", "vault", "recap", "credits"]
    assert graph["rooftop"].offset_in_playgraph == 0 and not graph["rooftop"].on_default_path

    other = playgraph.MutablePlaygraph(STORY)
    assert graph.has_same_default_traversal_as(other)
    other.update_default_next_from_segment("intro", "rooftop")
    assert not graph.has_same_default_traversal_as(other)
    assert playgraph.Playgraph.playgraph_has_same_default_traversal_as_playgraph(graph, graph)

    transition = graph["intro"].next["vault"]
    for weight in ("heavy", True, [1]):
        with pytest.raises(TypeError, match="weight must be a number or None"):
            transition.override_weight(weight)
    assert transition.weight == 70
    transition.override_weight(2.5)
    assert transition.weight == 2.5


def test_validate_reports_the_wrong_kinds_the_loader_ignores():
    d = {"initialSegment": "a", "segments": {"a": {"viewableId": True, "startTimeMs": True, "endTimeMs": 1000}}}
    found = [(f["code"], f["severity"], f["path"]) for f in playgraph.validate(d, 5)]
    assert found[:2] == [("wrongKind", "error", "segments.a.viewableId"),
                         ("wrongKind", "error", "segments.a.startTimeMs")]
    segment = playgraph.Playgraph(d, 5).segment_by_id("a")
    assert (segment.start_time, segment.viewable_id) == (0.0, None)
    assert playgraph.validate({"segments": {}, "initialSegment": "a"})[0]["code"] == "reference"

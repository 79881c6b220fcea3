"""Data sources with observers written in Python."""

import gc
import threading

import pytest

import playgraph

CHAIN = {
    "playgraphId": "one",
    "initialSegment": "a",
    "segments": {
        "a": {"viewableId": 1, "startTimeMs": 0, "endTimeMs": 1000, "defaultNext": "b",
              "next": {"b": {"weight": 1}, "c": {"weight": 2}}},
        "b": {"viewableId": 1, "startTimeMs": 1000, "endTimeMs": 2000, "defaultNext": "c"},
        "c": {"viewableId": 1, "startTimeMs": 2000, "endTimeMs": 3000},
    },
}


class Recorder(playgraph.QZPlaygraphPlayerDataSourceChangeObserver):
    def __init__(self, react=None):
        super().__init__()
        self.calls = []
        self.react = react

    def data_source_did_change_next_segment_after_segment(self, data_source, segment):
        self.calls.append((data_source, segment.segment_id, threading.get_ident()))
        if self.react:
            self.react(data_source, segment)


def test_overrides_walks_and_observer_calls():
    source = playgraph.PlaygraphPlayerMutableDataSource(playgraph.load(CHAIN), {"t": 1})
    observer = Recorder()
    source.change_observer = observer
    a, b, c = (source.segment_by_id(i) for i in "abc")
    assert source.change_observer is observer and source.next_segment_after_segment(a) is b
    source.set_next_segment_after(b, a)  # a loop: a, b, a, ...
    assert observer.calls == [(source, "b", threading.get_ident())]
    assert [s.segment_id for s, _ in source.current_playback_path_traversal_from_segment(a)] == ["a", "b"]
    steps = []
    source.current_playback_path_traversal_from_segment(a, lambda s, i: steps.append(i) or i == 4)
    assert steps == [0, 1, 2, 3, 4]
    source.update_next_segment_weights_for_segment(a, {"c": 7})
    assert [t.weight for t in source.transitions_from_source_segment(a)] == [0, 7]
    assert source.tracking_info_for_segment(c) == {"t": 1}
    del observer
    gc.collect()
    source.clear_next_segment_after(b)  # the observer is held weakly: nobody is told
    assert source.change_observer is None and source.next_segment_after_segment(b) is c


def test_an_observer_may_call_back_into_the_data_source():
    source = playgraph.PlaygraphPlayerMutableDataSource(playgraph.load(CHAIN))
    a, b, c = (source.segment_by_id(i) for i in "abc")

    def react(data_source, segment):
        if segment is a:  # re-entrant: changes another override, and reads its own
            assert data_source.next_segment_after_segment(a) is c
            data_source.set_next_segment_after(b, a)

    observer = Recorder(react)
    source.change_observer = observer
    source.set_next_segment_after(a, c)
    assert [name for _, name, _ in observer.calls] == ["a", "b"]
    assert source.next_segment_after_segment(b) is a


def test_observer_exceptions_are_raised_after_the_change_is_made():
    source = playgraph.PlaygraphPlayerMutableDataSource(playgraph.load(CHAIN))
    a, b, c = (source.segment_by_id(i) for i in "abc")

    def react(data_source, segment):
        if segment is a:
            data_source.set_next_segment_after(b, a)  # nested: raises inside the outer call
        raise RuntimeError(f"observer saw {segment.segment_id}")

    source.change_observer = observer = Recorder(react)
    with pytest.raises(RuntimeError, match="observer saw b"):
        source.set_next_segment_after(a, c)
    assert source.next_segment_after_segment(a) is c and source.next_segment_after_segment(b) is a
    assert len(observer.calls) == 2

    composite = playgraph.PlaygraphPlayerCompositeDataSource(playgraph.load(CHAIN))
    with pytest.raises(KeyError):
        composite.add_transition_from_segment(c, a, configure=lambda t: {}["missing"])
    assert len(composite.inter_playgraph_transitions_for_segment(c)) == 1


def test_composite_transitions_and_configuration():
    one = playgraph.load(CHAIN)
    two = playgraph.load(dict(CHAIN, playgraphId="two"))
    source = playgraph.PlaygraphPlayerCompositeDataSource(one, {"id": 1})
    source.add_playgraph(two, {"id": 2})
    c1, a2 = one.segment_by_id("c"), two.segment_by_id("a")
    kept = []

    def configure(transition):
        kept.append(transition)
        assert transition.source_segment is c1 and transition.destination_playgraph is two
        transition.weight = 9
        transition.skip_region_offset = 1.5

    source.add_transition_from_segment(c1, a2, True, configure=configure)
    with pytest.raises(ValueError, match="only during"):
        kept[0].weight
    (transition,) = source.inter_playgraph_transitions_for_segment(c1)
    assert (transition.weight, transition.skip_region_offset) == (9, 1.5)
    assert source.transitions_from_source_segment(c1) == [transition]
    assert type(source.transitions_from_source_segment(c1)[0]) is playgraph.InterPlaygraphSegmentTransition
    assert source.next_segment_after_segment(c1) is a2
    assert source.next_playgraph_after_playgraph(one) is two
    assert source.tracking_info_for_playgraph(two) == {"id": 2}
    assert list(source.playgraphs_by_id) == ["one", "two"]
    source.add_transition_from_segment(c1, two.segment_by_id("b"), False, {"weight": 4})
    assert [t.weight for t in source.inter_playgraph_transitions_for_segment(c1)] == [9, 4]

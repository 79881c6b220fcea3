"""The playback session from Python: driving it, its observer, and saved state."""

import json
import math

import pytest

import playgraph

STORY = {
    "playgraphId": "heist",
    "initialSegment": "intro",
    "segments": {
        "intro": {"viewableId": 81, "startTimeMs": 0, "endTimeMs": 12000, "defaultNext": "vault",
                  "next": {"vault": {"weight": 70}, "rooftop": {"weight": 30}}},
        "vault": {"viewableId": 81, "startTimeMs": 12000, "endTimeMs": 31500, "defaultNext": "credits"},
        "rooftop": {"viewableId": 82, "startTimeMs": 0, "endTimeMs": 18000, "defaultNext": "credits"},
        "credits": {"viewableId": 83, "startTimeMs": 0, "endTimeMs": 9000},
    },
}


def new_session():
    source = playgraph.PlaygraphPlayerMutableDataSource(playgraph.load(STORY), None)
    return source, playgraph.PlaybackSession(source)


class Events(playgraph.PlaybackSessionObserver):
    def __init__(self, react=None):
        super().__init__()
        self.seen = []
        self.react = react

    def session_did_enter_segment(self, session, entry):
        self.seen.append(("enter", entry.segment.segment_id))

    def session_did_reach_decision_window(self, session, decision):
        self.seen.append(("window", [w.destination.segment_id for w in decision.ways_on]))
        if self.react:
            self.react(session)

    def session_did_decide(self, session, record):
        self.seen.append(("decide", record.destination.segment_id, record.defaulted))

    def session_did_end(self, session):
        self.seen.append(("end",))


def test_a_choice_in_the_window_changes_the_path_and_the_plan():
    source, session = new_session()
    events = Events(react=lambda s: s.choose("rooftop"))
    session.set_observer(events)
    assert [e.segment.segment_id for e in session.timeline] == ["intro", "vault", "credits"]
    decision = session.current_decision
    assert (decision.window_start, decision.deadline) == (7.0, 10.0)
    plan = session.prefetch_plan(30)
    assert [(e.segment.segment_id, round(e.probability, 3)) for e in plan.entries] == [
        ("intro", 1.0), ("vault", 0.7), ("rooftop", 0.3)]
    assert plan.entries[0].viewable_id == 81 and plan.complete
    session.advance(8.0)
    assert events.seen == [("window", ["vault", "rooftop"]), ("decide", "rooftop", False)]
    assert source.next_segment_after_segment(session.position.segment).segment_id == "rooftop"
    assert session.duration.seconds == 12 + 18 + 9
    for _ in range(3):
        session.segment_ended()
    assert session.ended and events.seen[-1] == ("end",)
    events.react = None
    assert session.back() and session.position.watchable_time == 7.0
    assert source.next_segment_after_segment(session.position.segment).segment_id == "vault"


def test_refusals_raise_and_change_nothing():
    _, session = new_session()
    before = session.state()
    with pytest.raises(playgraph.InvalidArgumentError, match="credits is not a way on from intro"):
        session.choose("credits")
    with pytest.raises(playgraph.InvalidArgumentError, match="Cannot seek"):
        session.seek(1e9)
    assert session.state() == before
    assert session.position_at_session_time(-1).segment is None
    assert math.isnan(session.session_time_at_position(playgraph.PlaygraphPosition()))


def test_an_observer_that_raises_does_not_stop_the_session():
    _, session = new_session()

    class Failing(playgraph.PlaybackSessionObserver):
        def session_did_enter_segment(self, session, entry):
            raise RuntimeError("boom")

    observer = Failing()
    session.set_observer(observer)
    with pytest.raises(RuntimeError, match="boom"):
        session.segment_ended()
    assert session.position.segment.segment_id == "vault"


def test_state_goes_through_json_and_restores_on_a_fresh_source():
    _, session = new_session()
    session.choose("rooftop")
    session.segment_ended()
    session.advance(4.5)
    state = json.loads(json.dumps(session.state()))
    fresh = playgraph.PlaygraphPlayerMutableDataSource(playgraph.load(STORY), None)
    restored = playgraph.PlaybackSession.restore(fresh, state)
    assert restored.state() == session.state()
    assert restored.session_time == session.session_time == 16.5
    bad = dict(state, current={"playgraphId": "heist", "segmentId": "nowhere", "watchableTime": 0})
    with pytest.raises(playgraph.InvalidArgumentError, match="nowhere"):
        playgraph.PlaybackSession.restore(
            playgraph.PlaygraphPlayerMutableDataSource(playgraph.load(STORY), None), bad)

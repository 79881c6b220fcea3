"""Edits: their effect, their exact refusals, and params carried through them."""

import os
import pathlib

import pytest

import playgraph

STORY_PATH = pathlib.Path(os.environ.get("PLAYGRAPH_EXAMPLES", "examples")) / "story.json"

DICTIONARY = {
    "initialSegment": "a",
    "segments": {
        "a": {"viewableId": 1, "startTimeMs": 0, "endTimeMs": 10000, "defaultNext": "b",
              "next": {"b": {"weight": 1}}},
        "b": {"viewableId": 1, "startTimeMs": 10000, "endTimeMs": 20000},
    },
}


def test_edits_change_the_dictionary_and_rebuild_the_model():
    graph = playgraph.MutablePlaygraph(DICTIONARY)
    graph.split_segment("a", 4.0, "a", "a2")
    graph.insert_segment_after("b", "c", 2, 0, 5.5, as_deafault_next=True)
    graph.update_properties_for_transition_from("a2", "b", {"weight": 2**63})
    graph.support_skipping_segment("a2", "b", 1.5, 3)
    assert [s.segment_id for s, _ in graph.default_path_traversal()] == ["a", "a2", "b", "c"]
    assert graph.duration == 25.5
    entry = graph.dictionary_representation()["segments"]["a2"]["next"]["b"]
    assert entry == {"weight": 2**63, "skipRegionOffset": 1500, "skipRegionWeight": 3}
    assert DICTIONARY["segments"]["a"]["endTimeMs"] == 10000  # the caller's dict is not shared


@pytest.mark.parametrize("edit, message", [
    (lambda g: g.remove_segment("x"), "Cannot find segment x"),
    (lambda g: g.split_segment("a", 4.0, "b", "c"), "A segment with id b already exists"),
    (lambda g: g.insert_segment_before("a", "n", 1, 2.0, 1.0),
     "endTime (1.000000) must be after startTime (2.000000)"),
    (lambda g: g.update_default_next_from_segment("b", "a"),
     "Cannot set a as defaultNext after b. Transition not found."),
    (lambda g: g.add_transition_from_segment("b", "a", properties=[1]), "properties ([1]) must be a dictionary"),
])
def test_refused_edits_raise_the_library_message_and_change_nothing(edit, message):
    graph = playgraph.MutablePlaygraph(DICTIONARY)
    before = playgraph.dumps(graph)
    with pytest.raises(ValueError) as caught:
        edit(graph)
    assert isinstance(caught.value, playgraph.InvalidArgumentError)
    assert str(caught.value) == message
    assert playgraph.dumps(graph) == before


def test_params_travel_through_edits_as_the_same_object():
    class Params(playgraph.QZPlaygraphParams):
        pass

    params = Params()
    graph = playgraph.MutablePlaygraph(DICTIONARY)
    graph.insert_segment_after("a", "p", None, 0, 1, params=params)
    segment = graph.segment_by_id("p")
    assert segment.playgraph_params is params
    assert segment.user_info[playgraph.PlaygraphSegmentUserInfoPlaygraphParamsKey] is params
    with pytest.raises(TypeError):
        graph.insert_segment_after("a", "q", None, 0, 1, params=object())
    with pytest.raises(TypeError, match="immutable"):
        playgraph.dumps(playgraph.load(DICTIONARY))


def test_edit_history_transactions_undo_and_redo():
    graph = playgraph.MutablePlaygraph(DICTIONARY)
    history = playgraph.EditHistory(graph)
    original = playgraph.dumps(graph)
    with history.transaction("cut") as edited:
        assert edited is graph and history.in_transaction
        graph.split_segment("a", 4.0, "a", "a2")
        graph.remove_segment("b")
    after = playgraph.dumps(graph)
    with pytest.raises(playgraph.InvalidArgumentError, match="Cannot find segment missing"):
        with history.transaction():
            graph.insert_segment_after("a", "x", 1, 0, 1)
            graph.remove_segment("missing")
    assert playgraph.dumps(graph) == after and not history.in_transaction
    with history.transaction():
        graph.remove_segment("a2")
    assert history.undo_labels == ["cut", "remove a2"]
    history.undo()
    history.undo()
    assert playgraph.dumps(graph) == original and history.redo_labels == ["cut", "remove a2"]
    history.redo()
    assert playgraph.dumps(graph) == after and history.undo_label == "cut"
    graph.remove_segment("a2")
    assert history.is_stale
    with pytest.raises(playgraph.EditHistoryError, match="outside its history"):
        history.undo()


def test_copies_and_pickles_go_through_the_dictionary():
    import copy
    import pickle
    graph = playgraph.MutablePlaygraph(STORY_PATH)
    for clone in (copy.copy(graph), copy.deepcopy(graph), pickle.loads(pickle.dumps(graph))):
        assert type(clone) is playgraph.MutablePlaygraph and clone is not graph
        assert clone.dictionary_representation() == graph.dictionary_representation()
        assert clone["vault"].viewable_id == 81  # the default viewable id goes along
        clone.remove_segment("rooftop")
        assert "rooftop" in graph and "rooftop" not in clone
    given = playgraph.MutablePlaygraph(STORY_PATH, 7)
    assert pickle.loads(pickle.dumps(given))["vault"].viewable_id == 7
    for immutable in (playgraph.load(STORY_PATH),):
        for make in (copy.copy, copy.deepcopy, pickle.dumps):
            with pytest.raises(TypeError, match="load it as a MutablePlaygraph"):
                make(immutable)


def test_a_split_outside_the_segment_is_refused_as_the_tool_refuses_it():
    graph = playgraph.MutablePlaygraph(STORY_PATH)
    before = graph.dictionary_representation()
    for offset, reason in ((0, "OFFSET 0.000 s is not inside segment vault of 19.500 s"),
                           (19.5, "OFFSET 19.500 s is not inside segment vault of 19.500 s"),
                           (0.0004, "OFFSET 0.000 s is not inside segment vault")):
        with pytest.raises(playgraph.InvalidArgumentError, match=reason):
            graph.split_segment("vault", offset, "vault", "vault-b")
    assert graph.dictionary_representation() == before
    graph.split_segment("vault", 0.001, "vault", "vault-b")
    assert graph["vault-b"].start_time == 12.001

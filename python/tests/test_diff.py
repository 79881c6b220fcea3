"""diff, apply, merge and the canonical JSON form from Python."""

import copy
import io
import json
import random

import pytest

import playgraph

STORY = {
    "initialSegment": "intro",
    "segments": {
        "intro": {"startTimeMs": 0, "endTimeMs": 12000, "viewableId": 81, "defaultNext": "vault",
                  "next": {"vault": {"weight": 70}, "rooftop": {"weight": 30}}},
        "vault": {"startTimeMs": 12000, "endTimeMs": 31500, "viewableId": 81},
        "rooftop": {"startTimeMs": 0, "viewableId": 82},
    },
}


def random_edit(rng, story):
    """One random change of a story's dict, as an author may make it."""
    segments = story["segments"]
    ids = sorted(segments)
    sid = rng.choice(ids)
    segment = segments[sid]
    action = rng.randrange(6)
    if action == 0:
        segment["endTimeMs"] = rng.randrange(100000)
    elif action == 1:
        segments[f"new{rng.randrange(1000)}"] = {"startTimeMs": rng.randrange(9), "viewableId": 5}
    elif action == 2 and len(ids) > 1:
        del segments[sid]
    elif action == 3:
        segment.setdefault("next", {})[rng.choice(ids)] = {"weight": rng.randrange(100)}
    elif action == 4:
        segment.setdefault("annotations", {})[rng.choice(["decorative", "breakIndex"])] = rng.randrange(3)
    else:
        story["initialSegment"] = rng.choice(ids)


def test_apply_of_the_diff_gives_the_other_story_and_the_native_module_agrees_with_json():
    rng = random.Random(32)
    for _ in range(200):
        before = copy.deepcopy(STORY)
        after = copy.deepcopy(STORY)
        for _ in range(rng.randrange(1, 6)):
            random_edit(rng, after)
        changes = playgraph.diff(before, after)
        assert playgraph.apply(before, changes) == after
        assert before == STORY  # nothing given is changed
        # Files and dicts are the same input.
        assert playgraph.diff(io.StringIO(json.dumps(before)), after) == changes
        assert (changes == []) == (before == after)


def test_changes_name_their_kind_path_and_values():
    after = copy.deepcopy(STORY)
    after["segments"]["intro"]["next"]["vault"]["weight"] = 10
    after["segments"]["door"] = after["segments"].pop("rooftop")
    assert playgraph.diff(STORY, after) == [
        {"kind": "transitionReweighted", "path": ["segments", "intro", "next", "vault", "weight"],
         "segment": "intro", "transition": "vault", "before": 70, "after": 10},
        {"kind": "segmentRenamed", "path": ["segments", "rooftop"], "segment": "rooftop",
         "renamedTo": "door", "before": STORY["segments"]["rooftop"],
         "after": STORY["segments"]["rooftop"]},
    ]


def test_merge_combines_and_lists_conflicts_keeping_ours():
    ours = copy.deepcopy(STORY)
    theirs = copy.deepcopy(STORY)
    ours["segments"]["vault"]["endTimeMs"] = 30000
    theirs["segments"]["vault"]["endTimeMs"] = 32000
    theirs["segments"]["rooftop"]["endTimeMs"] = 5000
    merged, conflicts = playgraph.merge(STORY, ours, theirs)
    assert merged["segments"]["vault"]["endTimeMs"] == 30000
    assert merged["segments"]["rooftop"]["endTimeMs"] == 5000
    assert conflicts == [{
        "path": ["segments", "vault", "endTimeMs"], "base": 31500, "ours": 30000, "theirs": 32000,
        "reason": "both changed segments.vault.endTimeMs: ours changed segments.vault.endTimeMs, "
                  "theirs changed segments.vault.endTimeMs"}]
    assert playgraph.merge(STORY, ours, ours) == (ours, [])


def test_bad_arguments_raise_diff_error():
    with pytest.raises(playgraph.DiffError, match="change 0: not a dictionary"):
        playgraph.apply(STORY, [1])
    changes = playgraph.diff(STORY, {"segments": {}})
    with pytest.raises(playgraph.DiffError, match="does not fit"):
        playgraph.apply({"segments": {}}, changes)
    with pytest.raises(playgraph.JsonError):
        playgraph.diff(io.StringIO("[1, 2]"), STORY)
    with pytest.raises(TypeError):
        playgraph.merge(STORY, STORY, 5)


def test_canonical_form_is_one_text_per_value():
    text = playgraph.dumps_canonical(STORY)
    assert text.startswith('{\n  "initialSegment": "intro",\n  "segments": {\n    "intro": {\n')
    assert '        "rooftop": {"weight": 30},\n' in text
    reordered = json.loads(text, object_pairs_hook=lambda pairs: dict(reversed(pairs)))
    assert playgraph.dumps_canonical(reordered) == text
    assert json.loads(text) == STORY
    assert playgraph.dumps_canonical({"a": 1.0, "b": [1, {"y": 2, "x": None}]}) == \
        '{\n  "a": 1.0,\n  "b": [1, {"x": null, "y": 2}]\n}'

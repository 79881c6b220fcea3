"""Compositions, watchables and the factory."""

import pytest

import playgraph


def test_factory_compositions_and_clip_edits():
    factory = playgraph.VideoCompositionFactoryDependencyKey.default_value()()
    assert isinstance(factory, playgraph.QZVideoCompositionFactory)
    plain = factory.create_video_composition_for_viewable_id(81, None, 10, 20)
    clips = factory.create_mutable_video_composition_for_viewable_id(81, "opening", 10, 20)
    assert type(plain) is playgraph.VideoComposition and plain.main_viewable_id is None
    assert type(clips) is playgraph.MutableVideoComposition and clips.duration == 10.0
    clips.append_clip("middle", 82, 0, 5)
    clips.prepend_clip("cold-open", 83, 0, 2.5)
    clips.add_transition_from_segment("opening", "nowhere")  # does nothing on clip compositions
    assert [s.segment_id for s, _ in clips.default_path_traversal()] == ["cold-open", "opening", "middle"]
    with pytest.raises(playgraph.InvalidArgumentError, match="Cannot find segment gone"):
        clips.remove_clip("gone")

    copy = playgraph.MutableVideoComposition.create_video_composition_for_main_viewable_id(81, clips)
    assert copy.duration == 17.5 and copy.segment_by_id("middle").viewable_id == 82


def test_watchables_carry_their_properties():
    params = playgraph.QZPlaygraphParams()
    context = {"row": 2}
    watchable = playgraph.WatchableComposition.watchable_with_video_id(81, None, 0, 20, context, params)
    context["row"] = 3
    assert watchable.ui_play_context == {"row": 2}
    assert watchable.segment_by_id("video").playgraph_params is params and watchable.params is None
    assert (watchable.allows_external_playback, watchable.fetch_options, watchable.prerelease_pin) == (
        False, 0, None)
    watchable.fetch_options = 2**64 - 1
    watchable.sticky_steering_token = "t"
    assert (watchable.fetch_options, watchable.sticky_steering_token) == (2**64 - 1, "t")

    made = []
    playgraph.VideoCompositionFactoryDependencyKey.set_default_value(
        lambda: made.append(1) or playgraph.QZVideoCompositionFactoryImpl())
    try:
        factory = playgraph.VideoCompositionFactoryDependencyKey.default_value()()
        other = factory.watchable_with_main_video_id(81, watchable, {"a": 1})
        assert made == [1] and other.ui_play_context == {"a": 1} and other.duration == 20.0
    finally:
        playgraph.VideoCompositionFactoryDependencyKey.set_default_value(None)

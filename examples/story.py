"""The bundled example story from Python: load it, ask where playback is,
walk it, edit it with undo, and follow a player's choices through a data
source. Run it from the repository root once the module is built (README,
"Python"): python3 examples/story.py
"""

import pathlib

import playgraph

story = pathlib.Path(__file__).with_name("story.json")

# Segments without "viewableId" in a branching playgraph play viewable 81.
graph = playgraph.load(story, default_viewable_id=81)
print(f"{graph.playgraph_id}: {graph.duration} s along the default path")
print("at 14.5 s:", graph.segment_id_at_playgraph_time(14.5))
for segment, index in graph.default_path_traversal():
    print(f"  {index}: {segment.segment_id} ({segment.start_time}-{segment.end_time} s of {segment.viewable_id})")

# Edits raise ValueError with the library's reason; a history groups and undoes them.
editable = playgraph.MutablePlaygraph(story, 81)
history = playgraph.EditHistory(editable)
with history.transaction("rooftop after the first 4 s"):
    editable.split_segment("intro", 4.0, "intro", "intro-b")
    editable.update_default_next_from_segment("intro-b", "rooftop")
print("edited:", [s.segment_id for s, _ in editable.default_path_traversal()])
try:
    editable.remove_segment("no-such-segment")
except ValueError as refused:
    print("refused:", refused)
history.undo()
print(f"after undoing '{history.redo_label}':", editable.duration, "s")


# A player reads through a data source; an observer hears about its choices.
class Narrator(playgraph.QZPlaygraphPlayerDataSourceChangeObserver):
    def data_source_did_change_next_segment_after_segment(self, data_source, segment):
        after = data_source.next_segment_after_segment(segment)
        print(f"after {segment.segment_id} now comes {after.segment_id if after else 'nothing'}")


source = playgraph.PlaygraphPlayerMutableDataSource(graph)
narrator = Narrator()  # held weakly by the data source: keep a reference
source.change_observer = narrator
intro = source.initial_segment
source.set_next_segment_after(intro, source.segment_by_id("rooftop"))
print("playback path:", [s.segment_id for s, _ in source.current_playback_path_traversal_from_segment(intro)])
print("intro as JSON:", playgraph.dumps(editable.dictionary_representation()["segments"]["intro"]))

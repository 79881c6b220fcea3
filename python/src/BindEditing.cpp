// The editable playgraph and its edits.

#include <pybind11/stl.h>

#include "Convert.hpp"
#include "Docstrings.hpp"
#include "FrontEnd.hpp"
#include "playgraph/editing/EditHistory.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"

namespace playgraph::python {

namespace {

std::string typeName(const py::object& self) { return py::str(self.get_type().attr("__name__")); }

// The default viewable id `graph` gave its segments: the viewable id of a
// segment whose dictionary names none; none when no segment took it.
Value givenDefaultViewableId(const MutablePlaygraph& graph) {
    const Value segments = graph.dictionaryRepresentation().get("segments");
    if (!segments.isDictionary()) return Value();
    for (const auto& [id, entry] : *segments.dictionary()) {
        if (!entry.isDictionary() || entry.dictionary()->get("viewableId").isNumber()) continue;
        const auto segment = graph.segmentById(id);
        if (segment && segment->viewableId().isNumber()) return segment->viewableId();
    }
    return Value();
}

void bindMutableInterface(py::module_& m) {
    using P = QZMutablePlaygraph;
    py::class_<P, QZPlaygraph, std::shared_ptr<P>>(
        m, "QZMutablePlaygraph",
        "An editable playgraph. Every edit checks all its arguments, changes the dictionary, "
        "then rebuilds the segments it touched (a segment object held across an edit stays "
        "readable; look segments up again by id). An invalid argument raises "
        "InvalidArgumentError (a "
        "ValueError) whose str() is the library's reason exactly, and the playgraph is left "
        "as it was. Times are seconds; the dictionary stores integer milliseconds. "
        "Properties are a dict; None acts as an empty one.")
        .def(
            "split_segment",
            [](P& self, const std::string& segmentId, double atOffset, const std::string& first,
               const std::string& second) {
                // The library does not test the offset; as the tool, refuse a
                // cut that would make a half without length.
                if (const auto* graph = dynamic_cast<const MutablePlaygraph*>(&self)) {
                    if (auto problem = tool::splitOffsetProblem(*graph, segmentId, atOffset)) {
                        throw InvalidArgumentError(*problem);
                    }
                }
                self.splitSegment(segmentId, atOffset, first, second);
            },
            py::arg("segment_id"), py::arg("at_offset"), py::arg("first_segment_id"),
            py::arg("second_segment_id"),
            "Cuts segment_id in two at at_offset seconds from its start, which must lie "
            "strictly inside the segment (InvalidArgumentError otherwise, as the tool refuses "
            "it). Either half may keep the segment's id; the first keeps what leads in, the "
            "second what leads out, and the first leads to the second by default.")
        .def(
            "insert_segment_after",
            [](P& self, const std::string& existingId, const std::string& newSegmentId,
               const py::object& viewableId, double startTimeSeconds, double endTimeSeconds,
               bool asDeafaultNext, const py::object& params) {
                self.insertSegmentAfter(existingId, newSegmentId, toValue(viewableId, true),
                                        startTimeSeconds, endTimeSeconds, asDeafaultNext,
                                        toParams(params));
            },
            py::arg("existing_id"), py::arg("new_segment_id"), py::arg("viewable_id"),
            py::arg("start_time_seconds"), py::arg("end_time_seconds"),
            py::arg("as_deafault_next") = false, py::arg("params") = py::none(),
            docs::QZMutablePlaygraph::insertSegmentAfter)
        .def(
            "insert_segment_before",
            [](P& self, const std::string& existingId, const std::string& newSegmentId,
               const py::object& viewableId, double startTimeSeconds, double endTimeSeconds,
               const py::object& params) {
                self.insertSegmentBefore(existingId, newSegmentId, toValue(viewableId, true),
                                         startTimeSeconds, endTimeSeconds, toParams(params));
            },
            py::arg("existing_id"), py::arg("new_segment_id"), py::arg("viewable_id"),
            py::arg("start_time_seconds"), py::arg("end_time_seconds"),
            py::arg("params") = py::none(), docs::QZMutablePlaygraph::insertSegmentBefore)
        .def(
            "update_properties_for_transition_from",
            [](P& self, const std::string& from, const std::string& to,
               const py::object& properties) {
                self.updatePropertiesForTransitionFrom(from, to, toValue(properties, true));
            },
            py::arg("from_"), py::arg("to"), py::arg("properties"),
            "Merges properties into the transition from from_ to to.")
        .def(
            "update_properties_for_all_transitions_to",
            [](P& self, const std::string& to, const py::object& properties) {
                self.updatePropertiesForAllTransitionsTo(to, toValue(properties, true));
            },
            py::arg("to"), py::arg("properties"),
            docs::QZMutablePlaygraph::updatePropertiesForAllTransitionsTo)
        .def(
            "update_properties_for_all_transitionfrom",
            [](P& self, const std::string& from, const py::object& properties) {
                self.updatePropertiesForAllTransitionfrom(from, toValue(properties, true));
            },
            py::arg("from_"), py::arg("properties"),
            "Merges properties into every transition that leaves from_.")
        .def("update_default_next_from_segment", &P::updateDefaultNextFromSegment, py::arg("from_"),
             py::arg("to_segment"),
             "Makes the existing transition from from_ to to_segment the default.")
        .def(
            "add_transition_from_segment",
            [](P& self, const std::string& from, const std::string& toSegment, bool asDefault,
               const py::object& properties) {
                self.addTransitionFromSegment(from, toSegment, asDefault,
                                              toValue(properties, true));
            },
            py::arg("from_"), py::arg("to_segment"), py::arg("as_default") = false,
            py::arg("properties") = py::none(), docs::QZMutablePlaygraph::addTransitionFromSegment)
        .def("remove_segment", &P::removeSegment, py::arg("segment_id"),
             "Removes a segment and reconnects its neighbours around it.")
        .def("support_skipping_segment", &P::supportSkippingSegment, py::arg("from_"),
             py::arg("to_segment"), py::arg("after_offset_seconds"), py::arg("weight"),
             docs::QZMutablePlaygraph::supportSkippingSegment)
        .def(
            "dictionary_representation",
            [](const P& self) { return fromValue(Value(self.dictionaryRepresentation())); },
            "The playgraph dictionary, as a new dict (changing it does not change the "
            "playgraph).");
}

void bindMutablePlaygraph(py::module_& m) {
    py::class_<MutablePlaygraph, QZMutablePlaygraph, std::shared_ptr<MutablePlaygraph>>(
        m, "MutablePlaygraph",
        "The editable playgraph. It keeps its dictionary as the one source of truth (made from "
        "the source given, never shared with a Python dict) and rebuilds its objects from it "
        "after every edit. The read side behaves as for Playgraph, except that a play-to-end "
        "segment matches every viewable time from its start in segment_ids_for_position and "
        "position_at_segment_viewable_time, and position_at_viewable_time uses a match only "
        "when it is unique.")
        .def(py::init([](const py::object& source, const py::object& defaultViewableId) {
                 const Source input = source.is_none() ? Source{} : Source::from(source);
                 const Value viewableId = toValue(defaultViewableId, true);
                 py::gil_scoped_release release;
                 const Value dictionary = input.read();
                 return MutablePlaygraph::create(dictionary,
                                                 defaultViewableIdFor(viewableId, dictionary));
             }),
             py::arg("source") = py::none(), py::arg("default_viewable_id") = py::none(),
             "Builds an editable playgraph from a dict, a path or a file, as load() does "
             "(no source: an empty playgraph).")
        .def(
            "__reduce__",
            [](const py::object& self) {
                // Copies and pickles go through the dictionary, with the
                // default viewable id the segments were given.
                if (!self.get_type().is(py::type::of<MutablePlaygraph>())) {
                    throw py::type_error(typeName(self) +
                                         " cannot be copied or pickled through a dictionary");
                }
                const auto& graph = self.cast<const MutablePlaygraph&>();
                return py::make_tuple(
                    self.get_type(),
                    py::make_tuple(fromValue(Value(graph.dictionaryRepresentation())),
                                   fromValue(givenDefaultViewableId(graph))));
            },
            "copy.copy, copy.deepcopy and pickle make a new MutablePlaygraph from the "
            "dictionary; the copy shares nothing with the original.")
        .def_static(
            "create_playgraph_with_viewable_id",
            [](const py::object& viewableId, const std::string& segmentId, double startTimeSeconds,
               double endTimeSeconds) {
                return MutablePlaygraph::createPlaygraphWithViewableId(
                    toValue(viewableId, true), segmentId, startTimeSeconds, endTimeSeconds);
            },
            py::arg("viewable_id"), py::arg("segment_id"), py::arg("start_time_seconds"),
            py::arg("end_time_seconds"),
            "A playgraph with one segment segment_id of viewable_id from start_time_seconds to "
            "end_time_seconds, which is also the initial segment. Non-finite times raise "
            "InvalidArgumentError.")
        .def("load", &MutablePlaygraph::load,
             "Rebuilds type, initial_segment_id, the segments and duration from the "
             "dictionary.");
}

// `with history.transaction(label):` — begins on entry, commits when the
// block completes, rolls back when it raises (and lets the exception go on).
struct Transaction {
    std::shared_ptr<EditHistory> history;
    std::optional<std::string> label;
};

void bindEditHistory(py::module_& m) {
    py::register_exception<EditHistoryError>(m, "EditHistoryError", PyExc_RuntimeError).doc() =
        "Raised by EditHistory when a step cannot be taken: nothing to undo or redo, a "
        "transaction already open (or none open), or a playgraph edited outside the history "
        "since its last step. The history and the playgraph are unchanged.";

    py::class_<Transaction>(m, "EditHistoryTransaction",
                            "The context manager of EditHistory.transaction().")
        .def("__enter__",
             [](Transaction& self) {
                 self.history->begin(self.label);
                 return self.history->playgraph();
             })
        .def("__exit__",
             [](Transaction& self, const py::object& type, const py::object&, const py::object&) {
                 if (type.is_none()) {
                     self.history->commit();
                 } else {
                     self.history->rollback();
                 }
                 return false;
             });

    using H = EditHistory;
    py::class_<H, std::shared_ptr<H>>(
        m, "EditHistory",
        "Grouped edits with undo and redo for one MutablePlaygraph (or composition). A step is "
        "one transaction: every edit made on the playgraph inside `with "
        "history.transaction(label):` (or between begin() and commit()). A transaction applies "
        "whole or not at all: when the block raises (or rollback() runs) the playgraph is "
        "exactly as before and nothing is recorded. A step is labelled with the label given, "
        "or else with its edits' labels joined by '; '. The history keeps its playgraph alive. "
        "An edit made outside the history's transactions makes it stale: undo and redo then "
        "raise EditHistoryError until clear() or a new step.")
        .def(py::init([](std::shared_ptr<MutablePlaygraph> playgraph, std::size_t depthLimit) {
                 return std::make_shared<H>(std::move(playgraph), depthLimit);
             }),
             py::arg("playgraph"), py::arg("depth_limit") = H::kDefaultDepthLimit,
             "A history of playgraph keeping at most depth_limit undoable steps (at least 1).")
        .def_property_readonly("playgraph", &H::playgraph)
        .def(
            "transaction",
            [](const std::shared_ptr<H>& self, std::optional<std::string> label) {
                return Transaction{self, std::move(label)};
            },
            py::arg("label") = py::none(),
            "A context manager making the edits of its block one step; `as` gives the "
            "playgraph.")
        .def("begin", &H::begin, py::arg("label") = py::none(),
             "Opens a transaction: edits made on the playgraph from now on belong to it.")
        .def("commit", &H::commit,
             "Closes the open transaction and records it as a step (none when no edit "
             "completed), dropping every redo step.")
        .def("rollback", &H::rollback,
             "Undoes every edit of the open transaction and closes it; records nothing.")
        .def_property_readonly("in_transaction", &H::inTransaction)
        .def_property_readonly("can_undo", &H::canUndo)
        .def_property_readonly("can_redo", &H::canRedo)
        .def("undo", &H::undo, "Restores the state before the last step.")
        .def("redo", &H::redo, "Applies the last undone step again.")
        .def_property_readonly("undo_label", &H::undoLabel,
                               "The label of the step undo() would take, or None.")
        .def_property_readonly("redo_label", &H::redoLabel)
        .def_property_readonly("undo_labels", &H::undoLabels,
                               "The labels of the undoable steps, oldest first.")
        .def_property_readonly("redo_labels", &H::redoLabels,
                               "The labels of the redoable steps, next first.")
        .def_property("depth_limit", &H::depthLimit, &H::setDepthLimit,
                      "At most this many steps are kept (at least 1); the oldest go first.")
        .def("clear", &H::clear, docs::EditHistory::clear)
        .def_property_readonly("is_stale", &H::isStale,
                               "True when the playgraph was edited outside this history since "
                               "its last step, undo or redo.");
}

} // namespace

void bindEditing(py::module_& m) {
    bindMutableInterface(m);
    bindMutablePlaygraph(m);
    bindEditHistory(m);
}

} // namespace playgraph::python

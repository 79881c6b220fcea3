// The read-only model: positions, segments, transitions, exit zones, the
// playgraph interface with its queries and walks, and the immutable class.

#include <pybind11/stl.h>

#include <cmath>
#include <iomanip>
#include <sstream>

#include "Convert.hpp"
#include "Docstrings.hpp"
#include "FrontEnd.hpp"
#include "playgraph/PlaygraphPosition.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/model/PlaygraphSegment.hpp"
#include "playgraph/model/PlaygraphSegmentExitZone.hpp"

namespace playgraph::python {

namespace {

using SegmentPtr = std::shared_ptr<QZPlaygraphSegment>;

std::string typeName(const py::object& self) { return py::str(self.get_type().attr("__name__")); }

std::string quoted(const std::string& text) { return py::repr(py::str(text)).cast<std::string>(); }

// The segment ids of a playgraph, in the dictionary's order.
std::vector<std::string> segmentIds(const QZPlaygraph& graph) {
    if (auto ids = graph.allSegmentIds()) return *ids;
    std::vector<std::string> ids;
    if (const auto* base = dynamic_cast<const PlaygraphBase*>(&graph)) {
        for (const auto& [id, segment] : base->segmentMap())
            ids.push_back(id);
    }
    return ids;
}

// A whole number from 0 given for `name`: ValueError below 0, TypeError for
// what is not an int.
uint64_t wholeNumberArgument(const py::object& value, const char* name) {
    if (PyBool_Check(value.ptr()) || !PyLong_Check(value.ptr())) {
        throw py::type_error(std::string(name) + " must be an int, not " + typeName(value));
    }
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow < 0 || (overflow == 0 && n < 0)) {
        throw py::value_error(std::string(name) + " must be a whole number from 0, not " +
                              py::repr(value).cast<std::string>());
    }
    return overflow > 0 ? UINT64_MAX : static_cast<uint64_t>(n);
}

// Model objects compare by identity, as in the library: the address of the
// whole object, whichever base the Python wrapper holds. Another type is
// left to Python (NotImplemented), which then compares by identity too.
template <class T, class Class> void identitySemantics(Class& cls) {
    cls.def("__eq__", [](const T& a, py::object b) -> py::object {
        if (!py::isinstance<T>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::bool_(dynamic_cast<const void*>(&a) ==
                         dynamic_cast<const void*>(&b.cast<const T&>()));
    });
    cls.def("__hash__",
            [](const T& a) { return std::hash<const void*>{}(dynamic_cast<const void*>(&a)); });
}

std::string positionRepr(const PlaygraphPosition& position) {
    std::ostringstream text;
    text << "PlaygraphPosition(segment="
         << (position.segment ? "'" + position.segment->segmentId() + "'" : std::string("None"))
         << ", watchable_time=" << py::repr(py::float_(position.watchableTime)).cast<std::string>()
         << ")";
    return text.str();
}

void bindPosition(py::module_& m) {
    py::class_<PlaygraphPosition>(
        m, "PlaygraphPosition",
        "A place to play: a segment (None when a query found none) and a time within the "
        "segment's viewable (watchable_time, seconds). It holds its segment, so it never "
        "dangles, but not the segment's playgraph. Positions compare equal when they name the "
        "same segment object and the same time.")
        .def(py::init([](SegmentPtr segment, double watchableTime) {
                 return PlaygraphPosition{std::move(segment), watchableTime};
             }),
             py::arg("segment") = nullptr, py::arg("watchable_time") = 0.0)
        .def_readwrite("segment", &PlaygraphPosition::segment)
        .def_readwrite("watchable_time", &PlaygraphPosition::watchableTime)
        .def(
            "__eq__",
            [](const PlaygraphPosition& a, const PlaygraphPosition& b) {
                return a.segment == b.segment && a.watchableTime == b.watchableTime;
            },
            py::is_operator())
        .def("__repr__", &positionRepr);
}

void bindExitZones(py::module_& m) {
    py::class_<QZPlaygraphSegmentExitZone, std::shared_ptr<QZPlaygraphSegmentExitZone>>(
        m, "QZPlaygraphSegmentExitZone",
        "A time window (viewable times, seconds) within which a segment may be left. Made by "
        "players; the library only defines and stores them.")
        .def_property_readonly("is_single_frame_zone",
                               &QZPlaygraphSegmentExitZone::isSingleFrameZone,
                               docs::QZPlaygraphSegmentExitZone::isSingleFrameZone)
        .def_property_readonly("is_trailing_zone", &QZPlaygraphSegmentExitZone::isTrailingZone,
                               "The zone ends exactly at its segment's end time (False once the "
                               "segment is gone).")
        .def_property_readonly("start_time", &QZPlaygraphSegmentExitZone::startTime)
        .def_property_readonly("end_time", &QZPlaygraphSegmentExitZone::endTime);
    py::class_<PlaygraphSegmentExitZone, QZPlaygraphSegmentExitZone,
               std::shared_ptr<PlaygraphSegmentExitZone>>(
        m, "PlaygraphSegmentExitZone",
        "An exit zone of a segment, which it refers to weakly. Without end_time it is a "
        "single-frame zone at start_time.")
        .def(py::init(
                 [](const SegmentPtr& segment, double startTime, std::optional<double> endTime) {
                     return PlaygraphSegmentExitZone::create(segment, startTime,
                                                             endTime.value_or(startTime));
                 }),
             py::arg("segment"), py::arg("start_time"), py::arg("end_time") = py::none())
        .def_property_readonly("segment", &PlaygraphSegmentExitZone::segment,
                               "The segment, or None once it is gone.");
}

void bindTransitions(py::module_& m) {
    auto transition =
        py::class_<QZPlaygraphSegmentTransition, std::shared_ptr<QZPlaygraphSegmentTransition>>(
            m, "QZPlaygraphSegmentTransition",
            "A weighted edge from a source segment to a destination segment id. Owned by its "
            "source segment's next map and compared by identity. Its references to the source "
            "segment and to the playgraph that resolves the destination are weak: once those "
            "are gone it reads no source, no destination and no effective type.");
    identitySemantics<QZPlaygraphSegmentTransition>(transition);
    transition
        .def(
            "override_weight",
            [](QZPlaygraphSegmentTransition& self, const py::object& weight) {
                if (!weight.is_none() &&
                    (PyBool_Check(weight.ptr()) ||
                     !(PyLong_Check(weight.ptr()) || PyFloat_Check(weight.ptr())))) {
                    throw py::type_error("weight must be a number or None, not " +
                                         typeName(weight) + " " +
                                         py::repr(weight).cast<std::string>());
                }
                self.overrideWeight(toValue(weight, true));
            },
            py::arg("weight"),
            "Sets the weight override (an int or a float; TypeError otherwise); None removes "
            "it, so the base weight shows.")
        .def_property_readonly("source_segment", &QZPlaygraphSegmentTransition::sourceSegment)
        .def_property_readonly("destination_segment",
                               &QZPlaygraphSegmentTransition::destinationSegment,
                               "Looked up on every read; None when it cannot be resolved.")
        .def_property_readonly("destination_segment_id",
                               &QZPlaygraphSegmentTransition::destinationSegmentId)
        .def_property_readonly(
            "weight",
            [](const QZPlaygraphSegmentTransition& self) { return fromValue(self.weight()); },
            docs::QZPlaygraphSegmentTransition::weight)
        .def_property_readonly("transition_type", &QZPlaygraphSegmentTransition::transitionType)
        .def_property_readonly("skip_region_offset",
                               &QZPlaygraphSegmentTransition::skipRegionOffset,
                               "Seconds into the source segment after which skipping is "
                               "supported, or None.")
        .def_property_readonly("autoplay_type", &QZPlaygraphSegmentTransition::autoplayType)
        .def_property_readonly("effective_transition_type",
                               &QZPlaygraphSegmentTransition::effectiveTransitionType,
                               docs::QZPlaygraphSegmentTransition::effectiveTransitionType)
        .def_property("destination_segment_offset",
                      &QZPlaygraphSegmentTransition::destinationSegmentOffset,
                      &QZPlaygraphSegmentTransition::setDestinationSegmentOffset)
        .def_property_readonly("key", &QZPlaygraphSegmentTransition::key,
                               "The text naming the edge, e.g. 'a -> b@0' or 'a immediate-> "
                               "b@2.5'.")
        .def("__repr__", [](const QZPlaygraphSegmentTransition& self) {
            const auto source = self.sourceSegment();
            return "Transition(" + (source ? quoted(source->segmentId()) : std::string("None")) +
                   " -> " + quoted(self.destinationSegmentId()) +
                   ", weight=" + py::repr(fromValue(self.weight())).cast<std::string>() + ")";
        });
}

py::dict transitionDict(const QZPlaygraphSegment& segment) {
    py::dict next;
    for (const auto& [id, transition] : segment.next())
        next[py::str(id)] = castTransition(transition);
    return next;
}

using SegmentClass = py::class_<QZPlaygraphSegment, std::shared_ptr<QZPlaygraphSegment>>;
using PlaygraphClass = py::class_<QZPlaygraph, std::shared_ptr<QZPlaygraph>>;

void bindSegments(SegmentClass& segment) {
    using S = QZPlaygraphSegment;
    identitySemantics<S>(segment);
    segment
        .def("update_live_duration", &S::updateLiveDuration, py::arg("seconds"),
             docs::QZPlaygraphSegment::updateLiveDuration)
        .def("shares_asset_with", &S::sharesAssetWith, py::arg("other"),
             docs::QZPlaygraphSegment::sharesAssetWith)
        .def("is_contiguous_after", &S::isContiguousAfter, py::arg("other"),
             docs::QZPlaygraphSegment::isContiguousAfter)
        .def("boolean_value_for_annotation", &S::booleanValueForAnnotation, py::arg("key"),
             py::arg("default_value_if_not_present") = false,
             docs::QZPlaygraphSegment::booleanValueForAnnotation)
        .def("int_value_for_annotation", &S::intValueForAnnotation, py::arg("key"),
             py::arg("default_value_if_not_present") = 0,
             docs::QZPlaygraphSegment::intValueForAnnotation)
        .def_property(
            "playgraph_params", [](const S& self) { return fromParams(self.playgraphParams()); },
            [](S& self, const py::object& params) { self.setPlaygraphParams(toParams(params)); },
            "The segment's QZPlaygraphParams, or None.")
        .def_property_readonly("playgraph", &S::playgraph, docs::QZPlaygraphSegment::playgraph)
        .def_property_readonly("segment_id", &S::segmentId)
        .def_property_readonly(
            "viewable_id", [](const S& self) { return fromValue(self.viewableId()); },
            docs::QZPlaygraphSegment::viewableId)
        .def_property_readonly("start_time", &S::startTime)
        .def_property_readonly("end_time", &S::endTime, docs::QZPlaygraphSegment::endTime)
        .def_property("offset_in_playgraph", &S::offsetInPlaygraph, &S::setOffsetInPlaygraph)
        .def_property_readonly("default_next", &S::defaultNext)
        .def_property_readonly("transition_type", &S::transitionType)
        .def_property_readonly("next", &transitionDict,
                               "Outgoing transitions, a new dict from destination segment id to "
                               "transition (empty when there are none).")
        .def_property_readonly("canonical_segment_id", &S::canonicalSegmentId,
                               "'<playgraphId>::<segmentId>'.")
        .def_property_readonly("segment_duration", &S::segmentDuration,
                               "nan while a play-to-end segment's movie duration is unknown.")
        .def_property_readonly("play_to_viewable_end", &S::playToViewableEnd)
        .def_property("movie_duration", &S::movieDuration, &S::setMovieDuration,
                      "The viewable's duration; setting a new one makes the playgraph "
                      "recompute its duration and offsets.")
        .def_property_readonly(
            "user_info", [](const S& self) { return fromOptionalDictionary(self.userInfo()); })
        .def_property(
            "exit_zones", &S::exitZones,
            [](S& self, const ExitZoneList& zones) {
                auto* segment = dynamic_cast<PlaygraphSegment*>(&self);
                if (!segment) throw py::type_error("this segment does not take exit zones");
                segment->setExitZones(zones);
            },
            "The segment's exit zones (a new list); players set them.")
        .def_property_readonly("fixed_rate", &S::fixedRate, docs::QZPlaygraphSegment::fixedRate)
        .def_property_readonly(
            "annotations", [](const S& self) { return fromOptionalDictionary(self.annotations()); })
        .def_property_readonly("is_decorative_segment", &S::isDecorativeSegment)
        .def_property_readonly("has_auxiliary_manifest", &S::hasAuxiliaryManifest)
        .def_property_readonly("break_index", &S::breakIndex)
        .def_property_readonly("decorative_index", &S::decorativeIndex)
        .def_property_readonly("has_content", &S::hasContent, docs::QZPlaygraphSegment::hasContent)
        .def_property_readonly("allows_seek_within", &S::allowsSeekWithin)
        .def_property_readonly("allows_skip_forward", &S::allowsSkipForward)
        .def_property_readonly("allows_skip_backward", &S::allowsSkipBackward)
        .def_property_readonly("allows_skip_on_postplay", &S::allowsSkipOnPostplay)
        .def_property_readonly("allows_skip_on_forward_seek_over", &S::allowsSkipOnForwardSeekOver)
        .def_property_readonly("play_once_only_per_session", &S::playOnceOnlyPerSession)
        .def_property_readonly("is_before_empty_ad_break", &S::isBeforeEmptyAdBreak)
        .def_property_readonly("is_after_empty_ad_break", &S::isAfterEmptyAdBreak)
        .def_property_readonly("empty_ad_break_index", &S::emptyAdBreakIndex)
        .def_property_readonly("preceding_empty_ad_break_index", &S::precedingEmptyAdBreakIndex)
        .def_property_readonly("after_any_ad_break_index", &S::afterAnyAdBreakIndex,
                               docs::QZPlaygraphSegment::afterAnyAdBreakIndex)
        .def_property_readonly(
            "ad_break_token", [](const S& self) { return fromValue(self.adBreakToken()); },
            docs::QZPlaygraphSegment::adBreakToken)
        .def_property_readonly(
            "preceding_empty_ad_break_token",
            [](const S& self) { return fromValue(self.precedingEmptyAdBreakToken()); })
        .def_property_readonly("description", &S::description,
                               "'Segment(<id>,[<start %0.2f>-<end %02f>])'.")
        .def_property_readonly(
            "on_default_path",
            [](const SegmentPtr& self) {
                const auto graph = self->playgraph();
                return graph && tool::isOnDefaultPath(*graph, self);
            },
            "The segment is one of its playgraph's default path (False once the playgraph is "
            "gone). offset_in_playgraph is 0 for a segment off the path.")
        .def("__repr__", [](const S& self) {
            const std::string end = self.playToViewableEnd() && std::isnan(self.endTime())
                                        ? std::string(" s-end")
                                        : "-" + formatFixed(self.endTime(), 3) + " s";
            return "Segment(" + quoted(self.segmentId()) +
                   ", viewable=" + py::repr(fromValue(self.viewableId())).cast<std::string>() +
                   ", " + formatFixed(self.startTime(), 3) + end + ")";
        });
}

// The playgraph read interface: queries and walks.
void bindPlaygraphInterface(PlaygraphClass& playgraph) {
    using P = QZPlaygraph;
    identitySemantics<P>(playgraph);
    playgraph.def_property_readonly("initial_segment_id", &P::initialSegmentId)
        .def("segment_by_id", &P::segmentById, py::arg("segment_id"),
             docs::QZPlaygraph::segmentById)
        .def("segment_ids_for_position", &P::segmentIdsForPosition, py::arg("position"),
             py::arg("in_viewable_id"), docs::QZPlaygraph::segmentIdsForPosition)
        .def("segment_id_at_playgraph_time", &P::segmentIdAtPlaygraphTime, py::arg("time"),
             "The segment at playgraph time along the default path, or None.")
        .def("playgraph_offset_for_player_time", &P::playgraphOffsetForPlayerTime,
             py::arg("player_time"), py::arg("in_segment"),
             docs::QZPlaygraph::playgraphOffsetForPlayerTime)
        .def("player_time_for_playgraph_offset", &P::playerTimeForPlaygraphOffset,
             py::arg("offset"), docs::QZPlaygraph::playerTimeForPlaygraphOffset)
        .def("is_playback_contiguous_from_segment", &P::isPlaybackContiguousFromSegment,
             py::arg("segment"), py::arg("to_segment"),
             docs::QZPlaygraph::isPlaybackContiguousFromSegment)
        .def(
            "default_path_traversal",
            [](const P& self, const py::object& callback) {
                return runWalk(callback,
                               [&](const TraversalCallback& f) { self.defaultPathTraversal(f); });
            },
            py::arg("callback") = py::none(),
            "Each segment of the default path with indexes 0, 1, 2, ... up to (not including) "
            "the first repeated segment.")
        .def(
            "depth_first_traversal_from_segment_id",
            [](const P& self, const std::optional<std::string>& segmentId,
               const py::object& callback) {
                return runWalk(callback, [&](const TraversalCallback& f) {
                    self.depthFirstTraversalFromSegmentId(segmentId, f);
                });
            },
            py::arg("segment_id") = py::none(), py::arg("callback") = py::none(),
            docs::QZPlaygraph::depthFirstTraversalFromSegmentId)
        .def(
            "bredth_first_traversal_from_segment_id",
            [](const P& self, const std::optional<std::string>& segmentId,
               const py::object& maxDepth, const py::object& callback) {
                const uint64_t depth = wholeNumberArgument(maxDepth, "max_depth");
                const auto& start = segmentId ? segmentId : self.initialSegmentId();
                if (!start || !self.segmentById(*start)) {
                    return callback.is_none() ? py::object(py::list()) : py::object(py::none());
                }
                return runWalk(callback, [&](const TraversalCallback& f) {
                    self.bredthFirstTraversalFromSegmentId(segmentId, depth, f);
                });
            },
            py::arg("segment_id"), py::arg("max_depth"), py::arg("callback") = py::none(),
            "Breadth-first walk reporting depths 1 to max_depth (at least 1). From an id that "
            "names no segment (or None without an initial segment) it reports nothing; a "
            "max_depth below 0 raises ValueError.")
        .def("calculate_default_path_duration", &P::calculateDefaultPathDuration,
             docs::QZPlaygraph::calculateDefaultPathDuration)
        .def_property_readonly("initial_position", &P::initialPosition,
                               docs::QZPlaygraph::initialPosition)
        .def("position_at_playgraph_offset_along_default_playback_path",
             &P::positionAtPlaygraphOffsetAlongDefaultPlaybackPath, py::arg("offset"))
        .def("position_at_start_of_segment", &P::positionAtStartOfSegment, py::arg("segment_id"),
             docs::QZPlaygraph::positionAtStartOfSegment)
        .def("position_at_segment_viewable_time", &P::positionAtSegmentViewableTime,
             py::arg("segment_id"), py::arg("viewable_time"))
        .def("position_at_segment_segment_offset", &P::positionAtSegmentSegmentOffset,
             py::arg("segment_id"), py::arg("segment_offset"))
        .def(
            "position_at_viewable_time",
            [](const P& self, double viewableTime, const py::object& inVideoId) {
                return self.positionAtViewableTime(viewableTime, toValue(inVideoId, true));
            },
            py::arg("viewable_time"), py::arg("in_video_id"))
        .def_property_readonly("type", &P::type)
        .def_property_readonly("transition_type", &P::transitionType)
        .def_property_readonly("playgraph_id", &P::playgraphId)
        .def_property_readonly(
            "main_viewable_id", [](const P& self) { return fromValue(self.mainViewableId()); },
            docs::QZPlaygraph::mainViewableId)
        .def_property_readonly("duration", &P::duration, docs::QZPlaygraph::duration)
        .def_property_readonly("all_segment_ids", &P::allSegmentIds, "Every segment id.")
        .def_property_readonly("minimum_segment_length_ms", &P::minimumSegmentLengthMs,
                               "The shortest segment an editor should make, or None.")
        .def("__len__", [](const P& self) { return segmentIds(self).size(); })
        .def(
            "__contains__",
            [](const P& self, const py::object& id) {
                return py::isinstance<py::str>(id) &&
                       self.segmentById(id.cast<std::string>()) != nullptr;
            },
            "True for the id of a segment.")
        .def(
            "__getitem__",
            [](const P& self, const std::string& id) {
                auto segment = self.segmentById(id);
                if (!segment) throw py::key_error(id);
                return segment;
            },
            "The segment under an id; KeyError when there is none.")
        .def(
            "__iter__", [](const P& self) { return py::iter(py::cast(segmentIds(self))); },
            "Iterates over the segment ids, in the order of the dictionary's \"segments\".")
        .def("has_same_default_traversal_as",
             &Playgraph::playgraphHasSameDefaultTraversalAsPlaygraph, py::arg("other"),
             "True when both default paths have the same segment ids in the same order.")
        .def("__repr__", [](const py::object& self) {
            const auto& playgraph = self.cast<const P&>();
            const std::size_t count = segmentIds(playgraph).size();
            return typeName(self) + "(" + quoted(playgraph.playgraphId()) + ", " +
                   std::to_string(count) + (count == 1 ? " segment, " : " segments, ") +
                   formatFixed(playgraph.duration(), 3) + " s)";
        });
}

void bindPlaygraph(py::module_& m) {
    py::class_<Playgraph, QZPlaygraph, std::shared_ptr<Playgraph>>(
        m, "Playgraph",
        "The immutable playgraph, built once from a playgraph dictionary (see load()). It "
        "copies what it reads; the dictionary is not kept. Construction never fails: missing "
        "or wrongly typed entries read as absent.")
        .def(py::init([](const py::object& dictionary, const py::object& defaultViewableId) {
                 const Value value = toValue(dictionary);
                 const Value viewableId = toValue(defaultViewableId, true);
                 py::gil_scoped_release release;
                 return Playgraph::create(value, defaultViewableIdFor(viewableId, value));
             }),
             py::arg("dictionary"), py::arg("default_viewable_id") = py::none(),
             "Builds a playgraph from a dict; default_viewable_id (an int; None: the first "
             "numeric \"main\" of the segments) goes to segments without \"viewableId\" when "
             "the playgraph's \"type\" is \"branching\".")
        .def(
            "__reduce__",
            [](const py::object&) -> py::object {
                throw py::type_error(
                    "an immutable Playgraph keeps no dictionary to copy or pickle: "
                    "load it as a MutablePlaygraph");
            },
            "Refused: copy.copy, copy.deepcopy and pickle need MutablePlaygraph.")
        .def(
            "value_for_annotation",
            [](const Playgraph& self, std::string_view key) {
                return fromValue(self.valueForAnnotation(key));
            },
            py::arg("key"), docs::Playgraph::valueForAnnotation)
        .def_property(
            "annotations",
            [](const Playgraph& self) { return fromOptionalDictionary(self.annotations()); },
            [](Playgraph& self, const py::object& annotations) {
                self.setAnnotations(toOptionalDictionary(annotations));
            })
        .def_static("last_segment_id_in_default_traversal_in_playgraph",
                    &Playgraph::lastSegmentIdInDefaultTraversalInPlaygraph, py::arg("playgraph"),
                    "The id of the last segment of the playgraph's default path (before it "
                    "ends or first repeats); the initial segment id itself when that names no "
                    "segment; None without one.")
        .def_static("playgraph_has_same_default_traversal_as_playgraph",
                    &Playgraph::playgraphHasSameDefaultTraversalAsPlaygraph, py::arg("a"),
                    py::arg("b"),
                    "True when both default paths have the same segment ids in the same order.");
}

} // namespace

void bindModel(py::module_& m) {
    // Segments and playgraphs refer to each other: both are registered
    // before either gets its members, so that signatures name them.
    SegmentClass segment(
        m, "QZPlaygraphSegment",
        "A node of a playgraph: a time range (seconds) of one viewable, with its outgoing "
        "transitions, its default next segment and its annotations. Owned by its playgraph and "
        "compared by identity; its playgraph reference is weak: playgraph is None once the "
        "playgraph is gone (the segment itself stays usable). Dictionaries (annotations, "
        "user_info) are returned as new dicts.");
    PlaygraphClass playgraph(
        m, "QZPlaygraph",
        "A playgraph: a directed graph of segments joined by weighted transitions, with one "
        "default path from the initial segment along each segment's default_next. The read "
        "side never raises: a miss is None, nan, or the initial position. Times are seconds; "
        "'viewable time' is a time within a segment's viewable, 'playgraph time' a time along "
        "the default path.\n\n"
        "Walks take an optional callback(segment, index); a truthy result stops the walk. "
        "Without a callback a walk returns its steps as a list of (segment, index) tuples, "
        "collected without holding the GIL (do not edit the playgraph from another thread "
        "meanwhile).");
    bindExitZones(m);
    bindTransitions(m);
    bindSegments(segment);
    bindPosition(m);
    bindPlaygraphInterface(playgraph);
    bindPlaygraph(m);
}

} // namespace playgraph::python

// The data sources, their change observer (implemented in Python) and the
// inter-playgraph transitions.

#include <pybind11/stl.h>

#include <unordered_set>

#include "Convert.hpp"
#include "Docstrings.hpp"
#include "playgraph/QZPlaygraphPlayerDataSourceChangeObserver.hpp"
#include "playgraph/datasource/PlaygraphPlayerCompositeDataSource.hpp"
#include "playgraph/datasource/PlaygraphPlayerMutableDataSource.hpp"

namespace playgraph::python {

namespace {

using SegmentPtr = std::shared_ptr<QZPlaygraphSegment>;
using PlaygraphPtr = std::shared_ptr<QZPlaygraph>;
using Observer = QZPlaygraphPlayerDataSourceChangeObserver;

// The observer as Python subclasses implement it. A method the subclass
// does not define does nothing. What a method raises is collected by the
// enclosing CallbackScope, never thrown into the data source.
class PythonObserver : public Observer {
public:
    void dataSourceDidChangeNextSegmentAfterSegment(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
        const SegmentPtr& segment) override {
        call("data_source_did_change_next_segment_after_segment", dataSource, segment);
    }
    void dataSourceDidUpdatePlaygraph(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
        const PlaygraphPtr& playgraph) override {
        call("data_source_did_update_playgraph", dataSource, playgraph);
    }

private:
    template <class... Args> void call(const char* name, const Args&... args) {
        py::gil_scoped_acquire gil;
        CallbackScope::run(
            [&] {
                if (py::function method =
                        py::get_override(static_cast<const Observer*>(this), name)) {
                    method(args...);
                }
            },
            "a data source observer");
    }
};

// What a configure callback receives: the new transition's configuration,
// usable only during the call (the transition is not the caller's to keep).
struct ConfigurationView {
    QZPlaygraphSegmentTransitionConfiguration* target = nullptr;

    QZPlaygraphSegmentTransitionConfiguration& get() const {
        if (!target) {
            throw py::value_error("a transition configuration is usable only during the "
                                  "configure call");
        }
        return *target;
    }
};

// The current playback path as a list: it stops before the first segment it
// has already reported (the library's walk goes on around a loop until told
// to stop).
py::object currentPlaybackPath(const QZPlaygraphPlayerDataSource& self, const SegmentPtr& start,
                               const py::object& callback) {
    if (!callback.is_none()) {
        return runWalk(callback, [&](const TraversalCallback& f) {
            self.currentPlaybackPathTraversalFromSegment(start, f);
        });
    }
    std::unordered_set<const QZPlaygraphSegment*> seen;
    return runWalk(py::none(), [&](const TraversalCallback& collect) {
        self.currentPlaybackPathTraversalFromSegment(
            start, [&](const SegmentPtr& segment, uint64_t index, bool& stop) {
                if (segment && !seen.insert(segment.get()).second) {
                    stop = true;
                    return;
                }
                collect(segment, index, stop);
            });
    });
}

void bindObserver(py::module_& m) {
    py::class_<Observer, PythonObserver, std::shared_ptr<Observer>>(
        m, "QZPlaygraphPlayerDataSourceChangeObserver",
        "The host's observer of a data source's changes: subclass it and override either "
        "method (the base methods do nothing). A data source holds its observer weakly: keep "
        "a reference to it, or it is simply not called. Calls come synchronously on the "
        "calling thread, inside the operation that made the change and after the data "
        "source's state has changed, so the observer may read and change the data source. An "
        "exception raised by a method does not unwind through the data source: the operation "
        "completes, then the exception is raised from the call that made the change (when "
        "several calls of one operation raise, the first is raised and the others go to "
        "sys.unraisablehook).")
        .def(py::init<>())
        .def(
            "data_source_did_change_next_segment_after_segment",
            [](Observer&, const py::object&, const py::object&) {}, py::arg("data_source"),
            py::arg("segment"),
            "The next segment after segment (the object the caller passed) was set or cleared.")
        .def(
            "data_source_did_update_playgraph",
            [](Observer&, const py::object&, const py::object&) {}, py::arg("data_source"),
            py::arg("playgraph"), "The data source replaced its playgraph with playgraph.");
}

void bindReadInterface(py::module_& m) {
    using D = QZPlaygraphPlayerDataSource;
    py::class_<D, std::shared_ptr<D>>(
        m, "QZPlaygraphPlayerDataSource",
        "What a player reads segments from: where playback starts, which segment follows a "
        "segment, the transitions that leave a segment, tracking info, and three walks. "
        "Nothing here raises: a miss is None or an empty list. Walks take an optional "
        "callback(segment, index) as the playgraph's walks do; without one they return a list "
        "of (segment, index) tuples.")
        .def_property_readonly("initial_position", &D::initialPosition,
                               docs::QZPlaygraphPlayerDataSource::initialPosition)
        .def("next_segment_after_segment", &D::nextSegmentAfterSegment, py::arg("segment"),
             docs::QZPlaygraphPlayerDataSource::nextSegmentAfterSegment)
        .def("next_playgraph_after_playgraph", &D::nextPlaygraphAfterPlaygraph,
             py::arg("playgraph"), docs::QZPlaygraphPlayerDataSource::nextPlaygraphAfterPlaygraph)
        .def(
            "transitions_from_source_segment",
            [](const D& self, const SegmentPtr& segment) {
                return castTransitions(self.transitionsFromSourceSegment(segment));
            },
            py::arg("segment"), "The transitions leaving segment (a new list).")
        .def(
            "transition_from_source_segment",
            [](const D& self, const SegmentPtr& source, const SegmentPtr& to) {
                return castTransition(self.transitionFromSourceSegment(source, to));
            },
            py::arg("source"), py::arg("to_destination_segment"),
            docs::QZPlaygraphPlayerDataSource::transitionFromSourceSegment)
        .def("segment_by_id", &D::segmentById, py::arg("segment_id"),
             docs::QZPlaygraphPlayerDataSource::segmentById)
        .def(
            "tracking_info_for_segment",
            [](const D& self, const SegmentPtr& segment) {
                return fromOptionalDictionary(self.trackingInfoForSegment(segment));
            },
            py::arg("segment"), docs::QZPlaygraphPlayerDataSource::trackingInfoForSegment)
        .def(
            "tracking_info_for_playgraph",
            [](const D& self, const PlaygraphPtr& playgraph) {
                return fromOptionalDictionary(self.trackingInfoForPlaygraph(playgraph));
            },
            py::arg("playgraph"), docs::QZPlaygraphPlayerDataSource::trackingInfoForPlaygraph)
        .def("current_playback_path_traversal_from_segment", &currentPlaybackPath,
             py::arg("segment"), py::arg("callback") = py::none(),
             "Walks the current playback path (overrides followed) from segment, with step "
             "indexes 0, 1, 2, ... With a callback it goes on around a loop until the callback "
             "stops it; the returned list stops before the first repeated segment.")
        .def(
            "depth_first_traversal_from_segment",
            [](const D& self, const SegmentPtr& segment, const py::object& callback) {
                return runWalk(callback, [&](const TraversalCallback& f) {
                    self.depthFirstTraversalFromSegment(segment, f);
                });
            },
            py::arg("segment"), py::arg("callback") = py::none(),
            docs::QZPlaygraphPlayerDataSource::depthFirstTraversalFromSegment)
        .def(
            "bredth_first_traversal_from_segment",
            [](const D& self, const SegmentPtr& segment, uint64_t maxDepth,
               const py::object& callback) {
                return runWalk(callback, [&](const TraversalCallback& f) {
                    self.bredthFirstTraversalFromSegment(segment, maxDepth, f);
                });
            },
            py::arg("segment"), py::arg("max_depth"), py::arg("callback") = py::none(),
            "Breadth-first walk from segment, reporting depths 1 to max_depth.")
        .def(
            "update_playgraph",
            [](D& self, const PlaygraphPtr& playgraph, const py::object& trackingInfo,
               const std::optional<PlaygraphPosition>& startPosition) {
                const auto info = toOptionalDictionary(trackingInfo);
                withCallbacks([&] {
                    self.updatePlaygraph(playgraph, info,
                                         startPosition.value_or(PlaygraphPosition{}));
                });
            },
            py::arg("playgraph"), py::arg("tracking_info") = py::none(),
            py::arg("start_position") = py::none(),
            "Replaces the playgraph (where the class provides it) and tells the observer.");
}

void bindMutableInterface(py::module_& m) {
    using D = QZPlaygraphPlayerMutableDataSource;
    py::class_<D, QZPlaygraphPlayerDataSource, std::shared_ptr<D>>(
        m, "QZPlaygraphPlayerMutableDataSource",
        "A data source whose next segments a caller can override and re-weight, whose "
        "playgraph can be replaced, and which tells one weakly held change observer about "
        "override changes and playgraph replacements. Overrides are kept per source segment "
        "under its canonical_segment_id: none, a segment, or nothing follows.")
        .def(
            "set_next_segment_after",
            [](D& self, const SegmentPtr& source, const SegmentPtr& next) {
                withCallbacks([&] { self.setNextSegmentAfter(source, next); });
            },
            py::arg("source"), py::arg("next"),
            "Makes next follow source; None makes nothing follow it. Tells the observer when "
            "the stored state changed.")
        .def(
            "clear_next_segment_after",
            [](D& self, const SegmentPtr& source) {
                withCallbacks([&] { self.clearNextSegmentAfter(source); });
            },
            py::arg("source"), docs::QZPlaygraphPlayerMutableDataSource::clearNextSegmentAfter)
        .def(
            "update_next_segment_weights_for_segment",
            [](D& self, const SegmentPtr& segment, const py::object& weights) {
                self.updateNextSegmentWeightsForSegment(segment, toDictionary(weights));
            },
            py::arg("segment"), py::arg("next_segment_weights"),
            "Gives every transition leaving segment a weight override: the value under its "
            "destination id in next_segment_weights, or 0 when that has no entry.")
        .def_property("change_observer", &D::changeObserver, &D::setChangeObserver,
                      "The observer (held weakly), or None once it is gone.");
}

void bindCompositeInterface(py::module_& m) {
    using D = QZPlaygraphPlayerCompositeDataSource;
    py::class_<InterPlaygraphSegmentTransition, QZPlaygraphSegmentTransition,
               std::shared_ptr<InterPlaygraphSegmentTransition>>(
        m, "InterPlaygraphSegmentTransition",
        "A transition from a segment of one playgraph to a segment of another, made and owned "
        "by the composite data source; its destination id is resolved in "
        "destination_playgraph (held weakly).")
        .def_property_readonly("destination_playgraph",
                               &InterPlaygraphSegmentTransition::destinationPlaygraph);
    py::class_<ConfigurationView>(
        m, "QZPlaygraphSegmentTransitionConfiguration",
        "The new inter-playgraph transition as a configure callback sees it, usable only during "
        "that call: read its source segment and destination playgraph, read and set its weight "
        "and skip region offset.")
        .def_property_readonly(
            "source_segment",
            [](const ConfigurationView& self) { return self.get().sourceSegment(); })
        .def_property_readonly(
            "destination_playgraph",
            [](const ConfigurationView& self) { return self.get().destinationPlaygraph(); })
        .def_property(
            "weight", [](const ConfigurationView& self) { return fromValue(self.get().weight()); },
            [](ConfigurationView& self, const py::object& weight) {
                self.get().setWeight(toValue(weight, true));
            },
            "The weight override when one is set, else the base weight; setting sets the base "
            "weight.")
        .def_property(
            "skip_region_offset",
            [](const ConfigurationView& self) { return self.get().skipRegionOffset(); },
            [](ConfigurationView& self, std::optional<double> seconds) {
                self.get().setSkipRegionOffset(seconds);
            },
            "Seconds into the source segment after which skipping is supported (stored as "
            "given).");

    py::class_<D, QZPlaygraphPlayerMutableDataSource, std::shared_ptr<D>>(
        m, "QZPlaygraphPlayerCompositeDataSource",
        "A data source over several playgraphs, registered by playgraph_id, with tracking info "
        "per playgraph and inter-playgraph transitions.")
        .def(
            "add_playgraph",
            [](D& self, const PlaygraphPtr& playgraph, const py::object& trackingInfo) {
                self.addPlaygraph(playgraph, toOptionalDictionary(trackingInfo));
            },
            py::arg("playgraph"), py::arg("with_tracking_info") = py::none(),
            "Registers playgraph under its playgraph_id, replacing a playgraph of the same id, "
            "and stores its tracking info (None removes it).")
        .def(
            "update_tracking_info",
            [](D& self, const py::object& info, const SegmentPtr& forSegment) {
                self.updateTrackingInfo(toOptionalDictionary(info), forSegment);
            },
            py::arg("info"), py::arg("for_segment"),
            "Stores info as the tracking info of for_segment's playgraph; None removes it.")
        .def(
            "add_transition_from_segment",
            [](D& self, const SegmentPtr& source, const SegmentPtr& to, bool setAsNext,
               const py::object& properties, const py::object& configure) {
                if (configure.is_none()) {
                    const Dictionary dictionary = toDictionary(properties);
                    withCallbacks(
                        [&] { self.addTransitionFromSegment(source, to, setAsNext, dictionary); });
                    return;
                }
                if (!properties.is_none()) {
                    throw py::type_error("give properties or configure, not both");
                }
                const auto function = configure.cast<py::function>();
                withCallbacks([&] {
                    self.addTransitionFromSegment(
                        source, to, setAsNext,
                        [&](QZPlaygraphSegmentTransitionConfiguration& configuration) {
                            py::object view = py::cast(ConfigurationView{&configuration});
                            CallbackScope::run([&] { function(view); }, "a configure callback");
                            view.cast<ConfigurationView&>().target = nullptr;
                        });
                });
            },
            py::arg("source"), py::arg("to"), py::arg("set_as_next") = false,
            py::arg("properties") = py::none(), py::kw_only(), py::arg("configure") = py::none(),
            "Adds a transition from source to to (a segment of another playgraph, as a rule) "
            "made from properties (\"weight\", \"skipRegionOffset\" in milliseconds, "
            "\"autoplayType\", \"transitionType\"), or, with configure, a callable that receives "
            "the new transition's QZPlaygraphSegmentTransitionConfiguration once. It replaces "
            "an earlier transition from source to a segment with to's id. With set_as_next, to "
            "also becomes the next segment after source.");
}

void bindClasses(py::module_& m) {
    using Single = PlaygraphPlayerMutableDataSource;
    py::class_<Single, QZPlaygraphPlayerMutableDataSource, std::shared_ptr<Single>>(
        m, "PlaygraphPlayerMutableDataSource",
        "The data source for one playgraph. It owns its playgraph, tracking info and "
        "overrides; lookups and the graph walks use the playgraph, next_segment_after_segment "
        "and the playback-path walk follow the overrides.")
        .def(py::init([](const PlaygraphPtr& playgraph, const py::object& trackingInfo) {
                 if (!playgraph) return Single::create();
                 return Single::create(playgraph, toOptionalDictionary(trackingInfo));
             }),
             py::arg("playgraph") = py::none(), py::arg("tracking_info") = py::none(),
             "A data source of playgraph (none: no playgraph) with a copy of tracking_info.")
        .def_property_readonly("initial_segment", &Single::initialSegment,
                               "The playgraph's initial segment, or None.")
        .def_property_readonly("initial_start_time", &Single::initialStartTime, "Always 0.0.")
        .def_property("initial_playgraph", &Single::initialPlaygraph, &Single::setInitialPlaygraph,
                      docs::PlaygraphPlayerMutableDataSource::initialPlaygraph)
        .def_property("playgraph", &Single::playgraph, &Single::setPlaygraph,
                      "The playgraph; setting it does not tell the observer.")
        .def_property(
            "tracking_info",
            [](const Single& self) { return fromOptionalDictionary(self.trackingInfo()); },
            [](Single& self, const py::object& info) {
                self.setTrackingInfo(toOptionalDictionary(info));
            });

    using Composite = PlaygraphPlayerCompositeDataSource;
    py::class_<Composite, QZPlaygraphPlayerCompositeDataSource, std::shared_ptr<Composite>>(
        m, "PlaygraphPlayerCompositeDataSource",
        "A data source that plays through several playgraphs as one. Playback leaves a "
        "playgraph only through an override or an inter-playgraph transition. Segment lookup "
        "and the walks use plain segment ids (the first registered playgraph that knows an id "
        "answers).")
        .def(py::init([](const PlaygraphPtr& playgraph, const py::object& trackingInfo,
                         const std::optional<PlaygraphPosition>& startPosition) {
                 const auto info = toOptionalDictionary(trackingInfo);
                 if (startPosition) return Composite::create(playgraph, info, *startPosition);
                 return Composite::create(playgraph, info);
             }),
             py::arg("playgraph") = py::none(), py::arg("tracking_info") = py::none(),
             py::arg("start_position") = py::none(),
             "Registers playgraph (which becomes the initial playgraph) with tracking_info and "
             "bookmarks start_position (default: the playgraph's initial position).")
        .def("inter_playgraph_transitions_for_segment",
             &Composite::interPlaygraphTransitionsForSegment, py::arg("segment"),
             "The inter-playgraph transitions leaving segment, in the order first added.")
        .def_property("bookmark_position", &Composite::bookmarkPosition,
                      &Composite::setBookmarkPosition,
                      "Where playback starts; its segment is held weakly.")
        .def_property("initial_playgraph", &Composite::initialPlaygraph,
                      &Composite::setInitialPlaygraph)
        .def_property_readonly(
            "playgraphs_by_id",
            [](const Composite& self) {
                py::dict playgraphs;
                for (const auto& [id, playgraph] : self.playgraphsById()) {
                    playgraphs[py::str(id)] = playgraph;
                }
                return playgraphs;
            },
            "The registered playgraphs, a new dict from playgraph_id, in registration order.");
}

} // namespace

void bindDataSources(py::module_& m) {
    bindObserver(m);
    bindReadInterface(m);
    bindMutableInterface(m);
    bindCompositeInterface(m);
    bindClasses(m);
}

} // namespace playgraph::python

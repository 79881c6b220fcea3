// The playback session and its observer (implemented in Python).

#include <pybind11/stl.h>

#include "Convert.hpp"
#include "Docstrings.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"
#include "playgraph/playback/PlaybackSession.hpp"

namespace playgraph::python {

namespace {

using Observer = PlaybackSessionObserver;

// The observer as Python subclasses implement it. A method the subclass
// does not define does nothing; what one raises is collected by the
// enclosing CallbackScope and raised once the session's call returns.
class PythonSessionObserver : public Observer {
public:
    void sessionDidEnterSegment(PlaybackSession& session, const TimelineEntry& entry) override {
        call("session_did_enter_segment", session, entry);
    }
    void sessionDidReachDecisionWindow(PlaybackSession& session,
                                       const Decision& decision) override {
        call("session_did_reach_decision_window", session, decision);
    }
    void sessionDidDecide(PlaybackSession& session, const DecisionRecord& record) override {
        call("session_did_decide", session, record);
    }
    void sessionDidEnd(PlaybackSession& session) override { call("session_did_end", session); }

private:
    template <class... Args>
    void call(const char* name, PlaybackSession& session, const Args&... args) {
        py::gil_scoped_acquire gil;
        CallbackScope::run(
            [&] {
                if (py::function method =
                        py::get_override(static_cast<const Observer*>(this), name))
                    method(py::cast(session, py::return_value_policy::reference), args...);
            },
            "a playback session observer");
    }
};

PlaybackSessionOptions optionsOf(double prefetchLead, double decisionWindow) {
    PlaybackSessionOptions options;
    options.prefetchLead = prefetchLead;
    options.decisionWindow = decisionWindow;
    return options;
}

void bindResults(py::module_& m) {
    py::class_<TimelineEntry>(m, "TimelineEntry",
                              "One segment on a session's timeline; times are session seconds.")
        .def_readonly("segment", &TimelineEntry::segment)
        .def_readonly("playgraph", &TimelineEntry::playgraph)
        .def_readonly("start", &TimelineEntry::start)
        .def_readonly("end", &TimelineEntry::end,
                      "Equal to start while the segment's length is unknown.")
        .def_readonly("duration_known", &TimelineEntry::durationKnown)
        .def_readonly("played", &TimelineEntry::played)
        .def("__repr__", [](const TimelineEntry& e) {
            return "TimelineEntry(" +
                   py::repr(py::cast(e.segment->segmentId())).cast<std::string>() + ", " +
                   std::to_string(e.start) + "-" + std::to_string(e.end) + " s)";
        });
    py::class_<SessionDuration>(m, "SessionDuration", "The length of the path that will play.")
        .def_readonly("seconds", &SessionDuration::seconds)
        .def_readonly("known", &SessionDuration::known,
                      "False while a segment's length on the path is unknown.")
        .def_readonly("endless", &SessionDuration::endless,
                      "The predicted path comes back to a segment it passed.");
    py::class_<WayOn>(m, "WayOn", "A way on from a segment and how likely it is taken.")
        .def_readonly("destination", &WayOn::destination)
        .def_property_readonly("transition",
                               [](const WayOn& w) { return castTransition(w.transition); })
        .def_readonly("weight", &WayOn::weight)
        .def_readonly("probability", &WayOn::probability);
    py::class_<Decision>(m, "Decision", docs::Decision::self)
        .def_readonly("entry", &Decision::entry)
        .def_readonly("ways_on", &Decision::waysOn)
        .def_readonly("next", &Decision::next, "What plays after it as things stand, or None.")
        .def_readonly("overridden", &Decision::overridden)
        .def_readonly("window_start", &Decision::windowStart)
        .def_readonly("window_end", &Decision::windowEnd)
        .def_readonly("deadline", &Decision::deadline);
    py::class_<PrefetchEntry>(m, "PrefetchEntry", "Something that may play within a horizon.")
        .def_readonly("segment", &PrefetchEntry::segment)
        .def_property_readonly("viewable_id",
                               [](const PrefetchEntry& e) { return fromValue(e.viewableId); })
        .def_readonly("from_time", &PrefetchEntry::fromTime)
        .def_readonly("to_time", &PrefetchEntry::toTime)
        .def_readonly("probability", &PrefetchEntry::probability)
        .def_readonly("earliest_start", &PrefetchEntry::earliestStart)
        .def_readonly("definite", &PrefetchEntry::definite);
    py::class_<PrefetchPlan>(m, "PrefetchPlan", "A ranked list of what may play.")
        .def_readonly("entries", &PrefetchPlan::entries)
        .def_readonly("complete", &PrefetchPlan::complete);
    py::class_<DecisionRecord>(m, "DecisionRecord", "A decision taken, or passed by default.")
        .def_readonly("segment", &DecisionRecord::segment)
        .def_readonly("destination", &DecisionRecord::destination)
        .def_readonly("defaulted", &DecisionRecord::defaulted)
        .def_readonly("seconds_before_deadline", &DecisionRecord::secondsBeforeDeadline)
        .def_readonly("step", &DecisionRecord::step);
}

} // namespace

void bindPlayback(py::module_& m) {
    bindResults(m);
    py::class_<Observer, PythonSessionObserver, std::shared_ptr<Observer>>(
        m, "PlaybackSessionObserver",
        "What a playback session tells: subclass it and override any method (the base methods "
        "do nothing). The session holds its observer weakly: keep a reference to it. Calls "
        "come synchronously after the session's state changed; an exception a method raises is "
        "raised from the session call that made the change, once it has completed.")
        .def(py::init<>())
        .def(
            "session_did_enter_segment", [](Observer&, const py::object&, const py::object&) {},
            py::arg("session"), py::arg("entry"), "Playback entered entry's segment.")
        .def(
            "session_did_reach_decision_window",
            [](Observer&, const py::object&, const py::object&) {}, py::arg("session"),
            py::arg("decision"), "Playback reached the current segment's decision window.")
        .def(
            "session_did_decide", [](Observer&, const py::object&, const py::object&) {},
            py::arg("session"), py::arg("record"), "A decision was taken or passed by default.")
        .def(
            "session_did_end", [](Observer&, const py::object&) {}, py::arg("session"),
            "The path ended.");

    using S = PlaybackSession;
    py::class_<S, std::shared_ptr<S>>(
        m, "PlaybackSession",
        "A viewer's playback of a story through a mutable data source, driven by the player: "
        "where the viewer is on one timeline, which decisions come up with their windows and "
        "deadlines, and what to prefetch. A choice is a next-segment override on the data "
        "source. Readers never raise; choose, seek and restore raise InvalidArgumentError and "
        "then change nothing.")
        .def(py::init([](const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& source,
                         double prefetchLead, double decisionWindow) {
                 return S::create(source, optionsOf(prefetchLead, decisionWindow));
             }),
             py::arg("data_source"), py::arg("prefetch_lead") = 2.0,
             py::arg("decision_window") = 5.0,
             "A session at the data source's initial position. prefetch_lead: seconds before a "
             "switch by which a choice must be made; decision_window: seconds before a "
             "segment's end at which its window opens (for segments without exit zones).")
        .def_static(
            "restore",
            [](const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& source,
               const py::object& state, double prefetchLead, double decisionWindow) {
                return S::restore(source, toValue(state), optionsOf(prefetchLead, decisionWindow));
            },
            py::arg("data_source"), py::arg("state"), py::arg("prefetch_lead") = 2.0,
            py::arg("decision_window") = 5.0,
            "A session rebuilt from state() on a fresh data source of the same story; raises "
            "InvalidArgumentError when the state does not fit it (and then sets no override).")
        .def_property_readonly("data_source", &S::dataSource)
        .def_property_readonly("position", &S::position)
        .def_property_readonly("session_time", &S::sessionTime)
        .def_property_readonly("ended", &S::ended)
        .def_property_readonly("current_step", &S::currentStep)
        .def(
            "advance", [](S& s, double t) { withCallbacks([&] { s.advance(t); }); },
            py::arg("watchable_time"), "Playback reached watchable_time in the current segment.")
        .def(
            "segment_ended", [](S& s) { withCallbacks([&] { s.segmentEnded(); }); },
            "The current segment played to its end: move on to the next one.")
        .def(
            "seek", [](S& s, double t) { withCallbacks([&] { s.seek(t); }); },
            py::arg("session_time"), "Moves to session_time on the timeline.")
        .def_property_readonly("timeline", &S::timeline,
                               "The played path, the current segment and the predicted rest.")
        .def_property_readonly("duration", &S::duration)
        .def("position_at_session_time", &S::positionAtSessionTime, py::arg("session_time"),
             "The position at session_time (its segment None outside the timeline).")
        .def("session_time_at_position", &S::sessionTimeAtPosition, py::arg("position"),
             "The session time of position; nan when its segment is not on the timeline.")
        .def("ways_on", &S::waysOn, py::arg("segment"),
             "The ways on from segment with their probabilities.")
        .def("upcoming_decisions", &S::upcomingDecisions, py::arg("horizon_seconds"),
             "The decision points that start within horizon_seconds from now.")
        .def_property_readonly("current_decision", &S::currentDecision,
                               "The decision choose() takes, or None.")
        .def(
            "prefetch_plan",
            [](const S& s, double horizon, std::optional<std::size_t> maxEntries,
               std::optional<double> maxSeconds) {
                PrefetchBudget budget;
                if (maxEntries) budget.maxEntries = *maxEntries;
                if (maxSeconds) budget.maxSeconds = *maxSeconds;
                return s.prefetchPlan(horizon, budget);
            },
            py::arg("horizon_seconds"), py::arg("max_entries") = py::none(),
            py::arg("max_seconds") = py::none(),
            "What may play within horizon_seconds, ranked, within the budget.")
        .def(
            "choose",
            [](S& s, const py::object& destination) {
                withCallbacks([&] {
                    if (py::isinstance<py::str>(destination)) {
                        s.choose(destination.cast<std::string>());
                    } else {
                        s.choose(destination.cast<std::shared_ptr<QZPlaygraphSegment>>());
                    }
                });
            },
            py::arg("destination"),
            "Takes the way to destination (a segment or a segment id) at current_decision.")
        .def(
            "back", [](S& s) { return withCallbacks([&] { return s.back(); }); },
            "Returns to the last decision passed, its choices undone; False when there is none.")
        .def_property_readonly("decisions", &S::decisions)
        .def(
            "set_observer",
            [](S& s, const std::shared_ptr<Observer>& observer) { s.setObserver(observer); },
            py::arg("observer"), docs::PlaybackSession::setObserver)
        .def("refresh", &S::refresh, "Rebuilds the predicted timeline.")
        .def(
            "state", [](const S& s) { return fromValue(Value(s.state())); },
            "The session as a dict that JSON can write.");
}

} // namespace playgraph::python

// Video compositions, watchables, the composition factory and its
// dependency key.

#include <pybind11/functional.h>
#include <pybind11/stl.h>

#include "Convert.hpp"
#include "Docstrings.hpp"
#include "playgraph/composition/MutableVideoComposition.hpp"
#include "playgraph/composition/QZVideoCompositionFactoryImpl.hpp"
#include "playgraph/composition/VideoComposition.hpp"
#include "playgraph/composition/VideoCompositionFactoryDependencyKey.hpp"
#include "playgraph/composition/WatchableComposition.hpp"

namespace playgraph::python {

namespace {

using PlaygraphPtr = std::shared_ptr<QZPlaygraph>;

void bindInterfaces(py::module_& m) {
    using V = QZVideoComposition;
    py::class_<V, QZPlaygraph, std::shared_ptr<V>>(
        m, "QZVideoComposition",
        "A video composition: a playgraph assembled from clips (a clip is a segment, a clip "
        "name a segment id). duration is the length of the default path. The range "
        "operations are accepted and ignored.")
        .def("define_range", &V::defineRange, py::arg("range_name"), py::arg("start_time"),
             py::arg("end_time"), docs::QZVideoComposition::defineRange)
        .def("observe_range", &V::observeRange, py::arg("range_name"), py::arg("start_time"),
             py::arg("end_time"), docs::QZVideoComposition::observeRange)
        .def_property_readonly(
            "params", [](const V& self) { return fromParams(self.params()); },
            "The caller's parameters slot (empty at creation); the composition never reads it.");

    using M = QZMutableVideoComposition;
    py::class_<M, QZMutablePlaygraph, V, std::shared_ptr<M>>(
        m, "QZMutableVideoComposition",
        "A video composition that can be edited clip by clip. Each effective clip operation is "
        "one edit and raises its InvalidArgumentError (e.g. 'Cannot find segment X'), leaving "
        "the composition untouched. Times are seconds within the viewable; viewable_id is a "
        "number or None; params a QZPlaygraphParams or None.")
        .def("split_clip", &M::splitClip, py::arg("clip_name"), py::arg("at_offset"),
             py::arg("first_clip_name"), py::arg("second_clip_name"),
             docs::QZMutableVideoComposition::splitClip)
        .def("combine_clip1", &M::combineClip1, py::arg("clip1"), py::arg("with_clip2"),
             py::arg("new_clip_name"), docs::QZMutableVideoComposition::combineClip1)
        .def(
            "prepend_clip",
            [](M& self, const std::string& name, const py::object& viewableId, double startTime,
               double endTime, const py::object& params) {
                self.prependClip(name, toValue(viewableId, true), startTime, endTime,
                                 toParams(params));
            },
            py::arg("new_clip_name"), py::arg("viewable_id"), py::arg("start_time"),
            py::arg("end_time"), py::arg("params") = py::none(),
            docs::QZMutableVideoComposition::prependClip)
        .def(
            "append_clip",
            [](M& self, const std::string& name, const py::object& viewableId, double startTime,
               double endTime, const py::object& params) {
                self.appendClip(name, toValue(viewableId, true), startTime, endTime,
                                toParams(params));
            },
            py::arg("new_clip_name"), py::arg("viewable_id"), py::arg("start_time"),
            py::arg("end_time"), py::arg("params") = py::none(),
            "Adds a clip after the last clip of the default path, as its default next. Raises "
            "'Cannot find segment (null)' when the default path has no last clip.")
        .def(
            "insert_clip",
            [](M& self, const std::string& name, const py::object& viewableId, double startTime,
               double endTime, const std::string& afterClip, const py::object& params) {
                self.insertClip(name, toValue(viewableId, true), startTime, endTime, afterClip,
                                toParams(params));
            },
            py::arg("new_clip_name"), py::arg("viewable_id"), py::arg("start_time"),
            py::arg("end_time"), py::arg("after_clip"), py::arg("params") = py::none(),
            docs::QZMutableVideoComposition::insertClip)
        .def("remove_clip", &M::removeClip, py::arg("clip_name"),
             "Removes a clip and reconnects its neighbours (as remove_segment).")
        .def("make_range_skippable", &M::makeRangeSkippable, py::arg("range_name"),
             docs::QZMutableVideoComposition::makeRangeSkippable)
        .def(
            "localize_clip",
            [](M& self, const std::string& clipName, const std::string& forLocale,
               const py::object& localizedViewableId, double startTime) {
                self.localizeClip(clipName, forLocale, toValue(localizedViewableId, true),
                                  startTime);
            },
            py::arg("clip_name"), py::arg("for_locale"), py::arg("localized_viewable_id"),
            py::arg("start_time"), docs::QZMutableVideoComposition::localizeClip);

    using W = PlayerAPIWatchablePlaygraph;
    py::class_<W, M, std::shared_ptr<W>>(
        m, "PlayerAPIWatchablePlaygraph",
        "A composition that also carries the properties of a playback request. The library "
        "never reads them; each is read and written atomically, from any thread.")
        .def_property_readonly(
            "ui_play_context",
            [](const W& self) { return fromOptionalDictionary(self.uiPlayContext()); },
            "The UI play context (a new dict), or None.")
        .def_property("selected_start_segment_id", &W::selectedStartSegmentId,
                      &W::setSelectedStartSegmentId)
        .def_property("fetch_options", &W::fetchOptions, &W::setFetchOptions)
        .def_property("allows_external_playback", &W::allowsExternalPlayback,
                      &W::setAllowsExternalPlayback)
        .def_property("rebuild_context_id", &W::rebuildContextId, &W::setRebuildContextId)
        .def_property("prerelease_pin", &W::prereleasePin, &W::setPrereleasePin)
        .def_property("discrete_play_type", &W::discretePlayType, &W::setDiscretePlayType)
        .def_property("sticky_steering_token", &W::stickySteeringToken, &W::setStickySteeringToken);
}

// The one-clip factories of the composition classes, bound on each class.
template <class T, class Class> void bindOneClipFactory(Class& cls, const char* doc) {
    cls.def_static(
        "create_video_composition_for_viewable_id",
        [](const py::object& viewableId, const std::optional<std::string>& initialName,
           double startTime, double endTime, const py::object& params) {
            return T::createVideoCompositionForViewableId(toValue(viewableId, true), initialName,
                                                          startTime, endTime, toParams(params));
        },
        py::arg("viewable_id"), py::arg("initial_name") = py::none(), py::arg("start_time") = 0.0,
        py::arg("end_time") = 0.0, py::arg("playgraph_params") = py::none(), doc);
}

template <class T, class Class> void bindConversionFactory(Class& cls) {
    cls.def_static(
        "create_video_composition_for_main_viewable_id",
        [](const py::object& mainViewableId, const PlaygraphPtr& playgraph) {
            return T::createVideoCompositionForMainViewableId(toValue(mainViewableId, true),
                                                              playgraph);
        },
        py::arg("main_viewable_id"), py::arg("playgraph"),
        "A composition converted from playgraph: the segments a depth-first walk from its "
        "initial segment reaches, with \"main\" = main_viewable_id (when not None) on every "
        "segment and times in whole milliseconds.");
}

void bindClasses(py::module_& m) {
    auto video = py::class_<VideoComposition, MutablePlaygraph, QZVideoComposition,
                            std::shared_ptr<VideoComposition>>(
        m, "VideoComposition",
        "A video composition: an editable playgraph built from clips. Every editing operation "
        "of MutablePlaygraph works on it; params is a slot for the caller.");
    bindOneClipFactory<VideoComposition>(
        video, "A composition of one clip named initial_name (or 'video'), which is also the "
               "initial segment, from start_time to end_time seconds of viewable_id (an end of "
               "0 or less plays to the end of the viewable), with playgraph_params in the "
               "segment's user info when given. No \"main\".");
    video.def_property(
        "params", [](const VideoComposition& self) { return fromParams(self.params()); },
        [](VideoComposition& self, const py::object& params) { self.setParams(toParams(params)); },
        "The caller's parameters slot; the composition never reads it.");

    auto mutableVideo =
        py::class_<MutableVideoComposition, VideoComposition, QZMutableVideoComposition,
                   std::shared_ptr<MutableVideoComposition>>(
            m, "MutableVideoComposition",
            "A video composition edited clip by clip. combine_clip1, make_range_skippable, "
            "localize_clip, define_range, observe_range and add_transition_from_segment do "
            "nothing at all.");
    bindOneClipFactory<MutableVideoComposition>(
        mutableVideo, "As VideoComposition's factory, but the segment gets \"main\" = "
                      "viewable_id and always \"endTimeMs\".");
    bindConversionFactory<MutableVideoComposition>(mutableVideo);

    auto watchable = py::class_<WatchableComposition, MutableVideoComposition,
                                PlayerAPIWatchablePlaygraph, std::shared_ptr<WatchableComposition>>(
        m, "WatchableComposition",
        "A composition made for a playback request: a MutableVideoComposition that also "
        "carries the eight playback-request properties (false, 0 and None at creation).");
    bindOneClipFactory<WatchableComposition>(watchable, "As MutableVideoComposition's factory.");
    bindConversionFactory<WatchableComposition>(watchable);
    watchable
        .def_static(
            "watchable_with_video_id",
            [](const py::object& videoId, const std::optional<std::string>& name, double startTime,
               double endTime, const py::object& uiPlayContext, const py::object& params) {
                return WatchableComposition::watchableWithVideoId(
                    toValue(videoId, true), name, startTime, endTime,
                    toOptionalDictionary(uiPlayContext), toParams(params));
            },
            py::arg("video_id"), py::arg("name"), py::arg("start_time"), py::arg("end_time"),
            py::arg("ui_play_context") = py::none(), py::arg("playgraph_params") = py::none(),
            docs::WatchableComposition::watchableWithVideoId)
        .def_static(
            "watchable_with_main_viewable_id",
            [](const py::object& mainViewableId, const PlaygraphPtr& playgraph,
               const py::object& context) {
                return WatchableComposition::watchableWithMainViewableId(
                    toValue(mainViewableId, true), playgraph, toOptionalDictionary(context));
            },
            py::arg("main_viewable_id"), py::arg("playgraph"),
            py::arg("ui_play_context") = py::none(),
            docs::WatchableComposition::watchableWithMainViewableId)
        .def_property(
            "ui_play_context",
            [](const WatchableComposition& self) {
                return fromOptionalDictionary(self.uiPlayContext());
            },
            [](WatchableComposition& self, const py::object& context) {
                self.setUiPlayContext(toOptionalDictionary(context));
            },
            "The UI play context (stored and returned as copies), or None.");
}

void bindFactory(py::module_& m) {
    using F = QZVideoCompositionFactory;
    py::class_<F, std::shared_ptr<F>>(
        m, "QZVideoCompositionFactory",
        "Makes compositions and watchables for playback requests; every result is new and "
        "owned by the caller alone.")
        .def(
            "create_video_composition_for_viewable_id",
            [](F& self, const py::object& viewableId, const std::optional<std::string>& initialName,
               double startTime, double endTime, const py::object& params) {
                return self.createVideoCompositionForViewableId(
                    toValue(viewableId, true), initialName, startTime, endTime, toParams(params));
            },
            py::arg("viewable_id"), py::arg("initial_name"), py::arg("start_time"),
            py::arg("end_time"), py::arg("params") = py::none(),
            docs::QZVideoCompositionFactory::createVideoCompositionForViewableId)
        .def(
            "create_mutable_video_composition_for_viewable_id",
            [](F& self, const py::object& viewableId, const std::optional<std::string>& initialName,
               double startTime, double endTime, const py::object& params) {
                return self.createMutableVideoCompositionForViewableId(
                    toValue(viewableId, true), initialName, startTime, endTime, toParams(params));
            },
            py::arg("viewable_id"), py::arg("initial_name"), py::arg("start_time"),
            py::arg("end_time"), py::arg("params") = py::none(),
            docs::QZVideoCompositionFactory::createMutableVideoCompositionForViewableId)
        .def(
            "watchable_with_video_id",
            [](F& self, const py::object& videoId, const std::optional<std::string>& name,
               double startTime, double endTime, const py::object& uiPlayContext,
               const py::object& params) {
                return self.watchableWithVideoId(toValue(videoId, true), name, startTime, endTime,
                                                 toOptionalDictionary(uiPlayContext),
                                                 toParams(params));
            },
            py::arg("video_id"), py::arg("name"), py::arg("start_time"), py::arg("end_time"),
            py::arg("ui_play_context") = py::none(), py::arg("playgraph_params") = py::none(),
            docs::QZVideoCompositionFactory::watchableWithVideoId)
        .def(
            "watchable_with_main_video_id",
            [](F& self, const py::object& mainVideoId, const PlaygraphPtr& playgraph,
               const py::object& uiPlayContext) {
                return self.watchableWithMainVideoId(toValue(mainVideoId, true), playgraph,
                                                     toOptionalDictionary(uiPlayContext));
            },
            py::arg("main_video_id"), py::arg("playgraph"), py::arg("ui_play_context") = py::none(),
            docs::QZVideoCompositionFactory::watchableWithMainVideoId);
    py::class_<QZVideoCompositionFactoryImpl, F, std::shared_ptr<QZVideoCompositionFactoryImpl>>(
        m, "QZVideoCompositionFactoryImpl",
        "The library's composition factory; stateless: every instance behaves the same.")
        .def(py::init(&QZVideoCompositionFactoryImpl::create));

    using Key = VideoCompositionFactoryDependencyKey;
    py::class_<Key>(m, "VideoCompositionFactoryDependencyKey",
                    "The dependency key under which hosts find the composition factory. Its "
                    "default value is one process-wide function that makes a factory; "
                    "initially it makes a new QZVideoCompositionFactoryImpl on every call.")
        .def_static("default_value", &Key::defaultValue,
                    "The function held now: calling it makes a factory.")
        .def_static(
            "set_default_value",
            [](const std::optional<Key::DependencyType>& function) {
                Key::setDefaultValue(function.value_or(Key::DependencyType()));
            },
            py::arg("function"),
            "Stores function (a callable returning a QZVideoCompositionFactory) and releases "
            "the previous one; None restores the initial function. Functions handed out "
            "earlier keep making factories their own way.");
    // A Python function held by the process-wide default must go before the
    // interpreter does.
    py::module_::import("atexit").attr("register")(
        py::cpp_function([] { Key::setDefaultValue(Key::DependencyType()); }));
}

} // namespace

void bindCompositions(py::module_& m) {
    bindInterfaces(m);
    bindClasses(m);
    bindFactory(m);
}

} // namespace playgraph::python

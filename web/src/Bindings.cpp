// The embind bindings of the JavaScript package. Handles (playgraphs, edit
// histories, data sources) wrap the library's shared objects; everything
// else crosses as plain values: segments and positions as plain objects,
// misses as undefined, dictionaries as JSON text parsed on the far side.
// Failures become JavaScript errors made by the package's error factory
// (index.js), with the library's message exactly.

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <malloc.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "../../tools/FrontEnd.hpp"
#include "playgraph/composition/MutableVideoComposition.hpp"
#include "playgraph/composition/QZVideoCompositionFactoryImpl.hpp"
#include "playgraph/composition/WatchableComposition.hpp"
#include "playgraph/datasource/PlaygraphPlayerCompositeDataSource.hpp"
#include "playgraph/datasource/PlaygraphPlayerMutableDataSource.hpp"
#include "playgraph/diff/Diff.hpp"
#include "playgraph/editing/EditHistory.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/json/Json.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/playback/PlaybackSession.hpp"

using emscripten::val;

namespace playgraph::web {

namespace {

// Runs `body`; a C++ failure is handed to the package (index.js), which
// throws it as its JavaScript error of the same kind once the call has
// returned. (A JavaScript exception thrown through the bindings would skip
// the release of their argument buffers.) A failed call returns a default.
template <class F> auto guarded(F&& body) -> decltype(body()) {
    using Result = decltype(body());
    const char* kind = nullptr;
    std::string message;
    try {
        return body();
    } catch (const InvalidArgumentError& e) {
        kind = "InvalidArgumentError";
        message = e.what();
    } catch (const EditHistoryError& e) {
        kind = "EditHistoryError";
        message = e.what();
    } catch (const JsonError& e) {
        kind = "JsonError";
        message = e.what();
    } catch (const DiffError& e) {
        kind = "DiffError";
        message = e.what();
    } catch (const std::exception& e) {
        kind = "Error";
        message = e.what();
    }
    val::module_property("_fail")(std::string(kind), message);
    if constexpr (!std::is_void_v<Result>) return Result{};
}

val optionalString(const std::optional<std::string>& s) { return s ? val(*s) : val::undefined(); }

// A dictionary value as a JavaScript value: scalars directly, containers
// as JSON through the library's writer, so that they read exactly as the
// native tool writes them.
val toJs(const Value& value) {
    const auto data = value.data();
    switch (value.kind()) {
    case Value::Kind::None:
        return val::undefined();
    case Value::Kind::Null:
        return val::null();
    case Value::Kind::Bool:
        return val(std::get<bool>(data));
    case Value::Kind::Int:
        return val(static_cast<double>(std::get<int64_t>(data)));
    case Value::Kind::UInt:
        return val(static_cast<double>(std::get<uint64_t>(data)));
    case Value::Kind::Double:
        return val(std::get<double>(data));
    case Value::Kind::String:
        return val(*value.string());
    case Value::Kind::Object: // a host object has no JavaScript form
        return val::undefined();
    default:
        return val::global("JSON").call<val>("parse", writeJson(value));
    }
}

Value fromJsonText(const std::string& text) { return text.empty() ? Value() : parseJson(text); }

std::optional<Dictionary> optionalDictionary(const std::string& json) {
    const Value value = fromJsonText(json);
    return value.dictionary() ? std::optional(*value.dictionary()) : std::nullopt;
}

val transitionObject(const QZPlaygraphSegmentTransition& t) {
    val o = val::object();
    o.set("destinationSegmentId", t.destinationSegmentId());
    o.set("weight", toJs(t.weight()));
    o.set("transitionType", optionalString(t.transitionType()));
    o.set("effectiveTransitionType", optionalString(t.effectiveTransitionType()));
    const auto skip = t.skipRegionOffset();
    o.set("skipRegionOffset", skip ? val(*skip) : val::undefined());
    o.set("autoplayType", static_cast<double>(t.autoplayType()));
    return o;
}

val segmentObject(const QZPlaygraphSegment& s) {
    val o = val::object();
    o.set("segmentId", s.segmentId());
    o.set("viewableId", toJs(s.viewableId()));
    o.set("startTime", s.startTime());
    o.set("endTime", s.endTime());
    o.set("segmentDuration", s.segmentDuration());
    o.set("offsetInPlaygraph", s.offsetInPlaygraph());
    o.set("playToViewableEnd", s.playToViewableEnd());
    o.set("movieDuration", s.movieDuration());
    o.set("defaultNext", optionalString(s.defaultNext()));
    o.set("transitionType", optionalString(s.transitionType()));
    o.set("canonicalSegmentId", s.canonicalSegmentId());
    o.set("isDecorativeSegment", s.isDecorativeSegment());
    o.set("fixedRate", s.fixedRate());
    o.set("annotations", s.annotations() ? toJs(Value(*s.annotations())) : val::undefined());
    o.set("userInfo", s.userInfo() ? toJs(Value(*s.userInfo())) : val::undefined());
    val next = val::array();
    for (const auto& [id, transition] : s.next()) {
        if (transition) next.call<void>("push", transitionObject(*transition));
    }
    o.set("next", next);
    o.set("allowsSeekWithin", s.allowsSeekWithin());
    o.set("allowsSkipForward", s.allowsSkipForward());
    o.set("allowsSkipBackward", s.allowsSkipBackward());
    o.set("breakIndex", static_cast<double>(s.breakIndex()));
    o.set("description", s.description());
    const auto graph = s.playgraph();
    o.set("onDefaultPath",
          graph && tool::isOnDefaultPath(*graph, graph->segmentById(s.segmentId())));
    return o;
}

val positionObject(const PlaygraphPosition& p) {
    val o = val::object();
    o.set("segmentId", p.segment ? val(p.segment->segmentId()) : val::undefined());
    o.set("watchableTime", p.watchableTime);
    return o;
}

val stringList(const std::vector<std::string>& ids) {
    val out = val::array();
    for (const auto& id : ids)
        out.call<void>("push", id);
    return out;
}

// A walk's steps: handed one by one to `callback` (which returns true to
// stop), or gathered into an array of {segmentId, index} when it is
// undefined. `limit` ends a walk that would not end by itself.
TraversalCallback stepsInto(val& out, const val& callback, std::size_t limit = SIZE_MAX) {
    return [&out, callback, limit](const std::shared_ptr<QZPlaygraphSegment>& segment,
                                   uint64_t index, bool& stop) {
        val step = val::object();
        step.set("segmentId", segment ? val(segment->segmentId()) : val::undefined());
        step.set("index", static_cast<double>(index));
        if (callback.isUndefined()) {
            out.call<void>("push", step);
            if (out["length"].as<std::size_t>() >= limit) stop = true;
        } else if (callback(step).as<bool>()) {
            stop = true;
        }
    };
}

// What a playgraph handle holds: the library's object, read through its
// interface. Misses read undefined; nothing here throws.
class Graph {
public:
    explicit Graph(std::shared_ptr<PlaygraphBase> graph) : graph_(std::move(graph)) {}
    virtual ~Graph() = default;

    double duration() const { return graph_->duration(); }
    std::string playgraphId() const { return graph_->playgraphId(); }
    val initialSegmentId() const { return optionalString(graph_->initialSegmentId()); }
    val type() const { return optionalString(graph_->type()); }
    val mainViewableId() const { return toJs(graph_->mainViewableId()); }
    val segmentIds() const {
        std::vector<std::string> ids;
        for (const auto& [id, segment] : graph_->segmentMap())
            ids.push_back(id);
        return stringList(ids);
    }
    val segmentById(const std::string& id) const {
        const auto segment = graph_->segmentById(id);
        return segment ? segmentObject(*segment) : val::undefined();
    }
    val segmentIdAtPlaygraphTime(double time) const {
        return optionalString(graph_->segmentIdAtPlaygraphTime(time));
    }
    val segmentIdsForPosition(double position, double viewableId) const {
        if (!(viewableId >= 0) || viewableId > 1.8e19) return val::undefined();
        const auto ids = graph_->segmentIdsForPosition(position, static_cast<uint64_t>(viewableId));
        return ids ? stringList(*ids) : val::undefined();
    }
    double playgraphOffsetForPlayerTime(double playerTime, const std::string& segmentId) const {
        return graph_->playgraphOffsetForPlayerTime(playerTime, graph_->segmentById(segmentId));
    }
    double playerTimeForPlaygraphOffset(double offset) const {
        return graph_->playerTimeForPlaygraphOffset(offset);
    }
    bool isPlaybackContiguousFromSegment(const std::string& from, const std::string& to) const {
        return graph_->isPlaybackContiguousFromSegment(graph_->segmentById(from),
                                                       graph_->segmentById(to));
    }
    val initialPosition() const { return positionObject(graph_->initialPosition()); }
    val positionAtPlaygraphOffsetAlongDefaultPlaybackPath(double offset) const {
        return positionObject(graph_->positionAtPlaygraphOffsetAlongDefaultPlaybackPath(offset));
    }
    val positionAtStartOfSegment(const std::string& id) const {
        return positionObject(graph_->positionAtStartOfSegment(id));
    }
    val positionAtSegmentViewableTime(const std::string& id, double time) const {
        return positionObject(graph_->positionAtSegmentViewableTime(id, time));
    }
    val positionAtSegmentSegmentOffset(const std::string& id, double offset) const {
        return positionObject(graph_->positionAtSegmentSegmentOffset(id, offset));
    }
    val positionAtViewableTime(double time, const std::string& viewableIdJson) const {
        return positionObject(graph_->positionAtViewableTime(time, fromJsonText(viewableIdJson)));
    }
    val defaultPathTraversal(val callback) const {
        val out = val::array();
        graph_->defaultPathTraversal(stepsInto(out, callback));
        return callback.isUndefined() ? out : val::undefined();
    }
    val depthFirstTraversalFromSegmentId(val from, val callback) const {
        val out = val::array();
        const auto id = from.isString() ? std::optional(from.as<std::string>()) : std::nullopt;
        graph_->depthFirstTraversalFromSegmentId(id, stepsInto(out, callback));
        return callback.isUndefined() ? out : val::undefined();
    }
    val bredthFirstTraversalFromSegmentId(val from, double maxDepth, val callback) const {
        val out = val::array();
        const auto id = from.isString() ? std::optional(from.as<std::string>()) : std::nullopt;
        const uint64_t depth =
            maxDepth >= 1.8e19 ? UINT64_MAX : static_cast<uint64_t>(std::max(0.0, maxDepth));
        graph_->bredthFirstTraversalFromSegmentId(id, depth, stepsInto(out, callback));
        return callback.isUndefined() ? out : val::undefined();
    }
    // The player reports a viewable's length; the playgraph recomputes.
    bool setMovieDuration(const std::string& segmentId, double seconds) {
        const auto segment = graph_->segmentById(segmentId);
        if (!segment) return false;
        segment->setMovieDuration(seconds);
        return true;
    }
    bool isEditable() const { return false; }

    const std::shared_ptr<PlaygraphBase>& graph() const { return graph_; }

protected:
    std::shared_ptr<PlaygraphBase> graph_;
};

class EditableGraph : public Graph {
public:
    explicit EditableGraph(std::shared_ptr<MutablePlaygraph> graph)
        : Graph(graph), editable_(std::move(graph)) {}

    void splitSegment(const std::string& id, double at, const std::string& first,
                      const std::string& second) {
        guarded([&] {
            // As the other front ends refuse it: a cut that would make a half
            // without length.
            if (auto problem = tool::splitOffsetProblem(*editable_, id, at)) {
                throw InvalidArgumentError(*problem);
            }
            editable_->splitSegment(id, at, first, second);
        });
    }
    void insertSegmentAfter(const std::string& existing, const std::string& id,
                            const std::string& viewableIdJson, double start, double end,
                            bool asDeafaultNext) {
        guarded([&] {
            editable_->insertSegmentAfter(existing, id, fromJsonText(viewableIdJson), start, end,
                                          asDeafaultNext, nullptr);
        });
    }
    void insertSegmentBefore(const std::string& existing, const std::string& id,
                             const std::string& viewableIdJson, double start, double end) {
        guarded([&] {
            editable_->insertSegmentBefore(existing, id, fromJsonText(viewableIdJson), start, end,
                                           nullptr);
        });
    }
    void removeSegment(const std::string& id) {
        guarded([&] { editable_->removeSegment(id); });
    }
    void addTransitionFromSegment(const std::string& from, const std::string& to, bool asDefault,
                                  const std::string& propertiesJson) {
        guarded([&] {
            editable_->addTransitionFromSegment(from, to, asDefault, fromJsonText(propertiesJson));
        });
    }
    void updatePropertiesForTransitionFrom(const std::string& from, const std::string& to,
                                           const std::string& propertiesJson) {
        guarded([&] {
            editable_->updatePropertiesForTransitionFrom(from, to, fromJsonText(propertiesJson));
        });
    }
    void updatePropertiesForAllTransitionsTo(const std::string& to,
                                             const std::string& propertiesJson) {
        guarded([&] {
            editable_->updatePropertiesForAllTransitionsTo(to, fromJsonText(propertiesJson));
        });
    }
    void updatePropertiesForAllTransitionfrom(const std::string& from,
                                              const std::string& propertiesJson) {
        guarded([&] {
            editable_->updatePropertiesForAllTransitionfrom(from, fromJsonText(propertiesJson));
        });
    }
    void updateDefaultNextFromSegment(const std::string& from, const std::string& to) {
        guarded([&] { editable_->updateDefaultNextFromSegment(from, to); });
    }
    void supportSkippingSegment(const std::string& from, const std::string& to, double after,
                                double weight) {
        guarded([&] {
            // The library takes an unsigned whole number; JavaScript has none.
            if (!(weight >= 0) || weight >= 18446744073709551616.0 ||
                std::floor(weight) != weight) {
                throw InvalidArgumentError("weight must be a whole number from 0");
            }
            editable_->supportSkippingSegment(from, to, after, static_cast<uint64_t>(weight));
        });
    }
    std::string dumps(bool pretty) const {
        return guarded([&] {
            return writeJson(Value(editable_->dictionaryRepresentation()),
                             pretty ? JsonStyle::Pretty : JsonStyle::Compact);
        });
    }
    bool isEditable() const { return true; }

    const std::shared_ptr<MutablePlaygraph>& editable() const { return editable_; }

private:
    std::shared_ptr<MutablePlaygraph> editable_;
};

// A playgraph's dictionary from JSON text, refused as the tool and the
// Python package refuse it when its top level is not an object.
Value playgraphDictionary(const std::string& text) {
    Value dictionary = parseJson(text);
    if (!dictionary.isDictionary()) {
        throw JsonError(std::string(tool::kTopLevelNotAnObject), std::nullopt, "", "<input>");
    }
    return dictionary;
}

// The default viewable id as every front end chooses it: the one given, else
// the segments' first "main" value.
Value defaultViewableId(const std::string& givenJson, const Value& dictionary) {
    const Value given = fromJsonText(givenJson);
    return given.isNone() ? tool::firstMainValue(dictionary) : given;
}

// The texts of the call index.js is about to make, as UTF-8 bytes that it
// writes straight into the module's heap (a copy of a string argument
// through the bindings goes byte by byte); the call takes them out.
std::string texts[3];
uintptr_t textBuffer(int slot, std::size_t size) {
    std::string& text = texts[slot % 3];
    text.resize(size);
    return reinterpret_cast<uintptr_t>(text.data());
}
std::string takeText(int slot) { return std::exchange(texts[slot % 3], std::string()); }

Graph* loadGraph(int textSlot, const std::string& viewableIdJson) {
    return guarded([&] {
        const Value dictionary = playgraphDictionary(takeText(textSlot));
        return new Graph(
            Playgraph::create(dictionary, defaultViewableId(viewableIdJson, dictionary)));
    });
}

EditableGraph* loadEditableGraph(int textSlot, const std::string& viewableIdJson) {
    return guarded([&] {
        const Value dictionary = playgraphDictionary(takeText(textSlot));
        return new EditableGraph(
            MutablePlaygraph::create(dictionary, defaultViewableId(viewableIdJson, dictionary)));
    });
}

// A composition: an editable playgraph made from clips (a clip is a
// segment, its name the segment id), with ranges.
class VideoComp : public EditableGraph {
public:
    explicit VideoComp(std::shared_ptr<VideoComposition> composition)
        : EditableGraph(composition), video_(std::move(composition)) {}

    void defineRange(const std::string& range, double start, double end) {
        guarded([&] { video_->defineRange(range, start, end); });
    }
    void observeRange(const std::string& range, double start, double end) {
        guarded([&] { video_->observeRange(range, start, end); });
    }

private:
    std::shared_ptr<VideoComposition> video_;
};

// A composition edited clip by clip.
class Composition : public VideoComp {
public:
    explicit Composition(std::shared_ptr<MutableVideoComposition> composition)
        : VideoComp(composition), composition_(std::move(composition)) {}

    void appendClip(const std::string& name, const std::string& viewableIdJson, double start,
                    double end) {
        guarded([&] {
            composition_->appendClip(name, fromJsonText(viewableIdJson), start, end, nullptr);
        });
    }
    void prependClip(const std::string& name, const std::string& viewableIdJson, double start,
                     double end) {
        guarded([&] {
            composition_->prependClip(name, fromJsonText(viewableIdJson), start, end, nullptr);
        });
    }
    void insertClip(const std::string& name, const std::string& viewableIdJson, double start,
                    double end, const std::string& afterClip) {
        guarded([&] {
            composition_->insertClip(name, fromJsonText(viewableIdJson), start, end, afterClip,
                                     nullptr);
        });
    }
    void removeClip(const std::string& name) {
        guarded([&] { composition_->removeClip(name); });
    }
    void splitClip(const std::string& name, double at, const std::string& first,
                   const std::string& second) {
        guarded([&] { composition_->splitClip(name, at, first, second); });
    }
    void combineClip1(const std::string& clip1, const std::string& withClip2,
                      const std::string& newName) {
        guarded([&] { composition_->combineClip1(clip1, withClip2, newName); });
    }
    void makeRangeSkippable(const std::string& range) {
        guarded([&] { composition_->makeRangeSkippable(range); });
    }

private:
    std::shared_ptr<MutableVideoComposition> composition_;
};

// A composition made for a playback request, with the request's eight
// properties (opaque to the library; none is part of the dictionary).
class Watchable : public Composition {
public:
    explicit Watchable(std::shared_ptr<WatchableComposition> watchable)
        : Composition(watchable), watchable_(std::move(watchable)) {}

    val uiPlayContext() const {
        const auto context = watchable_->uiPlayContext();
        return context ? toJs(Value(*context)) : val::undefined();
    }
    void setUiPlayContext(const std::string& json) {
        guarded([&] { watchable_->setUiPlayContext(optionalDictionary(json)); });
    }
    val selectedStartSegmentId() const {
        return optionalString(watchable_->selectedStartSegmentId());
    }
    void setSelectedStartSegmentId(val id) { watchable_->setSelectedStartSegmentId(text(id)); }
    double fetchOptions() const { return static_cast<double>(watchable_->fetchOptions()); }
    void setFetchOptions(double options) {
        guarded([&] {
            // An unsigned whole number, which JavaScript keeps exactly up to 2^53.
            if (!(options >= 0) || options > 9007199254740991.0 || std::floor(options) != options) {
                throw InvalidArgumentError(
                    "fetch options must be a whole number from 0 to 2^53 - 1");
            }
            watchable_->setFetchOptions(static_cast<uint64_t>(options));
        });
    }
    bool allowsExternalPlayback() const { return watchable_->allowsExternalPlayback(); }
    void setAllowsExternalPlayback(bool allows) { watchable_->setAllowsExternalPlayback(allows); }
    val rebuildContextId() const { return optionalString(watchable_->rebuildContextId()); }
    void setRebuildContextId(val id) { watchable_->setRebuildContextId(text(id)); }
    val prereleasePin() const { return optionalString(watchable_->prereleasePin()); }
    void setPrereleasePin(val pin) { watchable_->setPrereleasePin(text(pin)); }
    val discretePlayType() const { return optionalString(watchable_->discretePlayType()); }
    void setDiscretePlayType(val type) { watchable_->setDiscretePlayType(text(type)); }
    val stickySteeringToken() const { return optionalString(watchable_->stickySteeringToken()); }
    void setStickySteeringToken(val token) { watchable_->setStickySteeringToken(text(token)); }

private:
    // A string stays a string; anything else clears the property.
    static std::optional<std::string> text(const val& v) {
        return v.isString() ? std::optional(v.as<std::string>()) : std::nullopt;
    }

    std::shared_ptr<WatchableComposition> watchable_;
};

std::optional<std::string> optionalName(const val& name) {
    return name.isString() ? std::optional(name.as<std::string>()) : std::nullopt;
}

// The library's composition factory, as the host finds it under its
// dependency key: what it makes is the caller's alone.
VideoComp* factoryVideoComposition(const std::string& viewableIdJson, val name, double start,
                                   double end) {
    return guarded([&]() -> VideoComp* {
        const auto made =
            QZVideoCompositionFactoryImpl::create()->createVideoCompositionForViewableId(
                fromJsonText(viewableIdJson), optionalName(name), start, end, nullptr);
        return new VideoComp(std::dynamic_pointer_cast<VideoComposition>(made));
    });
}

Composition* factoryMutableVideoComposition(const std::string& viewableIdJson, val name,
                                            double start, double end) {
    return guarded([&]() -> Composition* {
        const auto made =
            QZVideoCompositionFactoryImpl::create()->createMutableVideoCompositionForViewableId(
                fromJsonText(viewableIdJson), optionalName(name), start, end, nullptr);
        return new Composition(std::dynamic_pointer_cast<MutableVideoComposition>(made));
    });
}

Watchable* factoryWatchableWithVideoId(const std::string& videoIdJson, val name, double start,
                                       double end, const std::string& contextJson) {
    return guarded([&]() -> Watchable* {
        const auto made = QZVideoCompositionFactoryImpl::create()->watchableWithVideoId(
            fromJsonText(videoIdJson), optionalName(name), start, end,
            optionalDictionary(contextJson), nullptr);
        return new Watchable(std::dynamic_pointer_cast<WatchableComposition>(made));
    });
}

Watchable* factoryWatchableWithMainVideoId(const std::string& mainVideoIdJson, const Graph& graph,
                                           const std::string& contextJson) {
    return guarded([&]() -> Watchable* {
        const auto made = QZVideoCompositionFactoryImpl::create()->watchableWithMainVideoId(
            fromJsonText(mainVideoIdJson), graph.graph(), optionalDictionary(contextJson));
        return new Watchable(std::dynamic_pointer_cast<WatchableComposition>(made));
    });
}

Composition* createVideoComposition(const std::string& viewableIdJson, val name, double start,
                                    double end) {
    return guarded([&] {
        const auto initial = name.isString() ? std::optional(name.as<std::string>()) : std::nullopt;
        auto composition = MutableVideoComposition::createVideoCompositionForViewableId(
            fromJsonText(viewableIdJson), initial, start, end, nullptr);
        if (!composition) throw InvalidArgumentError("no composition for these arguments");
        return new Composition(std::move(composition));
    });
}

std::string dumpsValue(const std::string& text, bool pretty) {
    return guarded([&] {
        return writeJson(parseJson(text), pretty ? JsonStyle::Pretty : JsonStyle::Compact);
    });
}

// Comparing and merging: JSON text in, JSON text out (index.js parses it).
// The texts in slots 0, 1 (and 2).
std::string diffTexts() {
    return guarded([&] {
        const Value before = parseJson(takeText(0));
        return writeJson(diff(before, parseJson(takeText(1))).toValue());
    });
}

std::string applyText() {
    return guarded([&] {
        const Value before = parseJson(takeText(0));
        return writeJson(apply(before, PlaygraphDiff::fromValue(parseJson(takeText(1)))));
    });
}

std::string mergeTexts() {
    return guarded([&] {
        const Value base = parseJson(takeText(0));
        const Value ours = parseJson(takeText(1));
        const MergeResult result = merge(base, ours, parseJson(takeText(2)));
        return writeJson(
            Value(Dictionary{{"merged", result.merged}, {"conflicts", result.conflictsValue()}}));
    });
}

std::string dumpsCanonical(const std::string& text) {
    return guarded([&] { return writeJson(parseJson(text), JsonStyle::Canonical); });
}

val lastSegmentIdInDefaultTraversal(const Graph& graph) {
    return optionalString(Playgraph::lastSegmentIdInDefaultTraversalInPlaygraph(graph.graph()));
}

bool sameDefaultTraversal(const Graph& a, const Graph& b) {
    return Playgraph::playgraphHasSameDefaultTraversalAsPlaygraph(a.graph(), b.graph());
}

// An edit history over an editable playgraph handle; the handle stays
// usable (they share the playgraph).
class History {
public:
    History(const EditableGraph& graph, double depthLimit)
        : history_(graph.editable(), depthLimit >= 1 ? static_cast<std::size_t>(depthLimit)
                                                     : EditHistory::kDefaultDepthLimit) {}

    void begin(val label) {
        guarded([&] {
            history_.begin(label.isString() ? std::optional(label.as<std::string>())
                                            : std::nullopt);
        });
    }
    void commit() {
        guarded([&] { history_.commit(); });
    }
    void rollback() {
        guarded([&] { history_.rollback(); });
    }
    void undo() {
        guarded([&] { history_.undo(); });
    }
    void redo() {
        guarded([&] { history_.redo(); });
    }
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }
    bool inTransaction() const { return history_.inTransaction(); }
    bool isStale() const { return history_.isStale(); }
    val undoLabel() const { return optionalString(history_.undoLabel()); }
    val redoLabel() const { return optionalString(history_.redoLabel()); }
    val undoLabels() const { return stringList(history_.undoLabels()); }
    val redoLabels() const { return stringList(history_.redoLabels()); }
    void clear() { history_.clear(); }

private:
    EditHistory history_;
};

// Calls a JavaScript dispatcher (made by index.js, which catches what the
// observer throws) after the data source's state changed.
class Observer : public QZPlaygraphPlayerDataSourceChangeObserver {
public:
    explicit Observer(val dispatch) : dispatch_(std::move(dispatch)) {}
    void dataSourceDidChangeNextSegmentAfterSegment(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>&,
        const std::shared_ptr<QZPlaygraphSegment>& segment) override {
        dispatch_(std::string("nextSegment"),
                  segment ? val(segment->segmentId()) : val::undefined());
    }
    void dataSourceDidUpdatePlaygraph(const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>&,
                                      const std::shared_ptr<QZPlaygraph>&) override {
        dispatch_(std::string("playgraph"), val::undefined());
    }

private:
    val dispatch_;
};

// What both data sources share: the player's read side and the overrides,
// with segments named by id and looked up through the data source (in a
// composite, the first registered playgraph that knows the id).
class SourceBase {
public:
    explicit SourceBase(std::shared_ptr<PlaygraphPlayerDataSourceCore> source)
        : source_(std::move(source)) {}
    virtual ~SourceBase() = default;

    val initialPosition() const { return positionObject(source_->initialPosition()); }
    val nextSegmentAfterSegment(val id) const {
        const auto next = source_->nextSegmentAfterSegment(ref(id));
        return next ? val(next->segmentId()) : val::undefined();
    }
    val transitionsFromSourceSegment(val id) const {
        val out = val::array();
        for (const auto& t : source_->transitionsFromSourceSegment(ref(id)))
            if (t) out.call<void>("push", transitionObject(*t));
        return out;
    }
    val segmentById(val id) const {
        const auto s = ref(id);
        return s ? segmentObject(*s) : val::undefined();
    }
    val trackingInfoForSegment(val id) const {
        const auto info = source_->trackingInfoForSegment(ref(id));
        return info ? toJs(Value(*info)) : val::undefined();
    }
    void setNextSegmentAfter(val id, val next) {
        guarded([&] { source_->setNextSegmentAfter(ref(id), ref(next)); });
    }
    void clearNextSegmentAfter(val id) {
        guarded([&] { source_->clearNextSegmentAfter(ref(id)); });
    }
    void updateNextSegmentWeightsForSegment(val id, const std::string& json) {
        guarded([&] {
            const Value weights = fromJsonText(json);
            source_->updateNextSegmentWeightsForSegment(
                ref(id), weights.dictionary() ? *weights.dictionary() : Dictionary());
        });
    }
    val currentPlaybackPathTraversalFromSegment(val from, val callback) const {
        val out = val::array();
        const auto start = ref(from);
        // Without a callback the path ends before its first repeated segment.
        std::unordered_set<std::string> ids;
        if (callback.isUndefined()) {
            source_->currentPlaybackPathTraversalFromSegment(
                start,
                [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t index, bool& stop) {
                    if (!s || !ids.insert(s->segmentId()).second) {
                        stop = true;
                        return;
                    }
                    val step = val::object();
                    step.set("segmentId", s->segmentId());
                    step.set("index", static_cast<double>(index));
                    out.call<void>("push", step);
                });
            return out;
        }
        source_->currentPlaybackPathTraversalFromSegment(start, stepsInto(out, callback));
        return val::undefined();
    }
    void setChangeObserver(val dispatch) {
        if (dispatch.isUndefined() || dispatch.isNull()) {
            observer_.reset();
        } else {
            observer_ = std::make_shared<Observer>(std::move(dispatch));
        }
        source_->setChangeObserver(observer_);
    }

    const std::shared_ptr<PlaygraphPlayerDataSourceCore>& source() const { return source_; }

    // A segment id, or {playgraphId, segmentId}; anything else names none.
    std::shared_ptr<QZPlaygraphSegment> ref(const val& segment) const {
        if (segment.isString()) return source_->segmentById(segment.as<std::string>());
        if (segment.isUndefined() || segment.isNull()) return nullptr;
        const val segmentId = segment["segmentId"];
        if (!segmentId.isString()) return nullptr;
        const val graphId = segment["playgraphId"];
        if (!graphId.isString()) return source_->segmentById(segmentId.as<std::string>());
        const auto graph = playgraph(graphId.as<std::string>());
        return graph ? graph->segmentById(segmentId.as<std::string>()) : nullptr;
    }
    // The registered playgraph of id `id`, or none.
    virtual std::shared_ptr<QZPlaygraph> playgraph(const std::string& id) const = 0;

protected:
    std::shared_ptr<PlaygraphPlayerDataSourceCore> source_;

private:
    std::shared_ptr<Observer> observer_; // held here: the data source holds it weakly
};

// A data source over one playgraph.
class DataSource : public SourceBase {
public:
    DataSource(const Graph& graph, const std::string& trackingInfoJson)
        : SourceBase(guarded([&] {
              const Value info = fromJsonText(trackingInfoJson);
              return PlaygraphPlayerMutableDataSource::create(
                  graph.graph(),
                  info.dictionary() ? std::optional(*info.dictionary()) : std::nullopt);
          })) {}

    void updatePlaygraph(const Graph& graph) {
        guarded([&] { source_->updatePlaygraph(graph.graph(), std::nullopt, {}); });
    }
    std::shared_ptr<QZPlaygraph> playgraph(const std::string& id) const override {
        const auto& graph = single_->playgraph();
        return graph && graph->playgraphId() == id ? graph : nullptr;
    }

private:
    std::shared_ptr<PlaygraphPlayerMutableDataSource> single_ =
        std::static_pointer_cast<PlaygraphPlayerMutableDataSource>(source_);
};

// A data source that plays through several playgraphs as one. A segment of
// one playgraph in particular is named {playgraphId, segmentId}.
class CompositeSource : public SourceBase {
public:
    CompositeSource(val graph, const std::string& trackingInfoJson, val start)
        : SourceBase(guarded([&]() -> std::shared_ptr<PlaygraphPlayerDataSourceCore> {
              if (graph.isUndefined() || graph.isNull()) {
                  return PlaygraphPlayerCompositeDataSource::create();
              }
              const auto playgraph = graph.as<const Graph&>().graph();
              const auto info = optionalDictionary(trackingInfoJson);
              if (start.isUndefined() || start.isNull()) {
                  return PlaygraphPlayerCompositeDataSource::create(playgraph, info);
              }
              return PlaygraphPlayerCompositeDataSource::create(playgraph, info,
                                                                positionIn(*playgraph, start));
          })),
          composite_(std::static_pointer_cast<PlaygraphPlayerCompositeDataSource>(source_)) {}

    void addPlaygraph(const Graph& graph, const std::string& trackingInfoJson) {
        guarded(
            [&] { composite_->addPlaygraph(graph.graph(), optionalDictionary(trackingInfoJson)); });
    }
    void updateTrackingInfo(const std::string& infoJson, val segment) {
        guarded(
            [&] { composite_->updateTrackingInfo(optionalDictionary(infoJson), ref(segment)); });
    }
    void addTransitionFromSegment(val from, val to, bool setAsNext,
                                  const std::string& propertiesJson) {
        guarded([&] {
            const Value properties = fromJsonText(propertiesJson);
            composite_->addTransitionFromSegment(ref(from), ref(to), setAsNext,
                                                 properties.dictionary() ? *properties.dictionary()
                                                                         : Dictionary());
        });
    }
    val interPlaygraphTransitionsForSegment(val segment) const {
        val out = val::array();
        for (const auto& t : composite_->interPlaygraphTransitionsForSegment(ref(segment))) {
            val o = transitionObject(*t);
            const auto destination = t->destinationPlaygraph();
            o.set("destinationPlaygraphId",
                  destination ? val(destination->playgraphId()) : val::undefined());
            out.call<void>("push", o);
        }
        return out;
    }
    val playgraphIds() const {
        std::vector<std::string> ids;
        for (const auto& [id, playgraph] : composite_->playgraphsById())
            ids.push_back(id);
        return stringList(ids);
    }
    val initialPlaygraphId() const {
        const auto& playgraph = composite_->initialPlaygraph();
        return playgraph ? val(playgraph->playgraphId()) : val::undefined();
    }
    val nextPlaygraphIdAfterPlaygraph(const std::string& playgraphId) const {
        const auto next = composite_->nextPlaygraphAfterPlaygraph(playgraph(playgraphId));
        return next ? val(next->playgraphId()) : val::undefined();
    }
    val trackingInfoForPlaygraph(const std::string& playgraphId) const {
        const auto info = composite_->trackingInfoForPlaygraph(playgraph(playgraphId));
        return info ? toJs(Value(*info)) : val::undefined();
    }
    val bookmarkPosition() const { return positionObject(composite_->bookmarkPosition()); }
    void setBookmarkPosition(val position) {
        const auto segment = ref(position);
        const val time = position["watchableTime"];
        composite_->setBookmarkPosition(
            PlaygraphPosition{segment, time.isNumber() ? time.as<double>() : 0.0});
    }
    val depthFirstTraversalFromSegment(val from, val callback) const {
        val out = val::array();
        composite_->depthFirstTraversalFromSegment(ref(from), stepsInto(out, callback));
        return callback.isUndefined() ? out : val::undefined();
    }
    val bredthFirstTraversalFromSegment(val from, double maxDepth, val callback) const {
        val out = val::array();
        const uint64_t depth =
            maxDepth >= 1.8e19 ? UINT64_MAX : static_cast<uint64_t>(std::max(0.0, maxDepth));
        composite_->bredthFirstTraversalFromSegment(ref(from), depth, stepsInto(out, callback));
        return callback.isUndefined() ? out : val::undefined();
    }

    std::shared_ptr<QZPlaygraph> playgraph(const std::string& id) const override {
        const auto* found = composite_->playgraphsById().find(id);
        return found ? *found : nullptr;
    }

private:
    static PlaygraphPosition positionIn(const QZPlaygraph& graph, const val& position) {
        const val id = position["segmentId"];
        const val time = position["watchableTime"];
        return PlaygraphPosition{id.isString() ? graph.segmentById(id.as<std::string>()) : nullptr,
                                 time.isNumber() ? time.as<double>() : 0.0};
    }

    std::shared_ptr<PlaygraphPlayerCompositeDataSource> composite_;
};

val segmentIdOf(const std::shared_ptr<QZPlaygraphSegment>& segment) {
    return segment ? val(segment->segmentId()) : val::undefined();
}

val timelineEntryObject(const TimelineEntry& e) {
    val o = val::object();
    o.set("segmentId", segmentIdOf(e.segment));
    o.set("playgraphId", e.playgraph ? val(e.playgraph->playgraphId()) : val::undefined());
    o.set("start", e.start);
    o.set("end", e.end);
    o.set("durationKnown", e.durationKnown);
    o.set("played", e.played);
    return o;
}

val decisionObject(const Decision& d) {
    val o = val::object();
    o.set("entry", timelineEntryObject(d.entry));
    val ways = val::array();
    for (const auto& way : d.waysOn) {
        val w = val::object();
        w.set("segmentId", segmentIdOf(way.destination));
        w.set("weight", way.weight);
        w.set("probability", way.probability);
        ways.call<void>("push", w);
    }
    o.set("waysOn", ways);
    o.set("next", segmentIdOf(d.next));
    o.set("overridden", d.overridden);
    o.set("windowStart", d.windowStart);
    o.set("windowEnd", d.windowEnd);
    o.set("deadline", d.deadline);
    return o;
}

val recordObject(const DecisionRecord& r) {
    val o = val::object();
    o.set("segmentId", segmentIdOf(r.segment));
    o.set("destination", segmentIdOf(r.destination));
    o.set("defaulted", r.defaulted);
    o.set("secondsBeforeDeadline", r.secondsBeforeDeadline);
    o.set("step", static_cast<double>(r.step));
    return o;
}

// Calls a JavaScript dispatcher (made by index.js, which catches what the
// observer throws) after the session's state changed.
class SessionObserver : public PlaybackSessionObserver {
public:
    explicit SessionObserver(val dispatch) : dispatch_(std::move(dispatch)) {}
    void sessionDidEnterSegment(PlaybackSession&, const TimelineEntry& entry) override {
        dispatch_(std::string("enter"), timelineEntryObject(entry));
    }
    void sessionDidReachDecisionWindow(PlaybackSession&, const Decision& decision) override {
        dispatch_(std::string("window"), decisionObject(decision));
    }
    void sessionDidDecide(PlaybackSession&, const DecisionRecord& record) override {
        dispatch_(std::string("decide"), recordObject(record));
    }
    void sessionDidEnd(PlaybackSession&) override {
        dispatch_(std::string("end"), val::undefined());
    }

private:
    val dispatch_;
};

// Numbers per entry of a flat prefetch plan: from, to, probability,
// earliest start, definite (1 or 0), the segment's plan id (-1 for none),
// the viewable id (not-a-number for none).
constexpr std::size_t kPlanFields = 7;
// The last flat plan's numbers (index.js reads them from the heap).
std::vector<double> planNumbers;
double planNumbersAddress() {
    return static_cast<double>(reinterpret_cast<uintptr_t>(planNumbers.data()));
}

// The segment ids of flat plans, numbered as first met; index.js keeps the
// same list, taking the new ones after each plan that met some. Restarted
// past kMaxPlanIds, so that it stays bounded.
constexpr std::size_t kMaxPlanIds = 2048;
struct PlanIds {
    std::unordered_map<std::string, double> numbers;
    std::string fresh; ///< the ids numbered since index.js last took them, each ending in NUL

    double number(const std::string& id) {
        const auto [it, added] = numbers.try_emplace(id, static_cast<double>(numbers.size()));
        if (added) {
            fresh += id;
            fresh += '\0';
        }
        return it->second;
    }
};
PlanIds planIds;
std::string takePlanIds() { return std::exchange(planIds.fresh, std::string()); }

PrefetchBudget budget(double maxEntries, double maxSeconds) {
    PrefetchBudget budget;
    if (maxEntries >= 0 && maxEntries < 1e18)
        budget.maxEntries = static_cast<std::size_t>(maxEntries);
    if (maxSeconds >= 0) budget.maxSeconds = maxSeconds;
    return budget;
}

PlaybackSessionOptions sessionOptions(const std::string& json) {
    PlaybackSessionOptions options;
    const Value value = fromJsonText(json);
    if (const auto* d = value.dictionary()) {
        const Value lead = d->get("prefetchLead");
        const Value window = d->get("decisionWindow");
        if (lead.isNumber()) options.prefetchLead = lead.doubleReading();
        if (window.isNumber()) options.decisionWindow = window.doubleReading();
    }
    return options;
}

// A viewer's playback through a data source: the session shares the
// library's data source, so the data source handle may be deleted first.
class Session {
public:
    Session(const SourceBase& source, const std::string& optionsJson, const std::string& stateJson)
        : session_(guarded([&] {
              return stateJson.empty()
                         ? PlaybackSession::create(source.source(), sessionOptions(optionsJson))
                         : PlaybackSession::restore(source.source(), parseJson(stateJson),
                                                    sessionOptions(optionsJson));
          })) {}

    val position() const { return positionObject(session_->position()); }
    double sessionTime() const { return session_->sessionTime(); }
    bool ended() const { return session_->ended(); }
    double currentStep() const { return static_cast<double>(session_->currentStep()); }
    void advance(double watchableTime) { session_->advance(watchableTime); }
    void segmentEnded() { session_->segmentEnded(); }
    void seek(double time) {
        guarded([&] { session_->seek(time); });
    }
    val timeline() const {
        val out = val::array();
        for (const auto& e : session_->timeline())
            out.call<void>("push", timelineEntryObject(e));
        return out;
    }
    val duration() const {
        const SessionDuration d = session_->duration();
        val o = val::object();
        o.set("seconds", d.seconds);
        o.set("known", d.known);
        o.set("endless", d.endless);
        return o;
    }
    val upcomingDecisions(double horizon) const {
        val out = val::array();
        for (const auto& d : session_->upcomingDecisions(horizon))
            out.call<void>("push", decisionObject(d));
        return out;
    }
    val currentDecision() const {
        const auto d = session_->currentDecision();
        return d ? decisionObject(*d) : val::undefined();
    }
    val prefetchPlan(double horizon, double maxEntries, double maxSeconds) const {
        const PrefetchPlan plan = session_->prefetchPlan(horizon, budget(maxEntries, maxSeconds));
        // One call into JavaScript per entry (index.js makes the object).
        static const val addEntry = val::module_property("_addPrefetchEntry");
        val entries = val::array();
        for (const auto& e : plan.entries) {
            addEntry(entries, segmentIdOf(e.segment), toJs(e.viewableId), e.fromTime, e.toTime,
                     e.probability, e.earliestStart, e.definite);
        }
        val o = val::object();
        o.set("entries", entries);
        o.set("complete", plan.complete);
        return o;
    }
    // The same plan without a JavaScript value per entry (index.js makes
    // the objects): kPlanFields numbers per entry in planNumbers, segments
    // as numbers into the list of plan ids. Returns -1 for a plan this form
    // cannot carry (an id holding a NUL; a viewable id that is neither a
    // number nor absent, or is not-a-number), else
    // count * 8 + (ids list restarted: 4) + (new ids: 2) + (complete: 1).
    double prefetchPlanFlat(double horizon, double maxEntries, double maxSeconds) const {
        const PrefetchPlan plan = session_->prefetchPlan(horizon, budget(maxEntries, maxSeconds));
        planNumbers.clear();
        planNumbers.reserve(plan.entries.size() * kPlanFields);
        for (const auto& e : plan.entries) {
            if (e.segment && e.segment->segmentId().find('\0') != std::string::npos) return -1;
            // As toJs reads it; not-a-number stands for none.
            double viewable = std::nan("");
            const auto data = e.viewableId.data();
            switch (e.viewableId.kind()) {
            case Value::Kind::None:
                break;
            case Value::Kind::Int:
                viewable = static_cast<double>(std::get<int64_t>(data));
                break;
            case Value::Kind::UInt:
                viewable = static_cast<double>(std::get<uint64_t>(data));
                break;
            case Value::Kind::Double:
                viewable = std::get<double>(data);
                if (std::isnan(viewable)) return -1;
                break;
            default:
                return -1;
            }
            planNumbers.insert(planNumbers.end(),
                               {e.fromTime, e.toTime, e.probability, e.earliestStart,
                                e.definite ? 1.0 : 0.0, 0.0, viewable});
        }
        bool restarted = false;
        if (planIds.numbers.size() > kMaxPlanIds) {
            planIds.numbers.clear();
            planIds.fresh.clear();
            restarted = true;
        }
        for (std::size_t i = 0; i < plan.entries.size(); ++i) {
            const auto& segment = plan.entries[i].segment;
            planNumbers[i * kPlanFields + 5] = segment ? planIds.number(segment->segmentId()) : -1;
        }
        return static_cast<double>(plan.entries.size()) * 8 + (restarted ? 4 : 0) +
               (planIds.fresh.empty() ? 0 : 2) + (plan.complete ? 1 : 0);
    }
    void choose(const std::string& destination) {
        guarded([&] { session_->choose(std::string_view(destination)); });
    }
    bool back() { return session_->back(); }
    val decisions() const {
        val out = val::array();
        for (const auto& r : session_->decisions())
            out.call<void>("push", recordObject(r));
        return out;
    }
    void setObserver(val dispatch) {
        if (dispatch.isUndefined() || dispatch.isNull()) {
            observer_.reset();
        } else {
            observer_ = std::make_shared<SessionObserver>(std::move(dispatch));
        }
        session_->setObserver(observer_);
    }
    void refresh() { session_->refresh(); }
    std::string state() const {
        return guarded([&] { return writeJson(Value(session_->state())); });
    }

private:
    std::shared_ptr<PlaybackSession> session_;  // shares the data source
    std::shared_ptr<SessionObserver> observer_; // held here: the session holds it weakly
};

// Bytes of the module's heap in use, for the leak tests.
double heapInUse() { return static_cast<double>(mallinfo().uordblks); }

} // namespace

EMSCRIPTEN_BINDINGS(playgraph) {
    using namespace emscripten;
    class_<Graph>("Playgraph")
        .function("duration", &Graph::duration)
        .function("playgraphId", &Graph::playgraphId)
        .function("initialSegmentId", &Graph::initialSegmentId)
        .function("type", &Graph::type)
        .function("mainViewableId", &Graph::mainViewableId)
        .function("segmentIds", &Graph::segmentIds)
        .function("segmentById", &Graph::segmentById)
        .function("segmentIdAtPlaygraphTime", &Graph::segmentIdAtPlaygraphTime)
        .function("segmentIdsForPosition", &Graph::segmentIdsForPosition)
        .function("_playgraphOffsetForPlayerTime", &Graph::playgraphOffsetForPlayerTime)
        .function("playerTimeForPlaygraphOffset", &Graph::playerTimeForPlaygraphOffset)
        .function("isPlaybackContiguousFromSegment", &Graph::isPlaybackContiguousFromSegment)
        .function("initialPosition", &Graph::initialPosition)
        .function("positionAtPlaygraphOffsetAlongDefaultPlaybackPath",
                  &Graph::positionAtPlaygraphOffsetAlongDefaultPlaybackPath)
        .function("positionAtStartOfSegment", &Graph::positionAtStartOfSegment)
        .function("positionAtSegmentViewableTime", &Graph::positionAtSegmentViewableTime)
        .function("positionAtSegmentSegmentOffset", &Graph::positionAtSegmentSegmentOffset)
        .function("_positionAtViewableTime", &Graph::positionAtViewableTime)
        .function("_defaultPathTraversal", &Graph::defaultPathTraversal)
        .function("_depthFirstTraversalFromSegmentId", &Graph::depthFirstTraversalFromSegmentId)
        .function("_bredthFirstTraversalFromSegmentId", &Graph::bredthFirstTraversalFromSegmentId)
        .function("setMovieDuration", &Graph::setMovieDuration)
        .function("isEditable", &Graph::isEditable);
    class_<EditableGraph, base<Graph>>("MutablePlaygraph")
        .function("splitSegment", &EditableGraph::splitSegment)
        .function("_insertSegmentAfter", &EditableGraph::insertSegmentAfter)
        .function("_insertSegmentBefore", &EditableGraph::insertSegmentBefore)
        .function("removeSegment", &EditableGraph::removeSegment)
        .function("_addTransitionFromSegment", &EditableGraph::addTransitionFromSegment)
        .function("_updatePropertiesForTransitionFrom",
                  &EditableGraph::updatePropertiesForTransitionFrom)
        .function("_updatePropertiesForAllTransitionsTo",
                  &EditableGraph::updatePropertiesForAllTransitionsTo)
        .function("_updatePropertiesForAllTransitionfrom",
                  &EditableGraph::updatePropertiesForAllTransitionfrom)
        .function("updateDefaultNextFromSegment", &EditableGraph::updateDefaultNextFromSegment)
        .function("supportSkippingSegment", &EditableGraph::supportSkippingSegment)
        .function("dumps", &EditableGraph::dumps)
        .function("isEditable", &EditableGraph::isEditable);
    class_<VideoComp, base<EditableGraph>>("VideoComposition")
        .function("defineRange", &VideoComp::defineRange)
        .function("observeRange", &VideoComp::observeRange);
    class_<Composition, base<VideoComp>>("MutableVideoComposition")
        .function("_appendClip", &Composition::appendClip)
        .function("_prependClip", &Composition::prependClip)
        .function("_insertClip", &Composition::insertClip)
        .function("removeClip", &Composition::removeClip)
        .function("splitClip", &Composition::splitClip)
        .function("combineClip1", &Composition::combineClip1)
        .function("makeRangeSkippable", &Composition::makeRangeSkippable);
    class_<Watchable, base<Composition>>("WatchableComposition")
        .function("uiPlayContext", &Watchable::uiPlayContext)
        .function("_setUiPlayContext", &Watchable::setUiPlayContext)
        .function("selectedStartSegmentId", &Watchable::selectedStartSegmentId)
        .function("setSelectedStartSegmentId", &Watchable::setSelectedStartSegmentId)
        .function("fetchOptions", &Watchable::fetchOptions)
        .function("setFetchOptions", &Watchable::setFetchOptions)
        .function("allowsExternalPlayback", &Watchable::allowsExternalPlayback)
        .function("setAllowsExternalPlayback", &Watchable::setAllowsExternalPlayback)
        .function("rebuildContextId", &Watchable::rebuildContextId)
        .function("setRebuildContextId", &Watchable::setRebuildContextId)
        .function("prereleasePin", &Watchable::prereleasePin)
        .function("setPrereleasePin", &Watchable::setPrereleasePin)
        .function("discretePlayType", &Watchable::discretePlayType)
        .function("setDiscretePlayType", &Watchable::setDiscretePlayType)
        .function("stickySteeringToken", &Watchable::stickySteeringToken)
        .function("setStickySteeringToken", &Watchable::setStickySteeringToken);
    class_<History>("EditHistory")
        .constructor<const EditableGraph&, double>()
        .function("begin", &History::begin)
        .function("commit", &History::commit)
        .function("rollback", &History::rollback)
        .function("undo", &History::undo)
        .function("redo", &History::redo)
        .function("canUndo", &History::canUndo)
        .function("canRedo", &History::canRedo)
        .function("inTransaction", &History::inTransaction)
        .function("isStale", &History::isStale)
        .function("undoLabel", &History::undoLabel)
        .function("redoLabel", &History::redoLabel)
        .function("undoLabels", &History::undoLabels)
        .function("redoLabels", &History::redoLabels)
        .function("clear", &History::clear);
    class_<SourceBase>("DataSource")
        .function("initialPosition", &SourceBase::initialPosition)
        .function("nextSegmentAfterSegment", &SourceBase::nextSegmentAfterSegment)
        .function("transitionsFromSourceSegment", &SourceBase::transitionsFromSourceSegment)
        .function("segmentById", &SourceBase::segmentById)
        .function("trackingInfoForSegment", &SourceBase::trackingInfoForSegment)
        .function("setNextSegmentAfter", &SourceBase::setNextSegmentAfter)
        .function("clearNextSegmentAfter", &SourceBase::clearNextSegmentAfter)
        .function("_updateNextSegmentWeightsForSegment",
                  &SourceBase::updateNextSegmentWeightsForSegment)
        .function("_currentPlaybackPathTraversalFromSegment",
                  &SourceBase::currentPlaybackPathTraversalFromSegment)
        .function("_setChangeObserver", &SourceBase::setChangeObserver);
    class_<DataSource, base<SourceBase>>("PlaygraphPlayerMutableDataSource")
        .constructor<const Graph&, std::string>()
        .function("updatePlaygraph", &DataSource::updatePlaygraph);
    class_<CompositeSource, base<SourceBase>>("PlaygraphPlayerCompositeDataSource")
        .constructor<val, std::string, val>()
        .function("_addPlaygraph", &CompositeSource::addPlaygraph)
        .function("_updateTrackingInfo", &CompositeSource::updateTrackingInfo)
        .function("_addTransitionFromSegment", &CompositeSource::addTransitionFromSegment)
        .function("interPlaygraphTransitionsForSegment",
                  &CompositeSource::interPlaygraphTransitionsForSegment)
        .function("playgraphIds", &CompositeSource::playgraphIds)
        .function("initialPlaygraphId", &CompositeSource::initialPlaygraphId)
        .function("nextPlaygraphIdAfterPlaygraph", &CompositeSource::nextPlaygraphIdAfterPlaygraph)
        .function("trackingInfoForPlaygraph", &CompositeSource::trackingInfoForPlaygraph)
        .function("bookmarkPosition", &CompositeSource::bookmarkPosition)
        .function("setBookmarkPosition", &CompositeSource::setBookmarkPosition)
        .function("_depthFirstTraversalFromSegment",
                  &CompositeSource::depthFirstTraversalFromSegment)
        .function("_bredthFirstTraversalFromSegment",
                  &CompositeSource::bredthFirstTraversalFromSegment);
    class_<Session>("PlaybackSession")
        .constructor<const SourceBase&, std::string, std::string>()
        .function("position", &Session::position)
        .function("sessionTime", &Session::sessionTime)
        .function("ended", &Session::ended)
        .function("currentStep", &Session::currentStep)
        .function("advance", &Session::advance)
        .function("segmentEnded", &Session::segmentEnded)
        .function("seek", &Session::seek)
        .function("timeline", &Session::timeline)
        .function("duration", &Session::duration)
        .function("upcomingDecisions", &Session::upcomingDecisions)
        .function("currentDecision", &Session::currentDecision)
        .function("_prefetchPlan", &Session::prefetchPlan)
        .function("_prefetchPlanFlat", &Session::prefetchPlanFlat)
        .function("choose", &Session::choose)
        .function("back", &Session::back)
        .function("decisions", &Session::decisions)
        .function("refresh", &Session::refresh)
        .function("_setObserver", &Session::setObserver)
        .function("_state", &Session::state);
    function("_loadPlaygraph", &loadGraph, allow_raw_pointers());
    function("_loadMutablePlaygraph", &loadEditableGraph, allow_raw_pointers());
    function("_createVideoComposition", &createVideoComposition, allow_raw_pointers());
    function("_factoryVideoComposition", &factoryVideoComposition, allow_raw_pointers());
    function("_factoryMutableVideoComposition", &factoryMutableVideoComposition,
             allow_raw_pointers());
    function("_factoryWatchableWithVideoId", &factoryWatchableWithVideoId, allow_raw_pointers());
    function("_factoryWatchableWithMainVideoId", &factoryWatchableWithMainVideoId,
             allow_raw_pointers());
    function("_dumpsValue", &dumpsValue);
    function("_textBuffer", &textBuffer);
    function("_diff", &diffTexts);
    function("_apply", &applyText);
    function("_merge", &mergeTexts);
    function("_dumpsCanonical", &dumpsCanonical);
    function("lastSegmentIdInDefaultTraversalInPlaygraph", &lastSegmentIdInDefaultTraversal);
    function("playgraphHasSameDefaultTraversalAsPlaygraph", &sameDefaultTraversal);
    function("heapInUse", &heapInUse);
    function("_planNumbersAddress", &planNumbersAddress);
    function("_takePlanIds", &takePlanIds);
}

} // namespace playgraph::web

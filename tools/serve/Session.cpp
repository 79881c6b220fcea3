#include "Session.hpp"

#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <unordered_set>

#include "playgraph/diff/Diff.hpp"
#include "playgraph/json/Json.hpp"
#include "playgraph/model/Validate.hpp"

namespace playgraph::tool::serve {

namespace {

std::size_t textHash(std::string_view text) { return std::hash<std::string_view>()(text); }

// A file's bytes; none when it cannot be read (or is gone).
std::optional<std::string> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) return std::nullopt;
    return bytes;
}

// The hash of a file's bytes; none when it cannot be read (or is gone).
std::optional<std::size_t> fileHash(const std::string& path) {
    const auto bytes = fileBytes(path);
    return bytes ? std::optional<std::size_t>(textHash(*bytes)) : std::nullopt;
}

Value number(double value) { return std::isfinite(value) ? Value(value) : Value::null(); }

Value optionalText(const std::optional<std::string>& text) {
    return text ? Value(*text) : Value::null();
}

// `value` when it has a JSON form, else its text form (host objects,
// not-a-number).
Value jsonSafe(const Value& value) {
    if (value.isNone()) return Value::null();
    try {
        writeJson(value);
        return value;
    } catch (const JsonError&) {
        return Value(value.text());
    }
}

// The segment a finding's key path ("segments.<id>...") is about: the
// longest id that the path names, since ids may hold dots.
Value findingSegment(const std::string& path, const Dictionary& segments) {
    constexpr std::string_view prefix = "segments.";
    if (path.compare(0, prefix.size(), prefix) != 0) return Value::null();
    const std::string rest = path.substr(prefix.size());
    Value found = Value::null();
    for (std::size_t end = 0; end <= rest.size(); ++end) {
        if (end < rest.size() && rest[end] != '.') continue;
        const std::string candidate = rest.substr(0, end);
        if (segments.contains(candidate)) found = Value(candidate);
    }
    return found;
}

constexpr std::size_t findingsShown = 500;
constexpr std::size_t changesShown = 500;
constexpr std::size_t incomingShown = 200;

} // namespace

Session::Session(const InputOptions& input) : keepMain_(!input.defaultViewableId) {
    if (!input.file.empty() && input.file != "-") file_ = input.file;
    if (file_) {
        const auto bytes = fileBytes(*file_);
        if (bytes) {
            diskHash_ = textHash(*bytes);
            layout_ = layoutOf(*bytes);
        }
    }
    InputDocument document = readInput(input.file);
    if (file_ && fileHash(*file_) != diskHash_)
        throw InputError(*file_ + ": changed while it was being read");
    name_ = document.name;
    defaultViewableId_ = defaultViewableIdFor(input, document.dictionary);
    graph_ = MutablePlaygraph::create(document.dictionary, defaultViewableId_);
    history_ = std::make_unique<EditHistory>(graph_);
    try {
        textHash_ = textHash(fileTextLocked());
    } catch (const JsonError& e) {
        throw InputError(name_ + ": " + e.what());
    }
    savedTextHash_ = textHash_;
    saved_ = Value(graph_->dictionaryRepresentation()).deepCopy();
}

std::string Session::fileTextLocked() const {
    Value output(graph_->dictionaryRepresentation());
    if (keepMain_) { // on a copy: the playgraph is changed only by edits
        output = output.deepCopy();
        keepDefaultViewableId(*output.dictionary(), defaultViewableId_);
    }
    return jsonText(output, layout_);
}

void Session::changedLocked() {
    ++revision_;
    model_.reset();
    try {
        textHash_ = textHash(fileTextLocked());
    } catch (const JsonError&) {
        textHash_ = savedTextHash_ + 1; // cannot be saved as it is: not the saved state
    }
}

Value Session::stateLocked() {
    Dictionary state;
    state.set("name", name_);
    state.set("file", optionalText(file_));
    state.set("revision", revision_);
    state.set("dirty", textHash_ != savedTextHash_);
    state.set("playgraphId", graph_->playgraphId());
    state.set("type", optionalText(graph_->type()));
    state.set("initialSegment", optionalText(graph_->initialSegmentId()));
    state.set("duration", number(graph_->duration()));
    std::size_t transitions = 0;
    for (const auto& [id, segment] : graph_->segmentMap())
        transitions += segment->next().size();
    state.set("segmentCount", graph_->segmentMap().size());
    state.set("transitionCount", transitions);
    state.set("canUndo", history_->canUndo());
    state.set("canRedo", history_->canRedo());
    state.set("undoLabel", optionalText(history_->undoLabel()));
    state.set("redoLabel", optionalText(history_->redoLabel()));

    if (pathRevision_ != revision_) {
        List path;
        graph_->defaultPathTraversal(
            [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
                path.push_back(Dictionary{
                    {"id", s->segmentId()},
                    {"viewable", jsonSafe(s->viewableId())},
                    {"start", number(s->startTime())},
                    {"end", number(s->endTime())},
                    {"duration", number(s->segmentDuration())},
                    {"decorative", s->isDecorativeSegment()},
                    {"playToEnd", s->playToViewableEnd()},
                });
            });
        path_ = Value(std::move(path));
        pathRevision_ = revision_;
    }
    state.set("path", path_);
    return Value(std::move(state));
}

Value Session::state() {
    std::lock_guard lock(mutex_);
    return stateLocked();
}

Value Session::story() {
    std::lock_guard lock(mutex_);
    return Dictionary{{"revision", revision_},
                      {"text", writeJson(Value(graph_->dictionaryRepresentation()))},
                      {"defaultViewableId", defaultViewableId_}};
}

Value Session::segment(const std::string& id) {
    std::lock_guard lock(mutex_);
    const auto segment = graph_->segmentById(id);
    if (!segment) throw RequestError(404, "Cannot find segment " + id);
    Dictionary out;
    out.set("id", id);
    out.set("viewable", jsonSafe(segment->viewableId()));
    out.set("start", number(segment->startTime()));
    out.set("end", number(segment->endTime()));
    out.set("duration", number(segment->segmentDuration()));
    out.set("offset", number(segment->offsetInPlaygraph()));
    out.set("onDefaultPath", isOnDefaultPath(*graph_, segment));
    out.set("playToEnd", segment->playToViewableEnd());
    out.set("decorative", segment->isDecorativeSegment());
    out.set("flags", segmentFlags(*segment));
    out.set("defaultNext", optionalText(segment->defaultNext()));
    out.set("annotations",
            segment->annotations() ? jsonSafe(Value(*segment->annotations())) : Value::null());
    out.set("userInfo",
            segment->userInfo() ? jsonSafe(Value(*segment->userInfo())) : Value::null());

    List transitions;
    for (const auto& [destination, transition] : segment->next()) {
        transitions.push_back(Dictionary{
            {"to", destination},
            {"exists", graph_->segmentById(destination) != nullptr},
            {"weight", jsonSafe(transition->weight())},
            {"type", optionalText(transition->effectiveTransitionType())},
            {"isDefault", segment->defaultNext() == destination},
            {"skipRegionOffset", transition->skipRegionOffset()
                                     ? number(*transition->skipRegionOffset())
                                     : Value::null()},
        });
    }
    out.set("transitions", std::move(transitions));

    List incoming;
    std::size_t incomingCount = 0;
    for (const auto& [from, source] : graph_->segmentMap()) {
        if (!source->next().contains(id) && source->defaultNext() != id) continue;
        if (++incomingCount <= incomingShown) incoming.push_back(Value(from));
    }
    out.set("incoming", std::move(incoming));
    out.set("incomingCount", incomingCount);
    return Value(std::move(out));
}

Value Session::at(double time) {
    std::lock_guard lock(mutex_);
    const auto id = graph_->segmentIdAtPlaygraphTime(time);
    const double viewableTime = graph_->playerTimeForPlaygraphOffset(time);
    const auto segment = id ? graph_->segmentById(*id) : nullptr;
    Dictionary out{{"time", number(time)},
                   {"segment", optionalText(id)},
                   {"viewableTime", number(viewableTime)}};
    out.set("viewable", segment ? jsonSafe(segment->viewableId()) : Value::null());
    const double offset = segment ? viewableTime - segment->startTime() : NAN;
    out.set("offsetInSegment", segment ? number(offset) : Value::null());
    // Why `playgraph edit` would refuse to split here, for the page's button.
    std::optional<std::string> problem;
    if (segment) problem = splitOffsetProblem(*graph_, *id, offset);
    out.set("splitProblem", segment ? optionalText(problem) : Value("no segment plays then"));
    return Value(std::move(out));
}

std::shared_ptr<const GraphModel> Session::graph() {
    std::lock_guard lock(mutex_);
    if (!model_) model_ = GraphModel::build(*graph_, revision_);
    return model_;
}

std::vector<std::string> Session::viewableIds() {
    std::lock_guard lock(mutex_);
    std::set<std::string> ids;
    for (const auto& [id, segment] : graph_->segmentMap())
        if (!segment->viewableId().isAbsent()) ids.insert(valueText(segment->viewableId()));
    return {ids.begin(), ids.end()};
}

Value Session::findings() {
    // Checking can take a while on a large playgraph: it runs on a copy,
    // outside the playgraph's lock, once per state.
    std::lock_guard findingsLock(findingsMutex_);
    Value copy;
    Value defaultViewableId;
    uint64_t revision = 0;
    {
        std::lock_guard lock(mutex_);
        if (findingsRevision_ == revision_) return findings_;
        revision = revision_;
        copy = Value(graph_->dictionaryRepresentation()).deepCopy();
        defaultViewableId = defaultViewableId_;
    }
    const std::vector<ValidationFinding> found = validate(copy, defaultViewableId);
    const Value segments = copy.dictionary()->get(keys::segments);
    const Dictionary noSegments;
    const Dictionary& segmentDictionary =
        segments.isDictionary() ? *segments.dictionary() : noSegments;

    List list;
    for (std::size_t i = 0; i < found.size() && i < findingsShown; ++i) {
        list.push_back(Dictionary{{"path", found[i].path},
                                  {"message", found[i].message},
                                  {"segment", findingSegment(found[i].path, segmentDictionary)}});
    }
    findings_ = Value(
        Dictionary{{"revision", revision}, {"total", found.size()}, {"findings", std::move(list)}});
    findingsRevision_ = revision;
    return findings_;
}

Value Session::edit(const std::string& verb, std::vector<EditWord> words) {
    EditOperation apply;
    try {
        apply = parseEditOperation(verb, std::move(words));
    } catch (const InputError& e) {
        throw RequestError(400, e.what());
    }
    std::lock_guard lock(mutex_);
    List warnings;
    try {
        history_->transaction([&](MutablePlaygraph& graph) {
            for (auto& warning : apply(graph))
                warnings.push_back(Value(std::move(warning)));
        });
    } catch (const std::invalid_argument& e) {
        throw RequestError(400, e.what());
    } catch (const EditHistoryError& e) {
        throw RequestError(409, e.what());
    }
    changedLocked();
    Value state = stateLocked();
    state.dictionary()->set("warnings", std::move(warnings));
    return state;
}

Value Session::undo() { return step(true); }

Value Session::redo() { return step(false); }

Value Session::step(bool back) {
    std::lock_guard lock(mutex_);
    if (!(back ? history_->canUndo() : history_->canRedo()))
        throw RequestError(409, back ? "Nothing to undo" : "Nothing to redo");
    try {
        back ? history_->undo() : history_->redo();
    } catch (const EditHistoryError& e) {
        throw RequestError(409, e.what());
    }
    changedLocked();
    return stateLocked();
}

Value Session::save(bool overwrite) {
    std::lock_guard lock(mutex_);
    if (!file_) {
        throw RequestError(400, name_ + " is not a file, so there is nothing to save to: start "
                                        "`playgraph serve FILE` to save");
    }
    std::string text;
    try {
        text = fileTextLocked();
    } catch (const JsonError& e) {
        throw RequestError(400, std::string("cannot be saved: ") + e.what());
    }
    if (!overwrite) {
        const auto onDisk = fileHash(*file_);
        if (onDisk != diskHash_) {
            throw RequestError(409, *file_ + (onDisk ? " changed on disk" : " is gone from disk") +
                                        " since it was opened or last saved");
        }
    }
    try {
        writeOutput(*file_, text);
    } catch (const InputError& e) {
        throw RequestError(500, e.what());
    }
    diskHash_ = textHash(text);
    savedTextHash_ = textHash_ = textHash(text);
    saved_ = Value(graph_->dictionaryRepresentation()).deepCopy();
    return stateLocked();
}

Value Session::changes() {
    std::lock_guard lock(mutex_);
    const PlaygraphDiff changes = diff(saved_, Value(graph_->dictionaryRepresentation()));
    const auto shownValue = [](const Value& value) -> Value {
        if (value.isNone()) return Value::null();
        try {
            return writeJson(value);
        } catch (const JsonError&) {
            return value.text();
        }
    };
    const auto idOrNull = [](const std::string& id) {
        return id.empty() ? Value::null() : Value(id);
    };
    List list, segments;
    std::unordered_set<std::string> concerned;
    for (const auto& change : changes) {
        for (const std::string* id : {&change.segmentId, &change.renamedTo}) {
            if (!id->empty() && concerned.insert(*id).second) segments.push_back(*id);
        }
        if (list.size() >= changesShown) continue;
        Dictionary entry;
        entry.set("kind", std::string(changeKindName(change.kind)));
        entry.set("path", keyPathText(change.path));
        entry.set("segment", idOrNull(change.segmentId));
        entry.set("renamedTo", idOrNull(change.renamedTo));
        entry.set("before", shownValue(change.before));
        entry.set("after", shownValue(change.after));
        list.push_back(entry);
    }
    Dictionary out;
    out.set("revision", revision_);
    out.set("total", changes.size());
    out.set("changes", list);
    out.set("segments", segments);
    return out;
}

} // namespace playgraph::tool::serve

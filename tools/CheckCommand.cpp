// `playgraph check`: lints a playgraph dictionary.
//
// The loader reads wrongly typed values as absent, clamps times to whole
// milliseconds and accepts ids that name no segment; the JSON reader keeps
// the last of repeated keys. This command reports those and other likely
// mistakes, each with the key path (or line) it concerns and the file's own
// values. Every check is linear in the input, or n log n (overlaps sort the
// segments of each viewable), and findings of one kind beyond a limit are
// counted rather than printed.

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Tool.hpp"

namespace playgraph::tool {

namespace {

/// What a finding is about; findings are counted and limited per kind.
enum class Kind {
    duplicateKey,
    wrongKind,
    missing,
    reference,
    time,
    overlap,
    unreachable,
    loop,
    openEnded
};

const char* kindName(Kind kind) {
    switch (kind) {
    case Kind::duplicateKey:
        return "duplicate key";
    case Kind::wrongKind:
        return "wrongly typed value";
    case Kind::missing:
        return "missing value";
    case Kind::reference:
        return "id naming no segment";
    case Kind::time:
        return "time";
    case Kind::overlap:
        return "overlap";
    case Kind::unreachable:
        return "unreachable segment";
    case Kind::loop:
        return "looping default path";
    case Kind::openEnded:
        return "play-to-end segment inside the default path";
    }
    return "";
}

struct Finding {
    Kind kind;
    std::string path;
    std::string message;
};

/// A duplicate key as the JSON reader reported it.
struct DuplicateKey {
    std::string key;
    JsonLocation location;
};

class Checker {
public:
    explicit Checker(const LoadedPlaygraph& loaded)
        : graph_(*loaded.playgraph), dictionary_(*loaded.dictionary.dictionary()) {}

    std::vector<Finding> run(const std::vector<DuplicateKey>& duplicates) {
        for (const auto& d : duplicates) {
            add(Kind::duplicateKey,
                "line " + std::to_string(d.location.line) + ", column " +
                    std::to_string(d.location.column),
                "key \"" + d.key + "\" repeats in its object; only this last value is read");
        }
        checkTopLevel();
        const Value segments = dictionary_.get("segments");
        if (segments.isDictionary()) {
            for (const auto& [id, segment] : *segments.dictionary())
                checkSegment(id, segment);
        }
        checkReachability();
        checkDefaultPath();
        checkOverlaps();
        inFileOrder(duplicates.size());
        return std::move(findings_);
    }

private:
    // Orders the findings after the first `skip` (the repeated keys, which
    // come with their line) as the file does: by the top-level key they
    // concern and, under "segments", by the segment; the order of the checks
    // stays within one place.
    void inFileOrder(std::size_t skip) {
        std::unordered_map<std::string, std::size_t> topRank;
        std::size_t rank = 0;
        for (const auto& [key, value] : dictionary_)
            topRank.emplace(key, rank++);
        std::unordered_map<std::string, std::size_t> segmentRank;
        if (const Value segments = dictionary_.get("segments"); segments.isDictionary()) {
            rank = 0;
            for (const auto& [id, value] : *segments.dictionary())
                segmentRank.emplace(id, rank++);
        }
        const auto place = [&](const Finding& finding) {
            const std::string& path = finding.path;
            constexpr std::string_view prefix = "segments.";
            std::size_t segment = 0;
            if (path.compare(0, prefix.size(), prefix) == 0) {
                // Ids may hold dots: the longest id the path names.
                for (std::size_t end = prefix.size(); end <= path.size(); ++end) {
                    if (end < path.size() && path[end] != '.') continue;
                    const auto found =
                        segmentRank.find(path.substr(prefix.size(), end - prefix.size()));
                    if (found != segmentRank.end()) segment = found->second + 1;
                }
            }
            const auto top = topRank.find(path.substr(0, path.find('.')));
            return std::pair{top == topRank.end() ? topRank.size() : top->second, segment};
        };
        std::vector<std::pair<std::pair<std::size_t, std::size_t>, std::size_t>> order;
        for (std::size_t i = skip; i < findings_.size(); ++i)
            order.push_back({place(findings_[i]), i});
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<Finding> sorted(findings_.begin(),
                                    findings_.begin() + static_cast<std::ptrdiff_t>(skip));
        for (const auto& [key, i] : order)
            sorted.push_back(std::move(findings_[i]));
        findings_ = std::move(sorted);
    }

    void add(Kind kind, std::string path, std::string message) {
        findings_.push_back({kind, std::move(path), std::move(message)});
    }

    bool segmentExists(const std::string& id) const { return graph_.segmentById(id) != nullptr; }

    // Reports a present value of the wrong kind. `allowNull`: the null
    // marker counts as absent under this key.
    void expectString(const Dictionary& d, const std::string& path, std::string_view key,
                      bool allowNull = false) {
        const Value v = d.get(key);
        if (v.isNone() || v.isString() || (allowNull && v.isNull())) return;
        add(Kind::wrongKind, path + std::string(key), "expected a string, found " + kindOf(v));
    }
    void expectNumber(const Dictionary& d, const std::string& path, std::string_view key,
                      bool allowNull = false) {
        const Value v = d.get(key);
        if (v.isNone() || (allowNull && v.isNull())) return;
        if (v.isNumber() && !v.isBool() && v.isFiniteNumber()) return;
        add(Kind::wrongKind, path + std::string(key),
            "expected a finite number, found " + kindOf(v));
    }
    void expectObject(const Dictionary& d, const std::string& path, std::string_view key,
                      bool allowNull = false) {
        const Value v = d.get(key);
        if (v.isNone() || v.isDictionary() || (allowNull && v.isNull())) return;
        add(Kind::wrongKind, path + std::string(key), "expected an object, found " + kindOf(v));
    }

    static std::string kindOf(const Value& v) {
        switch (v.kind()) {
        case Value::Kind::Null:
            return "null";
        case Value::Kind::Bool:
            return "a boolean";
        case Value::Kind::Int:
        case Value::Kind::UInt:
            return "an integer";
        case Value::Kind::Double:
            return std::isfinite(v.doubleReading()) ? "a number" : "a non-finite number";
        case Value::Kind::String:
            return "a string \"" + *v.string() + "\"";
        case Value::Kind::Dictionary:
            return "an object";
        case Value::Kind::List:
            return "an array";
        default:
            return "another kind of value";
        }
    }

    void checkReference(const Value& v, const std::string& path) {
        if (v.isString() && !segmentExists(*v.string())) {
            add(Kind::reference, path, "names no segment \"" + *v.string() + "\"");
        }
    }

    void checkTopLevel() {
        expectString(dictionary_, "", "playgraphId");
        expectString(dictionary_, "", "type");
        expectString(dictionary_, "", "transitionType");
        expectObject(dictionary_, "", "annotations");
        const Value initial = dictionary_.get("initialSegment");
        if (initial.isAbsent()) {
            add(Kind::missing, "initialSegment", "missing: the default path is empty");
        } else {
            expectString(dictionary_, "", "initialSegment");
            checkReference(initial, "initialSegment");
        }
        const Value segments = dictionary_.get("segments");
        if (segments.isNone())
            add(Kind::missing, "segments", "missing: the playgraph has no segments");
        else
            expectObject(dictionary_, "", "segments");
    }

    // A time the loader reads: a finite number, which it reads as whole
    // milliseconds in the signed 64-bit range.
    static bool isTime(const Value& v) { return v.isFiniteNumber() && !v.isBool(); }
    static bool fitsMilliseconds(const Value& v) {
        if (v.kind() == Value::Kind::UInt) return std::get<uint64_t>(v.data()) <= INT64_MAX;
        const double d = v.doubleReading();
        return v.kind() == Value::Kind::Int || (d >= -0x1p63 && d < 0x1p63);
    }

    void checkTimes(const Dictionary& d, const std::string& path,
                    const QZPlaygraphSegment* segment) {
        const Value start = d.get("startTimeMs");
        const Value end = d.get("endTimeMs");
        for (const auto& [key, value] : {std::pair{"startTimeMs", start}, {"endTimeMs", end}}) {
            if (isTime(value) && !fitsMilliseconds(value)) {
                add(Kind::time, path + key,
                    value.text() +
                        " ms is beyond the whole milliseconds the loader reads; it "
                        "reads " +
                        std::to_string(value.integerReading()));
            }
        }
        for (const auto& [key, value] : {std::pair{"startTimeMs", start}, {"endTimeMs", end}}) {
            if (value.kind() == Value::Kind::Double && isTime(value) && fitsMilliseconds(value) &&
                std::trunc(value.doubleReading()) != value.doubleReading()) {
                add(Kind::time, path + key,
                    value.text() + " ms is not a whole number of milliseconds; the loader reads " +
                        std::to_string(value.integerReading()));
            }
        }
        if (isTime(start) && start.doubleReading() < 0.0) {
            add(Kind::time, path + "startTimeMs",
                "negative start " + start.text() + " ms: times within a viewable start at 0");
        }
        // The loader makes a segment whose end is present but negative or not
        // after its start play to the end of its viewable.
        if (!isTime(end) || !segment || !segment->playToViewableEnd()) return;
        if (end.doubleReading() < 0.0) {
            add(Kind::time, path + "endTimeMs",
                "negative end " + end.text() +
                    " ms: the segment silently plays to the end of its viewable");
        } else {
            add(Kind::time, path + "endTimeMs",
                "end " + end.text() + " ms is not after start " +
                    (isTime(start) ? start.text() : std::string("0")) +
                    " ms: the segment silently plays to the end of its viewable");
        }
    }

    void checkSegment(const std::string& id, const Value& value) {
        const std::string path = "segments." + id + ".";
        if (!value.isDictionary()) {
            add(Kind::wrongKind, "segments." + id, "expected an object, found " + kindOf(value));
            return;
        }
        const Dictionary& d = *value.dictionary();
        expectNumber(d, path, "viewableId");
        expectNumber(d, path, "startTimeMs");
        expectNumber(d, path, "endTimeMs", true);
        expectString(d, path, "defaultNext", true);
        expectObject(d, path, "next", true);
        expectString(d, path, "transitionType");
        expectNumber(d, path, "main");
        expectObject(d, path, "userInfo");
        expectObject(d, path, "annotations");
        checkReference(d.get("defaultNext"), path + "defaultNext");

        const auto segment = graph_.segmentById(id);
        // A viewable id of the wrong kind is reported above, once.
        if (segment && segment->viewableId().isAbsent() && d.get("viewableId").isNone()) {
            add(Kind::missing, path + "viewableId", "missing: the segment plays no viewable");
        }
        checkTimes(d, path, segment.get());

        const Value next = d.get("next");
        if (!next.isDictionary()) return;
        for (const auto& [destination, entry] : *next.dictionary()) {
            const std::string entryPath = path + "next." + destination;
            if (!segmentExists(destination)) {
                add(Kind::reference, entryPath, "names no segment \"" + destination + "\"");
            }
            if (!entry.isDictionary()) {
                add(Kind::wrongKind, entryPath, "expected an object, found " + kindOf(entry));
                continue;
            }
            const Dictionary& e = *entry.dictionary();
            expectNumber(e, entryPath + ".", "weight");
            expectNumber(e, entryPath + ".", "skipRegionOffset", true);
            expectNumber(e, entryPath + ".", "skipRegionWeight");
            expectNumber(e, entryPath + ".", "autoplayType");
            expectString(e, entryPath + ".", "transitionType");
        }
    }

    void checkReachability() {
        const auto& initial = graph_.initialSegmentId();
        if (!initial || !segmentExists(*initial)) return;
        const auto reached = reachableSegmentIds(graph_);
        for (const auto& [id, segment] : graph_.segmentMap()) {
            if (!reached.count(id)) {
                add(Kind::unreachable, "segments." + id,
                    "unreachable from the initial segment \"" + *initial + "\"");
            }
        }
    }

    // Reports a loop of the default path, and each play-to-end segment that
    // the path goes on from: until its length is known the offsets of the
    // segments after it count it as 0 s.
    void checkDefaultPath() {
        const auto& initial = graph_.initialSegmentId();
        if (!initial) return;
        std::unordered_set<const QZPlaygraphSegment*> visited;
        auto segment = graph_.segmentById(*initial);
        while (segment) {
            visited.insert(segment.get());
            const auto& next = segment->defaultNext();
            auto following = next ? graph_.segmentById(*next) : nullptr;
            if (following && segment->playToViewableEnd() &&
                std::isnan(segment->segmentDuration())) {
                add(Kind::openEnded, "segments." + segment->segmentId(),
                    "plays to the end of its viewable in the middle of the default path: the "
                    "offsets after it count it as 0 s until its length is known");
            }
            if (!following) return;
            if (visited.count(following.get())) {
                add(Kind::loop, "segments." + segment->segmentId() + ".defaultNext",
                    "the default path loops back to \"" + *next + "\"");
                return;
            }
            segment = std::move(following);
        }
    }

    // Sorts the segments of each viewable by start and reports each segment
    // that starts before the latest end among those sorted before it, naming
    // the one with that end.
    void checkOverlaps() {
        struct Range {
            std::string viewable;
            double start;
            double end;
            const PlaygraphSegment* segment;
        };
        std::vector<Range> ranges;
        for (const auto& [id, segment] : graph_.segmentMap()) {
            if (segment->viewableId().isAbsent()) continue;
            ranges.push_back({valueText(segment->viewableId()), segment->startTime(),
                              segment->playToViewableEnd() ? std::numeric_limits<double>::infinity()
                                                           : segment->endTime(),
                              segment.get()});
        }
        std::stable_sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) {
            return a.viewable != b.viewable ? a.viewable < b.viewable : a.start < b.start;
        });
        const Range* latest = nullptr;
        for (const Range& range : ranges) {
            if (!latest || latest->viewable != range.viewable) {
                latest = &range;
                continue;
            }
            if (range.start < latest->end) {
                add(Kind::overlap, "segments." + range.segment->segmentId(),
                    "overlaps segment \"" + latest->segment->segmentId() + "\" in viewable " +
                        range.viewable);
            }
            if (range.end > latest->end) latest = &range;
        }
    }

    const Playgraph& graph_;
    const Dictionary& dictionary_;
    std::vector<Finding> findings_;
};

struct CheckOptions {
    InputOptions input;
    int64_t limit = 20;
};

int runCheck(const CheckOptions& options) {
    std::vector<DuplicateKey> duplicates;
    JsonReadOptions json;
    json.onDuplicateKey = [&](std::string_view key, const JsonLocation& location) {
        duplicates.push_back({std::string(key), location});
    };
    const LoadedPlaygraph loaded = loadPlaygraph(options.input, json);
    const auto findings = Checker(loaded).run(duplicates);

    const std::string name = shown(loaded.name);
    std::map<Kind, std::size_t> counts;
    for (const auto& finding : findings) {
        if (options.limit == 0 || ++counts[finding.kind] <= static_cast<uint64_t>(options.limit)) {
            std::cout << name << ": " << shown(finding.path) << ": " << shown(finding.message)
                      << '\n';
        }
    }
    for (const auto& [kind, count] : counts) {
        if (count > static_cast<uint64_t>(options.limit)) {
            std::cout << name << ": ... and " << count - static_cast<uint64_t>(options.limit)
                      << " more findings of the kind '" << kindName(kind)
                      << "' (--limit 0 prints them all)\n";
        }
    }
    if (findings.empty()) {
        std::cout << name << ": no findings\n";
        return exitOk;
    }
    std::cout << findings.size() << (findings.size() == 1 ? " finding\n" : " findings\n");
    return exitFindings;
}

} // namespace

std::unordered_set<std::string> reachableSegmentIds(const QZPlaygraph& graph) {
    std::unordered_set<std::string> reached;
    const auto& initial = graph.initialSegmentId();
    if (!initial || !graph.segmentById(*initial)) return reached;
    graph.bredthFirstTraversalFromSegmentId(
        initial, std::numeric_limits<uint64_t>::max(),
        [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
            if (s) reached.insert(s->segmentId());
        });
    return reached;
}

std::vector<std::string> defaultPathIds(const QZPlaygraph& graph) {
    std::vector<std::string> ids;
    graph.defaultPathTraversal([&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
        ids.push_back(s->segmentId());
    });
    return ids;
}

std::vector<CheckFinding> checkPlaygraph(const LoadedPlaygraph& loaded) {
    std::vector<CheckFinding> found;
    for (auto& finding : Checker(loaded).run({}))
        found.push_back({std::move(finding.path), std::move(finding.message)});
    return found;
}

Command addCheckCommand(CLI::App& app) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* command = app.add_subcommand(
        "check", "Lints the playgraph: missing references, unreachable segments, a looping "
                 "default path, negative or clamped times, ends not after starts, overlapping "
                 "ranges, wrongly typed values, repeated JSON keys; status 1 when there are "
                 "findings");
    addInputOptions(*command, options->input);
    command
        ->add_option("--limit", options->limit,
                     "Print at most N findings of each kind and count the rest (default 20; "
                     "0 prints every finding)")
        ->check(integerCheck(0));
    return {command, [options] { return runCheck(*options); }};
}

} // namespace playgraph::tool

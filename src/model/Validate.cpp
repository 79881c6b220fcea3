// The lint of playgraph dictionaries: what the loader reads otherwise than
// written, and likely mistakes. Every check is linear in the input, or
// n log n (overlaps sort the segments of each viewable).

#include "playgraph/model/Validate.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "../DictionaryFormat.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/model/Playgraph.hpp"

namespace playgraph::inline v1 {

namespace {

class Checker {
public:
    Checker(const Playgraph& graph, const Dictionary& dictionary)
        : graph_(graph), dictionary_(dictionary) {}

    std::vector<ValidationFinding> run() {
        checkTopLevel();
        const Value segments = dictionary_.get(keys::segments);
        if (segments.isDictionary()) {
            for (const auto& [id, segment] : *segments.dictionary())
                checkSegment(id, segment);
        }
        checkReachability();
        checkDefaultPath();
        checkOverlaps();
        inFileOrder();
        return std::move(findings_);
    }

private:
    // Orders the findings as the dictionary does: by the top-level key they
    // concern and, under keys::segments, by the segment; the order of the checks
    // stays within one place.
    void inFileOrder() {
        std::unordered_map<std::string, std::size_t> topRank;
        std::size_t rank = 0;
        for (const auto& [key, value] : dictionary_)
            topRank.emplace(key, rank++);
        std::unordered_map<std::string, std::size_t> segmentRank;
        if (const Value segments = dictionary_.get(keys::segments); segments.isDictionary()) {
            rank = 0;
            for (const auto& [id, value] : *segments.dictionary())
                segmentRank.emplace(id, rank++);
        }
        const auto place = [&](const ValidationFinding& finding) {
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
        for (std::size_t i = 0; i < findings_.size(); ++i)
            order.push_back({place(findings_[i]), i});
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<ValidationFinding> sorted;
        sorted.reserve(findings_.size());
        for (const auto& [key, i] : order)
            sorted.push_back(std::move(findings_[i]));
        findings_ = std::move(sorted);
    }

    void add(ValidationCode code, std::string path, std::string message,
             ValidationSeverity severity = ValidationSeverity::Warning) {
        findings_.push_back({code, severity, std::move(path), std::move(message)});
    }
    void wrongKind(std::string path, std::string message) {
        add(ValidationCode::WrongKind, std::move(path), std::move(message),
            ValidationSeverity::Error);
    }

    bool segmentExists(const std::string& id) const { return graph_.segmentById(id) != nullptr; }

    // Reports a present value of the wrong kind. `allowNull`: the null
    // marker counts as absent under this key.
    void expectString(const Dictionary& d, const std::string& path, std::string_view key,
                      bool allowNull = false) {
        const Value v = d.get(key);
        if (v.isNone() || v.isString() || (allowNull && v.isNull())) return;
        wrongKind(path + std::string(key), "expected a string, found " + kindOf(v));
    }
    // `keptIfInfinite`: the loader keeps a non-finite number under this key
    // (a time it ignores).
    void expectNumber(const Dictionary& d, const std::string& path, std::string_view key,
                      bool allowNull = false, bool keptIfInfinite = true) {
        const Value v = d.get(key);
        if (v.isNone() || (allowNull && v.isNull()) || v.isFiniteNumber()) return;
        std::string message = "expected a finite number, found " + kindOf(v);
        if (v.isNumber() && keptIfInfinite) {
            add(ValidationCode::NonFiniteNumber, path + std::string(key), std::move(message));
        } else {
            wrongKind(path + std::string(key), std::move(message));
        }
    }
    void expectObject(const Dictionary& d, const std::string& path, std::string_view key,
                      bool allowNull = false) {
        const Value v = d.get(key);
        if (v.isNone() || v.isDictionary() || (allowNull && v.isNull())) return;
        wrongKind(path + std::string(key), "expected an object, found " + kindOf(v));
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
            add(ValidationCode::Reference, path, "names no segment \"" + *v.string() + "\"",
                ValidationSeverity::Error);
        }
    }

    void checkTopLevel() {
        expectString(dictionary_, "", keys::playgraphId);
        expectString(dictionary_, "", keys::type);
        expectString(dictionary_, "", keys::transitionType);
        expectObject(dictionary_, "", keys::annotations);
        const Value initial = dictionary_.get(keys::initialSegment);
        if (initial.isAbsent()) {
            add(ValidationCode::Missing, std::string(keys::initialSegment),
                "missing: the default path is empty");
        } else {
            expectString(dictionary_, "", keys::initialSegment);
            checkReference(initial, std::string(keys::initialSegment));
        }
        const Value segments = dictionary_.get(keys::segments);
        if (segments.isNone())
            add(ValidationCode::Missing, std::string(keys::segments),
                "missing: the playgraph has no segments");
        else
            expectObject(dictionary_, "", keys::segments);
    }

    // A time the loader reads: a finite number, which it reads as whole
    // milliseconds in the signed 64-bit range.
    static bool isTime(const Value& v) { return format::storedMilliseconds(&v).has_value(); }

    void checkTimes(const Dictionary& d, const std::string& path,
                    const QZPlaygraphSegment* segment) {
        const Value start = d.get(keys::startTimeMs);
        const Value end = d.get(keys::endTimeMs);
        for (const auto& [key, value] :
             {std::pair{keys::startTimeMs, start}, {keys::endTimeMs, end}}) {
            if (format::storedMillisecondsSaturate(value)) {
                add(ValidationCode::Time, path + std::string(key),
                    value.text() +
                        " ms is beyond the whole milliseconds the loader reads; it "
                        "reads " +
                        std::to_string(value.integerReading()),
                    ValidationSeverity::Error);
            }
        }
        for (const auto& [key, value] :
             {std::pair{keys::startTimeMs, start}, {keys::endTimeMs, end}}) {
            if (value.isDouble() && isTime(value) && !format::storedMillisecondsSaturate(value) &&
                std::trunc(value.doubleReading()) != value.doubleReading()) {
                add(ValidationCode::Time, path + std::string(key),
                    value.text() + " ms is not a whole number of milliseconds; the loader reads " +
                        std::to_string(value.integerReading()),
                    ValidationSeverity::Error);
            }
        }
        if (isTime(start) && start.doubleReading() < 0.0) {
            add(ValidationCode::Time, path + std::string(keys::startTimeMs),
                "negative start " + start.text() + " ms: times within a viewable start at 0");
        }
        // The loader makes a segment whose end is present but negative or not
        // after its start play to the end of its viewable.
        if (!isTime(end) || !segment || !segment->playToViewableEnd()) return;
        if (end.doubleReading() < 0.0) {
            add(ValidationCode::Time, path + std::string(keys::endTimeMs),
                "negative end " + end.text() +
                    " ms: the segment silently plays to the end of its viewable");
        } else {
            add(ValidationCode::Time, path + std::string(keys::endTimeMs),
                "end " + end.text() + " ms is not after start " +
                    (isTime(start) ? start.text() : std::string("0")) +
                    " ms: the segment silently plays to the end of its viewable");
        }
    }

    void checkSegment(const std::string& id, const Value& value) {
        const std::string path = "segments." + id + ".";
        if (!value.isDictionary()) {
            wrongKind("segments." + id, "expected an object, found " + kindOf(value));
            return;
        }
        const Dictionary& d = *value.dictionary();
        expectNumber(d, path, keys::viewableId);
        expectNumber(d, path, keys::startTimeMs, false, false);
        expectNumber(d, path, keys::endTimeMs, true, false);
        expectString(d, path, keys::defaultNext, true);
        expectObject(d, path, keys::next, true);
        expectString(d, path, keys::transitionType);
        expectNumber(d, path, keys::main);
        expectObject(d, path, keys::userInfo);
        expectObject(d, path, keys::annotations);
        checkReference(d.get(keys::defaultNext), path + std::string(keys::defaultNext));

        const auto segment = graph_.segmentById(id);
        // A viewable id of the wrong kind is reported above, once.
        if (segment && segment->viewableId().isAbsent() && d.get(keys::viewableId).isNone()) {
            add(ValidationCode::Missing, path + std::string(keys::viewableId),
                "missing: the segment plays no viewable");
        }
        checkTimes(d, path, segment.get());

        const Value next = d.get(keys::next);
        if (!next.isDictionary()) return;
        for (const auto& [destination, entry] : *next.dictionary()) {
            const std::string entryPath = path + "next." + destination;
            if (!segmentExists(destination)) {
                add(ValidationCode::Reference, entryPath,
                    "names no segment \"" + destination + "\"", ValidationSeverity::Error);
            }
            if (!entry.isDictionary()) {
                wrongKind(entryPath, "expected an object, found " + kindOf(entry));
                continue;
            }
            const Dictionary& e = *entry.dictionary();
            expectNumber(e, entryPath + ".", keys::weight);
            expectNumber(e, entryPath + ".", keys::skipRegionOffset, true, false);
            expectNumber(e, entryPath + ".", keys::skipRegionWeight);
            expectNumber(e, entryPath + ".", keys::autoplayType);
            expectString(e, entryPath + ".", keys::transitionType);
        }
    }

    void checkReachability() {
        const auto& initial = graph_.initialSegmentId();
        if (!initial || !segmentExists(*initial)) return;
        std::unordered_set<std::string> reached;
        graph_.bredthFirstTraversalFromSegmentId(
            initial, std::numeric_limits<uint64_t>::max(),
            [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
                if (s) reached.insert(s->segmentId());
            });
        for (const auto& [id, segment] : graph_.segmentMap()) {
            if (!reached.count(id)) {
                add(ValidationCode::Unreachable, "segments." + id,
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
                add(ValidationCode::OpenEnded, "segments." + segment->segmentId(),
                    "plays to the end of its viewable in the middle of the default path: the "
                    "offsets after it count it as 0 s until its length is known");
            }
            if (!following) return;
            if (visited.count(following.get())) {
                add(ValidationCode::Loop, "segments." + segment->segmentId() + ".defaultNext",
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
            ranges.push_back({segment->viewableId().text(), segment->startTime(),
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
                add(ValidationCode::Overlap, "segments." + range.segment->segmentId(),
                    "overlaps segment \"" + latest->segment->segmentId() + "\" in viewable " +
                        range.viewable);
            }
            if (range.end > latest->end) latest = &range;
        }
    }

    const Playgraph& graph_;
    const Dictionary& dictionary_;
    std::vector<ValidationFinding> findings_;
};

// The names and descriptions of the codes, in the order of `ValidationCode`.
struct CodeText {
    std::string_view name;
    std::string_view description;
};
constexpr CodeText kCodeTexts[] = {
    {"wrongKind", "wrongly typed value"},
    {"nonFiniteNumber", "wrongly typed value"},
    {"missing", "missing value"},
    {"reference", "id naming no segment"},
    {"time", "time"},
    {"overlap", "overlap"},
    {"unreachable", "unreachable segment"},
    {"loop", "looping default path"},
    {"openEnded", "play-to-end segment inside the default path"},
};

const CodeText& codeText(ValidationCode code) {
    const auto i = static_cast<std::size_t>(code);
    static constexpr CodeText kUnknown{"", ""};
    return i < std::size(kCodeTexts) ? kCodeTexts[i] : kUnknown;
}

} // namespace

std::string_view codeName(ValidationCode code) { return codeText(code).name; }
std::string_view describe(ValidationCode code) { return codeText(code).description; }

std::string_view severityName(ValidationSeverity severity) {
    return severity == ValidationSeverity::Error ? "error" : "warning";
}

std::vector<ValidationFinding> validate(const Value& dictionary, const Value& defaultViewableId) {
    const Dictionary* d = dictionary.dictionary();
    if (!d) {
        return {{ValidationCode::WrongKind, ValidationSeverity::Error, "",
                 "expected an object at the top level"}};
    }
    const auto graph = Playgraph::create(dictionary, defaultViewableId);
    return Checker(*graph, *d).run();
}

} // namespace playgraph::inline v1

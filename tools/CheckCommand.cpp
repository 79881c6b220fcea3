// `playgraph check`: lints a playgraph dictionary.
//
// The loader reads wrongly typed values as absent and accepts ids that name
// no segment; this command reports those and other likely mistakes, each
// with the key path it concerns.

#include <cmath>
#include <iostream>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "Tool.hpp"

namespace playgraph::tool {

namespace {

class Checker {
public:
    explicit Checker(const LoadedPlaygraph& loaded)
        : graph_(*loaded.playgraph), dictionary_(*loaded.dictionary.dictionary()) {}

    std::vector<Finding> run() {
        checkTopLevel();
        const Value segments = dictionary_.get("segments");
        if (segments.isDictionary()) {
            for (const auto& [id, segment] : *segments.dictionary())
                checkSegment(id, segment);
        }
        checkReachability();
        checkDefaultPathLoop();
        checkOverlaps();
        return std::move(findings_);
    }

private:
    void add(std::string path, std::string message) {
        findings_.push_back({std::move(path), std::move(message)});
    }

    bool segmentExists(const std::string& id) const { return graph_.segmentById(id) != nullptr; }

    // Reports a present value of the wrong kind. `allowNull`: the null
    // marker counts as absent under this key.
    void expectString(const Dictionary& d, const std::string& path, std::string_view key,
                      bool allowNull = false) {
        const Value v = d.get(key);
        if (v.isNone() || v.isString() || (allowNull && v.isNull())) return;
        add(path + std::string(key), "expected a string, found " + kindName(v));
    }
    void expectNumber(const Dictionary& d, const std::string& path, std::string_view key,
                      bool allowNull = false) {
        const Value v = d.get(key);
        if (v.isNone() || (allowNull && v.isNull())) return;
        if (v.isNumber() && !v.isBool() && v.isFiniteNumber()) return;
        add(path + std::string(key), "expected a finite number, found " + kindName(v));
    }
    void expectObject(const Dictionary& d, const std::string& path, std::string_view key,
                      bool allowNull = false) {
        const Value v = d.get(key);
        if (v.isNone() || v.isDictionary() || (allowNull && v.isNull())) return;
        add(path + std::string(key), "expected an object, found " + kindName(v));
    }

    static std::string kindName(const Value& v) {
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
            add(path, "names no segment \"" + *v.string() + "\"");
        }
    }

    void checkTopLevel() {
        expectString(dictionary_, "", "playgraphId");
        expectString(dictionary_, "", "type");
        expectString(dictionary_, "", "transitionType");
        expectObject(dictionary_, "", "annotations");
        const Value initial = dictionary_.get("initialSegment");
        if (initial.isAbsent()) {
            add("initialSegment", "missing: the default path is empty");
        } else {
            expectString(dictionary_, "", "initialSegment");
            checkReference(initial, "initialSegment");
        }
        const Value segments = dictionary_.get("segments");
        if (segments.isNone())
            add("segments", "missing: the playgraph has no segments");
        else
            expectObject(dictionary_, "", "segments");
    }

    void checkSegment(const std::string& id, const Value& value) {
        const std::string path = "segments." + id + ".";
        if (!value.isDictionary()) {
            add("segments." + id, "expected an object, found " + kindName(value));
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
        if (segment && segment->viewableId().isAbsent() && !d.get("viewableId").isNumber()) {
            add(path + "viewableId", "missing: the segment plays no viewable");
        }
        const Value end = d.get("endTimeMs");
        if (end.isFiniteNumber() && !end.isBool()) {
            const Value start = d.get("startTimeMs");
            const int64_t startMs = start.isFiniteNumber() ? start.integerReading() : 0;
            const int64_t endMs = end.integerReading();
            if (endMs < 0 || endMs <= startMs) {
                add(path + "endTimeMs",
                    "end " + std::to_string(endMs) + " ms is not after start " +
                        std::to_string(startMs) +
                        " ms: the segment silently plays to the end of its viewable");
            }
        }

        const Value next = d.get("next");
        if (!next.isDictionary()) return;
        for (const auto& [destination, entry] : *next.dictionary()) {
            const std::string entryPath = path + "next." + destination;
            if (!segmentExists(destination)) {
                add(entryPath, "names no segment \"" + destination + "\"");
            }
            if (!entry.isDictionary()) {
                add(entryPath, "expected an object, found " + kindName(entry));
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
        std::set<std::string> reached;
        graph_.bredthFirstTraversalFromSegmentId(
            initial, std::numeric_limits<uint64_t>::max(),
            [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
                if (s) reached.insert(s->segmentId());
            });
        for (const auto& [id, segment] : graph_.segmentMap()) {
            if (!reached.count(id)) {
                add("segments." + id, "unreachable from the initial segment \"" + *initial + "\"");
            }
        }
    }

    void checkDefaultPathLoop() {
        const auto& initial = graph_.initialSegmentId();
        if (!initial) return;
        std::set<std::string> visited;
        auto segment = graph_.segmentById(*initial);
        while (segment) {
            visited.insert(segment->segmentId());
            const auto& next = segment->defaultNext();
            if (!next) return;
            if (visited.count(*next)) {
                add("segments." + segment->segmentId() + ".defaultNext",
                    "the default path loops back to \"" + *next + "\"");
                return;
            }
            segment = graph_.segmentById(*next);
        }
    }

    void checkOverlaps() {
        std::vector<std::shared_ptr<PlaygraphSegment>> segments;
        for (const auto& [id, segment] : graph_.segmentMap()) {
            if (!segment->viewableId().isAbsent()) segments.push_back(segment);
        }
        const auto endOf = [](const PlaygraphSegment& s) {
            return s.playToViewableEnd() ? std::numeric_limits<double>::infinity() : s.endTime();
        };
        for (std::size_t i = 0; i < segments.size(); ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                const PlaygraphSegment& a = *segments[j];
                const PlaygraphSegment& b = *segments[i];
                if (!(a.viewableId() == b.viewableId())) continue;
                if (a.startTime() < endOf(b) && b.startTime() < endOf(a)) {
                    add("segments." + b.segmentId(), "overlaps segment \"" + a.segmentId() +
                                                         "\" in viewable " +
                                                         valueText(b.viewableId()));
                }
            }
        }
    }

    const Playgraph& graph_;
    const Dictionary& dictionary_;
    std::vector<Finding> findings_;
};

} // namespace

std::vector<Finding> checkPlaygraph(const LoadedPlaygraph& loaded) { return Checker(loaded).run(); }

Command addCheckCommand(CLI::App& app) {
    auto options = std::make_shared<InputOptions>();
    CLI::App* command = app.add_subcommand(
        "check", "Lints the playgraph: missing references, unreachable segments, a looping "
                 "default path, ends not after starts, overlapping ranges, wrongly typed values; "
                 "status 1 when there are findings");
    addInputOptions(*command, *options);
    return {command, [options] {
                const LoadedPlaygraph loaded = loadPlaygraph(*options);
                const auto findings = checkPlaygraph(loaded);
                for (const auto& finding : findings)
                    std::cout << loaded.name << ": " << finding.path << ": " << finding.message
                              << '\n';
                if (findings.empty()) {
                    std::cout << loaded.name << ": no findings\n";
                    return int(exitOk);
                }
                std::cout << findings.size()
                          << (findings.size() == 1 ? " finding\n" : " findings\n");
                return int(exitFindings);
            }};
}

} // namespace playgraph::tool

#include "ModelAnswers.hpp"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace playgraph::testsupport {

namespace {

std::string bits(double v) {
    uint64_t u = 0;
    std::memcpy(&u, &v, sizeof u);
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%016" PRIx64, u);
    return buffer;
}

std::string text(const Value& v) { return std::to_string(static_cast<int>(v.kind())) + v.text(); }

std::string text(const std::optional<std::string>& s) { return s ? "'" + *s + "'" : "-"; }

std::string text(const std::shared_ptr<QZPlaygraphSegment>& s) { return s ? s->segmentId() : "-"; }

std::string text(const PlaygraphPosition& p) {
    return text(p.segment) + "@" + bits(p.watchableTime);
}

} // namespace

std::string modelAnswers(const PlaygraphBase& p, bool flavorQueries) {
    std::string out;
    const auto line = [&](const std::string& s) {
        out += s;
        out += '\n';
    };
    line("initial " + text(p.initialSegmentId()) + " type " + text(p.type()) + " tt " +
         text(p.transitionType()) + " duration " + bits(p.duration()));
    if (auto ids = p.allSegmentIds()) {
        std::string all = "ids";
        for (const auto& id : *ids)
            all += " " + id;
        line(all);
    }
    std::vector<double> starts{0.0};
    for (const auto& [id, s] : p.segmentMap()) {
        if (!s) {
            line("segment " + id + " none");
            continue;
        }
        line("segment " + id + " " + s->segmentId() + " " +
             s->canonicalSegmentId().substr(p.playgraphId().size()) + " v " +
             text(s->viewableId()) + " " + bits(s->startTime()) + " " + bits(s->endTime()) + " " +
             bits(s->movieDuration()) + " " + bits(s->segmentDuration()) + " " +
             bits(s->offsetInPlaygraph()) + (s->playToViewableEnd() ? " toEnd" : "") + " dn " +
             text(s->defaultNext()) + " tt " + text(s->transitionType()) + " ui " +
             (s->userInfo() ? Value(*s->userInfo()).text() : "-") + " an " +
             (s->annotations() ? Value(*s->annotations()).text() : "-") + " pp " +
             (s->playgraphParams() ? "1" : "0") + " ez " + std::to_string(s->exitZones().size()) +
             " dec " + (s->isDecorativeSegment() ? "1" : "0"));
        for (const auto& [to, t] : s->next()) {
            line("  -> " + to + " " + t->key() + " w " + text(t->weight()) + " skip " +
                 (t->skipRegionOffset() ? bits(*t->skipRegionOffset()) : "-") + " ap " +
                 std::to_string(t->autoplayType()) + " tt " + text(t->transitionType()) + " eff " +
                 text(t->effectiveTransitionType()) + " dest " + text(t->destinationSegment()) +
                 " off " + bits(t->destinationSegmentOffset()) + " src " +
                 text(t->sourceSegment()));
        }
    }

    // Walks.
    std::string walk = "path";
    double acc = 0.0;
    p.defaultPathTraversal([&](const auto& s, uint64_t i, bool&) {
        walk += " " + text(s) + "/" + std::to_string(i);
        const double d = s ? s->segmentDuration() : 0.0;
        if (!std::isnan(d)) {
            acc += d;
            starts.push_back(acc);
        }
    });
    line(walk);
    walk = "dfs";
    p.depthFirstTraversalFromSegmentId(std::nullopt, [&](const auto& s, uint64_t d, bool&) {
        walk += " " + text(s) + "/" + std::to_string(d);
    });
    line(walk);
    for (const uint64_t depth : {uint64_t{2}, std::numeric_limits<uint64_t>::max()}) {
        walk = "bfs";
        p.bredthFirstTraversalFromSegmentId(std::nullopt, depth,
                                            [&](const auto& s, uint64_t d, bool&) {
                                                walk += " " + text(s) + "/" + std::to_string(d);
                                            });
        line(walk);
    }

    // Queries along the default path: at each boundary, just around it, and
    // where naive code breaks.
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::vector<double> times{-1.0, -inf, inf, std::nan(""), 1e300, 0.25};
    for (const double t : starts) {
        times.push_back(t);
        times.push_back(std::nextafter(t, -inf));
        times.push_back(std::nextafter(t, inf));
        times.push_back(t + 0.5);
    }
    for (const double t : times) {
        line("t " + bits(t) + " " + text(p.segmentIdAtPlaygraphTime(t)) + " " +
             bits(p.playerTimeForPlaygraphOffset(t)) + " " +
             text(p.positionAtPlaygraphOffsetAlongDefaultPlaybackPath(t)));
    }
    line("initial " + text(p.initialPosition()));
    for (const auto& [id, s] : p.segmentMap()) {
        if (!s) continue;
        const double start = s->startTime();
        std::string q = "q " + id;
        for (const double t : {start, start + 0.5, start - 1.0, s->endTime()}) {
            q += " " + bits(p.playgraphOffsetForPlayerTime(t, s));
            q += " " + text(p.positionAtSegmentSegmentOffset(id, t - start));
            if (!flavorQueries) continue;
            q += " " + text(p.positionAtSegmentViewableTime(id, t));
            q += " " + text(p.positionAtViewableTime(t, s->viewableId()));
            if (const auto found = p.segmentIdsForPosition(
                    t, static_cast<uint64_t>(s->viewableId().integerReading()))) {
                for (const auto& f : *found)
                    q += "," + f;
            }
        }
        q += " " + text(p.positionAtStartOfSegment(id));
        line(q);
    }
    return out;
}

} // namespace playgraph::testsupport

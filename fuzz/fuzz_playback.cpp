// A byte string makes a small story (loops, dangling ids, play-to-end
// segments, weights of every kind) and drives a playback session through it:
// progress, seeks, choices, back, overrides and lengths set behind its back,
// plans and decisions. The timeline stays contiguous, chances stay within
// 0 and 1, and every saved state restores on a fresh data source.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.hpp"
#include "playgraph/playgraph.hpp"

using namespace playgraph;
using playgraph::fuzz::check;
using playgraph::fuzz::pickTime;

namespace {

Dictionary story(FuzzedDataProvider& in, std::vector<std::string>& ids) {
    const int n = in.ConsumeIntegralInRange<int>(1, 8);
    for (int i = 0; i < n; ++i)
        ids.push_back("s" + std::to_string(i));
    Dictionary segments;
    for (int i = 0; i < n; ++i) {
        const int start = in.ConsumeIntegralInRange<int>(0, 20000);
        Dictionary s{{"viewableId", in.ConsumeIntegralInRange<int>(1, 3)}, {"startTimeMs", start}};
        if (in.ConsumeBool()) s.set("endTimeMs", start + in.ConsumeIntegralInRange<int>(0, 9000));
        Dictionary next;
        for (int k = in.ConsumeIntegralInRange<int>(0, 3); k > 0; --k) {
            Value weight;
            switch (in.ConsumeIntegralInRange<int>(0, 4)) {
            case 0:
                weight = Value(in.ConsumeIntegralInRange<int>(-5, 100));
                break;
            case 1:
                weight = Value(in.ConsumeFloatingPoint<double>());
                break;
            case 2:
                weight = Value("heavy");
                break;
            case 3:
                weight = Value(true);
                break;
            default:
                break;
            }
            const std::string to = "s" + std::to_string(in.ConsumeIntegralInRange<int>(0, n));
            next.set(to, weight.isNone() ? Dictionary{} : Dictionary{{"weight", weight}});
        }
        if (!next.empty()) s.set("next", next);
        if (in.ConsumeBool())
            s.set("defaultNext", "s" + std::to_string(in.ConsumeIntegralInRange<int>(0, n)));
        segments.set(ids[static_cast<std::size_t>(i)], s);
    }
    return Dictionary{{"playgraphId", "p"}, {"initialSegment", "s0"}, {"segments", segments}};
}

std::shared_ptr<PlaygraphPlayerMutableDataSource> sourceOf(const Dictionary& d) {
    return PlaygraphPlayerMutableDataSource::create(Playgraph::create(Value(d).deepCopy()),
                                                    std::nullopt);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<std::string> ids;
    const Dictionary d = story(in, ids);
    auto source = sourceOf(d);
    auto session = PlaybackSession::create(
        source, {in.ConsumeFloatingPointInRange<double>(-1, 10), pickTime(in)});
    std::vector<std::pair<std::string, std::string>> overrides;
    std::vector<std::pair<std::string, double>> lengths;
    for (int step = 0; step < 40 && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange<int>(0, 11)) {
        case 0:
            session->advance(pickTime(in));
            break;
        case 1:
            session->segmentEnded();
            break;
        case 2:
            try {
                session->seek(pickTime(in));
            } catch (const InvalidArgumentError&) {
            }
            break;
        case 3:
            try {
                session->choose(fuzz::pickId(in, ids));
            } catch (const InvalidArgumentError&) {
            }
            break;
        case 4:
            (void)session->back();
            break;
        case 5: {
            // Only where the session has not chosen: its state restores its
            // choices after the overrides of others.
            const std::string from = fuzz::pickId(in, ids);
            const std::string to = fuzz::pickId(in, ids);
            auto segment = source->segmentById(from);
            bool chosen = false;
            for (const auto& r : session->decisions())
                chosen = chosen || (!r.defaulted && r.segment == segment);
            if (segment && !chosen) {
                source->setNextSegmentAfter(segment, source->segmentById(to));
                overrides.emplace_back(from, to);
            }
            break;
        }
        case 6: {
            const std::string id = fuzz::pickId(in, ids);
            if (auto segment = source->segmentById(id); segment && segment->playToViewableEnd()) {
                const double seconds = pickTime(in);
                segment->setMovieDuration(seconds);
                lengths.emplace_back(id, seconds);
            }
            break;
        }
        case 7: {
            // Mostly horizons a player asks for; now and then any time at all.
            const double horizon = in.ConsumeIntegralInRange<int>(0, 7) == 0
                                       ? pickTime(in)
                                       : in.ConsumeFloatingPointInRange<double>(0, 60);
            const auto plan =
                session->prefetchPlan(horizon, {in.ConsumeIntegral<uint8_t>(), pickTime(in)});
            for (const auto& e : plan.entries)
                check(e.probability >= 0.0 && e.probability <= 1.0 + 1e-9, "a chance out of range");
            break;
        }
        case 8:
            (void)session->upcomingDecisions(pickTime(in));
            break;
        case 9:
            (void)session->sessionTimeAtPosition(session->positionAtSessionTime(pickTime(in)));
            break;
        case 10:
            session->refresh();
            break;
        default: {
            auto fresh = sourceOf(d);
            for (const auto& [from, to] : overrides)
                fresh->setNextSegmentAfter(fresh->segmentById(from), fresh->segmentById(to));
            for (const auto& [id, seconds] : lengths)
                fresh->segmentById(id)->setMovieDuration(seconds);
            try {
                auto restored =
                    PlaybackSession::restore(fresh, session->state(), session->options());
                check(Value(restored->state()) == Value(session->state()), "a restore differs");
            } catch (const InvalidArgumentError& e) {
                std::fprintf(stderr, "%s\n", e.what());
                check(false, "a saved state did not restore");
            }
        }
        }
        const auto& line = session->timeline();
        for (std::size_t i = 1; i < line.size(); ++i)
            check(line[i].start == line[i - 1].end, "a gap in the timeline");
        check(session->currentStep() < line.size() || !session->position().segment,
              "the current segment is off the timeline");
    }
    return 0;
}

#include "PlaygraphGenerator.hpp"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <string_view>

namespace playgraph::bench {

namespace {

// splitmix64: small, fast and the same on every platform and library
// (the standard distributions are not).
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// Uniform in [lo, hi], both included.
    uint64_t between(uint64_t lo, uint64_t hi) { return lo + next() % (hi - lo + 1); }
    bool chance(unsigned percent) { return next() % 100 < percent; }

private:
    uint64_t state_;
};

// "<word>_<index, 6 digits>" padded with random letters to 10..20 characters.
std::string makeId(Rng& rng, std::string_view word, std::size_t index) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%06zu", index);
    std::string id(word);
    id += '_';
    id += digits;
    const std::size_t target = rng.between(std::max<std::size_t>(id.size() + 2, 10), 20);
    if (id.size() < target) id += '_';
    while (id.size() < target)
        id += static_cast<char>('a' + rng.between(0, 25));
    return id;
}

struct Segment {
    std::string id;
    Dictionary dict;
};

} // namespace

GeneratedPlaygraph generatePlaygraph(const GeneratorOptions& options) {
    Rng rng(options.seed);
    GeneratedPlaygraph out;
    const std::size_t total = std::max<std::size_t>(options.segmentCount, 1);
    const std::size_t branchEvery = std::max<std::size_t>(options.branchEvery, 2);
    out.viewableId = 80000000 + rng.between(0, 999999);
    const Value viewable(out.viewableId);

    std::vector<Segment> segments;
    segments.reserve(total);
    int64_t viewableCursorMs = 0;

    const auto addSegment = [&](std::string_view word, bool playToEnd) -> Segment& {
        Segment s{makeId(rng, word, segments.size()), Dictionary()};
        s.dict.set("viewableId", viewable);
        s.dict.set("main", viewable);
        const int64_t lengthMs = static_cast<int64_t>(rng.between(2000, 30000));
        s.dict.set("startTimeMs", viewableCursorMs);
        if (!playToEnd) s.dict.set("endTimeMs", viewableCursorMs + lengthMs);
        viewableCursorMs += lengthMs;
        segments.push_back(std::move(s));
        return segments.back();
    };

    // Lay out the path with its branches; each path segment records where
    // its branch (if any) starts so the links can be set once the next path
    // segment exists.
    struct PathStep {
        std::size_t index;
        std::vector<std::size_t> alternatives; // first segment of each alternative
        std::vector<std::size_t> tails;        // last segment of each rejoining alternative
    };
    std::vector<PathStep> path;
    std::size_t sinceBranch = 0;
    std::size_t nextGap = branchEvery;
    while (segments.size() < total) {
        const bool decorative = !path.empty() && rng.chance(4);
        const std::string_view word = path.empty() ? "intro" : decorative ? "recap" : "scene";
        Segment& s = addSegment(word, false);
        if (decorative) {
            s.dict.set("annotations", Dictionary{{"decorative", true},
                                                 {"isPadding", rng.chance(30)},
                                                 {"decorativeIndex", int64_t(path.size())}});
        } else if (rng.chance(10)) {
            Dictionary annotations{{"allowsSkipForward", rng.chance(50)},
                                   {"allowsSeekWithin", rng.chance(70)}};
            if (rng.chance(40)) annotations.set("breakIndex", int64_t(rng.between(0, 9)));
            if (rng.chance(20))
                annotations.set("adBreakToken", "ab-" + std::to_string(path.size()));
            if (rng.chance(10)) annotations.set("fixedPlaybackRate", 1.0);
            s.dict.set("annotations", std::move(annotations));
        }
        path.push_back(PathStep{segments.size() - 1, {}, {}});

        // A branch point every few segments, while room is left.
        if (++sinceBranch < nextGap || segments.size() + 2 > total) continue;
        sinceBranch = 0;
        nextGap = rng.between(branchEvery / 2 + 1, branchEvery + branchEvery / 2);
        const std::size_t alternatives = rng.chance(60) ? 1 : 2;
        for (std::size_t a = 0; a < alternatives && segments.size() + 1 < total; ++a) {
            // Now and then an alternative ends the story.
            if (rng.chance(8)) {
                addSegment("ending", true);
                path.back().alternatives.push_back(segments.size() - 1);
                continue;
            }
            const std::size_t length = (rng.chance(70) || segments.size() + 2 >= total) ? 1 : 2;
            const std::size_t first = segments.size();
            for (std::size_t k = 0; k < length; ++k) {
                addSegment(k == 0 ? "choice" : "alt", false);
                if (k > 0) segments[first + k - 1].dict.set("defaultNext", segments.back().id);
            }
            path.back().alternatives.push_back(first);
            path.back().tails.push_back(segments.size() - 1);
        }
    }

    // Links: each path segment's default next is the following path segment;
    // a branch point also gets a weighted transition to it and to each
    // alternative, and rejoining alternatives lead to it.
    for (std::size_t p = 0; p < path.size(); ++p) {
        Segment& s = segments[path[p].index];
        const bool last = p + 1 == path.size();
        if (last) {
            // The story ends; so do the alternatives branching off here.
            continue;
        }
        const std::string& following = segments[path[p + 1].index].id;
        s.dict.set("defaultNext", following);
        if (path[p].alternatives.empty()) {
            if (rng.chance(50))
                s.dict.set("next", Dictionary{{following, Dictionary{{"weight", 100}}}});
            continue;
        }
        Dictionary next;
        next.set(following, Dictionary{{"weight", int64_t(rng.between(40, 80))}});
        for (std::size_t alt : path[p].alternatives) {
            Dictionary entry{{"weight", int64_t(rng.between(10, 40))}};
            if (rng.chance(20)) entry.set("transitionType", "immediate");
            if (rng.chance(10)) entry.set("autoplayType", 1);
            next.set(segments[alt].id, std::move(entry));
        }
        s.dict.set("next", std::move(next));
        for (std::size_t tail : path[p].tails) {
            segments[tail].dict.set("next", Dictionary{{following, Dictionary{{"weight", 100}}}});
        }
    }

    out.segmentIds.reserve(segments.size());
    out.defaultPath.reserve(path.size());
    for (const Segment& s : segments)
        out.segmentIds.push_back(s.id);
    for (const PathStep& step : path)
        out.defaultPath.push_back(segments[step.index].id);

    std::vector<std::size_t> order(segments.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (options.shuffleSegmentOrder) {
        for (std::size_t i = order.size(); i > 1; --i)
            std::swap(order[i - 1], order[rng.between(0, i - 1)]);
    }
    Dictionary all;
    for (std::size_t i : order)
        all.set(segments[i].id, std::move(segments[i].dict));

    char playgraphId[40];
    std::snprintf(playgraphId, sizeof playgraphId, "pg-%016llx",
                  static_cast<unsigned long long>(rng.next()));
    out.dictionary = Dictionary{{"playgraphId", playgraphId},
                                {"type", "branching"},
                                {"initialSegment", segments.front().id},
                                {"segments", std::move(all)}};
    return out;
}

} // namespace playgraph::bench

// The lint against the loader: on randomized dictionaries, every entry of a
// kind its key does not take is reported as such, and the loader (both
// flavors) reads every entry so reported as it reads the entry's absence.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "ModelAnswers.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/model/Validate.hpp"

using namespace playgraph;

namespace {

// What a key takes: a number, a time (a finite number), a string or an
// object; perhaps also the null marker.
struct Takes {
    char kind; // 'n', 't', 's' or 'o'
    bool null = false;
    bool fits(const Value& v) const {
        switch (kind) {
        case 'n':
            return v.isNumber();
        case 't':
            return v.isFiniteNumber() || (null && v.isNull());
        case 's':
            return v.isString() || (null && v.isNull());
        default:
            return v.isDictionary() || (null && v.isNull());
        }
    }
};

// Random playgraphs whose entries are absent, of their key's kind or of
// another (listed in `wrongPaths`).
class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    Value make() {
        wrongPaths.clear();
        Dictionary top;
        put(top, "", "playgraphId", {'s'}, [&] { return Value("pg"); });
        put(top, "", "type", {'s'}, [&] { return Value(pick(3) ? "branching" : "linear"); });
        put(top, "", "transitionType", {'s'}, [&] { return Value("immediate"); });
        put(top, "", "initialSegment", {'s'}, [&] { return id(); });
        put(top, "", "annotations", {'o'}, [&] { return Dictionary{{"k", 1}}; });
        put(top, "", "segments", {'o'}, [&] {
            Dictionary segments;
            for (int i = 0; i < 5; ++i)
                put(segments, "segments.", "s" + std::to_string(i), {'o'},
                    [&] { return segment("segments.s" + std::to_string(i) + "."); });
            return segments;
        });
        return top;
    }

    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
    std::vector<std::string> wrongPaths;

private:
    Value id() { return "s" + std::to_string(pick(6)); } // s5 names no segment

    Dictionary segment(const std::string& path) {
        Dictionary d;
        put(d, path, "viewableId", {'n'}, [&] { return Value(1 + pick(3)); });
        put(d, path, "startTimeMs", {'t'}, [&] { return Value(pick(4) * 500); });
        put(d, path, "endTimeMs", {'t', true}, [&] { return Value(2000 + pick(4) * 250.5); });
        put(d, path, "defaultNext", {'s', true}, [&] { return id(); });
        put(d, path, "transitionType", {'s'}, [&] { return Value("lazy"); });
        put(d, path, "main", {'n'}, [&] { return Value(4 + pick(2)); });
        put(d, path, "userInfo", {'o'}, [&] { return Dictionary{{"u", 1}}; });
        put(d, path, "annotations", {'o'}, [&] {
            return Dictionary{{"decorative", pick(2) == 0}, {"breakIndex", pick(3)}};
        });
        put(d, path, "next", {'o', true}, [&] {
            Dictionary next;
            for (int i = pick(3); i > 0; --i) {
                const std::string to = id().text(), at = path + "next." + to + ".";
                if (next.contains(to)) continue;
                put(next, path + "next.", to, {'o'}, [&] {
                    Dictionary entry{{"weight", pick(100)}};
                    put(entry, at, "skipRegionOffset", {'t', true},
                        [&] { return Value(pick(3000) + 0.25 * pick(4)); });
                    put(entry, at, "autoplayType", {'n'}, [&] { return Value(1 + pick(2)); });
                    put(entry, at, "transitionType", {'s'}, [&] { return Value("pauseAtEnd"); });
                    return entry;
                });
            }
            return next;
        });
        return d;
    }

    template <class Right>
    void put(Dictionary& d, const std::string& path, const std::string& key, Takes takes,
             Right right) {
        const int choice = pick(10);
        if (choice == 0) return;
        if (choice > 1) return d.set(key, right());
        const Value wrong[] = {true,          false,        "12", List{1},
                               Value::null(), Dictionary{}, 7,    std::nan("")};
        Value v;
        do {
            v = wrong[pick(8)];
        } while (takes.fits(v));
        d.set(key, v);
        wrongPaths.push_back(path + key);
    }

    std::mt19937 rng_;
};

std::vector<std::string> split(const std::string& path) {
    std::vector<std::string> keys;
    std::size_t from = 0;
    for (std::size_t dot; (dot = path.find('.', from)) != std::string::npos; from = dot + 1)
        keys.push_back(path.substr(from, dot - from));
    keys.push_back(path.substr(from));
    return keys;
}

// A deep copy of `dictionary` without the entry at `path`.
Value without(const Value& dictionary, const std::string& path) {
    Value copy = dictionary.deepCopy();
    const auto keys = split(path);
    Dictionary* d = copy.dictionary();
    for (std::size_t i = 0; i + 1 < keys.size(); ++i)
        d = d->find(keys[i])->dictionary();
    EXPECT_TRUE(d->erase(keys.back()));
    return copy;
}

// The editable flavor lists the ids its dictionary holds (a segment that is
// not an object too), so its id list is left out.
std::string answers(const std::shared_ptr<PlaygraphBase>& p) {
    std::string text = testsupport::modelAnswers(*p);
    if (const auto ids = text.find("\nids");
        ids != std::string::npos && p->flavor() == PlaygraphBase::Flavor::Editable) {
        text.erase(ids, text.find('\n', ids + 1) - ids);
    }
    return text + "\nmain " + p->mainViewableId().text();
}

} // namespace

TEST(Validate, ReportsExactlyTheWrongKindsTheLoaderReadsAsAbsent) {
    Generator generator(2024);
    for (int round = 0; round < 200; ++round) {
        const Value dictionary = generator.make();
        const Value viewable = generator.pick(2) ? Value(9) : Value();
        std::set<std::string> reported, missing;
        for (const ValidationFinding& f : validate(dictionary, viewable)) {
            if (f.code == ValidationCode::WrongKind) reported.insert(f.path);
            // The null marker under "initialSegment" is reported as missing.
            if (f.code == ValidationCode::Missing) missing.insert(f.path);
        }
        for (const std::string& path : generator.wrongPaths)
            EXPECT_TRUE(reported.count(path) || missing.count(path)) << round << ": " << path;
        const std::string immutable = answers(Playgraph::create(dictionary, viewable));
        const std::string editable =
            answers(MutablePlaygraph::create(dictionary.deepCopy(), viewable));
        for (const std::string& path : reported) {
            const Value other = without(dictionary, path);
            EXPECT_EQ(answers(Playgraph::create(other, viewable)), immutable) << path;
            EXPECT_EQ(answers(MutablePlaygraph::create(other, viewable)), editable) << path;
        }
    }
}

TEST(Validate, FindingsCarryCodesSeveritiesAndPathsInDictionaryOrder) {
    const Value d = Dictionary{
        {"segments",
         Dictionary{
             {"b", Dictionary{{"viewableId", 1}, {"startTimeMs", true}, {"endTimeMs", 10.5}}},
             {"a", Dictionary{{"viewableId", 1}, {"endTimeMs", 100}, {"defaultNext", "x"}}}}},
        {"initialSegment", "a"}};
    std::vector<std::string> seen;
    for (const ValidationFinding& f : validate(d))
        seen.push_back(std::string(codeName(f.code)) + " " + std::string(severityName(f.severity)) +
                       " " + f.path + ": " + f.message);
    const std::vector<std::string> expected{
        "wrongKind error segments.b.startTimeMs: expected a finite number, found a boolean",
        "time error segments.b.endTimeMs: 10.5 ms is not a whole number of milliseconds; the "
        "loader reads 10",
        "unreachable warning segments.b: unreachable from the initial segment \"a\"",
        "reference error segments.a.defaultNext: names no segment \"x\"",
        "overlap warning segments.a: overlaps segment \"b\" in viewable 1"};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(validate(Value(3)).size(), 1u);
    EXPECT_EQ(describe(ValidationCode::NonFiniteNumber), describe(ValidationCode::WrongKind));
}

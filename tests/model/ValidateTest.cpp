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

enum class Takes { Number, NumberOrNull, String, StringOrNull, Object, ObjectOrNull };

struct RandomPlaygraph {
    Value dictionary;
    std::vector<std::string> wrongPaths; // the entries given a kind their key does not take
};

class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    RandomPlaygraph make() {
        RandomPlaygraph out;
        wrong_ = &out.wrongPaths;
        Dictionary top;
        put(top, "", "playgraphId", Takes::String, [&] { return Value("pg"); });
        put(top, "", "type", Takes::String,
            [&] { return Value(pick(3) ? "branching" : "linear"); });
        put(top, "", "transitionType", Takes::String, [&] { return Value("immediate"); });
        put(top, "", "initialSegment", Takes::String, [&] { return id(); });
        put(top, "", "segments", Takes::Object, [&] {
            Dictionary segments;
            for (int i = 0; i < 5; ++i) {
                const std::string sid = "s" + std::to_string(i);
                if (pick(12) == 0) {
                    segments.set(sid, wrongValue(Takes::Object));
                    wrong_->push_back("segments." + sid);
                } else {
                    segments.set(sid, segment("segments." + sid + "."));
                }
            }
            return segments;
        });
        put(top, "", "annotations", Takes::Object, [&] { return Dictionary{{"k", 1}}; });
        out.dictionary = top;
        return out;
    }

    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

private:
    Value id() { return "s" + std::to_string(pick(6)); } // s5 names no segment

    Dictionary segment(const std::string& path) {
        Dictionary d;
        put(d, path, "viewableId", Takes::Number, [&] { return Value(1 + pick(3)); });
        put(d, path, "startTimeMs", Takes::Number, [&] { return Value(pick(4) * 500); });
        put(d, path, "endTimeMs", Takes::NumberOrNull,
            [&] { return pick(2) ? Value(2000 + pick(4) * 250) : Value(2000.5 + pick(4)); });
        put(d, path, "defaultNext", Takes::StringOrNull, [&] { return id(); });
        put(d, path, "transitionType", Takes::String, [&] { return Value("lazy"); });
        put(d, path, "main", Takes::Number, [&] { return Value(4 + pick(2)); });
        put(d, path, "userInfo", Takes::Object, [&] { return Dictionary{{"u", 1}}; });
        put(d, path, "annotations", Takes::Object, [&] {
            return Dictionary{{"decorative", pick(2) == 0}, {"breakIndex", pick(3)}};
        });
        put(d, path, "next", Takes::ObjectOrNull, [&] {
            Dictionary next;
            for (int i = pick(3); i > 0; --i) {
                const std::string to = id().text();
                if (next.contains(to)) continue;
                if (pick(8) == 0) {
                    next.set(to, wrongValue(Takes::Object));
                    wrong_->push_back(path + "next." + to);
                    continue;
                }
                Dictionary entry{{"weight", pick(100)}};
                const std::string at = path + "next." + to + ".";
                put(entry, at, "skipRegionOffset", Takes::NumberOrNull,
                    [&] { return Value(pick(3000) + 0.25 * pick(4)); });
                put(entry, at, "autoplayType", Takes::Number, [&] { return Value(1 + pick(2)); });
                put(entry, at, "transitionType", Takes::String,
                    [&] { return Value("pauseAtEnd"); });
                next.set(to, entry);
            }
            return next;
        });
        return d;
    }

    // Leaves `key` out, gives it a value of its kind, or one of another.
    template <class Right>
    void put(Dictionary& d, const std::string& path, std::string_view key, Takes takes,
             Right right) {
        const int choice = pick(6);
        if (choice == 0) return;
        if (choice > 1) {
            d.set(key, right());
            return;
        }
        d.set(key, wrongValue(takes));
        wrong_->push_back(path + std::string(key));
    }

    Value wrongValue(Takes takes) {
        for (;;) {
            Value v;
            switch (pick(7)) {
            case 0:
                v = pick(2) == 0; // a boolean is not a number
                break;
            case 1:
                v = "12";
                break;
            case 2:
                v = List{1};
                break;
            case 3:
                v = Value::null();
                break;
            case 4:
                v = Dictionary{{"x", 1}};
                break;
            case 5:
                v = 7;
                break;
            default:
                // Times and offsets ignore a non-finite number; other keys keep it.
                v = std::nan("");
            }
            const bool number = takes == Takes::Number || takes == Takes::NumberOrNull;
            const bool nullable = takes == Takes::NumberOrNull || takes == Takes::StringOrNull ||
                                  takes == Takes::ObjectOrNull;
            if (v.isNull() && nullable) continue;
            if (number ? v.isNumber()
                       : v.isString() && (takes == Takes::String || takes == Takes::StringOrNull))
                continue;
            if (v.isDictionary() && (takes == Takes::Object || takes == Takes::ObjectOrNull))
                continue;
            return v;
        }
    }

    std::mt19937 rng_;
    std::vector<std::string>* wrong_ = nullptr;
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
        const RandomPlaygraph random = generator.make();
        const Value viewable = generator.pick(2) ? Value(9) : Value();
        std::set<std::string> reported, missing;
        for (const ValidationFinding& f : validate(random.dictionary, viewable)) {
            if (f.code == ValidationCode::WrongKind) reported.insert(f.path);
            // The null marker under "initialSegment" is reported as missing.
            if (f.code == ValidationCode::Missing) missing.insert(f.path);
        }
        for (const std::string& path : random.wrongPaths) {
            if (!reported.count(path) && !missing.count(path)) {
                ADD_FAILURE() << "round " << round << ": " << path << " not reported";
            }
        }
        const std::string immutable = answers(Playgraph::create(random.dictionary, viewable));
        const std::string editable =
            answers(MutablePlaygraph::create(random.dictionary.deepCopy(), viewable));
        for (const std::string& path : reported) {
            const Value other = without(random.dictionary, path);
            EXPECT_EQ(answers(Playgraph::create(other, viewable)), immutable)
                << "round " << round << ": " << path;
            EXPECT_EQ(answers(MutablePlaygraph::create(other, viewable)), editable)
                << "round " << round << ": " << path;
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

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "playgraph/json/Json.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

using namespace playgraph;

namespace {

// The error that parsing `text` raises; fails the test when there is none.
JsonError parseError(std::string_view text) {
    try {
        parseJson(text);
    } catch (const JsonError& e) {
        return e;
    }
    ADD_FAILURE() << "no error for: " << text;
    return JsonError("", std::nullopt, "", "");
}

JsonError writeError(const Value& value) {
    try {
        writeJson(value);
    } catch (const JsonError& e) {
        return e;
    }
    ADD_FAILURE() << "no error writing " << value.text();
    return JsonError("", std::nullopt, "", "");
}

} // namespace

TEST(JsonNumbers, IntegersAndDoublesKeepTheirKinds) {
    EXPECT_EQ(parseJson("10000").kind(), Value::Kind::Int);
    EXPECT_EQ(parseJson("10000.0").kind(), Value::Kind::Double);
    EXPECT_EQ(parseJson("1E2").kind(), Value::Kind::Double);
    EXPECT_EQ(parseJson("-0").kind(), Value::Kind::Int);

    EXPECT_EQ(writeJson(Value(10000)), "10000");
    EXPECT_EQ(writeJson(Value(10000.0)), "10000.0");
    EXPECT_EQ(writeJson(Value(0.1)), "0.1");
    EXPECT_EQ(writeJson(Value(-0.0)), "-0.0");
    EXPECT_EQ(parseJson(writeJson(Value(1e300))).kind(), Value::Kind::Double);
    EXPECT_EQ(parseJson(writeJson(Value(1e300))), Value(1e300));
    EXPECT_EQ(parseJson(writeJson(Value(5e-324))), Value(5e-324));
    // Doubles written with 19 or more digits.
    EXPECT_EQ(parseJson("[2540152983115554304.0]"), Value(List{2540152983115554304.0}));
    EXPECT_EQ(writeJson(Value(2540152983115554304.0)), "2540152983115554304.0");
}

TEST(JsonNumbers, RangeEdges) {
    const Value min = parseJson("-9223372036854775808");
    EXPECT_EQ(min.kind(), Value::Kind::Int);
    EXPECT_EQ(std::get<int64_t>(min.data()), std::numeric_limits<int64_t>::min());

    const Value twoTo63 = parseJson("9223372036854775808");
    EXPECT_EQ(twoTo63.kind(), Value::Kind::UInt);
    EXPECT_EQ(std::get<uint64_t>(twoTo63.data()), uint64_t{1} << 63);
    EXPECT_EQ(parseJson("18446744073709551615").kind(), Value::Kind::UInt);

    // Beyond both integer ranges: a double.
    EXPECT_EQ(parseJson("18446744073709551616"), Value(18446744073709551616.0));
    EXPECT_EQ(parseJson("-9223372036854775809").kind(), Value::Kind::Double);

    // Too large for a double is an error; too small reads as zero.
    const JsonError huge = parseError("[1e400]");
    ASSERT_TRUE(huge.location());
    EXPECT_EQ(huge.location()->offset, 1u);
    EXPECT_EQ(parseJson("1e-400"), Value(0.0));

    EXPECT_EQ(writeJson(Value(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
    EXPECT_EQ(writeJson(Value(std::numeric_limits<uint64_t>::max())), "18446744073709551615");
}

TEST(JsonObjects, KeepOrderAndResolveDuplicates) {
    const Value v = parseJson(R"({"z": 1, "a": 2, "m": {"y": null, "b": [true, false]}})");
    ASSERT_TRUE(v.isDictionary());
    EXPECT_EQ(v.dictionary()->keys(), (std::vector<std::string>{"z", "a", "m"}));
    EXPECT_TRUE(v.dictionary()->get("m").dictionary()->get("y").isNull());
    EXPECT_EQ(writeJson(v), R"({"z":1,"a":2,"m":{"y":null,"b":[true,false]}})");

    // The last value wins, at the first one's position.
    const Value dup = parseJson(R"({"a": 1, "b": 2, "a": 3})");
    EXPECT_EQ(writeJson(dup), R"({"a":3,"b":2})");
}

// Keys are gathered while the values after them are read: escaped and long
// keys must survive the reading of nested objects and strings that follow,
// and objects above the linear lookup size must be found by key.
TEST(JsonObjects, KeysSurviveNestedReadingAndLargeObjectsAreIndexed) {
    const Value v = parseJson(
        R"({"a long key with \u00e9scapes \"quoted\"": {"inner key longer than sixteen": "v\\n",)"
        R"( "k\tab": {"deeper key, also long enough": [{"x": 1}]}},)"
        R"( "second long escaped key \u0041\u0042": "a string value long enough to allocate",)"
        R"( "a long key with \u00e9scapes \"quoted\"": 7})");
    ASSERT_TRUE(v.isDictionary());
    const std::string first = "a long key with \xc3\xa9scapes \"quoted\"";
    EXPECT_EQ(v.dictionary()->keys(),
              (std::vector<std::string>{first, "second long escaped key AB"}));
    EXPECT_EQ(v.dictionary()->get(first), Value(7));
    EXPECT_EQ(v.dictionary()->get("second long escaped key AB"),
              Value("a string value long enough to allocate"));

    std::string text = "{";
    for (int i = 0; i < 40; ++i) {
        if (i > 0) text += ",";
        text += "\"segment_with_a_long_id_";
        text += std::to_string(i);
        text += "\":{\"n\":";
        text += std::to_string(i);
        text += "}";
    }
    text += "}";
    const Value large = parseJson(text);
    ASSERT_EQ(large.dictionary()->size(), 40u);
    for (int i = 0; i < 40; ++i) {
        std::string key = "segment_with_a_long_id_";
        key += std::to_string(i);
        const Value* entry = large.dictionary()->find(key);
        ASSERT_NE(entry, nullptr) << key;
        EXPECT_EQ(entry->dictionary()->get("n"), Value(i));
    }
    EXPECT_EQ(writeJson(large), text);
}

TEST(JsonStrings, EscapesBothWays) {
    EXPECT_EQ(parseJson(R"("a\"b\\c\/d\n\t\u00e9\ud83d\ude00")"),
              Value("a\"b\\c/d\n\t\xC3\xA9\xF0\x9F\x98\x80"));
    const std::string withNul("x\0y", 3);
    EXPECT_EQ(parseJson(R"("x\u0000y")"), Value(withNul));

    EXPECT_EQ(writeJson(Value(std::string("q\"b\\\b\f\n\r\t\x01\x1f\x7f") + withNul)),
              "\"q\\\"b\\\\\\b\\f\\n\\r\\t\\u0001\\u001f\x7fx\\u0000y\"");
    EXPECT_EQ(writeJson(Value("caf\xC3\xA9")), "\"caf\xC3\xA9\"");
}

TEST(JsonWriter, NoneIsLeftOutOfDictionariesAndNullElsewhere) {
    Dictionary d{{"a", Value()}, {"b", 1}, {"c", Value()}};
    EXPECT_EQ(writeJson(d), R"({"b":1})");
    EXPECT_EQ(writeJson(Dictionary{{"a", Value()}}), "{}");
    EXPECT_EQ(writeJson(List{Value(), 1}), "[null,1]");
    EXPECT_EQ(writeJson(Value()), "null");
}

TEST(JsonWriter, PrettyLayout) {
    const Value v = Dictionary{{"a", 1}, {"b", List{2, Dictionary{}}}, {"c", List{}}};
    EXPECT_EQ(writeJson(v, JsonStyle::pretty), "{\n"
                                               "  \"a\": 1,\n"
                                               "  \"b\": [\n"
                                               "    2,\n"
                                               "    {}\n"
                                               "  ],\n"
                                               "  \"c\": []\n"
                                               "}");
}

TEST(JsonWriter, RefusesValuesWithoutJsonFormNamingTheirPath) {
    const Value params = Value(std::make_shared<QZPlaygraphParams>());
    const Value graph = Dictionary{
        {"segments",
         Dictionary{
             {"a", Dictionary{{"userInfo", Dictionary{{"PlaygraphSegmentUserInfoPlaygraphParamsKey",
                                                       params}}}}}}}};
    const JsonError object = writeError(graph);
    EXPECT_EQ(object.keyPath(), "segments.a.userInfo.PlaygraphSegmentUserInfoPlaygraphParamsKey");
    EXPECT_NE(std::string(object.what()).find(object.keyPath()), std::string::npos);

    EXPECT_EQ(writeError(Dictionary{{"t", List{1.0, std::nan("")}}}).keyPath(), "t[1]");
    EXPECT_EQ(writeError(Dictionary{{"a.b", std::numeric_limits<double>::infinity()}}).keyPath(),
              "[\"a.b\"]");
    EXPECT_EQ(writeError(Value(-std::numeric_limits<double>::infinity())).keyPath(), "");
    EXPECT_EQ(writeError(Dictionary{{"s", "bad \xFF byte"}}).keyPath(), "s");
    EXPECT_EQ(writeError(Dictionary{{"bad \xC0\x80", 1}}).reason(), "string is not valid UTF-8");

    // A dictionary that holds itself is refused rather than followed forever.
    Dictionary loop;
    loop.set("self", loop);
    EXPECT_NE(writeError(loop).reason().find("nested deeper"), std::string::npos);
    loop.erase("self");
}

TEST(JsonReader, MalformedInputReportsWhere) {
    struct Case {
        std::string text;
        std::size_t line, column;
    };
    const Case cases[] = {
        {"", 1, 1},
        {"  \n ", 2, 2},
        {"{\"a\": [1, 2", 1, 12},          // truncated
        {"{\n  \"a\": \"x\\q\"\n}", 2, 8}, // bad escape
        {"[\"\\ud800\"]", 1, 2},           // lone surrogate
        {"{} x", 1, 4},                    // trailing garbage
        {"1 2", 1, 3},
        {"[1] 2", 1, 5},
        {"{\"\\x\": 1}", 1, 2}, // bad escape in a key
        {"[1,,2]", 1, 4},
        {"{\"a\" 1}", 1, 6},
        {"[nul]", 1, 2},
        {"[01]", 1, 2},
        {"[\"abc", 1, 2},            // string never closed
        {"[\"a\tb\"]", 1, 4},        // raw control character
        {"[1, \"\xE2\x82\"]", 1, 6}, // truncated UTF-8 sequence
        {"\n\n\xFF", 3, 1},
    };
    for (const auto& c : cases) {
        const JsonError e = parseError(c.text);
        ASSERT_TRUE(e.location()) << c.text;
        EXPECT_EQ(e.location()->line, c.line) << c.text << ": " << e.what();
        EXPECT_EQ(e.location()->column, c.column) << c.text << ": " << e.what();
    }
}

TEST(JsonReader, NestingIsBounded) {
    const auto nested = [](std::size_t depth) {
        return std::string(depth, '[') + std::string(depth, ']');
    };
    EXPECT_NO_THROW(parseJson(nested(kMaxJsonDepth)));
    const JsonError e = parseError(nested(kMaxJsonDepth + 1));
    EXPECT_NE(e.reason().find("nested deeper"), std::string::npos);
    EXPECT_EQ(parseError(std::string(100000, '{')).location().has_value(), true);
    EXPECT_EQ(parseError(nested(100000)).reason(), e.reason());
}

TEST(JsonReader, DamagedDocumentsParseOrFailCleanly) {
    const std::string document =
        R"({"id": "x", "n": [1, -2.5e3, 18446744073709551615, true, null], "s": "a\u00e9\n",)"
        R"( "o": {"k": {"deep": [[{}], []]}}})";
    ASSERT_NO_THROW(parseJson(document));
    std::mt19937 rng(7);
    const std::string bytes = "{}[]\",:0-.eE\\u \x80\xff\n";
    for (int i = 0; i < 5000; ++i) {
        std::string damaged = document;
        const int edits = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < edits; ++k) {
            const std::size_t at = rng() % damaged.size();
            switch (rng() % 3) {
            case 0:
                damaged[at] = bytes[rng() % bytes.size()];
                break;
            case 1:
                damaged.erase(at, 1 + rng() % 4);
                break;
            default:
                damaged.insert(at, 1, bytes[rng() % bytes.size()]);
            }
            if (damaged.empty()) damaged = "{";
        }
        try {
            const Value v = parseJson(damaged);
            EXPECT_EQ(parseJson(writeJson(v)), v) << damaged; // whatever parses, round-trips
        } catch (const JsonError& e) {
            ASSERT_TRUE(e.location()) << damaged;
            EXPECT_LE(e.location()->offset, damaged.size());
        }
    }
}

TEST(JsonFiles, ReadsFilesAndNamesThemInErrors) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("playgraph-json-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto good = dir / "good.json";
    const auto bad = dir / "bad.json";
    std::ofstream(good) << "{\"a\": [1, 2.5]}\n";
    std::ofstream(bad) << "{\n  \"a\": tru\n}\n";

    EXPECT_EQ(readJsonFile(good), Value(Dictionary{{"a", List{1, 2.5}}}));
    try {
        readJsonFile(bad);
        ADD_FAILURE() << "no error";
    } catch (const JsonError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(bad.string() + ":2:8: ", 0), 0u) << e.what();
    }
    try {
        readJsonFile(dir / "missing.json");
        ADD_FAILURE() << "no error";
    } catch (const JsonError& e) {
        EXPECT_EQ(e.source(), (dir / "missing.json").string());
        EXPECT_FALSE(e.location());
    }
    std::filesystem::remove_all(dir);
}

namespace {

// Random values of every kind JSON can carry (no host objects, no none).
class RandomValues {
public:
    explicit RandomValues(uint32_t seed) : rng_(seed) {}

    Value make(int depth) {
        const int kind = pick(depth > 0 ? 8 : 6);
        switch (kind) {
        case 0:
            return Value::null();
        case 1:
            return Value(pick(2) == 1);
        case 2:
            return randomInt();
        case 3:
            return Value(std::uniform_int_distribution<uint64_t>(
                uint64_t{1} << 63, std::numeric_limits<uint64_t>::max())(rng_));
        case 4:
            return randomDouble();
        case 5:
            return Value(randomString());
        case 6: {
            Dictionary d;
            const int n = pick(5);
            for (int i = 0; i < n; ++i)
                d.set(randomString(), make(depth - 1));
            return d;
        }
        default: {
            List l;
            const int n = pick(5);
            for (int i = 0; i < n; ++i)
                l.push_back(make(depth - 1));
            return l;
        }
        }
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    Value randomInt() {
        static constexpr int64_t edges[] = {0, -1, std::numeric_limits<int64_t>::min(),
                                            std::numeric_limits<int64_t>::max()};
        if (pick(4) == 0) return Value(edges[pick(4)]);
        return Value(std::uniform_int_distribution<int64_t>(-1000000, 1000000)(rng_));
    }

    Value randomDouble() {
        static constexpr double edges[] = {0.0, -0.0, 10000.0, 1e300, 5e-324, 0.1, -1e-7, 1e21};
        if (pick(3) == 0) return Value(edges[pick(8)]);
        for (;;) {
            const uint64_t bits = std::uniform_int_distribution<uint64_t>()(rng_);
            double d = 0;
            std::memcpy(&d, &bits, sizeof d);
            if (std::isfinite(d)) return Value(d);
        }
    }

    std::string randomString() {
        std::string s;
        const int n = pick(8);
        for (int i = 0; i < n; ++i) {
            const int kind = pick(4);
            uint32_t cp = 0;
            if (kind == 0)
                cp = static_cast<uint32_t>(pick(0x20)); // control characters
            else if (kind == 1)
                cp = static_cast<uint32_t>("\"\\/ab."[pick(6)]);
            else if (kind == 2)
                cp = 0x80 + static_cast<uint32_t>(pick(0xD800 - 0x80));
            else
                cp = 0x10000 + static_cast<uint32_t>(pick(0x100000));
            appendUtf8(s, cp);
        }
        return s;
    }

    static void appendUtf8(std::string& s, uint32_t cp) {
        if (cp < 0x80) {
            s += static_cast<char>(cp);
        } else if (cp < 0x800) {
            s += static_cast<char>(0xC0 | (cp >> 6));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            s += static_cast<char>(0xE0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (cp >> 18));
            s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    std::mt19937 rng_;
};

} // namespace

TEST(JsonRoundTrip, RandomValuesSurviveBothStyles) {
    RandomValues random(20240611);
    for (int i = 0; i < 2000; ++i) {
        const Value v = random.make(4);
        for (const JsonStyle style : {JsonStyle::compact, JsonStyle::pretty}) {
            const std::string text = writeJson(v, style);
            const Value back = parseJson(text);
            ASSERT_EQ(back, v) << text;
            // Same kinds, same order: writing again gives the same text.
            ASSERT_EQ(writeJson(back, style), text);
        }
    }
}

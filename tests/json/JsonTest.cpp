#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "../TestSupport.hpp"
#include "playgraph/json/Json.hpp"

using namespace playgraph;

namespace {

// The error that `action` raises; fails the test when there is none.
template <typename F> JsonError errorOf(F action) {
    try {
        action();
    } catch (const JsonError& e) {
        return e;
    }
    ADD_FAILURE() << "no error";
    return JsonError("", std::nullopt, "", "");
}
JsonError parseError(std::string_view text) {
    return errorOf([&] { parseJson(text); });
}
JsonError writeError(const Value& value) {
    return errorOf([&] { writeJson(value); });
}

} // namespace

TEST(JsonNumbers, KindsAndRangeEdges) {
    const std::pair<const char*, Value::Kind> readings[] = {
        {"10000", Value::Kind::Int},
        {"10000.0", Value::Kind::Double},
        {"1E2", Value::Kind::Double},
        {"-0", Value::Kind::Int},
        {"-9223372036854775808", Value::Kind::Int},
        {"9223372036854775808", Value::Kind::UInt},
        {"18446744073709551615", Value::Kind::UInt},
        {"18446744073709551616", Value::Kind::Double}, // beyond both integer ranges
        {"-9223372036854775809", Value::Kind::Double},
    };
    for (const auto& [text, kind] : readings)
        EXPECT_EQ(parseJson(text).kind(), kind) << text;
    EXPECT_EQ(std::get<uint64_t>(parseJson("9223372036854775808").data()), uint64_t{1} << 63);
    // Too large for a double is an error; too small reads as zero.
    EXPECT_EQ(parseError("[1e400]").location()->offset, 1u);
    EXPECT_EQ(parseJson("1e-400"), Value(0.0));

    const std::pair<Value, const char*> writings[] = {
        {Value(10000), "10000"},
        {Value(10000.0), "10000.0"},
        {Value(0.1), "0.1"},
        {Value(-0.0), "-0.0"},
        {Value(2540152983115554304.0), "2540152983115554304.0"}, // 19 digits
        {Value(std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
        {Value(std::numeric_limits<uint64_t>::max()), "18446744073709551615"},
    };
    for (const auto& [value, text] : writings) {
        EXPECT_EQ(writeJson(value), text);
        EXPECT_EQ(parseJson(text), value) << text;
    }
}

TEST(JsonObjects, KeepOrderResolveDuplicatesAndIndexLargeObjects) {
    // The last value wins, at the first one's position; escaped keys survive the
    // reading of nested objects after them.
    const Value v = parseJson(R"({"z": 1, "a long key with \u00e9scapes": {"k\tab": {"y": null}},)"
                              R"( "a": [true], "z": 3})");
    EXPECT_EQ(writeJson(v), "{\"z\":3,\"a long key with \xc3\xa9scapes\":{\"k\\tab\":{\"y\":null}},"
                            "\"a\":[true]}");

    // Objects above the linear lookup size are found by key.
    std::string text = "{";
    for (int i = 0; i < 40; ++i)
        text += (i ? ",\"segment_" : "\"segment_") + std::to_string(i) + "\":" + std::to_string(i);
    text += "}";
    const Value large = parseJson(text);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(large.dictionary()->get("segment_" + std::to_string(i)), Value(i));
    EXPECT_EQ(writeJson(large), text);
}

TEST(JsonWriter, NoneIsLeftOutOfDictionariesAndPrettyLayout) {
    EXPECT_EQ(writeJson(Dictionary{{"a", Value()}, {"b", 1}}), R"({"b":1})");
    EXPECT_EQ(writeJson(List{Value(), 1}), "[null,1]");
    const Value v = Dictionary{{"a", 1}, {"b", List{2, Dictionary{}}}, {"c", List{}}};
    EXPECT_EQ(writeJson(v, JsonStyle::Pretty),
              "{\n  \"a\": 1,\n  \"b\": [\n    2,\n    {}\n  ],\n  \"c\": []\n}");
}

TEST(JsonWriter, RefusesValuesWithoutJsonFormNamingTheirPath) {
    const Value params = Value(std::make_shared<QZPlaygraphParams>());
    const Value graph = Dictionary{
        {"segments", Dictionary{{"a", Dictionary{{"userInfo", Dictionary{{"k", params}}}}}}}};
    const JsonError object = writeError(graph);
    EXPECT_EQ(object.keyPath(), "segments.a.userInfo.k");
    EXPECT_NE(std::string(object.what()).find(object.keyPath()), std::string::npos);

    EXPECT_EQ(writeError(Dictionary{{"t", List{1.0, std::nan("")}}}).keyPath(), "t[1]");
    EXPECT_EQ(writeError(Dictionary{{"a.b", std::numeric_limits<double>::infinity()}}).keyPath(),
              "[\"a.b\"]");
    EXPECT_EQ(writeError(Dictionary{{"s", "bad \xFF byte"}}).keyPath(), "s");
    EXPECT_EQ(writeError(Dictionary{{"bad \xC0\x80", 1}}).reason(), "string is not valid UTF-8");
    // UTF-8 at the edges of each sequence length and of the surrogates.
    for (const char* valid :
         {"\xC2\x80", "\xE0\xA0\x80", "\xEC\xA0\x80", "\xEF\x80\x80", "\xF4\x8F\xBF\xBF"})
        EXPECT_EQ(writeJson(Value(valid)), "\"" + std::string(valid) + "\"");
    for (const char* invalid : {"\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
        EXPECT_EQ(writeError(Value(invalid)).reason(), "string is not valid UTF-8") << invalid;

    // A dictionary that holds itself is refused rather than followed forever.
    Dictionary loop;
    loop.set("self", loop);
    EXPECT_NE(writeError(loop).reason().find("nested deeper"), std::string::npos);
    EXPECT_TRUE(loop.erase("self"));
}

TEST(JsonReader, MalformedInputReportsWhere) {
    struct Case {
        std::string text;
        std::size_t line, column;
    };
    const Case cases[] = {
        {"  \n ", 2, 2},
        {"{\"a\": [1, 2", 1, 12},          // truncated
        {"{\n  \"a\": \"x\\q\"\n}", 2, 8}, // bad escape
        {"[\"\\ud800\"]", 1, 2},           // lone surrogate
        {"[1] 2", 1, 5},                   // trailing garbage
        {"[1]\t\n 2", 2, 2},
        {"12 3", 1, 4},
        {"[\"\\\"]\"] 2", 1, 9},
        {"{\"\\x\": 1}", 1, 2}, // bad escape in a key
        {"[1,,2]", 1, 4},
        {"{\"a\" 1}", 1, 6},
        {"[01]", 1, 2},
        {"[\"abc", 1, 2},            // string never closed
        {"[\"a\tb\"]", 1, 4},        // raw control character
        {"[1, \"\xE2\x82\"]", 1, 6}, // truncated UTF-8 sequence
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
    std::string objects;
    for (std::size_t i = 0; i < kMaxJsonDepth; ++i)
        objects += "{\"a\":";
    EXPECT_NO_THROW(parseJson(objects + "1" + std::string(kMaxJsonDepth, '}')));
    const JsonError e = parseError(nested(kMaxJsonDepth + 1));
    EXPECT_NE(e.reason().find("nested deeper"), std::string::npos);
    EXPECT_EQ(parseError(nested(100000)).reason(), e.reason());
    EXPECT_TRUE(parseError(std::string(100000, '{')).location());
}

TEST(JsonReader, DamagedDocumentsParseOrFailCleanly) {
    const std::string document =
        R"({"id": "x", "n": [1, -2.5e3, 18446744073709551615, true, null], "s": "a\u00e9\n",)"
        R"( "o": {"k": {"deep": [[{}], []]}}})";
    std::mt19937 rng(7);
    const std::string bytes = "{}[]\",:0-.eE\\u \x80\xff\n";
    for (int i = 0; i < 5000; ++i) {
        std::string damaged = document;
        for (int k = static_cast<int>(rng() % 3); k >= 0 && !damaged.empty(); --k) {
            const std::size_t at = rng() % damaged.size();
            if (rng() % 2)
                damaged[at] = bytes[rng() % bytes.size()];
            else
                damaged.erase(at, 1 + rng() % 4);
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
    const auto bad = dir / "bad.json";
    std::ofstream(bad) << "{\n  \"a\": tru\n}\n";
    const std::string what = errorOf([&] { readJsonFile(bad); }).what();
    EXPECT_EQ(what.rfind(bad.string() + ":2:8: ", 0), 0u) << what;
    const JsonError missing = errorOf([&] { readJsonFile(dir / "missing.json"); });
    EXPECT_EQ(missing.source(), (dir / "missing.json").string());
    EXPECT_FALSE(missing.location());
    std::filesystem::remove_all(dir);
}

TEST(JsonRoundTrip, RandomValuesSurviveBothStyles) {
    std::mt19937 rng(20240611);
    for (int i = 0; i < 2000; ++i) {
        const Value v = test::randomValue(rng, 4);
        for (const JsonStyle style : {JsonStyle::Compact, JsonStyle::Pretty}) {
            const std::string text = writeJson(v, style);
            const Value back = parseJson(text);
            ASSERT_EQ(back, v) << text;
            // Same kinds, same order: writing again gives the same text.
            ASSERT_EQ(writeJson(back, style), text);
        }
    }
}

// The canonical form depends on the content alone: the same value with its
// keys in another order, or read back from the canonical text, gives the
// same text, and the text reads back as the value.
TEST(JsonCanonical, OneTextPerValueWhateverTheOrder) {
    std::mt19937 rng(3232);
    for (int i = 0; i < 2000; ++i) {
        const Value v = test::randomValue(rng, 5);
        const std::string text = writeJson(v, JsonStyle::Canonical);
        ASSERT_EQ(parseJson(text), v) << text;
        ASSERT_EQ(writeJson(parseJson(text), JsonStyle::Canonical), text);
        ASSERT_EQ(writeJson(test::reversedKeys(v), JsonStyle::Canonical), text);
    }
}

TEST(JsonCanonical, SortsKeysAndPutsASegmentInABlockOfLines) {
    const Value story = parseJson(R"({"segments": {"b": {"startTimeMs": 5.0, "endTimeMs": null},
        "a": {"next": {"b": {"weight": 70, "transitionType": "lazy"}}, "startTimeMs": 0,
              "annotations": {"decorative": true, "tags": ["x", "y"], "deep": {"k": {}}}}},
        "initialSegment": "a", "list": [{"z": 1, "a": 2}, []], "empty": {}})");
    EXPECT_EQ(writeJson(story, JsonStyle::Canonical), R"({
  "empty": {},
  "initialSegment": "a",
  "list": [{"a": 2, "z": 1}, []],
  "segments": {
    "a": {
      "annotations": {
        "decorative": true,
        "deep": {"k": {}},
        "tags": ["x", "y"]
      },
      "next": {
        "b": {"transitionType": "lazy", "weight": 70}
      },
      "startTimeMs": 0
    },
    "b": {
      "endTimeMs": null,
      "startTimeMs": 5.0
    }
  }
})");
    EXPECT_EQ(writeJson(Value(Dictionary{}), JsonStyle::Canonical), "{}");
    EXPECT_EQ(writeJson(Value(List{Value(1), Value(2.5)}), JsonStyle::Canonical), "[1, 2.5]");
}

// JSON round trip: whatever parses writes back (compact and pretty) as JSON
// that parses to the same value and writes the same text again.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzSupport.hpp"
#include "playgraph/json/Json.hpp"

using namespace playgraph;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::optional<Value> parsed = fuzz::parseInput(data, size);
    if (!parsed) return 0;
    const Value& value = *parsed;
    for (JsonStyle style : {JsonStyle::Compact, JsonStyle::Pretty}) {
        // Parsed values hold only what JSON can express, so writing never fails.
        const std::string text = writeJson(value, style);
        Value again;
        try {
            again = parseJson(text);
        } catch (const JsonError& e) {
            std::fprintf(stderr, "writer produced invalid JSON: %s\n%s\n", e.what(), text.c_str());
            std::abort();
        }
        fuzz::check(again == value, "round trip changed the value");
        fuzz::check(writeJson(again, style) == text, "writing is not deterministic");
    }
    return 0;
}

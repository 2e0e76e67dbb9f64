// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

#include "Locales.h"
#include "TempDir.h"
#include "platform/linux/Json.h"

namespace morvale::LinuxDesktop {
namespace {

PlistValue nested(int depth) {
    PlistValue value(1);
    for (int i = 0; i < depth; ++i) {
        value = PlistValue(PlistValue::List{value});
    }
    return value;
}

TEST(Json, ValuesReadBackWithTheirKindAndExactValue) {
    const PlistValue values[] = {
        "",
        "quote \" backslash \\ slash / tab \t newline \n nul " + std::string(1, '\0'),
        "\x01\x1F\x7F caf\xC3\xA9 \xF0\x9F\x8E\xB5",
        "1.5",  // a string that looks like a number stays a string
        false,
        0.1,
        -0.0,
        -2.5e-300,
        std::numeric_limits<double>::denorm_min(),
        std::numeric_limits<double>::max(),
        9007199254740993.0,
        PlistValue(PlistValue::Dict{
            {"volumes", PlistValue::Dict{{"org.a.desktop", 0.25}, {"proc:x y", 0.0}}},
            {"duckBoostDB", 6},
            {"migrated", true},
            {"list", PlistValue::List{1, "1", true, PlistValue::List{}}}}),
        nested(kJsonMaxDepth),
    };
    for (const PlistValue& value : values) {
        const JsonText json = toJson(value);
        ASSERT_TRUE(json.text) << describe(value) << ": " << json.error;
        const JsonParse back = parseJson(*json.text);
        ASSERT_TRUE(back.value) << *json.text << ": " << back.error;
        EXPECT_EQ(*back.value, value) << *json.text;
        if (const double* n = value.asNumber()) {
            // == cannot tell -0 from 0; the bits can.
            EXPECT_EQ(std::signbit(*n), std::signbit(*back.value->asNumber())) << *json.text;
        }
    }
}

TEST(Json, NumbersAreWrittenTheSameWhateverTheCLocale) {
    // Qt sets the C locale from the environment; a German LC_NUMERIC makes
    // printf write "0,5", which is not JSON.
    testing::TempDir scratch;
    if (!testing::makeLocaleAvailable("de_DE.UTF-8", scratch.path()) ||
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    const JsonText json = toJson(PlistValue(0.5));
    char written[8];
    std::snprintf(written, sizeof written, "%.1f", 0.5);  // proves the locale took effect
    std::setlocale(LC_NUMERIC, "C");
    ::unsetenv("LOCPATH");
    EXPECT_STREQ(written, "0,5");
    ASSERT_TRUE(json.text);
    EXPECT_EQ(*json.text, "0.5\n");
}

// What a file edited by hand or by another program may hold that toJson
// never writes.
TEST(Json, ReadsEscapesAndSurrogatePairs) {
    const JsonParse parsed = parseJson(R"("\u00e9\ud83c\udfb5\/")");
    ASSERT_TRUE(parsed.value) << parsed.error;
    EXPECT_EQ(*parsed.value, PlistValue("\xC3\xA9\xF0\x9F\x8E\xB5/"));
    EXPECT_TRUE(parseJson("\xEF\xBB\xBF{}").value);  // byte order mark
    EXPECT_TRUE(parseJson(" \t\r\n{ \"a\" : [ 1 , 2 ] } \n").value);
}

// Each refusal says where and why, in the program's own words: the reasons
// come from the parser's messages (one case of each), so a parser whose
// wording changed shows here rather than as "unexpected character".
TEST(Json, RejectsWhatIsNotStrictJsonOrNotStorableSayingWhereAndWhy) {
    const std::pair<const char*, const char*> cases[] = {
        // Structure.
        {"", "line 1, column 1: unexpected end of text"},
        {"{", "line 1, column 2: unexpected end of text"},
        {"{\"a\": 1,}", "line 1, column 9: expected a key in quotes"},
        {"[1, 2,]", "line 1, column 7: expected ',' or ']'"},
        {"{\"a\" 1}", "line 1, column 6: expected ':'"},
        {"{\"a\": 1} x", "line 1, column 10: unexpected text after the value"},
        {"// comment\n{}", "line 1, column 1: unknown word"},
        {"{\"k\": {\"x\": 1,\n \"x\": 2}}", "line 2, column 4: the same key appears twice"},
        // Values JSON has but a setting cannot hold; numbers JSON does not have.
        {"[\n  1,\n  null\n]", "line 3, column 6: null is not a storable value"},
        {"-Infinity", "line 1, column 2: bad number"},
        {"1e400", "line 1, column 5: a number beyond the range of a double"},
        {"tru", "line 1, column 4: unknown word"},
        // Strings.
        {"\"unterminated", "line 1, column 14: a string without its closing quote"},
        {"\"tab\tinside\"", "line 1, column 5: a control character inside a string"},
        {"\"\\x41\"", "line 1, column 3: unknown escape"},
        {"\"\\u12\"", "line 1, column 6: bad \\u escape"},
        {"\"\\ud83c\"", "line 1, column 8: a high surrogate without a low one"},
        {"\"\\udfb5\"", "line 1, column 7: a low surrogate without a high one"},
        {"\"\xFF\"", "line 1, column 2: text that is not UTF-8"},
        {"\"\xC0\xAF\"", "line 1, column 2: text that is not UTF-8"},      // overlong
        {"\"\xED\xA0\x80\"", "line 1, column 3: text that is not UTF-8"},  // a surrogate
        // Deep nesting is refused before it can exhaust anything.
        {"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[",
         "line 1, column 65: nested too deeply"},
    };
    for (const auto& [text, error] : cases) {
        const JsonParse parsed = parseJson(text);
        EXPECT_FALSE(parsed.value) << text;
        EXPECT_EQ(parsed.error, error) << text;
    }
    EXPECT_FALSE(parseJson(std::string(1000000, '[')).value);
    EXPECT_FALSE(parseJson(*toJson(nested(kJsonMaxDepth)).text + "x").value);
}

TEST(Json, RefusesToWriteWhatCouldNotBeReadBack) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<PlistValue, const char*> cases[] = {
        {PlistValue(nan), "a number that is not finite"},
        {PlistValue(PlistValue::Dict{{"volumes", PlistValue::Dict{{"x", -inf}}}}),
         "a number that is not finite"},
        {PlistValue("\xFF"), "text that is not UTF-8"},
        {PlistValue(PlistValue::Dict{{"\xC3", 1}}), "text that is not UTF-8"},
        {nested(kJsonMaxDepth + 1), "lists and dictionaries nested more than 64 deep"},
    };
    for (const auto& [value, error] : cases) {
        const JsonText json = toJson(value);
        EXPECT_FALSE(json.text) << describe(value);
        EXPECT_EQ(json.error, error);
    }
}

}  // namespace
}  // namespace morvale::LinuxDesktop

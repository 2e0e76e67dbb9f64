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

TEST(Json, RejectsWhatIsNotStrictJsonOrNotStorable) {
    const char* cases[] = {
        // Structure.
        "", "{", "{\"a\": 1,}", "[1, 2,]", "{\"a\" 1}", "{a: 1}", "{\"a\": 1} x", "// comment\n{}",
        "{\"a\": 1, \"a\": 2}",  // which one was meant?
        // Values JSON has but a setting cannot hold; numbers JSON does not have.
        "{\"a\": null}", "NaN", "-Infinity",
        "1e400",  // would need infinity
        "1e", "-", "tru",
        // Strings.
        "\"unterminated", "\"tab\tinside\"", "\"\\x41\"", "\"\\u12\"",
        "\"\\ud83c\"",         // high surrogate alone
        "\"\\udfb5\"",         // low surrogate alone
        "\"\\ud83c\\u0041\"",  // high surrogate, then no low one
        "\"\xFF\"",            // not UTF-8
        "\"\xC0\xAF\"",        // overlong
        "\"\xED\xA0\x80\"",    // encoded surrogate
    };
    for (const char* text : cases) {
        const JsonParse parsed = parseJson(text);
        EXPECT_FALSE(parsed.value) << text;
        EXPECT_FALSE(parsed.error.empty()) << text;
    }
    // Deep nesting is refused before it can exhaust the stack.
    EXPECT_FALSE(parseJson(std::string(100000, '[')).value);
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

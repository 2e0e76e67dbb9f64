#include "model/Settings.h"

#include <gtest/gtest.h>

namespace morvale::Settings {
namespace {

TEST(Settings, VolumesLoadAllOrNothing) {
    using D = PlistValue::Dict;
    struct Case {
        const char* what;
        std::optional<PlistValue> stored;
        Volumes volumes;
        bool problem;
    };
    const Case cases[] = {
        {"absent", std::nullopt, {}, false},
        {"numbers", D{{"a", 0.5}, {"proc:b", 0.0}}, {{"a", 0.5}, {"proc:b", 0.0}}, false},
        {"one string spoils all", D{{"a", 0.5}, {"b", "0.3"}}, {}, true},
        {"a boolean is not a number", D{{"a", 0.5}, {"b", true}}, {}, true},
        {"not a dictionary", PlistValue(0.5), {}, true},
        {"full values stay as stored", D{{"a", 1.0}}, {{"a", 1.0}}, false},
    };
    for (const Case& c : cases) {
        const LoadedVolumes loaded = loadVolumes(c.stored);
        EXPECT_EQ(loaded.volumes, c.volumes) << c.what;
        EXPECT_EQ(loaded.problem.has_value(), c.problem) << c.what;
    }
    EXPECT_EQ(loadVolumes(toPlist({{"x", 0.25}})).volumes, (Volumes{{"x", 0.25}}));
}

TEST(Settings, BoostLoadsOnlyFromANumber) {
    EXPECT_EQ(duckBoostFrom(PlistValue(6.0)), 6.0);
    EXPECT_EQ(duckBoostFrom(PlistValue(-3.0)), -3.0);
    EXPECT_EQ(duckBoostFrom(PlistValue("6")), 0.0);
    EXPECT_EQ(duckBoostFrom(PlistValue(true)), 0.0);
    EXPECT_EQ(duckBoostFrom(std::nullopt), 0.0);
}

}  // namespace
}  // namespace morvale::Settings

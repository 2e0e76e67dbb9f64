#include "model/Settings.h"

#include <gtest/gtest.h>

namespace morvale::settings {
namespace {

TEST(Settings, VolumesLoadAllOrNothing) {
    using D = PlistValue::Dict;
    struct Case {
        const char* what;
        std::optional<PlistValue> stored;
        Volumes volumes;
    };
    const Case cases[] = {
        {"absent", std::nullopt, {}},
        {"numbers", D{{"a", 0.5}, {"proc:b", 0.0}}, {{"a", 0.5}, {"proc:b", 0.0}}},
        {"one string spoils all", D{{"a", 0.5}, {"b", "0.3"}}, {}},
        {"a boolean is not a number", D{{"a", 0.5}, {"b", true}}, {}},
        {"not a dictionary", PlistValue(0.5), {}},
        {"full values stay as stored", D{{"a", 1.0}}, {{"a", 1.0}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(volumesFrom(c.stored), c.volumes) << c.what;
    }
    EXPECT_EQ(volumesFrom(toPlist({{"x", 0.25}})), (Volumes{{"x", 0.25}}));
}

TEST(Settings, BoostLoadsOnlyFromANumber) {
    EXPECT_EQ(duckBoostFrom(PlistValue(6.0)), 6.0);
    EXPECT_EQ(duckBoostFrom(PlistValue(-3.0)), -3.0);
    EXPECT_EQ(duckBoostFrom(PlistValue("6")), 0.0);
    EXPECT_EQ(duckBoostFrom(PlistValue(true)), 0.0);
    EXPECT_EQ(duckBoostFrom(std::nullopt), 0.0);
}

}  // namespace
}  // namespace morvale::settings

#include "model/Settings.h"

#include <gtest/gtest.h>

namespace morvale::Settings {
namespace {

// Only numbers are volumes or a boost: a boolean, a numeric string or another
// kind of value spoils all the volumes and gives no boost. The model's own
// tests cover the rest of loading through a start-up.
TEST(Settings, OnlyNumbersLoad) {
    using D = PlistValue::Dict;
    const std::optional<PlistValue> unusable[] = {D{{"a", 0.5}, {"b", true}},
                                                  D{{"a", 0.5}, {"b", "0.3"}}, PlistValue(0.5)};
    for (const auto& stored : unusable) {
        const LoadedVolumes loaded = loadVolumes(stored);
        EXPECT_TRUE(loaded.volumes.empty()) << describe(*stored);
        EXPECT_TRUE(loaded.problem) << describe(*stored);
    }
    EXPECT_EQ(loadVolumes(D{{"a", 1.0}, {"b", 0.0}}).volumes, (Volumes{{"a", 1.0}, {"b", 0.0}}));
    EXPECT_FALSE(loadVolumes(std::nullopt).problem);
    EXPECT_EQ(duckBoostFrom(PlistValue(-3.0)), -3.0);
    EXPECT_EQ(duckBoostFrom(PlistValue(true)), 0.0);
    EXPECT_EQ(duckBoostFrom(PlistValue("6")), 0.0);
}

}  // namespace
}  // namespace morvale::Settings

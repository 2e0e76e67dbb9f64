#include "model/Settings.h"

#include <gtest/gtest.h>

namespace morvale::Settings {
namespace {

// Only numbers are volumes or a boost: a boolean or another kind of value
// spoils all the volumes and gives no boost. The model's own tests cover the
// rest of loading (numeric strings, negative and huge numbers) through a start-up.
TEST(Settings, OnlyNumbersLoad) {
    for (const PlistValue& stored : {PlistValue(PlistValue::Dict{{"a", 0.5}, {"b", true}}),
                                     PlistValue(0.5)}) {
        const LoadedVolumes loaded = loadVolumes(stored);
        EXPECT_TRUE(loaded.volumes.empty()) << describe(stored);
        EXPECT_TRUE(loaded.problem) << describe(stored);
    }
    EXPECT_EQ(duckBoostFrom(PlistValue(true)), 0.0);
}

}  // namespace
}  // namespace morvale::Settings

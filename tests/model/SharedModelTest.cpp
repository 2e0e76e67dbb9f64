#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "model/Model.h"
#include "platform/sim/SimPlatform.h"

namespace morvale {
namespace {

// The shared model is process-wide, so this test has an executable of its own.
TEST(SharedModel, IsBuiltOnceWhicheverThreadsAskFirst) {
    EXPECT_THROW(Model::shared(), std::logic_error);  // nothing configured yet

    static sim::SimPlatform sim;  // outlives the model, which is never destroyed
    Model::configure(sim.platform());
    EXPECT_THROW(Model::configure(sim.platform()), std::logic_error);

    std::vector<Model*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = &Model::shared(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (Model* model : seen) {
        EXPECT_EQ(model, &Model::shared());
    }
    EXPECT_EQ(sim.timers.activeTimers(), 1u);  // one model, one refresh timer
    EXPECT_EQ(Model::shared().entries().front().id, "facetime");
}

}  // namespace
}  // namespace morvale

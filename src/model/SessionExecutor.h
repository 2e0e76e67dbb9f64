// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace morvale {

// Runs the model's session jobs (the calls that start, change and end tap
// sessions, which may wait on the sound server) away from the main thread,
// one at a time, in the order they were submitted. A job returns what is to
// happen on the main thread once it has run (or nothing); the executor hands
// that to the main thread.
class SessionExecutor {
public:
    using Result = std::function<void()>;
    using Job = std::function<Result()>;

    virtual ~SessionExecutor() = default;

    // Main thread only.
    virtual void submit(Job job) = 0;
    // Waits until every job submitted so far has run. Main thread only; the
    // results of those jobs may still be on their way to the main thread.
    virtual void drain() = 0;
};

// Runs each job, and then its result, at once on the caller's thread: for
// tests whose meaning does not depend on when a session call returns.
class InlineSessionExecutor final : public SessionExecutor {
public:
    void submit(Job job) override {
        if (Result result = job()) {
            result();
        }
    }
    void drain() override {}
};

}  // namespace morvale

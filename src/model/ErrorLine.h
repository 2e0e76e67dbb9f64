// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace morvale {

// The one line of error text the panel shows. Problems of different kinds end
// in different ways, so each kind is kept apart: the line shows the newest
// problem still standing, and when that one ends, the one before it again.
class ErrorLine {
public:
    enum class Kind {
        settings,      // settings that could not be read or saved
        session,       // a tap session that could not start (and login-item failures)
        availability,  // the audio system's own trouble, while it lasts
        routing,       // applications that could not be sent to their outputs
    };

    // Sets kind's problem. A text other than the one standing counts as new
    // and shows over the others; the same text again keeps its place, so a
    // failure repeated at every refresh does not hide a newer one.
    void report(Kind kind, std::string text);
    void clear(Kind kind);
    bool has(Kind kind) const { return problems_[index(kind)].has_value(); }

    // The newest problem's text; absent when none stands.
    std::optional<std::string> text() const;

private:
    struct Problem {
        std::string text;
        std::uint64_t order;
    };
    static constexpr std::size_t index(Kind kind) { return static_cast<std::size_t>(kind); }

    std::array<std::optional<Problem>, 4> problems_;
    std::uint64_t reported_ = 0;
};

}  // namespace morvale

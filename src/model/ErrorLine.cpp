// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ErrorLine.h"

namespace morvale {

void ErrorLine::report(Kind kind, std::string text) {
    std::optional<Problem>& problem = problems_[index(kind)];
    if (problem && problem->text == text) {
        return;
    }
    problem = Problem{std::move(text), ++reported_};
}

void ErrorLine::clear(Kind kind) {
    problems_[index(kind)].reset();
}

std::optional<std::string> ErrorLine::text() const {
    const Problem* newest = nullptr;
    for (const auto& problem : problems_) {
        if (problem && (newest == nullptr || problem->order > newest->order)) {
            newest = &*problem;
        }
    }
    if (newest == nullptr) {
        return std::nullopt;
    }
    return newest->text;
}

}  // namespace morvale

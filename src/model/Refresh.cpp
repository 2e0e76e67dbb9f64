// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioProcess.h"
#include "catalog/Entries.h"
#include "catalog/InheritedVolumes.h"
#include "model/Model.h"

namespace morvale {

void Model::refresh() {
    const auto snapshot = AudioProcess::all(
        AudioProcess::Sources{platform_.audio, platform_.processes, platform_.applications});
    auto inherited = inheritVolumes(snapshot, *volumes_, platform_.grouping);
    inheritedVolumes_ = inherited ? std::move(inherited->from) : decltype(inheritedVolumes_){};
    if (const auto generation = platform_.workspace.generation(); generation != looksGeneration_) {
        looks_.clear();
        looksGeneration_ = generation;
    }
    entries_ = buildEntries(snapshot, inherited ? inherited->volumes : *volumes_, looks_,
                            EntrySources{platform_.workspace, platform_.collator,
                                         platform_.grouping});
    readOutputDevices();
    applySessions();
    applyRoutes();
    reportAvailability();
}

void Model::reportAvailability() {
    // The audio system's own trouble (a lost server) stands while it lasts; a
    // newer error shows over it.
    if (auto problem = platform_.audio.availabilityProblem()) {
        reportError(ErrorLine::Kind::availability, std::move(*problem));
    } else {
        clearError(ErrorLine::Kind::availability);
    }
}

}  // namespace morvale

#include "audio/AudioProcess.h"
#include "catalog/Entries.h"
#include "model/Model.h"

namespace morvale {

void Model::refresh() {
    const auto snapshot = AudioProcess::all(
        AudioProcess::Sources{platform_.audio, platform_.processes, platform_.applications});
    entries_ = buildEntries(snapshot, *volumes_, iconCache_,
                            EntrySources{platform_.workspace, platform_.applications,
                                         platform_.collator, platform_.calls});
    applySessions();
    reportAvailability();
}

void Model::reportAvailability() {
    // The audio system's own trouble (a lost server) is shown once when it
    // starts and taken back when it ends, unless another error replaced it.
    auto problem = platform_.audio.availabilityProblem();
    if (problem == shownAvailabilityProblem_) {
        return;
    }
    if (problem) {
        reportError(*problem);
    } else if (*errorText_ == shownAvailabilityProblem_) {
        errorText_ = std::nullopt;
    }
    shownAvailabilityProblem_ = std::move(problem);
}

}  // namespace morvale

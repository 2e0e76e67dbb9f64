#include "audio/AudioProcess.h"
#include "catalog/Entries.h"
#include "model/Model.h"

namespace morvale {

void Model::refresh() {
    const auto snapshot = AudioProcess::all(
        AudioProcess::Sources{platform_.audio, platform_.processes, platform_.applications});
    entries_ = buildEntries(
        snapshot, *volumes_, iconCache_,
        EntrySources{platform_.workspace, platform_.applications, platform_.collator});
    applySessions();
}

}  // namespace morvale

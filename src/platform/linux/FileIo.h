// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace morvale::LinuxDesktop {

// The operating system's text for an errno value ("No space left on device").
std::string osErrorText(int error);

// Replaces the file at target with contents so that, whatever happens, the file
// holds either its old or its new contents in full: the new text goes into a
// temporary file in the same folder, is flushed to disk, renamed over the
// target, and the folder is flushed too. Returns absent on success, or the
// operating system's text for the failure; the target is untouched then and no
// temporary file is left behind.
[[nodiscard]] std::optional<std::string> replaceFileAtomically(const std::filesystem::path& target,
                                                               std::string_view contents,
                                                               mode_t mode);

// The whole file, or an errno value when it cannot be read. Files larger than
// maxBytes count as unreadable (EFBIG), so a stray huge file cannot exhaust memory.
struct FileContents {
    std::string text;
    int error = 0;  // 0 when text holds the file
};
FileContents readWholeFile(const std::filesystem::path& path, std::size_t maxBytes);

// Creates folder and any missing parents, each with mode (the base directory
// rules ask for 0700). Returns 0 or an errno value; an existing folder is fine.
int makeFolders(const std::filesystem::path& folder, mode_t mode);

}  // namespace morvale::LinuxDesktop

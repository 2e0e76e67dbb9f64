// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/LinuxProcessInfo.h"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/linux/FileIo.h"

namespace morvale::LinuxDesktop {

std::int32_t LinuxProcessInfo::ownPid() const {
    return static_cast<std::int32_t>(::getpid());
}

int LinuxProcessInfo::procName(std::int32_t pid, char* buffer, std::uint32_t bufferSize) const {
    if (pid < 1 || buffer == nullptr || bufferSize == 0) {
        return 0;
    }
    FileContents comm = readWholeFile("/proc/" + std::to_string(pid) + "/comm", 4096);
    if (comm.error != 0 || comm.text.empty()) {
        return 0;
    }
    // The kernel ends the name with one newline. A name may hold newlines of
    // its own: cutting at the first would make it another program's name.
    std::string& name = comm.text;
    if (name.back() == '\n') {
        name.pop_back();
    }
    // Like proc_name: as many bytes as fit, zero-terminated when room is left.
    const std::size_t n = std::min<std::size_t>(name.size(), bufferSize);
    name.copy(buffer, n);
    if (n < bufferSize) {
        buffer[n] = '\0';
    }
    return static_cast<int>(n);
}

}  // namespace morvale::LinuxDesktop

#include "platform/linux/LinuxProcessInfo.h"

#include <unistd.h>

#include <fstream>
#include <string>

namespace morvale::linux_desktop {

std::int32_t LinuxProcessInfo::ownPid() const {
    return static_cast<std::int32_t>(::getpid());
}

int LinuxProcessInfo::procName(std::int32_t pid, char* buffer, std::uint32_t bufferSize) const {
    if (pid < 1 || buffer == nullptr || bufferSize == 0) {
        return 0;
    }
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm", std::ios::binary);
    std::string name;
    if (!comm || !std::getline(comm, name)) {
        return 0;
    }
    // Like proc_name: as many bytes as fit, zero-terminated when room is left.
    const std::size_t n = std::min<std::size_t>(name.size(), bufferSize);
    name.copy(buffer, n);
    if (n < bufferSize) {
        buffer[n] = '\0';
    }
    return static_cast<int>(n);
}

}  // namespace morvale::linux_desktop

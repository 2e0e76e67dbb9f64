// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace morvale::LinuxDesktop {

namespace {

// Closes a descriptor at scope exit unless released.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now and reports close's own failure (NFS reports write errors here).
    int close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

int writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

}  // namespace

std::string osErrorText(int error) {
    return std::generic_category().message(error);
}

std::optional<std::string> replaceFileAtomically(const std::filesystem::path& target,
                                                 std::string_view contents, mode_t mode) {
    const std::filesystem::path folder = target.parent_path();
    // A hidden name in the same folder: rename is only atomic within one file system.
    std::string pattern = (folder / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    Fd file(::mkostemp(name.data(), O_CLOEXEC));
    if (file.get() < 0) {
        return osErrorText(errno);
    }
    const auto fail = [&](int error) -> std::optional<std::string> {
        ::unlink(name.data());
        return osErrorText(error);
    };
    if (::fchmod(file.get(), mode) != 0) {
        return fail(errno);
    }
    if (const int error = writeAll(file.get(), contents)) {
        return fail(error);
    }
    if (::fsync(file.get()) != 0) {
        return fail(errno);
    }
    if (const int error = file.close()) {
        return fail(error);
    }
    if (::rename(name.data(), target.c_str()) != 0) {
        return fail(errno);
    }
    // The rename is done and visible; flushing the folder makes it survive a
    // power cut. Some file systems cannot flush a folder, which changes nothing
    // about the replacement itself, so that is not reported.
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

FileContents readWholeFile(const std::filesystem::path& path, std::size_t maxBytes) {
    FileContents result;
    Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        result.error = errno;
        return result;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.error = errno;
            result.text.clear();
            return result;
        }
        if (n == 0) {
            return result;
        }
        if (result.text.size() + static_cast<std::size_t>(n) > maxBytes) {
            result.error = EFBIG;
            result.text.clear();
            return result;
        }
        result.text.append(buffer, static_cast<std::size_t>(n));
    }
}

int makeFolders(const std::filesystem::path& folder, mode_t mode) {
    std::filesystem::path sofar;
    for (const auto& part : folder) {
        sofar /= part;
        if (::mkdir(sofar.c_str(), mode) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return errno;
    }
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

}  // namespace morvale::LinuxDesktop

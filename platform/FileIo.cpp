#include "platform/FileIo.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vh {

namespace {

// Retries on EINTR and short writes.
bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes the rename itself durable; a failure here is not reported because the
// new content is already in place and complete.
void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The process's umask without changing it (umask() would, racing other
// threads that create files). Linux reports it in /proc since 4.7.
unsigned currentUmask() {
    std::vector<std::uint8_t> status;
    if (readFileUpTo("/proc/self/status", 1 << 16, status)) {
        std::string text(status.begin(), status.end());
        std::size_t at = text.find("\nUmask:");
        if (at != std::string::npos) return static_cast<unsigned>(std::strtoul(text.c_str() + at + 7, nullptr, 8)) & 0777;
    }
    return 022;
}

}  // namespace

bool writeFileAtomically(const std::string& path, const void* data, std::size_t size, unsigned mode) {
    if (path.empty() || (data == nullptr && size > 0)) return false;
    const std::string folder = folderOf(path);
    // Leading dot keeps the temporary out of file selectors; mkstemp makes the
    // name unique so two instances saving at once never share a temporary.
    std::string temp = folder + "/." + fileNameOf(path) + ".tmp-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back(0);
    int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    struct stat existing {};
    // mkstemp creates owner-only files: give a new file the mode the user's
    // umask allows, a replaced one the mode it had.
    if (::stat(path.c_str(), &existing) == 0) mode = existing.st_mode & 07777;
    else mode &= ~currentUmask();
    bool ok = ::fchmod(fd, static_cast<mode_t>(mode)) == 0;
    ok = ok && writeAll(fd, static_cast<const std::uint8_t*>(data), size);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(name.data(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(name.data());
        return false;
    }
    syncFolder(folder);
    return true;
}

bool readFileUpTo(const std::string& path, std::size_t maxSize, std::vector<std::uint8_t>& out) {
    out.clear();
    // Non-blocking so a FIFO planted at the path cannot hang us in open();
    // it is refused just below. Regular files ignore the flag.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    // The size is only a first guess: files in /proc report 0, and a file may
    // grow while we read it.
    const std::size_t guess = info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 4096;
    out.resize(guess < maxSize ? guess : maxSize);
    std::size_t got = 0;
    for (;;) {
        if (got == out.size()) {
            if (out.size() >= maxSize) break;
            std::size_t grown = out.size() * 2 + 1;
            out.resize(grown < maxSize ? grown : maxSize);
        }
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            out.clear();
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    ::close(fd);
    return true;
}

bool makeFolders(const std::string& path) {
    if (path.empty()) return false;
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        std::size_t next = path.find('/', pos + 1);
        partial = path.substr(0, next);
        if (!partial.empty() && partial != "/") {
            if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
        }
        pos = next;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace vh

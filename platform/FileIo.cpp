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
    if (::stat(path.c_str(), &existing) == 0) mode = existing.st_mode & 07777;
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
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    std::size_t expected = static_cast<std::size_t>(info.st_size);
    out.resize(expected < maxSize ? expected : maxSize);
    std::size_t got = 0;
    while (got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            out.clear();
            return false;
        }
        if (n == 0) break;  // the file shrank while we read it
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

#include "base/file_input.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What a non-regular file is, for the refusal text.
const char* kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "it is a directory";
    if (S_ISFIFO(mode))
        return "it is a pipe (FIFO)";
    if (S_ISSOCK(mode))
        return "it is a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device";
    return "it is not a file";
}

// Closes the descriptor when the read is over, whatever the outcome.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

bool readRegularFile(const std::string& path, std::string& contents, std::string& whyNot, std::size_t maxBytes)
{
    contents.clear();
    // Non-blocking, so that opening a pipe without a writer cannot hang; the
    // kind of file is checked on the open descriptor before anything is read.
    Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0) {
        whyNot = std::strerror(errno);
        return false;
    }
    struct stat info;
    if (::fstat(file.fd, &info) != 0) {
        whyNot = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        whyNot = std::string(kindOf(info.st_mode)) + ", not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) {
        whyNot = "the file is too large (" + std::to_string(info.st_size) + " bytes)";
        return false;
    }
    contents.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            whyNot = std::strerror(errno);
            contents.clear();
            return false;
        }
        // The file may grow while it is read; the limit holds all the same.
        if (contents.size() + static_cast<std::size_t>(n) > maxBytes) {
            whyNot = "the file is too large";
            contents.clear();
            return false;
        }
        contents.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

#include "app/output_folder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#define TARNWICK_HAVE_FLOCK 1
#endif

bool prepareOutputFolder(const std::string& dir, std::string& why)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(dir);
    if (fs::is_directory(path, ec))
        return true;
    if (fs::exists(path, ec) || fs::is_symlink(path, ec)) {
        why = "it exists and is not a folder";
        return false;
    }
    fs::create_directories(path, ec);
    if (ec) {
        why = ec.message();
        return false;
    }
    if (!fs::is_directory(path, ec)) {
        why = "it could not be created";
        return false;
    }
    return true;
}

std::string outputPath(const std::string& dir, const std::string& name)
{
    if (dir.empty() || name.empty())
        return name;
    if (dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

FolderLock::~FolderLock()
{
#ifdef TARNWICK_HAVE_FLOCK
    if (fd_ >= 0)
        ::close(fd_);
#endif
}

bool FolderLock::acquire(const std::string& dir, bool& busy, std::string& why)
{
    busy = false;
#ifdef TARNWICK_HAVE_FLOCK
    if (fd_ >= 0)
        return true;
    const std::string path = dir.empty() ? std::string(".") : dir;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK)
            return true; // a file system without locks: run unguarded
        busy = true;
        why = "it is in use by another run";
        return false;
    }
    fd_ = fd;
    return true;
#else
    (void)dir;
    (void)why;
    return true;
#endif
}

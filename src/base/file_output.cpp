#include "base/file_output.h"

#include <cstdio>
#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A name that exists and is not a regular file (a device such as /dev/null,
// a pipe) is written in place: renaming over it would replace it.
bool writtenInPlace(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

} // namespace

ResultFile::ResultFile(const std::string& path)
    : path_(path),
      temporary_(writtenInPlace(path) ? path : path + ".partial-" + std::to_string(static_cast<long>(::getpid())))
{
    out_.open(temporary_, std::ios::out | std::ios::trunc);
    open_ = static_cast<bool>(out_);
}

ResultFile::~ResultFile()
{
    abandon();
}

void ResultFile::abandon()
{
    if (!open_)
        return;
    if (out_.is_open())
        out_.close();
    if (temporary_ != path_)
        std::remove(temporary_.c_str());
    open_ = false;
}

bool ResultFile::commit()
{
    if (!open_)
        return false;
    out_.flush();
    bool ok = static_cast<bool>(out_);
    out_.close();
    ok = ok && !out_.fail();
    if (ok && (temporary_ == path_ || std::rename(temporary_.c_str(), path_.c_str()) == 0)) {
        open_ = false;
        return true;
    }
    std::cout << "Unable to write file " << path_ << " completely." << std::endl;
    abandon();
    return false;
}

#include "base/file_output.h"

#include <cstdio>
#include <iostream>

#include <unistd.h>

ResultFile::ResultFile(const std::string& path)
    : path_(path), temporary_(path + ".partial-" + std::to_string(static_cast<long>(::getpid())))
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
    if (ok && std::rename(temporary_.c_str(), path_.c_str()) == 0) {
        open_ = false;
        return true;
    }
    std::cout << "Unable to write file " << path_ << " completely." << std::endl;
    abandon();
    return false;
}

#pragma once

#include <string>

// Creates the folder of the result files with its missing parents. Returns
// false with a reason ("it is a file", the system's error text) when the
// folder does not exist afterwards.
bool prepareOutputFolder(const std::string& dir, std::string& why);

// The path of a result file: name inside dir, or name itself when dir is empty
// (the working folder). An empty name stays empty.
std::string outputPath(const std::string& dir, const std::string& name);

// An exclusive lock on a folder for the lifetime of the object, held on the
// folder itself (no lock file is left behind) and released by the system when
// the process ends in any way. Other processes that try to lock the same
// folder fail at once instead of waiting.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Locks dir ("" = the working folder). Returns false with a reason when
    // another process holds the lock (busy set) or the folder cannot be opened.
    // On a file system without locking it returns true without a lock.
    bool acquire(const std::string& dir, bool& busy, std::string& why);
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

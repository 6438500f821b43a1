#pragma once

#include <fstream>
#include <string>

// A result file that never appears half-written: the text goes to a
// temporary file in the same folder ("NAME.partial-PID"), which commit()
// renames over NAME once everything has been written. Until then an older
// NAME stays as it was; a file that is abandoned (not committed) is removed.
class ResultFile {
public:
    explicit ResultFile(const std::string& path);
    ~ResultFile();
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;

    // False when the temporary file could not be created.
    bool isOpen() const { return open_; }
    std::ostream& stream() { return out_; }
    const std::string& path() const { return path_; }

    // Writes out, closes and renames. On failure (a full disk, a rename that
    // is refused) prints "Unable to write file NAME completely.", removes the
    // temporary file and returns false.
    bool commit();

private:
    void abandon();

    std::string path_;
    std::string temporary_;
    std::ofstream out_;
    bool open_ = false;
};

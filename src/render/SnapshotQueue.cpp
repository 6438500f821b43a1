#include "render/SnapshotQueue.h"

#include "render/PngFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace {

constexpr const char* kUnwritable = "the image could not be written";

// Gives up a target that gets no image: a file made for it goes again, one
// that was there keeps what it held.
void abandon(const SnapshotFile& file)
{
    close(file.descriptor);
    if (file.created)
        unlink(file.path.c_str());
}

// Writes the image into the target from its start; false with the reason.
bool writeInto(const SnapshotFile& file, int width, int height, const std::vector<uint8_t>& rgb,
               std::string& whyNot)
{
    struct stat status {};
    if (fstat(file.descriptor, &status) == 0 && S_ISREG(status.st_mode) && ftruncate(file.descriptor, 0) != 0) {
        close(file.descriptor);
        whyNot = kUnwritable;
        return false;
    }
    std::FILE* stream = fdopen(file.descriptor, "wb");
    if (!stream) {
        close(file.descriptor);
        whyNot = kUnwritable;
        return false;
    }
    const bool written = writePngRGB(stream, width, height, rgb, whyNot);
    if (std::fclose(stream) != 0 && written) {
        whyNot = kUnwritable;
        return false;
    }
    return written;
}

} // namespace

bool openSnapshotFile(const std::string& path, SnapshotFile& file, std::string& whyNot)
{
    file.path = path;
    // A new file first, so that it is known to be this snapshot's own; then
    // an existing one (or what a dangling link names) without truncating it.
    file.descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    file.created = file.descriptor >= 0;
    if (file.descriptor < 0 && errno == EEXIST)
        file.descriptor = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (file.descriptor < 0 && errno == ENOENT)
        file.descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (file.descriptor < 0)
        whyNot = kUnwritable;
    return file.descriptor >= 0;
}

SnapshotQueue::SnapshotQueue()
{
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // Without a thread there is no context: every snapshot is skipped.
        readyKnown_ = true;
        whyNotReady_ = "no thread could be started for the offscreen renderer";
    }
}

SnapshotQueue::~SnapshotQueue()
{
    if (!thread_.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool SnapshotQueue::ready(std::string& whyNot)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return readyKnown_; });
    if (!ready_)
        whyNot = whyNotReady_;
    return ready_;
}

void SnapshotQueue::submit(std::shared_ptr<const SnapshotScene> scene, int width, int height, SnapshotFile file)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back({std::move(scene), width, height, std::move(file)});
        ++unfinished_;
    }
    changed_.notify_all();
}

std::vector<std::pair<std::string, std::string>> SnapshotQueue::drain()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return unfinished_ == 0; });
    std::vector<std::pair<std::string, std::string>> failures;
    failures.swap(failures_);
    return failures;
}

void SnapshotQueue::run()
{
    // The context lives and dies on this thread.
    OffscreenRenderer renderer;
    {
        std::string whyNot;
        const bool ready = renderer.ready(whyNot);
        const std::lock_guard<std::mutex> lock(mutex_);
        readyKnown_ = true;
        ready_ = ready;
        whyNotReady_ = whyNot;
    }
    changed_.notify_all();
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty())
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        std::string whyNot;
        std::vector<uint8_t> rgba;
        bool written = renderer.render(*job.scene, job.width, job.height, rgba, whyNot);
        if (!written)
            abandon(job.file);
        else
            written = writeInto(job.file, job.width, job.height, overWindowBackground(rgba), whyNot);
        job.scene.reset();
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!written)
                failures_.emplace_back(job.file.path, whyNot);
            --unfinished_;
        }
        changed_.notify_all();
    }
}

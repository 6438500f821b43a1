#pragma once

#include "render/OffscreenRenderer.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The target of one snapshot, opened before its frame is drawn so that a name
// that cannot be written is refused at once. An existing file keeps its
// content until the image is ready.
struct SnapshotFile {
    int descriptor = -1;
    bool created = false; // made for this snapshot: removed when no image comes
    std::string path;
};

// Opens path for writing (creating it) without cutting an existing file short.
// False with the reason when it cannot be written.
bool openSnapshotFile(const std::string& path, SnapshotFile& file, std::string& whyNot);

// Draws snapshots and writes their PNG files, in the order queued, on a thread
// of its own that owns the offscreen context from the queue's creation to its
// end, so that the caller goes on while a frame is drawn and encoded. The
// context is made at once, in the background.
class SnapshotQueue {
public:
    SnapshotQueue();
    // Writes what is still queued, then releases the context on its thread.
    ~SnapshotQueue();
    SnapshotQueue(const SnapshotQueue&) = delete;
    SnapshotQueue& operator=(const SnapshotQueue&) = delete;

    // Waits until the context is made; false with the reason when there is none.
    bool ready(std::string& whyNot);

    // Queues the frame of scene at width x height, written into file (which the
    // queue closes). Only after ready() has said yes.
    void submit(std::shared_ptr<const SnapshotScene> scene, int width, int height, SnapshotFile file);

    // Waits until every queued snapshot is written or has failed, and hands
    // over the failures since the last call as (path, reason) pairs.
    std::vector<std::pair<std::string, std::string>> drain();

private:
    struct Job {
        std::shared_ptr<const SnapshotScene> scene;
        int width = 0;
        int height = 0;
        SnapshotFile file;
    };

    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    size_t unfinished_ = 0; // queued or being written
    bool readyKnown_ = false;
    bool ready_ = false;
    std::string whyNotReady_;
    bool stopping_ = false;
    std::vector<std::pair<std::string, std::string>> failures_;
    std::thread thread_;
};

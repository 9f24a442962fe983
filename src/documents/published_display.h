#pragma once
// The display document as the plug-in's threads share it: the server link's worker publishes each
// new document it reads, the render thread copies it out only when one was published since its
// last copy. The plug-in object owns the one instance and hands it to both, so neither knows the
// other. Its own mutex guards the document and is held for a swap or a copy only, never across
// network or file work.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>

#include "documents/display_document.h"

namespace lumvo {

class PublishedDisplay {
public:
    PublishedDisplay() = default;
    PublishedDisplay(const PublishedDisplay&) = delete;
    PublishedDisplay& operator=(const PublishedDisplay&) = delete;

    // Swaps in a new document and counts one generation (the old one is freed after the lock is
    // let go).
    void publish(DisplayDocument next) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::swap(document_, next);
            generation_.fetch_add(1);
        }
        // `next` now holds the old document and is freed here, outside the lock.
    }

    // The current document, copied under the lock.
    DisplayDocument copy() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return document_;
    }

    // Brings `mine` up to date when a document was published since `seen`; false (and no copy, no
    // lock) when none was.
    bool refresh(DisplayDocument& mine, std::uint64_t& seen) const {
        // Read before the copy: a document published meanwhile is copied again next time.
        const std::uint64_t published = generation_.load();
        if (published == seen) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        mine = document_;
        seen = published;
        return true;
    }

    // Counts the documents published; starts at 1 so that a copy seen as 0 is always refreshed.
    std::uint64_t generation() const { return generation_.load(); }

private:
    mutable std::mutex mutex_;
    DisplayDocument document_;
    std::atomic<std::uint64_t> generation_{1};
};

}  // namespace lumvo

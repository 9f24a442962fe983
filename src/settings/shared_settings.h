#pragma once
// The DJ's settings as the plug-in's threads share them. The host's threads change them (load, the
// moderator window, layout editing by mouse), the render thread draws with them, the worker pushes
// them and takes the few the wall server decides. A std::string read on one thread while another
// writes it can corrupt the heap, so nobody touches the values without their mutex: every
// read is a copy made under it, every change is made under it and counts one generation, so a
// thread that keeps its own copy (the render thread, every frame) refreshes it only after a change.
// The lock is held for copies only, never across file or network work.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "settings/settings.h"

namespace lumvo {

class SharedSettings {
public:
    SharedSettings() = default;
    SharedSettings(const SharedSettings&) = delete;
    SharedSettings& operator=(const SharedSettings&) = delete;

    WallSettings copy() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_;
    }

    // Swaps in a whole new set (read from layout.ini outside the lock).
    void replace(WallSettings next) {
        std::lock_guard<std::mutex> lock(mutex_);
        values_ = std::move(next);
        generation_.fetch_add(1);
    }

    // A small edit made under the lock: `edit(WallSettings&)` must do no file or network work.
    // Returns the settings as they are after it, for the caller to save or push.
    template <class Edit>
    WallSettings change(Edit&& edit) {
        std::lock_guard<std::mutex> lock(mutex_);
        edit(values_);
        generation_.fetch_add(1);
        return values_;
    }

    // Brings `mine` up to date when the settings changed since `seen`; false (and no copy, no lock)
    // when they did not.
    bool refresh(WallSettings& mine, std::uint64_t& seen) const {
        if (generation_.load() == seen) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        mine = values_;
        seen = generation_.load();
        return true;
    }

    // Counts every change; starts at 1 so that a copy seen as 0 is always refreshed.
    std::uint64_t generation() const { return generation_.load(); }

private:
    mutable std::mutex mutex_;
    WallSettings values_;
    std::atomic<std::uint64_t> generation_{1};
};

}  // namespace lumvo

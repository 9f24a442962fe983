#pragma once
// The renderer's photo cache: guests' photos and poll pictures by reference, decoded and bounded
// (media/decoded_picture.h), filled by the worker thread once per photo and read by the render
// thread when it paints a card. It is bounded by the decoded pictures' bytes: past the budget the
// least recently used photos go (a photo shown on the wall is touched by every display poll and so
// stays), and a picture larger than the whole budget is not kept at all. Its own mutex guards it; it
// never takes another lock.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "media/decoded_picture.h"

namespace lumvo {

// 96 MiB of decoded pixels: a feed photo takes at most 100 KiB (160 x 160), the featured and poll
// pictures at most 16 MiB each (2048 x 2048), so every photo a wall shows at once fits many times.
inline constexpr std::size_t kPhotoCacheBudget = 96u << 20;

class PhotoCache {
public:
    explicit PhotoCache(std::size_t budgetBytes = kPhotoCacheBudget) : budget_(budgetBytes) {}
    PhotoCache(const PhotoCache&) = delete;
    PhotoCache& operator=(const PhotoCache&) = delete;

    // Stores (or replaces) the picture of `id`; false, with nothing stored and the cache unchanged,
    // when the id is empty, the picture is null or empty, or it alone is larger than the budget.
    // The ids evicted to stay within the budget are added to `evicted`. Counts one generation when
    // something was stored.
    bool storePhoto(std::string_view id, PictureRef picture, std::vector<std::string>* evicted = nullptr);
    // The picture of `id`, marked as just used; null when not held.
    PictureRef lookup(std::string_view id);
    // Marks `id` as just used; false when not held.
    bool touch(std::string_view id);

    // Moves with every stored photo: the render thread repaints the cards that show photos when
    // it sees a new value.
    std::uint64_t generation() const { return generation_.load(); }
    std::size_t totalBytes() const;
    std::size_t size() const;

private:
    struct Entry {
        std::string id;
        PictureRef picture;
    };
    using Order = std::list<Entry>;  // most recently used first

    mutable std::mutex mutex_;
    const std::size_t budget_;
    Order order_;
    std::unordered_map<std::string_view, Order::iterator> index_;  // keys point into order_
    std::size_t total_ = 0;
    std::atomic<std::uint64_t> generation_{0};
};

}  // namespace lumvo

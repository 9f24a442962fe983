#pragma once
// The renderer's photo cache: the encoded bytes of guests' photos and poll pictures by reference,
// filled by the worker thread once per photo and read by the render thread when it paints a card.
// It is bounded by total bytes: past the budget the least recently used photos go (a photo shown
// on the wall is touched by every display poll and so stays). Its own mutex guards it; it never
// takes another lock.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lumvo {

// 96 MiB: a few hundred phone photos (at most 1600 px JPEGs of well under 1 MB each).
inline constexpr std::size_t kPhotoCacheBudget = 96u << 20;

class PhotoCache {
public:
    explicit PhotoCache(std::size_t budgetBytes = kPhotoCacheBudget) : budget_(budgetBytes) {}
    PhotoCache(const PhotoCache&) = delete;
    PhotoCache& operator=(const PhotoCache&) = delete;

    // Stores (or replaces) the bytes of `id`; ignored when the id is empty or the bytes are fewer
    // than 32. Returns the ids evicted to stay within the budget (the newest photo always stays,
    // even alone beyond it). Counts one generation when something was stored.
    std::vector<std::string> storePhoto(std::string_view id, std::string bytes);
    // A copy of the bytes of `id`, marked as just used; nothing when not held.
    std::optional<std::string> lookup(std::string_view id);
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
        std::string bytes;
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

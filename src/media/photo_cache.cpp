#include "media/photo_cache.h"

namespace lumvo {

std::vector<std::string> PhotoCache::storePhoto(std::string_view id, std::string bytes) {
    std::vector<std::string> evicted;
    if (id.empty() || bytes.size() < 32) return evicted;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const auto found = index_.find(id); found != index_.end()) {
            const Order::iterator old = found->second;
            total_ -= old->bytes.size();
            index_.erase(found);  // its key points into the entry: erased first
            order_.erase(old);
        }
        order_.push_front(Entry{std::string(id), std::move(bytes)});
        index_.emplace(order_.front().id, order_.begin());
        total_ += order_.front().bytes.size();
        while (total_ > budget_ && order_.size() > 1) {
            Entry& oldest = order_.back();
            total_ -= oldest.bytes.size();
            index_.erase(std::string_view(oldest.id));
            evicted.push_back(std::move(oldest.id));
            order_.pop_back();
        }
    }
    generation_.fetch_add(1);
    return evicted;
}

std::optional<std::string> PhotoCache::lookup(std::string_view id) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = index_.find(id);
    if (found == index_.end()) return std::nullopt;
    order_.splice(order_.begin(), order_, found->second);
    return found->second->bytes;
}

bool PhotoCache::touch(std::string_view id) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = index_.find(id);
    if (found == index_.end()) return false;
    order_.splice(order_.begin(), order_, found->second);
    return true;
}

std::size_t PhotoCache::totalBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return total_;
}

std::size_t PhotoCache::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return order_.size();
}

}  // namespace lumvo

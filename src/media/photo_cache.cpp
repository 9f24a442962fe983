#include "media/photo_cache.h"

namespace lumvo {

bool PhotoCache::storePhoto(std::string_view id, PictureRef picture, std::vector<std::string>* evicted) {
    if (id.empty() || !picture || picture->bytes() == 0 || picture->bytes() > budget_) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const auto found = index_.find(id); found != index_.end()) {
            const Order::iterator old = found->second;
            total_ -= old->picture->bytes();
            index_.erase(found);  // its key points into the entry: erased first
            order_.erase(old);
        }
        total_ += picture->bytes();
        order_.push_front(Entry{std::string(id), std::move(picture)});
        index_.emplace(order_.front().id, order_.begin());
        while (total_ > budget_) {  // never the new one: it fits the budget alone
            Entry& oldest = order_.back();
            total_ -= oldest.picture->bytes();
            index_.erase(std::string_view(oldest.id));
            if (evicted) evicted->push_back(std::move(oldest.id));
            order_.pop_back();
        }
    }
    generation_.fetch_add(1);
    return true;
}

PictureRef PhotoCache::lookup(std::string_view id) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = index_.find(id);
    if (found == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, found->second);
    return found->second->picture;
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

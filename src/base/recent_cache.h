#pragma once
// A cache that keeps what was used most recently within a budget: each value has a cost (bytes,
// or 1 to count entries), and storing past the budget drops the least recently used first. A value
// that alone costs more than the budget is not kept. Not thread-safe: its owner locks.
#include <cstddef>
#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <utility>

namespace lumvo {

template <class Key, class Value>
class RecentCache {
public:
    explicit RecentCache(std::size_t budget) : budget_(budget) {}

    // The value stored under `key`, now the most recently used; null when there is none.
    Value* find(const Key& key) {
        const auto found = index_.find(key);
        if (found == index_.end()) return nullptr;
        entries_.splice(entries_.begin(), entries_, found->second);
        return std::addressof(found->second->value);  // some smart pointers overload &
    }

    // Stores `value` under `key` (replacing what was there) as the most recently used, then drops
    // the least recently used until the total cost is within the budget. False when the value
    // alone is over the budget and so was not kept.
    bool put(const Key& key, Value value, std::size_t cost) {
        erase(key);
        if (cost > budget_) return false;
        entries_.push_front({key, std::move(value), cost});
        index_.emplace(key, entries_.begin());
        total_ += cost;
        while (total_ > budget_) erase(entries_.back().key);
        return true;
    }

    void clear() {
        index_.clear();
        entries_.clear();
        total_ = 0;
    }

    std::size_t size() const { return entries_.size(); }
    std::size_t cost() const { return total_; }

private:
    struct Entry {
        Key key;
        Value value;
        std::size_t cost;
    };

    void erase(const Key& key) {
        const auto found = index_.find(key);
        if (found == index_.end()) return;
        total_ -= found->second->cost;
        entries_.erase(found->second);
        index_.erase(found);
    }

    std::size_t budget_;
    std::size_t total_ = 0;
    std::list<Entry> entries_;  // most recently used first
    std::map<Key, typename std::list<Entry>::iterator> index_;
};

}  // namespace lumvo

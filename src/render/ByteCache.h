#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace tarvolo::emf {

// Keeps values up to a budget in bytes; the least recently used go first, and the newest entry
// stays even when it alone is over the budget. Each value is charged the bytes its caller says it
// holds. Not thread-safe: callers lock, or keep one per thread.
template <typename Key, typename Value, typename Hash = std::hash<Key>>
class ByteCache {
public:
    explicit ByteCache(std::int64_t budget) : budget_(CheckedBytes(budget)) {}

    // The value kept for key, now the most recently used; nullptr when absent. The pointer holds
    // until the next call that inserts, removes or evicts.
    const Value* Find(const Key& key)
    {
        const auto found = index_.find(key);
        if (found == index_.end())
            return nullptr;
        entries_.splice(entries_.begin(), entries_, found->second);
        return &found->second->value;
    }

    // Whether key is kept; its recency stays as it was.
    bool Contains(const Key& key) const { return index_.contains(key); }

    // Keeps value as the most recently used, in place of any value of the same key, and evicts
    // the least recently used others while the total is over the budget.
    void Insert(const Key& key, Value value, std::int64_t bytes)
    {
        CheckedBytes(bytes);
        entries_.push_front(Entry{key, std::move(value), bytes});
        // From here on the entry's own copy of the key: `key` may be that of the entry replaced.
        const Key& kept = entries_.front().key;
        Remove(kept);
        try {
            index_.emplace(kept, entries_.begin());
        } catch (...) {
            entries_.pop_front();
            throw;
        }
        bytes_ += bytes;
        Evict();
    }

    void Remove(const Key& key)
    {
        const auto found = index_.find(key);
        if (found == index_.end())
            return;
        bytes_ -= found->second->bytes;
        entries_.erase(found->second);
        index_.erase(found);
    }

    // A new budget, evicting down to it.
    void SetBudget(std::int64_t bytes)
    {
        budget_ = CheckedBytes(bytes);
        Evict();
    }

    std::int64_t Budget() const { return budget_; }
    std::int64_t Bytes() const { return bytes_; }
    std::size_t Size() const { return entries_.size(); }

    void Clear()
    {
        index_.clear();
        entries_.clear();
        bytes_ = 0;
    }

private:
    struct Entry {
        Key key;
        Value value;
        std::int64_t bytes;
    };

    static std::int64_t CheckedBytes(std::int64_t bytes)
    {
        if (bytes < 0)
            throw std::invalid_argument("a cache counts no negative sizes");
        return bytes;
    }

    void Evict()
    {
        while (bytes_ > budget_ && entries_.size() > 1) {
            bytes_ -= entries_.back().bytes;
            index_.erase(entries_.back().key);
            entries_.pop_back();
        }
    }

    std::list<Entry> entries_; // most recently used first
    std::unordered_map<Key, typename std::list<Entry>::iterator, Hash> index_;
    std::int64_t budget_;
    std::int64_t bytes_ = 0;
};

} // namespace tarvolo::emf

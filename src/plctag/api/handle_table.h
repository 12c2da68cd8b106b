// The C API's handles and what they name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace plctag {

// Values by handle. Handles are handed out in sequence, so `id & mask` puts tags made together
// in neighbouring slots: a look-up, made on every API call of a pass over thousands of tags,
// touches one slot and no node of its own. Linear probing, at most half full; a removal
// shifts the slots after it back, so that no tombstones build up.
template <typename T>
class HandleTable {
public:
    size_t size() const { return count_; }
    const T *find(int32_t id) const
    {
        const size_t i = indexOf(id);
        return i == kNone ? nullptr : &slots_[i].tag;
    }
    void insert(int32_t id, T tag)
    {
        if ((count_ + 1) * 2 > slots_.size())
            resize(slots_.empty() ? 1024 : slots_.size() * 2);
        place(id, std::move(tag));
        ++count_;
    }
    T take(int32_t id)
    {
        size_t hole = indexOf(id);
        if (hole == kNone)
            return T();
        T tag = std::move(slots_[hole].tag);
        slots_[hole].id = 0;
        --count_;
        const size_t mask = slots_.size() - 1;
        for (size_t j = (hole + 1) & mask; slots_[j].id != 0; j = (j + 1) & mask) {
            const size_t home = size_t(slots_[j].id) & mask;
            // The slot may move back into the hole unless its home lies after the hole.
            const bool stays = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
            if (!stays) {
                slots_[hole] = std::move(slots_[j]);
                slots_[j].id = 0;
                hole = j;
            }
        }
        return tag;
    }
    // Every value, in no particular order; the table is empty after.
    std::vector<T> takeAll()
    {
        std::vector<T> all;
        all.reserve(count_);
        for (Slot &s : slots_)
            if (s.id != 0)
                all.push_back(std::move(s.tag));
        slots_.clear();
        count_ = 0;
        return all;
    }

private:
    static constexpr size_t kNone = SIZE_MAX;
    struct Slot {
        int32_t id = 0; // 0: free (handles start above it)
        T tag;
    };
    size_t indexOf(int32_t id) const
    {
        if (slots_.empty())
            return kNone;
        const size_t mask = slots_.size() - 1;
        for (size_t i = size_t(id) & mask;; i = (i + 1) & mask) {
            if (slots_[i].id == id)
                return i;
            if (slots_[i].id == 0)
                return kNone;
        }
    }
    void place(int32_t id, T tag)
    {
        const size_t mask = slots_.size() - 1;
        size_t i = size_t(id) & mask;
        while (slots_[i].id != 0)
            i = (i + 1) & mask;
        slots_[i].id = id;
        slots_[i].tag = std::move(tag);
    }
    void resize(size_t n)
    {
        std::vector<Slot> old(n);
        old.swap(slots_);
        for (Slot &s : old)
            if (s.id != 0)
                place(s.id, std::move(s.tag));
    }

    std::vector<Slot> slots_; // a power of two
    size_t count_ = 0;
};

} // namespace plctag

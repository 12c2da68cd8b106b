// The C API's handles and what they name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace plctag {

// Values by handle. Handles are handed out in sequence, so `id & mask` puts tags made together
// in neighbouring slots: a look-up, made on every API call of a pass over thousands of tags,
// touches one slot and no node of its own. Linear probing, at most half full counting the
// slots of removed handles, which the next resize clears.
template <typename T>
class HandleTable {
public:
    size_t size() const { return count_; }
    const T *find(int32_t id) const
    {
        const size_t i = indexOf(id);
        return i == kNone ? nullptr : &slots_[i].value;
    }
    void insert(int32_t id, T value)
    {
        if ((count_ + removed_ + 1) * 2 > slots_.size()) {
            size_t size = 1024;
            while (size < (count_ + 1) * 4)
                size *= 2;
            resize(size);
        }
        place(id, std::move(value));
        ++count_;
    }
    T take(int32_t id)
    {
        const size_t i = indexOf(id);
        if (i == kNone)
            return T();
        T value = std::move(slots_[i].value);
        slots_[i].value = T();
        // Marked, not emptied: handles made one after another fill a run of slots, and closing
        // the gap would mean walking the whole run on every removal.
        slots_[i].id = kRemoved;
        --count_;
        ++removed_;
        return value;
    }
    // Every value, in no particular order; the table is empty after.
    std::vector<T> takeAll()
    {
        std::vector<T> all;
        all.reserve(count_);
        for (Slot &s : slots_)
            if (s.id > 0)
                all.push_back(std::move(s.value));
        slots_.clear();
        count_ = removed_ = 0;
        return all;
    }

private:
    static constexpr size_t kNone = SIZE_MAX;
    static constexpr int32_t kFree = 0, kRemoved = -1; // handles are positive
    struct Slot {
        int32_t id = kFree;
        T value;
    };
    size_t indexOf(int32_t id) const
    {
        if (slots_.empty() || id <= 0)
            return kNone;
        const size_t mask = slots_.size() - 1;
        for (size_t i = size_t(id) & mask;; i = (i + 1) & mask) {
            if (slots_[i].id == id)
                return i;
            if (slots_[i].id == kFree)
                return kNone;
        }
    }
    void place(int32_t id, T value)
    {
        const size_t mask = slots_.size() - 1;
        size_t i = size_t(id) & mask;
        while (slots_[i].id != kFree)
            i = (i + 1) & mask;
        slots_[i].id = id;
        slots_[i].value = std::move(value);
    }
    void resize(size_t n)
    {
        std::vector<Slot> old(n);
        old.swap(slots_);
        removed_ = 0;
        for (Slot &s : old)
            if (s.id > 0)
                place(s.id, std::move(s.value));
    }

    std::vector<Slot> slots_; // a power of two
    size_t count_ = 0;
    size_t removed_ = 0; // marked slots, until the next resize
};

} // namespace plctag

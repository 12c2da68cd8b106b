#pragma once
// The process-wide cache of open tag-library tags, each with the binding its item was resolved
// to. Entries keep their creation order; look-ups by (device, address, binding source) and by
// handle go through flat hash indexes, so that a pass over many cached items stays linear and
// touches little memory per item. The cache itself does no locking: TagAccess::listMutex guards it.

#include <QList>
#include <QString>

#include "tag_binding.h"

#include <cstdint>
#include <optional>
#include <vector>

// What a cycle needs of a tag: no strings of the item's, so that taking it from the cache for
// every item of a pass touches nothing but the entry.
struct OpenTag {
    int32_t handle = 0;        // tag handle, or the negative status of a failed creation
    uint16_t elementCount = 1;
    int8_t controllerType = 0; // after the Micro800 override
    int8_t dataType = 0;       // as decoded
    int8_t versionParts = 0;   // Omron version variable: parts joined with "."
    bool bitAddress = false;   // the address names one bit of the tag's element
    QString refusal;           // not empty: never created, the family cannot have the address
};

// One open (or failed) tag-library tag and the binding of its item.
struct TagInstance : OpenTag {
    QString address;      // the item's address as configured
    int32_t deviceId = 0; // id of the device the item belongs to
    BindingSource source;
};

class TagCache {
public:
    // Where find() found an entry, to take it again without the look-up while it is there:
    // a removed entry leaves its place empty, and only a compaction (which renumbers) or a
    // clear gives places new meanings.
    struct Spot {
        uint32_t position = 0;
        uint32_t layout = 0; // the numbering the position belongs to
        int32_t handle = 0;
    };

    bool isEmpty() const { return live_ == 0; }
    int size() const { return live_; }

    // First entry, in creation order, for this device, address and binding source.
    bool find(int32_t deviceId, const QString &address, const BindingSource &source, OpenTag *out,
              Spot *spot = nullptr) const;
    // The entry find() gave at `spot`, if it is still there. Entries only join at the end, so
    // it is still the first for its key.
    bool at(const Spot &spot, OpenTag *out) const;
    void append(const TagInstance &entry);
    // Removes the first entry (creation order) holding `handle`.
    bool removeFirstWithHandle(int32_t handle, TagInstance *removed = nullptr);
    bool first(TagInstance *out) const;
    void clear();
    QList<TagInstance> entries() const; // creation order

private:
    // Positions in entries_ by a hash of what they are looked up by; several may share one.
    // Open addressing with linear probing, at most half full, so that a look-up reads a slot
    // or two of one flat array.
    class Index {
    public:
        // The smallest position with this hash for which `matches` holds, or -1.
        template <typename Matches>
        int first(uint hash, Matches matches) const
        {
            int best = -1;
            if (slots_.empty())
                return best;
            const size_t mask = slots_.size() - 1;
            for (size_t i = hash & mask; slots_[i].position != kFree; i = (i + 1) & mask)
                if (slots_[i].position != kRemoved && slots_[i].hash == hash &&
                    (best < 0 || slots_[i].position < uint32_t(best)) && matches(slots_[i].position))
                    best = int(slots_[i].position);
            return best;
        }
        void add(uint hash, uint32_t position);
        void remove(uint hash, uint32_t position);
        void clear();

    private:
        static constexpr uint32_t kFree = 0xFFFFFFFFu, kRemoved = 0xFFFFFFFEu;
        struct Slot {
            uint hash = 0;
            uint32_t position = kFree;
        };
        void rehash(size_t size);
        std::vector<Slot> slots_; // a power of two
        size_t used_ = 0;         // slots not free, removed ones included
    };

    static uint keyHash(int32_t deviceId, const QString &address, const BindingSource &source);
    static uint handleHash(int32_t handle) { return uint(handle) * 2654435761u; }
    int positionOf(int32_t handle) const;
    void compact(); // drops the gaps and renumbers

    // Creation order, side by side, so that a pass, which asks in about that order, walks
    // them; removed entries leave a gap until there are more gaps than entries.
    std::vector<std::optional<TagInstance>> entries_;
    size_t head_ = 0; // the first entry held: shutdown takes them from the front, one by one
    int live_ = 0;
    uint32_t layout_ = 0; // advanced when positions are renumbered or dropped
    Index byKey_, byHandle_;
};

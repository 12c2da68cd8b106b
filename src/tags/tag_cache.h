#pragma once
// The process-wide cache of open tag-library tags, each with the binding its item was resolved
// to. Entries keep their creation order; look-ups by (device, address, binding source) and by
// handle go through hash indexes so that a pass over many cached items stays linear. The cache
// itself does no locking: TagAccess::listMutex guards it.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QVector>

#include "tag_binding.h"

#include <cstdint>
#include <map>

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
    TagCache() = default;
    TagCache(const TagCache &) = delete; // the indexes hold positions in this cache's own map
    TagCache &operator=(const TagCache &) = delete;

    bool isEmpty() const { return entries_.empty(); }
    int size() const { return static_cast<int>(entries_.size()); }

    // First entry, in creation order, for this device, address and binding source.
    bool find(int32_t deviceId, const QString &address, const BindingSource &source, OpenTag *out) const;
    void append(const TagInstance &entry);
    // Removes the first entry (creation order) holding `handle`.
    bool removeFirstWithHandle(int32_t handle, TagInstance *removed = nullptr);
    bool first(TagInstance *out) const;
    void clear();
    QList<TagInstance> entries() const; // creation order

private:
    struct Key {
        int32_t deviceId;
        QString address;
        BindingSource source;
        bool operator==(const Key &o) const
        {
            return deviceId == o.deviceId && address == o.address && source == o.source;
        }
    };
    friend uint qHash(const Key &key, uint seed);

    using Seq = quint64;
    using Entries = std::map<Seq, TagInstance>; // by creation sequence
    // The entries sharing a key or a handle, in creation order: nearly always one, kept inline
    // so that an open tag costs no list of its own. They are held as the entries' own positions
    // (stable in a std::map), so a look-up reaches its entry without searching the map again.
    class SeqList {
    public:
        bool isEmpty() const { return !has_; }
        Entries::iterator first() const { return first_; }
        void append(Entries::iterator e);
        void removeFirst();
        void remove(Entries::iterator e);

    private:
        Entries::iterator first_{};
        bool has_ = false;
        QVector<Entries::iterator> rest_;
    };

    Seq next_ = 0;
    Entries entries_;
    QHash<Key, SeqList> byKey_;
    QHash<int32_t, SeqList> byHandle_;
};

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

// One open (or failed) tag-library tag and the binding of its item.
struct TagInstance {
    int32_t handle = 0;     // tag handle, or the negative status of a failed creation
    QString address;        // the item's address as configured
    int32_t deviceId = 0;   // id of the device the item belongs to
    uint16_t elementCount = 1;
    int8_t controllerType = 0; // after the Micro800 override
    int8_t dataType = 0;       // as decoded
    int8_t versionParts = 0;   // Omron version variable: parts joined with "."
    QString refusal;           // not empty: never created, the family cannot have the address
    BindingSource source;
};

class TagCache {
public:
    bool isEmpty() const { return entries_.empty(); }
    int size() const { return static_cast<int>(entries_.size()); }

    // First entry, in creation order, for this device, address and binding source.
    bool find(int32_t deviceId, const QString &address, const BindingSource &source, TagInstance *out) const;
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
    // Ascending sequences of the entries sharing a key or a handle. Nearly always one, kept
    // inline so that an open tag costs no list of its own.
    class SeqList {
    public:
        bool isEmpty() const { return !has_; }
        Seq first() const { return first_; }
        void append(Seq s);
        void removeFirst();
        void remove(Seq s);

    private:
        Seq first_ = 0;
        bool has_ = false;
        QVector<Seq> rest_;
    };

    Seq next_ = 0;
    std::map<Seq, TagInstance> entries_; // by creation sequence
    QHash<Key, SeqList> byKey_;
    QHash<int32_t, SeqList> byHandle_;
};

#pragma once
// The process-wide cache of open tag-library tags. Entries keep their creation order; look-ups
// by (device, address, attribute string) and by handle go through hash indexes so that a pass
// over many cached items stays linear. The cache itself does no locking: AB_EIP::listMutex
// guards it.

#include <QHash>
#include <QList>
#include <QString>
#include <QVector>

#include <cstdint>
#include <map>

// One open (or failed) tag-library tag.
struct TagInstance {
    int32_t handle = 0;     // tag handle, or the negative status of a failed creation
    QString address;        // the item's address as configured
    int32_t deviceId = 0;   // id of the device the item belongs to
    uint16_t elementCount = 1;
    QString attributes;     // the attribute string the tag was created with
};

class TagCache {
public:
    bool isEmpty() const { return entries_.empty(); }
    int size() const { return static_cast<int>(entries_.size()); }

    // First entry, in creation order, for this device, address and attribute string.
    bool find(int32_t deviceId, const QString &address, const QString &attributes, TagInstance *out) const;
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
        QString attributes;
        bool operator==(const Key &o) const
        {
            return deviceId == o.deviceId && address == o.address && attributes == o.attributes;
        }
    };
    friend uint qHash(const Key &key, uint seed);

    using Seq = quint64;
    Seq next_ = 0;
    std::map<Seq, TagInstance> entries_;     // by creation sequence
    QHash<Key, QVector<Seq>> byKey_;         // ascending sequences
    QHash<int32_t, QVector<Seq>> byHandle_;  // ascending sequences

    static void dropSeq(QVector<Seq> &list, Seq seq);
};

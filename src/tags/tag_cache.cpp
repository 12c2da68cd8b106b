#include "tag_cache.h"

#include <algorithm>

uint qHash(const TagCache::Key &key, uint seed)
{
    uint h = ::qHash(key.deviceId, seed);
    h ^= ::qHash(key.address, seed) + 0x9e3779b9u + (h << 6) + (h >> 2);
    h ^= ::qHash(key.attributes, seed) + 0x9e3779b9u + (h << 6) + (h >> 2);
    return h;
}

bool TagCache::find(int32_t deviceId, const QString &address, const QString &attributes, TagInstance *out) const
{
    auto it = byKey_.constFind(Key{deviceId, address, attributes});
    if (it == byKey_.constEnd() || it->isEmpty())
        return false;
    if (out)
        *out = entries_.at(it->first());
    return true;
}

void TagCache::append(const TagInstance &entry)
{
    const Seq seq = next_++;
    entries_.emplace_hint(entries_.end(), seq, entry);
    byKey_[Key{entry.deviceId, entry.address, entry.attributes}].append(seq);
    byHandle_[entry.handle].append(seq);
}

void TagCache::dropSeq(QVector<Seq> &list, Seq seq)
{
    // Lists are short (one entry per key or handle in practice).
    auto it = std::find(list.begin(), list.end(), seq);
    if (it != list.end())
        list.erase(it);
}

bool TagCache::removeFirstWithHandle(int32_t handle, TagInstance *removed)
{
    auto h = byHandle_.find(handle);
    if (h == byHandle_.end() || h->isEmpty())
        return false;
    const Seq seq = h->first();
    h->removeFirst();
    if (h->isEmpty())
        byHandle_.erase(h);
    auto e = entries_.find(seq);
    const Key key{e->second.deviceId, e->second.address, e->second.attributes};
    auto k = byKey_.find(key);
    if (k != byKey_.end()) {
        dropSeq(*k, seq);
        if (k->isEmpty())
            byKey_.erase(k);
    }
    if (removed)
        *removed = std::move(e->second);
    entries_.erase(e);
    return true;
}

bool TagCache::first(TagInstance *out) const
{
    if (entries_.empty())
        return false;
    if (out)
        *out = entries_.begin()->second;
    return true;
}

void TagCache::clear()
{
    entries_.clear();
    byKey_.clear();
    byHandle_.clear();
}

QList<TagInstance> TagCache::entries() const
{
    QList<TagInstance> out;
    out.reserve(size());
    for (const auto &e : entries_)
        out << e.second;
    return out;
}

#include "tag_cache.h"

#include <algorithm>

uint qHash(const TagCache::Key &key, uint seed)
{
    uint h = ::qHash(key.deviceId, seed);
    h ^= ::qHash(key.address, seed) + 0x9e3779b9u + (h << 6) + (h >> 2);
    for (const QString *s : {&key.source.dataType, &key.source.controllerType, &key.source.path,
                             &key.source.gateway, &key.source.deviceName, &key.source.productName})
        h ^= ::qHash(*s, seed) + 0x9e3779b9u + (h << 6) + (h >> 2);
    return h;
}

void TagCache::SeqList::append(Entries::iterator e)
{
    if (!has_) {
        first_ = e;
        has_ = true;
    } else {
        rest_.append(e);
    }
}

void TagCache::SeqList::removeFirst()
{
    if (rest_.isEmpty()) {
        has_ = false;
        return;
    }
    first_ = rest_.takeFirst();
}

void TagCache::SeqList::remove(Entries::iterator e)
{
    if (has_ && first_ == e) {
        removeFirst();
        return;
    }
    auto it = std::find(rest_.begin(), rest_.end(), e);
    if (it != rest_.end())
        rest_.erase(it);
}

bool TagCache::find(int32_t deviceId, const QString &address, const BindingSource &source, OpenTag *out) const
{
    auto it = byKey_.constFind(Key{deviceId, address, source});
    if (it == byKey_.constEnd() || it->isEmpty())
        return false;
    if (out)
        *out = it->first()->second; // the OpenTag part only
    return true;
}

void TagCache::append(const TagInstance &entry)
{
    const Entries::iterator e = entries_.emplace_hint(entries_.end(), next_++, entry);
    byKey_[Key{entry.deviceId, entry.address, entry.source}].append(e);
    byHandle_[entry.handle].append(e);
}

bool TagCache::removeFirstWithHandle(int32_t handle, TagInstance *removed)
{
    auto h = byHandle_.find(handle);
    if (h == byHandle_.end() || h->isEmpty())
        return false;
    const Entries::iterator e = h->first();
    h->removeFirst();
    if (h->isEmpty())
        byHandle_.erase(h);
    const Key key{e->second.deviceId, e->second.address, e->second.source};
    auto k = byKey_.find(key);
    if (k != byKey_.end()) {
        k->remove(e);
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

#include "tag_cache.h"

#include <QHash>

#include <algorithm>

uint TagCache::keyHash(int32_t deviceId, const QString &address, const BindingSource &source)
{
    uint h = ::qHash(deviceId);
    for (const QString *s : {&address, &source.dataType, &source.controllerType, &source.path, &source.gateway,
                             &source.deviceName, &source.productName})
        h ^= ::qHash(*s) + 0x9e3779b9u + (h << 6) + (h >> 2);
    return h;
}

void TagCache::Index::add(uint hash, uint32_t position)
{
    if ((used_ + 1) * 2 > slots_.size()) {
        // Sized by the positions still held, so that the marks of removals do not grow it.
        const size_t held = size_t(std::count_if(slots_.begin(), slots_.end(), [](const Slot &s) {
            return s.position != kFree && s.position != kRemoved;
        }));
        size_t size = 64;
        while (size < (held + 1) * 4)
            size *= 2;
        rehash(size);
    }
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].position != kFree)
        i = (i + 1) & mask;
    slots_[i] = {hash, position};
    ++used_;
}

void TagCache::Index::remove(uint hash, uint32_t position)
{
    if (slots_.empty())
        return;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask; slots_[i].position != kFree; i = (i + 1) & mask)
        if (slots_[i].position == position) {
            slots_[i].position = kRemoved; // still occupied for the probes that pass it
            return;
        }
}

void TagCache::Index::clear()
{
    slots_.clear();
    used_ = 0;
}

void TagCache::Index::rehash(size_t size)
{
    std::vector<Slot> old(size);
    old.swap(slots_);
    used_ = 0;
    const size_t mask = slots_.size() - 1;
    for (const Slot &s : old) {
        if (s.position == kFree || s.position == kRemoved)
            continue;
        size_t i = s.hash & mask;
        while (slots_[i].position != kFree)
            i = (i + 1) & mask;
        slots_[i] = s;
        ++used_;
    }
}

bool TagCache::find(int32_t deviceId, const QString &address, const BindingSource &source, OpenTag *out,
                    Spot *spot) const
{
    const int at = byKey_.first(keyHash(deviceId, address, source), [&](uint32_t position) {
        const TagInstance &e = *entries_[position];
        return e.deviceId == deviceId && e.address == address && e.source == source;
    });
    if (at < 0)
        return false;
    if (out)
        *out = *entries_[size_t(at)]; // the OpenTag part only
    if (spot)
        *spot = {uint32_t(at), layout_, entries_[size_t(at)]->handle};
    return true;
}

bool TagCache::at(const Spot &spot, OpenTag *out) const
{
    if (spot.layout != layout_ || spot.position >= entries_.size())
        return false;
    const std::optional<TagInstance> &e = entries_[spot.position];
    if (!e || e->handle != spot.handle)
        return false;
    *out = *e;
    return true;
}

void TagCache::append(const TagInstance &entry)
{
    const auto position = uint32_t(entries_.size());
    entries_.emplace_back(entry);
    ++live_;
    byKey_.add(keyHash(entry.deviceId, entry.address, entry.source), position);
    byHandle_.add(handleHash(entry.handle), position);
}

int TagCache::positionOf(int32_t handle) const
{
    return byHandle_.first(handleHash(handle),
                           [&](uint32_t position) { return entries_[position]->handle == handle; });
}

bool TagCache::removeFirstWithHandle(int32_t handle, TagInstance *removed)
{
    const int at = positionOf(handle);
    if (at < 0)
        return false;
    std::optional<TagInstance> &e = entries_[size_t(at)];
    byKey_.remove(keyHash(e->deviceId, e->address, e->source), uint32_t(at));
    byHandle_.remove(handleHash(handle), uint32_t(at));
    if (removed)
        *removed = std::move(*e);
    e.reset();
    --live_;
    while (head_ < entries_.size() && !entries_[head_])
        ++head_;
    if (entries_.size() > 64 && size_t(live_) * 2 < entries_.size())
        compact();
    return true;
}

void TagCache::compact()
{
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [](const std::optional<TagInstance> &e) { return !e.has_value(); }),
                   entries_.end());
    ++layout_;
    head_ = 0;
    byKey_.clear();
    byHandle_.clear();
    for (size_t i = 0; i < entries_.size(); ++i) {
        const TagInstance &e = *entries_[i];
        byKey_.add(keyHash(e.deviceId, e.address, e.source), uint32_t(i));
        byHandle_.add(handleHash(e.handle), uint32_t(i));
    }
}

bool TagCache::first(TagInstance *out) const
{
    if (head_ >= entries_.size())
        return false;
    if (out)
        *out = *entries_[head_];
    return true;
}

void TagCache::clear()
{
    entries_.clear();
    ++layout_;
    head_ = 0;
    live_ = 0;
    byKey_.clear();
    byHandle_.clear();
}

QList<TagInstance> TagCache::entries() const
{
    QList<TagInstance> out;
    out.reserve(size());
    for (const std::optional<TagInstance> &e : entries_)
        if (e)
            out << *e;
    return out;
}

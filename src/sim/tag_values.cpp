// A tag's value by name, as a test or the control channel reads and sets it: a whole tag's
// element, or a member or bit a path names, decoded from the controller's own bytes.
#include "tag_values.h"

#include <algorithm>
#include <cstring>

namespace absim {

namespace {

bool element(const Tag *t, size_t index)
{
    return t && index < t->count;
}

int64_t readInt(const uint8_t *p, CipType type)
{
    const size_t es = elementSize(type);
    uint64_t v = 0;
    for (size_t i = 0; i < es; ++i)
        v |= uint64_t(p[i]) << (8 * i);
    switch (type) {
    case CipType::Sint: return int8_t(v);
    case CipType::Int: return int16_t(v);
    case CipType::Dint: return int32_t(v);
    case CipType::Lint: return int64_t(v);
    default: return int64_t(v);
    }
}

// Element `index` from the place a member path names; false when the path names none.
bool memberPlace(TagStore &store, const std::string &path, size_t index, Place *p)
{
    if (!store.place(path, p) || index >= p->available)
        return false;
    p->offset += index * p->elementBytes();
    return true;
}

} // namespace

std::optional<int64_t> intValue(TagStore &store, const std::string &name, size_t index)
{
    const Tag *t = store.find(name);
    Place p;
    if (!t && memberPlace(store, name, index, &p) && !p.structure && p.atomic != CipType::Real &&
        p.atomic != CipType::Lreal) {
        const uint8_t *at = p.tag->data.data() + p.offset;
        return p.bit >= 0 ? int64_t(*at >> p.bit & 1) : readInt(at, p.atomic);
    }
    if (!element(t, index) || isStringType(t->def.type) || t->structure)
        return std::nullopt;
    if (t->def.type == CipType::Real || t->def.type == CipType::Lreal)
        return std::nullopt;
    return readInt(t->data.data() + index * elementSize(t->def.type), t->def.type);
}

std::optional<double> doubleValue(TagStore &store, const std::string &name, size_t index)
{
    const Tag *t = store.find(name);
    Place p;
    const uint8_t *at = nullptr;
    CipType type = CipType::Dint;
    if (!t && memberPlace(store, name, index, &p) && !p.structure) {
        at = p.tag->data.data() + p.offset;
        type = p.atomic;
        if (p.bit >= 0)
            return double(*at >> p.bit & 1);
    } else if (element(t, index) && !isStringType(t->def.type) && !t->structure) {
        type = t->def.type;
        at = t->data.data() + index * elementSize(type);
    }
    if (!at)
        return std::nullopt;
    if (type == CipType::Real) {
        float f;
        std::memcpy(&f, at, 4);
        return double(f);
    }
    if (type == CipType::Lreal) {
        double v;
        std::memcpy(&v, at, 8);
        return v;
    }
    return double(readInt(at, type));
}

std::optional<std::string> stringValue(TagStore &store, const std::string &name, size_t index)
{
    const Tag *t = store.find(name);
    Place p;
    if (!t && memberPlace(store, name, index, &p) && p.structure && p.structure->member("LEN") &&
        p.structure->member("DATA")) {
        const uint8_t *at = p.tag->data.data() + p.offset;
        uint32_t len;
        std::memcpy(&len, at + p.structure->member("LEN")->offset, 4);
        const Member *data = p.structure->member("DATA");
        return std::string(reinterpret_cast<const char *>(at + data->offset), std::min<size_t>(len, data->elements));
    }
    if (!element(t, index) || !isStringType(t->def.type))
        return std::nullopt;
    return t->strings[index];
}

bool setValueText(TagStore &store, const std::string &name, const std::string &v, size_t index)
{
    Tag *t = store.find(name);
    Place p;
    if (!t)
        return memberPlace(store, name, index, &p) && TagStore::setPlaceText(p, v);
    return !t->structure && TagStore::setElementText(*t, index, v);
}

} // namespace absim

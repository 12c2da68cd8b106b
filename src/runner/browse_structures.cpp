#include "browse_structures.h"

#include "config.h"

#include "model/data_types.h"

#include <libplctag.h>

namespace runner {

namespace {

constexpr int kTemplateTimeoutMs = 5000;
constexpr uint16_t kStructureBit = 0x8000;
constexpr uint16_t kArrayBit = 0x2000;
constexpr uint16_t kIdMask = 0x0FFF;
constexpr uint16_t kStringTemplate = 0x0FCE;
constexpr uint8_t kDword = 0xD3;            // a DWORD array in a Logix structure or tag list is a BOOL array
constexpr int kHeader = 14;                    // what "@udt/<id>" puts before the template bytes
constexpr int kRecord = 8;

bool hiddenName(const QString &name)
{
    return name.startsWith(QLatin1String("ZZZZZZZZZZ")) || name.startsWith(QLatin1String("__")) || name.isEmpty();
}

// NUL-terminated text at offset; *next: the byte after its NUL.
QString cString(int32_t tag, int offset, int size, int *next)
{
    QByteArray text;
    int at = offset;
    while (at < size) {
        const char c = char(plc_tag_get_uint8(tag, at++));
        if (!c)
            break;
        text.append(c);
    }
    *next = at;
    return QString::fromLatin1(text);
}

struct Expansion {
    TemplateCache &cache;
    int maxElements;
    QList<BrowseItem> *items;
    QStringList *leftOut;

    void item(const QString &address, int type, const QString &typeName)
    {
        if (type < 0)
            leftOut->append(QStringLiteral("%1: no data type for %2").arg(address, typeName));
        else
            items->append(BrowseItem{address, type});
    }

    void bits(const QString &address, uint32_t dwords)
    {
        for (uint32_t i = 0; i < dwords * 32; ++i)
            items->append(BrowseItem{QStringLiteral("%1[%2]").arg(address).arg(i), TagTypes::Bool});
    }

    // Element after element of an array of structures, up to the limit.
    void structures(const QString &address, uint16_t id, uint32_t count)
    {
        const uint32_t shown = std::min<uint32_t>(count, uint32_t(maxElements));
        for (uint32_t i = 0; i < shown; ++i)
            structure(QStringLiteral("%1[%2]").arg(address).arg(i), id);
        if (shown < count)
            leftOut->append(QStringLiteral("%1[%2..%3]: past --browse-max-elements %4")
                                .arg(address)
                                .arg(shown)
                                .arg(count - 1)
                                .arg(maxElements));
    }

    void structure(const QString &address, uint16_t id)
    {
        QString error;
        const StructureTemplate *t = cache.get(id, &error);
        if (!t) {
            leftOut->append(QStringLiteral("%1: %2").arg(address, error));
            return;
        }
        if (t->isString()) {
            items->append(BrowseItem{address, TagTypes::String});
            return;
        }
        for (const TemplateMember &m : t->members) {
            if (hiddenName(m.name))
                continue;
            const QString at = address + QLatin1Char('.') + m.name;
            const bool array = m.type & kArrayBit;
            if (m.type & kStructureBit) {
                if (array)
                    structures(at, m.type & kIdMask, m.info);
                else
                    structure(at, m.type & kIdMask);
            } else if ((m.type & 0xFF) == kDword && array) {
                bits(at, m.info);
            } else if (array) {
                const model::ListedType listed = model::listedType(m.type & 0xFF);
                item(QStringLiteral("%1[0-%2]").arg(at).arg(std::max(1, int(m.info)) - 1), listed.dataType, listed.name);
            } else {
                const model::ListedType listed = model::listedType(m.type & 0xFF);
                item(at, listed.dataType, listed.name);
            }
        }
    }
};

} // namespace

bool StructureTemplate::isString() const
{
    std::vector<const TemplateMember *> visible;
    for (const TemplateMember &m : members)
        if (!hiddenName(m.name))
            visible.push_back(&m);
    return visible.size() == 2 && visible[0]->name.compare(QLatin1String("LEN"), Qt::CaseInsensitive) == 0 &&
           visible[0]->type == 0xC4 && visible[1]->name.compare(QLatin1String("DATA"), Qt::CaseInsensitive) == 0 &&
           visible[1]->type == (kArrayBit | 0xC2);
}

const StructureTemplate *TemplateCache::get(uint16_t id, QString *error)
{
    const auto known = templates_.constFind(id);
    if (known != templates_.constEnd())
        return &*known;
    const int32_t tag = plc_tag_create(attributes_(QStringLiteral("@udt/%1").arg(id)).toUtf8().constData(),
                                       kTemplateTimeoutMs);
    if (tag < 0) {
        *error = QStringLiteral("its type (template %1) cannot be read: %2").arg(id).arg(plc_tag_decode_error(tag));
        return nullptr;
    }
    const int size = plc_tag_get_size(tag);
    const int count = size >= kHeader ? plc_tag_get_uint16(tag, 10) : 0;
    StructureTemplate t;
    int at = kHeader + count * kRecord;
    if (size < at) {
        plc_tag_destroy(tag);
        *error = QStringLiteral("its type (template %1) came back cut short").arg(id);
        return nullptr;
    }
    t.name = cString(tag, at, size, &at).section(QLatin1Char(';'), 0, 0);
    for (int i = 0; i < count; ++i) {
        TemplateMember m;
        m.info = plc_tag_get_uint16(tag, kHeader + i * kRecord);
        m.type = plc_tag_get_uint16(tag, kHeader + i * kRecord + 2);
        m.name = cString(tag, at, size, &at); // past the end: empty, so left out
        t.members.push_back(m);
    }
    plc_tag_destroy(tag);
    return &*templates_.insert(id, t);
}

bool isExpanded(const ListedSymbol &s)
{
    return s.isStructure() || ((s.type & 0xFF) == kDword && s.dimensionCount() == 1);
}

QString structureTypeName(const ListedSymbol &s, TemplateCache &cache)
{
    const uint16_t id = s.type & kIdMask;
    if (!s.isStructure())
        return QStringLiteral("BOOL");
    if (id == kStringTemplate)
        return QStringLiteral("STRING");
    QString error;
    const StructureTemplate *t = cache.get(id, &error);
    return t ? t->name : QStringLiteral("STRUCT 0x%1").arg(id, 3, 16, QLatin1Char('0'));
}

void expandSymbol(const ListedSymbol &s, TemplateCache &cache, int maxElements, QList<BrowseItem> *items,
                  QStringList *leftOut)
{
    Expansion e{cache, maxElements, items, leftOut};
    const int n = s.dimensionCount();
    if (n > 1) {
        leftOut->append(QStringLiteral("%1: multi-dimensional array").arg(s.address()));
        return;
    }
    if (!s.isStructure()) {
        e.bits(s.address(), s.dims[0]);
        return;
    }
    const uint16_t id = s.type & kIdMask;
    if (n == 1)
        e.structures(s.address(), id, s.dims[0]);
    else
        e.structure(s.address(), id);
}

} // namespace runner

#pragma once
// --browse of structures: their templates read through the tag library's "@udt/<id>" tags
// (so it works the same with a system libplctag), their type names, and their expansion into
// items for every atomic and string member.

#include "browse.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace runner {

struct TemplateMember {
    QString name;
    uint16_t info = 0; // element count of an array, bit number of a BOOL
    uint16_t type = 0; // template record type word
};

struct StructureTemplate {
    QString name; // cut at the ';'
    std::vector<TemplateMember> members;
    // LEN DINT and DATA SINT[n] and nothing else visible: a string.
    bool isString() const;
};

// Templates by id, each read once. attributes: the tag library attribute string for a tag name.
class TemplateCache {
public:
    explicit TemplateCache(std::function<QString(const QString &)> attributes) : attributes_(std::move(attributes)) {}
    // Null when the template cannot be read; *error then says why.
    const StructureTemplate *get(uint16_t id, QString *error);
    int read() const { return int(templates_.size()); }

private:
    std::function<QString(const QString &)> attributes_;
    QMap<uint16_t, StructureTemplate> templates_;
};

struct BrowseItem {
    QString address;
    int dataType = -1;
};

// The items a structure symbol (or a BOOL array, listed as DWORDs) becomes; what cannot be an
// item goes to leftOut as "address: why". Arrays of structures give their first maxElements.
void expandSymbol(const ListedSymbol &s, TemplateCache &cache, int maxElements, QList<BrowseItem> *items,
                  QStringList *leftOut);
// The type name --browse shows for a structure: the template's name, STRING for strings.
QString structureTypeName(const ListedSymbol &s, TemplateCache &cache);
// A symbol the expansion handles rather than viewOf: structures and BOOL arrays.
bool isExpanded(const ListedSymbol &s);

} // namespace runner

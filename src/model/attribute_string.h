#pragma once
// The one builder of tag-library attribute strings: configured items, the Omron identity reads
// and tag listings. Values go in as given, without escaping, and are never expanded a second time.

#include <QString>

namespace model {

struct TagAttributes {
    QString gateway;
    QString path; // the route; no path attribute when empty
    QString plc;
    int elemSize = 1;  // 0: no elem_size attribute (a listing's elements are the library's)
    int elemCount = 1; // 0: no elem_count attribute
    QString name;
    bool debugOff = false; // ends in "&debug=0"
};

QString attributeString(const TagAttributes &a);

} // namespace model

#pragma once
// The one builder of tag-library attribute strings: configured items and the Omron identity
// reads. Values go in as given, without escaping, and are never expanded a second time.

#include <QString>

struct TagAttributes {
    QString gateway;
    QString path;   // the route; no path attribute when empty
    QString plc;
    int elemSize = 1;
    int elemCount = 1;
    QString name;
    bool debugOff = false; // ends in "&debug=0"
};

QString attributeString(const TagAttributes &a);

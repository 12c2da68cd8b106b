#pragma once
// One-shot reads of Omron NJ/NX system variables through the tag library: each call
// creates its own tag, reads it once and destroys it.

#include <QString>

// A version variable of `elements` one-byte parts, joined with ".". Null when no tag was
// created (empty ip, elements < 1, failed create); empty when the read failed.
QString readOmronVersion(const QString &ip, const QString &path, const QString &name, int elements);

// A text variable (88-byte string element), trimmed. Null on any failure.
QString readOmronString(const QString &ip, const QString &path, const QString &name);

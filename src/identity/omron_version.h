#pragma once
// Omron NJ/NX version variables: system variables whose value is one byte per version part.

#include <QString>

// The address up to its first "[" when that "[" is not the first character, else the address.
QString omronTagBase(const QString &address);

// Number of version parts when the address names a version variable, else 0.
int omronVersionElements(const QString &address);

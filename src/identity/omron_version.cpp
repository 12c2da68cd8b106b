#include "omron_version.h"

QString omronTagBase(const QString &address)
{
    const int bracket = address.indexOf(QLatin1Char('['));
    return bracket > 0 ? address.left(bracket) : address;
}

int omronVersionElements(const QString &address)
{
    const QString base = omronTagBase(address);
    if (base == QLatin1String("_UnitVersion") || base == QLatin1String("_ProjectUnitVersion"))
        return 2; // major.minor
    if (base == QLatin1String("_SystemSWVersion"))
        return 3; // major.minor.patch
    return 0;
}

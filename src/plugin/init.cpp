#include "ab_eip.h"

#include "identity/identity_items.h"
#include "tags/controller_profile.h"

namespace {

// Shown order of the data types; LReal was added after String and is listed before it.
const AB_EIP::DataType kShownDataTypes[] = {
    AB_EIP::Bool,          AB_EIP::SmallInteger,          AB_EIP::UnsignedSmallInteger, AB_EIP::Byte,
    AB_EIP::Integer,       AB_EIP::UnsignedInteger,       AB_EIP::Word,                 AB_EIP::DoubleInteger,
    AB_EIP::UnsignedDoubleInteger, AB_EIP::DoubleWord,    AB_EIP::Real,                 AB_EIP::LReal,
    AB_EIP::String,        AB_EIP::LongInteger,           AB_EIP::UnsignedLongInteger,
};

DatabaseColumnStructure selection(const char *name, int size)
{
    return DatabaseColumnStructure(QString::fromLatin1(name), DatabaseColumnStructure::Selection, size, QString(""),
                                   QString(""));
}

} // namespace

bool AB_EIP::init()
{
    QList<DatabaseColumnStructure> itemColumns =
        PluginInterface::createTableStructure(QStringLiteral("address"), DatabaseColumnStructure::Text, 0);
    DatabaseColumnStructure dataType = selection("data_type", 3);
    for (DataType t : kShownDataTypes)
        dataType.insertSelectionValues(QString::fromLatin1(dataTypeInfo(t)->label), QString::number(t, 10));
    itemColumns << dataType;

    QList<DatabaseColumnStructure> deviceColumns =
        PluginInterface::createTableStructure(QStringLiteral("path"), DatabaseColumnStructure::Text, 0);
    DatabaseColumnStructure controllerType = selection("controller_type", 0);
    for (int c = 0; c < controllerProfileCount(); ++c)
        controllerType.insertSelectionValues(QString::fromLatin1(controllerProfile(c).label), QString::number(c, 10));
    deviceColumns << controllerType;

    PluginInitOptions options;
    options.flag1 = false;
    options.flag2 = false;
    options.flag3 = true;
    options.flag4 = true;
    options.flag5 = true;

    pluginInterface.initPlugin(QStringLiteral("ab_eip"), 31, QList<DatabaseColumnStructure>(), itemColumns,
                               deviceColumns, QList<DatabaseColumnStructure>(), options);

    const QList<DeviceInstancePlugin> devices = pluginInterface.getPluginDevices();
    for (const DeviceInstancePlugin &device : devices)
        zel_identity::ensureDeviceItems(&pluginInterface, device);
    return true;
}

#include "ab_eip.h"

#include "identity/identity_items.h"
#include "model/data_types.h"
#include "model/families.h"

namespace {

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
    for (int t : model::shownDataTypes())
        dataType.insertSelectionValues(QString::fromLatin1(model::dataType(t)->label), QString::number(t, 10));
    itemColumns << dataType;

    QList<DatabaseColumnStructure> deviceColumns =
        PluginInterface::createTableStructure(QStringLiteral("path"), DatabaseColumnStructure::Text, 0);
    DatabaseColumnStructure controllerType = selection("controller_type", 0);
    for (int c = 0; c < model::familyCount(); ++c)
        controllerType.insertSelectionValues(QString::fromLatin1(model::family(c).label), QString::number(c, 10));
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

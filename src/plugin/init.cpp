#include "ab_eip.h"

#include "identity/identity_items.h"

namespace {

struct Choice {
    const char *text;
    int value;
};

// Shown order; LReal was added after String and is listed before it.
const Choice kDataTypes[] = {
    {"Bool", AB_EIP::Bool},
    {"Small integer", AB_EIP::SmallInteger},
    {"Unsigned small integer", AB_EIP::UnsignedSmallInteger},
    {"Byte", AB_EIP::Byte},
    {"Integer", AB_EIP::Integer},
    {"Unsigned integer", AB_EIP::UnsignedInteger},
    {"Word", AB_EIP::Word},
    {"Double integer", AB_EIP::DoubleInteger},
    {"Unsigned double integer", AB_EIP::UnsignedDoubleInteger},
    {"Double word", AB_EIP::DoubleWord},
    {"Real", AB_EIP::Real},
    {"LReal", AB_EIP::LReal},
    {"String", AB_EIP::String},
};

const Choice kControllers[] = {
    {"Micro800", AB_EIP::Micro800},         {"MicroLogix", AB_EIP::MicroLogix},
    {"CompactLogix", AB_EIP::CompactLogix}, {"SLC500", AB_EIP::SLC500},
    {"PLC5", AB_EIP::PLC5},                 {"ControlLogix", AB_EIP::ControlLogix},
    {"FlexLogix", AB_EIP::FlexLogix},       {"OmronNjNx", AB_EIP::OmronNjNx},
};

template <size_t N>
void insertChoices(DatabaseColumnStructure &column, const Choice (&choices)[N])
{
    for (const Choice &c : choices)
        column.insertSelectionValues(QString::fromLatin1(c.text), QString::number(c.value, 10));
}

QList<zel_identity::Spec> omronIdentitySpecs(const QList<zel_identity::Spec> &eip)
{
    QList<zel_identity::Spec> specs = eip;
    for (zel_identity::Spec &s : specs)
        if (s.key == QLatin1String("firmware"))
            s.description = QStringLiteral("Controller unit version");

    zel_identity::Spec cip;
    cip.key = QStringLiteral("product_revision");
    cip.name = QStringLiteral("CIP revision");
    cip.description = QStringLiteral("EtherNet/IP identity revision");
    cip.options.insert(QStringLiteral("address"), QStringLiteral("__identity.cip_revision"));
    cip.options.insert(QStringLiteral("data_type"), QStringLiteral("11"));
    specs << cip;

    zel_identity::Spec hardware;
    hardware.key = QStringLiteral("hardware_revision");
    hardware.name = QStringLiteral("Hardware revision");
    hardware.description = QStringLiteral("Controller hardware revision");
    hardware.options.insert(QStringLiteral("address"), QStringLiteral("__identity.hardware_revision"));
    hardware.options.insert(QStringLiteral("data_type"), QStringLiteral("11"));
    specs << hardware;
    return specs;
}

} // namespace

bool AB_EIP::init()
{
    QList<DatabaseColumnStructure> itemColumns =
        PluginInterface::createTableStructure(QStringLiteral("address"), DatabaseColumnStructure::Text, 0);
    DatabaseColumnStructure dataType(QStringLiteral("data_type"), DatabaseColumnStructure::Selection, 3, QString(""),
                                     QString(""));
    insertChoices(dataType, kDataTypes);
    itemColumns << dataType;

    QList<DatabaseColumnStructure> deviceColumns =
        PluginInterface::createTableStructure(QStringLiteral("path"), DatabaseColumnStructure::Text, 0);
    DatabaseColumnStructure controllerType(QStringLiteral("controller_type"), DatabaseColumnStructure::Selection, 0,
                                           QString(""), QString(""));
    insertChoices(controllerType, kControllers);
    deviceColumns << controllerType;

    PluginInitOptions options;
    options.flag1 = false;
    options.flag2 = false;
    options.flag3 = true;
    options.flag4 = true;
    options.flag5 = true;

    pluginInterface.initPlugin(QStringLiteral("ab_eip"), 31, QList<DatabaseColumnStructure>(), itemColumns,
                               deviceColumns, QList<DatabaseColumnStructure>(), options);

    const QList<zel_identity::Spec> eipSpecs = eipIdentitySpecs();
    const QList<zel_identity::Spec> omronSpecs = omronIdentitySpecs(eipSpecs);

    const QList<DeviceInstancePlugin> devices = pluginInterface.getPluginDevices();
    for (const DeviceInstancePlugin &device : devices) {
        const bool omron =
            device.settings.value(QStringLiteral("controller_type"), QString()).toInt(nullptr, 10) == OmronNjNx;
        QList<zel_identity::Spec> specs = omron ? omronSpecs : eipSpecs;
        if (omron) {
            // Older versions created a "hardware" item; it now stands for the hardware revision.
            const QString legacyUid = zel_identity::uidFor(device.id, QStringLiteral("hardware"));
            ItemInstancePlugin legacy{};
            if (pluginInterface.getPluginItem(legacyUid, &legacy)) {
                legacy.setItemTags(QStringList{QStringLiteral("hardware_revision")});
                pluginInterface.addPluginItem(&legacy);
                for (int i = specs.size() - 1; i >= 0; --i)
                    if (specs.at(i).key == QLatin1String("hardware_revision"))
                        specs.removeAt(i);
            }
        }
        zel_identity::ensureItems(&pluginInterface, device.id, specs);
    }
    return true;
}

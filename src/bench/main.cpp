// ab-eip-bench: writes one REAL to a bench controller through the plugin, clears it, reads it
// back and prints what came back. No host: the plugin object is built here directly.
//
// The controller address comes from AB_EIP_BENCH_ADDRESS. The built-in bench address is
// only contacted when --use-default-address says so, so that running the harness by
// accident never sends traffic to a network it was not meant for.

#include "plugin/ab_eip.h"

#include <QByteArray>
#include <QDebug>
#include <QHostAddress>
#include <QMessageLogger>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The bench controller on the lab network (a Micro800 with a REAL tag "Real_Item").
const char kDefaultBenchAddress[] = "192.168.1.20";
const char kAddressVariable[] = "AB_EIP_BENCH_ADDRESS";

void usage(std::FILE *to)
{
    std::fprintf(to,
                 "usage: ab-eip-bench [--use-default-address]\n"
                 "Writes 1.234567 to the REAL tag Real_Item of a Micro800 controller, reads it back and prints\n"
                 "the value. The controller's IPv4 address comes from %s; without it the harness\n"
                 "refuses to run unless --use-default-address allows the built-in bench address %s.\n",
                 kAddressVariable, kDefaultBenchAddress);
}

} // namespace

int main(int argc, char **argv)
{
    bool useDefault = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--use-default-address") == 0) {
            useDefault = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "ab-eip-bench: unknown argument \"%s\"\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }

    QString address = qEnvironmentVariable(kAddressVariable).trimmed();
    if (address.isEmpty()) {
        if (!useDefault) {
            std::fprintf(stderr,
                         "ab-eip-bench: %s is not set. Set it to the bench controller's address (for the simulator, "
                         "e.g. %s=127.0.0.3), or pass --use-default-address to contact %s.\n",
                         kAddressVariable, kAddressVariable, kDefaultBenchAddress);
            return 2;
        }
        address = QString::fromLatin1(kDefaultBenchAddress);
    }
    QHostAddress parsed;
    if (!parsed.setAddress(address) || parsed.protocol() != QAbstractSocket::IPv4Protocol) {
        std::fprintf(stderr, "ab-eip-bench: %s=\"%s\" is not an IPv4 address\n", kAddressVariable, qPrintable(address));
        return 2;
    }

    LogList list;
    DeviceInstancePlugin device;
    device.id = 2;
    device.ipAddress = address;
    device.settings.insert(QStringLiteral("controller_type"), QStringLiteral("0")); // Micro800
    device.settings.insert(QStringLiteral("path"), QString(""));
    list.device = device;

    DataItem data;
    ItemInstancePlugin item;
    data.item = item;
    data.item.settings.insert(QStringLiteral("data_type"), QStringLiteral("10")); // Real
    data.item.settings.insert(QStringLiteral("address"), QStringLiteral("Real_Item"));
    data.values.insert(QStringLiteral("value"), QStringLiteral("1.234567"));
    list.dataItems.append(data);

    // Never destroyed: the process ends right after the read, tags and all.
    AB_EIP *plugin = new AB_EIP;
    plugin->writeData(&list);

    for (DataItem &d : list.dataItems) {
        d.values.insert(QStringLiteral("value"), QString(""));
        QMessageLogger().debug() << "Val reset: " << d.values.value(QStringLiteral("value"));
    }

    plugin->readData(&list);

    for (const DataItem &d : qAsConst(list.dataItems)) {
        const QString value = d.values.value(QStringLiteral("value"));
        QMessageLogger().debug() << "Val: " << value;
        QMessageLogger().debug() << "Val length: " << value.length();
    }

    std::fflush(nullptr);
    std::_Exit(0);
}

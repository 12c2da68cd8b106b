#pragma once
// The plugin object: a Qt plugin that implements the host's ZELInterface and moves values
// between host items and controller tags over EtherNet/IP through the tag library.

#include <host/plugin_interface.h>
#include <host/zel_interface.h>

#include "tags/tag_cache.h"

#include <QMutex>
#include <QObject>
#include <QRegularExpression>
#include <QString>
#include <QVariant>

#include <cstdint>

class AB_EIP : public QObject, public ZELInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ZELInterface_iid)
    Q_INTERFACES(ZELInterface)

public:
    // Item data types; the numbers are stored in the host's configuration.
    // Fixed to int: stored configurations may hold any number, and out-of-range values must stay
    // well-defined on their way to the default branches.
    enum DataType : int {
        Bool = 0,
        SmallInteger = 1,
        UnsignedSmallInteger = 2,
        Byte = 3,
        Integer = 4,
        UnsignedInteger = 5,
        Word = 6,
        DoubleInteger = 7,
        UnsignedDoubleInteger = 8,
        DoubleWord = 9,
        Real = 10,
        String = 11,
        LReal = 12,
    };

    // Controller families; the numbers are stored in the host's configuration.
    enum ControllerType : int {
        Micro800 = 0,
        MicroLogix = 1,
        CompactLogix = 2,
        SLC500 = 3,
        PLC5 = 4,
        ControlLogix = 5,
        FlexLogix = 6,
        OmronNjNx = 7,
    };

    using TagInstance = ::TagInstance;

    AB_EIP();
    ~AB_EIP() override;

    bool init() override;
    bool readData(LogList *list) override;
    bool getEventData(LogList *list) override;
    bool logCallback(LogList *list) override;
    bool writeData(LogList *list) override;
    bool stopPlugin() override;

    static int getDataLength(DataType type);
    static QString getCpu(ControllerType type);
    static QString errorMessage(int status);
    static QString convertValueToString(int tag, DataType type, ControllerType controller, unsigned short index);

    // Puts one element into the tag buffer. False, with nothing written, for a value that
    // parseWriteValue refuses or a text that does not fit the controller's string.
    bool setTagValue(int tag, DataType type, ControllerType controller, QVariant value, unsigned short index);

    // The cache entry for the item, created on a miss. Returned by value: another thread may
    // destroy the entry while the caller still works with it.
    TagInstance getOrCreateTag(DeviceInstancePlugin device, DataItem *item);
    void destroyTag(int handle);
    int waitForTagToBeReady(int handle, unsigned int limitMs);

    PluginInterface pluginInterface;

private:
    bool stringRefused(int totalLength, int status);

public:

    static TagCache tags;
    static QMutex listMutex; // guards tags and loopActive
    static bool loopActive;  // a tag was created since the last shutdown
    static const QRegularExpression offsetMatches;
};

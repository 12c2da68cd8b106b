#pragma once
// The plugin object: a Qt plugin that implements the host's ZELInterface and moves values
// between host items and controller tags over EtherNet/IP through the tag library. Its data
// types, controller types, tag cache and status texts are those of tag access (src/tags); its
// read and write calls are the cycles of src/exchange.

#include <host/plugin_interface.h>
#include <host/zel_interface.h>

#include "tags/tag_access.h"

#include <QObject>
#include <QString>
#include <QVariant>

class AB_EIP : public QObject, public ZELInterface, public TagAccess {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ZELInterface_iid)
    Q_INTERFACES(ZELInterface)

public:
    AB_EIP();
    ~AB_EIP() override;

    bool init() override;
    bool readData(LogList *list) override;
    bool getEventData(LogList *list) override;
    bool logCallback(LogList *list) override;
    bool writeData(LogList *list) override;
    bool stopPlugin() override;

    // One element of a read tag as text; empty when it cannot be decoded.
    static QString convertValueToString(int tag, DataType type, ControllerType controller, unsigned short index);
    // Puts one element into the tag buffer. False, with nothing written, for a value that does
    // not fit the data type or the controller's string.
    bool setTagValue(int tag, DataType type, ControllerType controller, QVariant value, unsigned short index);
};

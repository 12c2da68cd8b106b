#pragma once
// The interface every device-driver plugin of the host implements.

#include "zel_records.h"

#include <QtPlugin>

class ZELInterface {
public:
    virtual ~ZELInterface() {}

    virtual bool init() = 0;
    virtual bool readData(LogList *list) = 0;
    virtual bool getEventData(LogList *list) = 0;
    virtual bool logCallback(LogList *list) = 0;
    virtual bool writeData(LogList *list) = 0;
    virtual bool stopPlugin() = 0;
};

#define ZELInterface_iid "org.zel.host.ZELInterface/1.0.7"
Q_DECLARE_INTERFACE(ZELInterface, ZELInterface_iid)

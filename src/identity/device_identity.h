#pragma once
// A device's identity as its identity items show it: the List Identity fields and, for an
// Omron NJ/NX controller, its unit version and hardware revision read from system variables.

#include <host/zel_records.h>

#include <QMap>
#include <QString>

// Field key to text; empty when the device did not answer List Identity.
QMap<QString, QString> readDeviceIdentity(const DeviceInstancePlugin &device);

// The identity items of one read pass: the device is asked once, on the first item that needs it.
class IdentityPass {
public:
    explicit IdentityPass(const DeviceInstancePlugin &device) : device_(device) {}
    // Stores the item's field with the current time, or the text saying the device was silent.
    void fill(DataItem &data);

private:
    const DeviceInstancePlugin &device_;
    bool fetched_ = false;
    QMap<QString, QString> fields_;
};

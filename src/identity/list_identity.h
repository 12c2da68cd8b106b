#pragma once
// EtherNet/IP List Identity over UDP: the device's own account of vendor, product, serial
// number and revision. Every failure gives an empty map.

#include <QByteArray>
#include <QMap>
#include <QString>

// One unicast List Identity request to address:44818 and one reply awaited for 2 s.
// Keys on success: vendor, model, serial, firmware, cip_revision, product_code, device_type,
// status, and state when the reply carries it.
QMap<QString, QString> readEipListIdentity(const QString &address);

// "Rockwell Automation / Allen-Bradley", "Omron", or "Vendor <id>".
QString eipVendorName(unsigned short vendorId);

// Decodes one List Identity reply datagram (header included). Safe on any input.
QMap<QString, QString> parseListIdentityReply(const QByteArray &reply);

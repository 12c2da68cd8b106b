#pragma once
// EtherNet/IP List Identity over UDP: the device's own account of vendor, product, serial
// number and revision. Every failure gives an empty map.

#include <QByteArray>
#include <QMap>
#include <QString>

// One unicast List Identity request to address:44818 and one reply awaited for 2 s.
// Keys on success: vendor, model, serial, firmware, cip_revision, product_code.
QMap<QString, QString> readEipListIdentity(const QString &address);

// "Rockwell Automation / Allen-Bradley", "Omron", or "Vendor <id>".
QString eipVendorName(unsigned short vendorId);

// Decodes one List Identity reply datagram (header included). Safe on any input.
QMap<QString, QString> parseListIdentityReply(const QByteArray &reply);

// The one reply datagram of that request, or empty.
QByteArray exchangeEipListIdentity(const QString &address);

// parseListIdentityReply's keys plus those a person checking a cable wants as well:
// device_type, status (hex word) and, when the reply carries it, state.
QMap<QString, QString> parseListIdentityDetails(const QByteArray &reply);

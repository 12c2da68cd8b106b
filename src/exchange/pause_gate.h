#pragma once
// Whether the host pauses this plugin's traffic to a device: for its address, or for the
// whole plugin ("exclusive"). Asked afresh before every batch and every item.

#include <host/zel_records.h>

bool eipDiscoveryPaused(const DeviceInstancePlugin &device);

#pragma once
// The host's read and write calls for one device: each item goes through one transaction
// (item_transaction.h), whose outcome is reported where the host shows it.

#include "tags/tag_access.h"

// One acquisition pass: tag items read from the controller, identity items from what the
// device says about itself. False when the pass stopped early.
bool readCycle(TagAccess &access, LogList *list);

// One batch of values: each item written once, with its latest value. False when it stopped early.
bool writeCycle(TagAccess &access, LogList *list);

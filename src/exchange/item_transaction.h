#pragma once
// One item's way through the tag library, shared by the read and the write cycle: the tag
// fetched or created, made ready, locked, its status checked and the operation run, ending in
// one typed outcome. Each way is split into start() and finish(), so that a cycle can have the
// operations of many items in flight and still finish them one by one in item order.

#include "tags/tag_access.h"
#include "write_value.h"

#include <QString>

#include <chrono>
#include <optional>

struct Outcome {
    enum Kind {
        Ok,
        ItemError,     // the item gets the text; the cycle goes on
        DeviceTimeout, // the device is not answering; the cycle stops
        DeviceError,   // the device gets the text; the cycle stops
    };
    Kind kind = Ok;
    QString text;

    static Outcome ok() { return {}; }
    static Outcome item(const QString &text) { return {ItemError, text}; }
    static Outcome device(const QString &text) { return {DeviceError, text}; }
    // A failed tag-library status: a timeout is the device's, anything else the item's.
    static Outcome status(int status);
};

// Puts an outcome where the host shows it. False when the cycle stops there.
bool report(const Outcome &outcome, DeviceInstancePlugin &device, ItemInstancePlugin &item);

using TransactionClock = std::chrono::steady_clock;

// Reading one tag item and storing its value in the data item.
class TagRead {
public:
    TagRead(TagAccess &access, const DeviceInstancePlugin &device, DataItem &data);
    // A read sent but never finished (the pass stopped before its item) is aborted, so that it
    // does not keep the tag busy into the next pass.
    ~TagRead();
    TagRead(const TagRead &) = delete;
    TagRead &operator=(const TagRead &) = delete;
    // Sends the read of a cached tag with nothing in flight, or starts the creation of a tag
    // not cached yet (which reads it), without waiting for either. False when nothing was sent;
    // finish() then goes the whole way itself. *spot, when given: in, where the item's tag was
    // found before, taken while the cache still holds it there; out, where the cache held it
    // this time (empty for a tag that is being created).
    bool start(std::optional<TagCache::Spot> *spot = nullptr);
    Outcome finish();

private:
    Outcome open();
    Outcome fail(int status, const QString &logLine);

    TagAccess &access_;
    const DeviceInstancePlugin &device_;
    DataItem &data_;
    OpenTag tag_;
    bool started_ = false;
    bool creating_ = false; // start() created the tag; its creation's read is this pass's
    bool finished_ = false;
    TransactionClock::time_point deadline_;
};

// Writing the value of one data item to its tag.
class TagWrite {
public:
    TagWrite(TagAccess &access, const DeviceInstancePlugin &device, DataItem &data);
    // A creation started by create() but never taken up by start() is undone.
    ~TagWrite();
    TagWrite(const TagWrite &) = delete;
    TagWrite &operator=(const TagWrite &) = delete;
    // Starts creating the item's tag when it is not cached, without waiting; start() then
    // waits for it within the same bound as a creation that waits.
    void create();
    // Up to the write; with `overlap` the write is only prepared, and send() starts it without
    // waiting. The tag stays locked until finish(), so that nothing else touches the buffer of
    // a write in flight.
    Outcome start(bool overlap);
    // Sends a prepared write. Sending a batch's writes back to back, once all are encoded,
    // lets the tag library carry them in as few packets as the connection allows.
    void send();
    Outcome finish();
    // Drops a prepared write that was never sent: the tag is unlocked, nothing reaches the
    // controller and the item is not touched.
    void withdraw();

private:
    Outcome fail(int status, const QString &logLine);
    QString refuseStrings(int status, int totalLength, const QVector<WriteValue> &values);

    TagAccess &access_;
    const DeviceInstancePlugin &device_;
    DataItem &data_;
    OpenTag tag_;
    bool creating_ = false;
    bool started_ = false;
    bool locked_ = false;
    bool prepared_ = false; // encoded, not yet sent
    int writeStatus_ = 0;
    TransactionClock::time_point deadline_;
};

#include "item_transaction.h"

#include "value_codec.h"

#include <libplctag.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <thread>

namespace {

using Clock = TransactionClock;
using std::chrono::milliseconds;

constexpr unsigned int kReadyAfterCreateMs = 3000;
constexpr int kReadTimeoutMs = 5000;
constexpr unsigned int kReadyAfterReadMs = 1500;
constexpr int kWriteTimeoutMs = 5000;

// Until the tag has no operation in flight: its status then, or PLCTAG_STATUS_PENDING at the
// deadline. A reply on a quiet network takes tens of microseconds, so the first checks only
// yield; a wait that goes on is checked at most every millisecond, which keeps a long wait
// cheap without adding much to a reply that takes a few milliseconds.
int waitSettled(int handle, Clock::time_point deadline)
{
    const Clock::time_point start = Clock::now();
    std::chrono::microseconds pause(20);
    for (;;) {
        const int status = plc_tag_status(handle);
        const Clock::time_point now = Clock::now();
        if (status != PLCTAG_STATUS_PENDING || now >= deadline)
            return status;
        const Clock::duration waited = now - start;
        if (waited < std::chrono::microseconds(200)) {
            std::this_thread::yield();
            continue;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        if (waited > milliseconds(2))
            pause = std::min<std::chrono::microseconds>(pause * 2, milliseconds(1));
    }
}

QString addressOf(const DataItem &data)
{
    return data.item.settings.value(QStringLiteral("address"));
}

// A bit tag's size is that of the element holding the bit: a bit address, or a Bool item the
// library made a bit tag of (a Logix BOOL array's element, held in a DWORD), which it says
// through the tag's bit number.
bool readsOneBit(const OpenTag &tag)
{
    return tag.bitAddress ||
           (tag.dataType == TagTypes::Bool && plc_tag_get_int_attribute(tag.handle, "bit_num", -1) >= 0);
}

QString joinValue(const QStringList &texts, int versionParts)
{
    if (versionParts > 0 && versionParts <= texts.size())
        return QStringList(texts.mid(0, versionParts)).join(QLatin1Char('.'));
    if (texts.size() > 1)
        return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(texts)).toJson(QJsonDocument::Compact));
    if (texts.size() == 1)
        return texts.first();
    return QString("");
}

// A failed creation is removed from the cache (by the write cycle too, so that a write-only item
// recovers on its next write) and gives its outcome.
Outcome failedCreation(TagAccess &access, const DataItem &data, int handle, int status, const char *failureLine)
{
    access.pluginInterface.logDebug(QLatin1String(failureLine) + TagAccess::errorMessage(status) +
                                    QStringLiteral(". Item: ") + data.item.name);
    access.destroyTag(handle);
    return Outcome::status(status);
}

// The item's tag, fetched or created.
Outcome openTag(TagAccess &access, const DeviceInstancePlugin &device, DataItem &data, OpenTag *tag,
                const char *failureLine)
{
    *tag = access.getOrCreateTag(device, &data);
    if (!tag->refusal.isEmpty())
        return Outcome::item(tag->refusal);
    if (tag->handle >= 0)
        return Outcome::ok();
    return failedCreation(access, data, tag->handle, tag->handle, failureLine);
}

// A creation started without waiting, seen through to the outcome a waited-for creation has,
// within the same bound.
Outcome awaitCreation(TagAccess &access, const DataItem &data, const OpenTag &tag, Clock::time_point deadline,
                      const char *failureLine)
{
    if (!tag.refusal.isEmpty())
        return Outcome::item(tag.refusal);
    int status = tag.handle;
    if (status >= 0) {
        status = waitSettled(tag.handle, deadline);
        if (status == PLCTAG_STATUS_PENDING)
            status = PLCTAG_ERR_TIMEOUT;
    }
    if (status == PLCTAG_STATUS_OK)
        return Outcome::ok();
    return failedCreation(access, data, tag.handle, status, failureLine);
}

// A creation whose item the cycle never reached (it stopped first): the cache keeps only tags
// that are open, as when each item is created on its way.
void dropUnawaitedCreation(TagAccess &access, const OpenTag &tag)
{
    if (tag.refusal.isEmpty() && plc_tag_status(tag.handle) != PLCTAG_STATUS_OK)
        access.destroyTag(tag.handle);
}

Clock::time_point creationDeadline()
{
    return Clock::now() + milliseconds(TagAccess::kCreateTimeoutMs);
}

// A tag whose lock fails is of no further use: it is destroyed, so the next pass opens it afresh.
int lockOrDestroy(TagAccess &access, int handle)
{
    const int status = plc_tag_lock(handle);
    if (status != PLCTAG_STATUS_OK)
        access.destroyTag(handle);
    return status;
}

} // namespace

Outcome Outcome::status(int status)
{
    if (status == PLCTAG_ERR_TIMEOUT)
        return {DeviceTimeout, QString()};
    return item(TagAccess::errorMessage(status));
}

bool report(const Outcome &outcome, DeviceInstancePlugin &device, ItemInstancePlugin &item)
{
    switch (outcome.kind) {
    case Outcome::Ok: return true;
    case Outcome::ItemError: item.statusMessage = outcome.text; return true;
    case Outcome::DeviceTimeout: device.statusMessage = QStringLiteral("Timeout connecting to PLC"); return false;
    case Outcome::DeviceError: device.statusMessage = outcome.text; return false;
    }
    return false;
}

// --- Reading ---

TagRead::TagRead(TagAccess &access, const DeviceInstancePlugin &device, DataItem &data)
    : access_(access), device_(device), data_(data)
{
}

TagRead::~TagRead()
{
    if (finished_)
        return;
    if (started_)
        plc_tag_abort(tag_.handle);
    else if (creating_)
        dropUnawaitedCreation(access_, tag_);
}

bool TagRead::start(std::optional<TagCache::Spot> *spot)
{
    TagCache::Spot at;
    const bool known = spot && *spot && access_.tagAt(**spot, &tag_);
    if (known) {
        at = **spot;
    } else if (access_.startCreatingTag(device_, &data_, &tag_, &at)) {
        // The creation reads the tag: that read is this pass's.
        creating_ = true;
        deadline_ = creationDeadline();
        if (spot)
            spot->reset();
        return true;
    }
    if (spot)
        *spot = at;
    if (tag_.handle < 0)
        return false;
    const int handle = tag_.handle;
    // Under the tag's lock: a write holds it from its encoding to its reply, and a read landing
    // in between would overwrite the values about to be sent.
    if (plc_tag_lock(handle) != PLCTAG_STATUS_OK)
        return false;
    // A failed last operation does not matter: this read's own outcome decides.
    if (plc_tag_status(handle) != PLCTAG_STATUS_PENDING) {
        const int rc = plc_tag_read(handle, 0);
        started_ = rc == PLCTAG_STATUS_PENDING || rc == PLCTAG_STATUS_OK;
    }
    plc_tag_unlock(handle);
    deadline_ = Clock::now() + milliseconds(kReadTimeoutMs); // the bound of a read that waits
    return started_;
}

Outcome TagRead::open()
{
    const Outcome opened = openTag(access_, device_, data_, &tag_, "Error getting or creating tag: ");
    if (opened.kind != Outcome::Ok)
        return opened;
    const int handle = tag_.handle;
    const int status = access_.waitForTagToBeReady(handle, kReadyAfterCreateMs);
    if (status != PLCTAG_STATUS_OK) {
        access_.pluginInterface.logDebug(QStringLiteral("Failed to wait for tag after create. Item: ") +
                                         data_.item.name + QStringLiteral(" Address: ") + addressOf(data_) +
                                         QStringLiteral(" Error: ") + TagAccess::errorMessage(status));
        access_.destroyTag(handle);
        return Outcome::status(status);
    }
    return Outcome::ok();
}

Outcome TagRead::finish()
{
    finished_ = true;
    if (creating_) {
        const Outcome created = awaitCreation(access_, data_, tag_, deadline_, "Error getting or creating tag: ");
        if (created.kind != Outcome::Ok)
            return created;
    } else if (!started_) {
        const Outcome opened = open();
        if (opened.kind != Outcome::Ok)
            return opened;
    }
    const int handle = tag_.handle;
    int status = lockOrDestroy(access_, handle);
    if (status != PLCTAG_STATUS_OK)
        return Outcome::status(status);
    const auto unableToRead = [&](int code) {
        return QStringLiteral("Unable to read data from tag ") + data_.item.name + QStringLiteral(" (") +
               addressOf(data_) + QStringLiteral("). Error: ") + TagAccess::errorMessage(code);
    };
    if (started_ || creating_) {
        status = waitSettled(handle, deadline_);
        if (status == PLCTAG_STATUS_PENDING)
            status = PLCTAG_ERR_TIMEOUT;
        if (status != PLCTAG_STATUS_OK)
            return fail(status, unableToRead(status));
    } else {
        // Another pass's read may be in flight: its result is as good as ours, so wait for it.
        status = waitSettled(handle, Clock::now() + milliseconds(kReadTimeoutMs));
        if (status != PLCTAG_STATUS_OK)
            return fail(status == PLCTAG_STATUS_PENDING ? PLCTAG_ERR_TIMEOUT : status, QString());
        status = plc_tag_read(handle, kReadTimeoutMs);
        access_.waitForTagToBeReady(handle, kReadyAfterReadMs);
        if (status != PLCTAG_STATUS_OK && status != PLCTAG_STATUS_PENDING)
            return fail(status, unableToRead(status));
    }

    // A bit address reads one bit of a wider element: its size is the element's.
    const QString mismatch =
        readsOneBit(tag_)
            ? QString()
            : tagSizeMismatch(handle, tag_.dataType, tag_.controllerType, tag_.elementCount);
    if (!mismatch.isEmpty()) {
        fail(PLCTAG_ERR_BAD_DATA, QStringLiteral("Unable to decode tag ") + data_.item.name + QStringLiteral(": ") + mismatch);
        return Outcome::item(mismatch);
    }
    QStringList texts;
    if (!decodeElements(handle, tag_.dataType, tag_.controllerType, tag_.elementCount, &texts, &status)) {
        const QString text = QStringLiteral("The value read from the PLC could not be decoded (") +
                             TagAccess::errorMessage(status) + QStringLiteral(")");
        fail(status, QStringLiteral("Unable to decode tag ") + data_.item.name + QStringLiteral(": ") + text);
        return Outcome::item(text);
    }
    data_.values.insert(QStringLiteral("value"), joinValue(texts, tag_.versionParts));
    data_.item.statusMessage.clear(); // a good value never carries an old error
    plc_tag_unlock(handle);
    return Outcome::ok();
}

// Destroyed before it is unlocked: nobody may see a buffer the controller did not give.
Outcome TagRead::fail(int status, const QString &logLine)
{
    if (!logLine.isEmpty())
        access_.pluginInterface.logDebug(logLine);
    access_.destroyTag(tag_.handle);
    plc_tag_unlock(tag_.handle);
    return Outcome::status(status);
}

// --- Writing ---

TagWrite::TagWrite(TagAccess &access, const DeviceInstancePlugin &device, DataItem &data)
    : access_(access), device_(device), data_(data)
{
}

TagWrite::~TagWrite()
{
    if (creating_ && !started_)
        dropUnawaitedCreation(access_, tag_);
}

void TagWrite::create()
{
    creating_ = access_.startCreatingTag(device_, &data_, &tag_);
    deadline_ = creationDeadline();
}

Outcome TagWrite::start(bool overlap)
{
    ItemInstancePlugin &item = data_.item;
    started_ = true;
    const char *failureLine = "Error getting or creating tag (WRITE): ";
    const Outcome opened = creating_ ? awaitCreation(access_, data_, tag_, deadline_, failureLine)
                                     : openTag(access_, device_, data_, &tag_, failureLine);
    if (opened.kind != Outcome::Ok)
        return opened;
    const int handle = tag_.handle;
    int status = lockOrDestroy(access_, handle);
    if (status != PLCTAG_STATUS_OK)
        return Outcome::status(status);
    locked_ = true;
    // A read in flight (another pass's) lands first: its data must not overwrite ours.
    status = waitSettled(handle, Clock::now() + milliseconds(kWriteTimeoutMs));
    if (status == PLCTAG_STATUS_PENDING)
        return fail(PLCTAG_ERR_TIMEOUT, QString());
    if (status == PLCTAG_ERR_CREATE) {
        fail(status, QStringLiteral("Error setting up tag (WRITE). Item: ") + item.name + QStringLiteral(" Device: ") +
                         device_.name + QStringLiteral(" Error: ") + TagAccess::errorMessage(status));
        return Outcome::device(QStringLiteral("Error connecting to PLC"));
    }

    const QString text = data_.values.value(QStringLiteral("value"));
    QJsonArray elements;
    if (tag_.elementCount < 2) {
        elements.append(text);
    } else {
        const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
        if (!doc.isArray()) {
            const QString message = QStringLiteral("Write array error: Invalid format. Write message: ") + text;
            access_.pluginInterface.logDebug(message + QStringLiteral(" to item ") + item.name);
            plc_tag_unlock(handle);
            locked_ = false;
            return Outcome::item(message);
        }
        elements = doc.array();
        while (elements.size() > tag_.elementCount)
            elements.removeLast();
    }

    // Every element is checked before any is set: a bad element writes nothing at all.
    QVector<WriteValue> values;
    QString refused;
    for (const QJsonValue &e : qAsConst(elements)) {
        values << parseWriteValue(tag_.dataType, e.toVariant());
        if (!values.last().ok) {
            refused = values.last().error;
            break;
        }
    }
    // A value of the item's data type put into a tag of wider elements would send the rest of
    // each element as the controller last gave it: refused, as a read of it is.
    const QString mismatch = !refused.isEmpty() || readsOneBit(tag_)
                                 ? QString()
                                 : tagSizeMismatch(handle, tag_.dataType, tag_.controllerType, tag_.elementCount);
    if (!mismatch.isEmpty()) {
        fail(PLCTAG_ERR_BAD_DATA, QStringLiteral("Value not written to ") + item.name + QStringLiteral(": ") + mismatch);
        return Outcome::item(mismatch);
    }
    if (refused.isEmpty()) {
        const Encoded encoded = encodeElements(handle, tag_.dataType, tag_.controllerType, values, tag_.elementCount);
        if (encoded.status != PLCTAG_STATUS_OK && tag_.dataType != TagTypes::String) {
            // The buffer is not what the item's data type needs: nothing of it may be sent.
            const QString text = QStringLiteral("The value could not be put into the tag (") +
                                 TagAccess::errorMessage(encoded.status) + QStringLiteral(")");
            fail(encoded.status, QStringLiteral("Value not written to ") + item.name + QStringLiteral(": ") + text);
            return Outcome::item(text);
        }
        if (encoded.status != PLCTAG_STATUS_OK)
            refused = refuseStrings(encoded.status, encoded.totalLength, values);
    }
    if (!refused.isEmpty()) {
        access_.pluginInterface.logDebug(QStringLiteral("Value not written to ") + item.name + QStringLiteral(": ") +
                                         refused);
        plc_tag_unlock(handle);
        locked_ = false;
        return Outcome::item(refused);
    }

    if (overlap) {
        prepared_ = true;
        return Outcome::ok();
    }
    writeStatus_ = plc_tag_write(handle, kWriteTimeoutMs);
    deadline_ = Clock::now() + milliseconds(kWriteTimeoutMs);
    return Outcome::ok();
}

void TagWrite::send()
{
    if (!prepared_)
        return;
    prepared_ = false;
    writeStatus_ = plc_tag_write(tag_.handle, 0);
    deadline_ = Clock::now() + milliseconds(kWriteTimeoutMs);
}

void TagWrite::withdraw()
{
    if (!prepared_)
        return;
    prepared_ = false;
    plc_tag_unlock(tag_.handle);
    locked_ = false;
}

QString TagWrite::refuseStrings(int status, int totalLength, const QVector<WriteValue> &values)
{
    access_.pluginInterface.logError(QStringLiteral("Error setting string %1, error %2!")
                                         .arg(QString::number(totalLength),
                                              QString::fromLatin1(plc_tag_decode_error(status))));
    if (status != PLCTAG_ERR_TOO_LARGE)
        return TagAccess::errorMessage(status);
    int longest = 0;
    for (const WriteValue &v : values)
        longest = std::max(longest, v.text.size());
    return QStringLiteral("Text too long for the PLC's string: %1 bytes").arg(longest);
}

Outcome TagWrite::finish()
{
    send();
    const int handle = tag_.handle;
    int status = writeStatus_;
    if (status == PLCTAG_STATUS_PENDING) {
        status = waitSettled(handle, deadline_);
        if (status == PLCTAG_STATUS_PENDING)
            status = PLCTAG_ERR_TIMEOUT;
    }
    if (status != PLCTAG_STATUS_OK)
        return fail(status, QStringLiteral("Error while writing data. Code: ") + QString::number(status) +
                                QStringLiteral("(") + TagAccess::errorMessage(status) + QStringLiteral(")") +
                                QStringLiteral(" Item: ") + data_.item.name + QStringLiteral(" Device: ") +
                                device_.name);
    plc_tag_unlock(handle);
    locked_ = false;
    access_.pluginInterface.logDebug(QStringLiteral("Wrote value ") + data_.values.value(QStringLiteral("value")) +
                                     QStringLiteral(" to ") + data_.item.name + QStringLiteral(" (") +
                                     addressOf(data_) + QStringLiteral(")"));
    return Outcome::ok();
}

// Destroyed before it is unlocked: a read waiting for the lock must not decode values that
// never reached the controller.
Outcome TagWrite::fail(int status, const QString &logLine)
{
    access_.destroyTag(tag_.handle);
    if (locked_)
        plc_tag_unlock(tag_.handle);
    locked_ = false;
    if (!logLine.isEmpty())
        access_.pluginInterface.logDebug(logLine);
    return Outcome::status(status);
}

#include "browse.h"

#include "browse_structures.h"

#include "config.h"
#include "session.h"

#include "identity/list_identity.h"
#include "model/attribute_string.h"
#include "model/data_types.h"
#include "model/families.h"

#include <libplctag.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace runner {

namespace {

constexpr int kListTimeoutMs = 10000; // a whole listing, however many replies it takes

constexpr uint32_t kMaxRangeElements = 65535;

void fail(const QString &text)
{
    std::fprintf(stderr, "ab-eip-runner: %s\n", qPrintable(text));
}

// Reads one "@tags" tag into symbols of the scope. Empty text on success, else the failure.
QString readListing(const QString &attributes, const QString &scope, QList<ListedSymbol> *out)
{
    const int32_t tag = plc_tag_create(attributes.toUtf8().constData(), kListTimeoutMs);
    if (tag == PLCTAG_ERR_TIMEOUT)
        return QStringLiteral("no complete answer within %1 s").arg(kListTimeoutMs / 1000);
    if (tag == PLCTAG_ERR_UNSUPPORTED)
        return QStringLiteral("the controller does not offer its tag list (service not supported)");
    if (tag < 0)
        return QString::fromUtf8(plc_tag_decode_error(tag));
    const int size = plc_tag_get_size(tag);
    QString error;
    for (int at = 0; at < size;) {
        ListedSymbol s;
        s.scope = scope;
        s.instance = plc_tag_get_uint32(tag, at);
        s.type = plc_tag_get_uint16(tag, at + 4);
        s.elementSize = plc_tag_get_uint16(tag, at + 6);
        for (int i = 0; i < 3; ++i)
            s.dims[i] = plc_tag_get_uint32(tag, at + 8 + 4 * i);
        const int length = plc_tag_get_string_length(tag, at + 20);
        const int total = plc_tag_get_string_total_length(tag, at + 20);
        if (length < 0 || total < 2 || at + 20 + total > size) {
            error = QStringLiteral("the listing's entry at byte %1 is cut short").arg(at);
            break;
        }
        QByteArray name(length + 1, '\0');
        plc_tag_get_string(tag, at + 20, name.data(), name.size());
        s.name = QString::fromUtf8(name.constData());
        out->append(s);
        at += 20 + total;
    }
    plc_tag_destroy(tag);
    return error;
}

QString listingAttributes(const DeviceConfig &d, const model::Family &f, const QString &tagName)
{
    model::TagAttributes a;
    a.gateway = d.ipAddress;
    a.path = f.route(d.path.trimmed());
    a.plc = QLatin1String(f.plc);
    a.elemSize = 0; // a listing's entries are the tag library's
    a.elemCount = 0;
    a.name = tagName;
    return model::attributeString(a);
}

QString padded(const QString &s, int width)
{
    return s.leftJustified(width);
}

// Tags listed and templates read, on one line that overwrites itself.
void progress(int tags, const TemplateCache &cache, int *shown)
{
    static const bool terminal = ::isatty(STDERR_FILENO) == 1;
    if (terminal && cache.read() != *shown) {
        *shown = cache.read();
        std::fprintf(stderr, "\r%d tags listed, %d templates read", tags, *shown);
    }
}

void printTable(const QList<ListedSymbol> &symbols, TemplateCache &cache)
{
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("Scope"), QStringLiteral("Name"), QStringLiteral("Type"),
                        QStringLiteral("Dimensions"), QStringLiteral("Note")};
    int shown = -1;
    for (const ListedSymbol &s : symbols) {
        progress(int(symbols.size()), cache, &shown);
        if (isProgramEntry(s))
            continue; // its tags follow under its scope
        const SymbolView v = viewOf(s);
        const QString typeName = v.expand ? structureTypeName(s, cache) : v.typeName;
        // A BOOL array is listed as its DWORDs; show the BOOLs it holds.
        const QString dims = v.expand && !s.isStructure() ? QStringLiteral("[%1]").arg(s.dims[0] * 32) : v.dimensions;
        rows << QStringList{s.scope.isEmpty() ? QStringLiteral("controller") : s.scope, s.name, typeName, dims, v.leftOut.isEmpty() ? QString() : QStringLiteral("not an item: ") + v.leftOut};
    }
    if (::isatty(STDERR_FILENO) == 1)
        std::fprintf(stderr, "\n");
    int widths[5] = {};
    for (const QStringList &r : rows)
        for (int i = 0; i < 5; ++i)
            widths[i] = std::max(widths[i], int(r.at(i).size()));
    for (const QStringList &r : rows) {
        QString line;
        for (int i = 0; i < 5; ++i)
            line += padded(r.at(i), i == 4 ? 0 : widths[i] + 2);
        std::printf("%s\n", qPrintable(line.trimmed()));
    }
    std::printf("%d tags\n", int(rows.size() - 1));
}

void printConfiguration(const DeviceConfig &d, const QList<ListedSymbol> &symbols, TemplateCache &cache,
                        int maxElements)
{
    QJsonArray items;
    QStringList leftOut;
    int shown = -1;
    for (const ListedSymbol &s : symbols) {
        progress(int(symbols.size()), cache, &shown);
        if (isProgramEntry(s))
            continue;
        const SymbolView v = viewOf(s);
        if (v.expand) {
            QList<BrowseItem> expanded;
            expandSymbol(s, cache, maxElements, &expanded, &leftOut);
            for (const BrowseItem &item : expanded)
                items.append(QJsonObject{{QStringLiteral("name"), item.address},
                                         {QStringLiteral("address"), item.address},
                                         {QStringLiteral("data_type"), dataTypeName(item.dataType)}});
            continue;
        }
        if (!v.leftOut.isEmpty()) {
            std::fprintf(stderr, "left out %s: %s\n", qPrintable(s.address()), qPrintable(v.leftOut));
            continue;
        }
        items.append(QJsonObject{{QStringLiteral("name"), s.address()},
                                 {QStringLiteral("address"), v.address},
                                 {QStringLiteral("data_type"), dataTypeName(v.dataType)}});
    }
    if (::isatty(STDERR_FILENO) == 1)
        std::fprintf(stderr, "\n");
    for (const QString &why : leftOut)
        std::fprintf(stderr, "left out %s\n", qPrintable(why));
    QJsonObject device{{QStringLiteral("id"), d.id},
                       {QStringLiteral("name"), d.name},
                       {QStringLiteral("ip_address"), d.ipAddress},
                       {QStringLiteral("controller_type"), controllerTypeName(d.controllerType)},
                       {QStringLiteral("items"), items}};
    if (!d.path.isEmpty())
        device.insert(QStringLiteral("path"), d.path);
    for (auto it = d.settings.constBegin(); it != d.settings.constEnd(); ++it)
        device.insert(it.key(), it.value());
    const QJsonObject root{{QStringLiteral("devices"), QJsonArray{device}}};
    std::printf("%s", QJsonDocument(root).toJson(QJsonDocument::Indented).constData());
}

} // namespace

bool isProgramEntry(const ListedSymbol &s)
{
    return s.scope.isEmpty() && s.name.startsWith(QLatin1String("Program:"), Qt::CaseInsensitive) &&
           !s.name.contains(QLatin1Char('.'));
}

SymbolView viewOf(const ListedSymbol &s)
{
    SymbolView v;
    const int n = s.dimensionCount();
    QStringList dims;
    for (int i = 0; i < n; ++i)
        dims << QString::number(s.dims[i]);
    if (n > 0)
        v.dimensions = QLatin1Char('[') + dims.join(QLatin1Char(',')) + QLatin1Char(']');

    const model::ListedType listed = model::listedType(s.type);
    v.typeName = listed.name;
    v.dataType = listed.dataType;

    v.address = s.address();
    if (n == 1 && s.dims[0] > 1)
        v.address += QStringLiteral("[0-%1]").arg(s.dims[0] - 1);
    else if (n == 1)
        v.address += QStringLiteral("[0]");

    if (s.isSystem() || s.name.startsWith(QLatin1String("__")))
        v.leftOut = QStringLiteral("system tag");
    else if (s.name.contains(QLatin1Char(':')))
        v.leftOut = QStringLiteral("module tag");
    else if (isExpanded(s) && v.typeName != QLatin1String("STRING"))
        v.expand = true;
    else if (s.isStructure() && v.dataType < 0)
        v.leftOut = QStringLiteral("structure");
    else if (v.dataType < 0)
        v.leftOut = QStringLiteral("no data type for %1").arg(v.typeName);
    else if (n > 1)
        v.leftOut = QStringLiteral("multi-dimensional array");
    else if (n == 1 && s.dims[0] > kMaxRangeElements)
        v.leftOut = QStringLiteral("more than %1 elements").arg(kMaxRangeElements);
    return v;
}

int browseDevice(const DeviceConfig &d, bool json, int maxElements)
{
    const int type = d.controllerType;
    if (type < 0 || type >= model::familyCount()) {
        fail(QStringLiteral("unknown controller type %1").arg(type));
        return ExitUsage;
    }
    const model::Family &f = model::family(type);
    if (f.cannotList) {
        fail(QStringLiteral("%1 cannot be browsed: %2").arg(d.name, QLatin1String(f.cannotList)));
        return ExitUsage;
    }
    QList<ListedSymbol> symbols;
    QString error = readListing(listingAttributes(d, f, QStringLiteral("@tags")), QString(), &symbols);
    if (!error.isEmpty()) {
        fail(QStringLiteral("%1 (%2): listing the controller's tags failed: %3").arg(d.name, d.ipAddress, error));
        return ExitFailure;
    }
    const QList<ListedSymbol> controllerScope = symbols;
    for (const ListedSymbol &program : controllerScope) {
        if (!isProgramEntry(program))
            continue;
        error = readListing(listingAttributes(d, f, program.name + QStringLiteral(".@tags")), program.name, &symbols);
        if (!error.isEmpty()) {
            fail(QStringLiteral("%1 (%2): listing the tags of %3 failed: %4")
                     .arg(d.name, d.ipAddress, program.name, error));
            return ExitFailure;
        }
    }
    TemplateCache cache([&](const QString &name) { return listingAttributes(d, f, name); });
    if (json)
        printConfiguration(d, symbols, cache, maxElements);
    else
        printTable(symbols, cache);
    return ExitOk;
}

int runBrowse(const BrowseRequest &r)
{
    DeviceConfig device;
    if (!r.configFile.isEmpty()) {
        RunnerConfig config;
        QString error;
        if (!loadConfig(r.configFile, &config, &error)) {
            fail(error);
            return ExitUsage;
        }
        const auto it = std::find_if(config.devices.cbegin(), config.devices.cend(), [&](const DeviceConfig &d) {
            return d.name == r.target || QString::number(d.id) == r.target;
        });
        if (it == config.devices.cend()) {
            fail(QStringLiteral("%1: no device named \"%2\"").arg(r.configFile, r.target));
            return ExitUsage;
        }
        device = *it;
    } else {
        if (r.controllerType.isEmpty()) {
            fail(QStringLiteral("--browse ADDRESS needs --controller-type (%1)").arg(controllerTypeNames().join(", ")));
            return ExitUsage;
        }
        device.controllerType = controllerTypeFromText(r.controllerType);
        if (device.controllerType < 0) {
            fail(QStringLiteral("unknown controller type \"%1\" (%2)")
                     .arg(r.controllerType, controllerTypeNames().join(", ")));
            return ExitUsage;
        }
        device.id = 1;
        device.name = r.target;
        device.ipAddress = r.target;
        device.path = r.path;
    }
    return browseDevice(device, r.json, r.maxElements);
}

int identifyDevice(const QString &address)
{
    const QMap<QString, QString> m = parseListIdentityDetails(exchangeEipListIdentity(address));
    if (m.isEmpty()) {
        fail(QStringLiteral("no List Identity answer from %1").arg(address));
        return ExitFailure;
    }
    // CIP Identity object attribute 8.
    static const char *const kStates[] = {"nonexistent", "self testing", "standby", "operational",
                                          "major recoverable fault", "major unrecoverable fault"};
    QString state = m.value(QStringLiteral("state"));
    const int code = state.toInt();
    if (!state.isEmpty() && code >= 0 && code < int(std::size(kStates)))
        state += QStringLiteral(" (%1)").arg(QLatin1String(kStates[code]));
    const QList<QPair<QString, QString>> rows = {
        {QStringLiteral("Address"), address},
        {QStringLiteral("Vendor"), m.value(QStringLiteral("vendor"))},
        {QStringLiteral("Product name"), m.value(QStringLiteral("model"))},
        {QStringLiteral("Product code"), m.value(QStringLiteral("product_code"))},
        {QStringLiteral("Device type"), m.value(QStringLiteral("device_type"))},
        {QStringLiteral("Revision"), m.value(QStringLiteral("firmware"))},
        {QStringLiteral("Serial"), QStringLiteral("%1 (0x%2)")
                                       .arg(m.value(QStringLiteral("serial")))
                                       .arg(m.value(QStringLiteral("serial")).toULong(), 8, 16, QLatin1Char('0'))},
        {QStringLiteral("Status"), m.value(QStringLiteral("status"))},
        {QStringLiteral("State"), state},
    };
    for (const auto &row : rows)
        std::printf("%-14s%s\n", qPrintable(row.first), qPrintable(row.second));
    return ExitOk;
}

} // namespace runner

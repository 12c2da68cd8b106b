// Identities per personality, names, and the JSON and command-line forms of a configuration.
#include "absim/simulator.h"

#include "structures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cctype>

namespace absim {

Identity defaultIdentity(Personality p)
{
    Identity id;
    switch (p) {
    case Personality::ControlLogix: break;
    case Personality::CompactLogix:
        id.productCode = 108;
        id.revMajor = 32;
        id.revMinor = 11;
        id.productName = "1769-L33ER/B LOGIX5333ER";
        id.serial = 0x60A1B2C3;
        break;
    case Personality::FlexLogix:
        id.productCode = 41;
        id.revMajor = 16;
        id.revMinor = 4;
        id.productName = "1794-L34/B LOGIX5434";
        id.serial = 0x00F1E201;
        break;
    case Personality::Micro800:
        id.productCode = 210;
        id.revMajor = 12;
        id.revMinor = 11;
        id.productName = "2080-LC30-48QWB";
        id.serial = 0x4D383530;
        break;
    case Personality::OmronNJ:
        id.vendorId = 47;
        id.deviceType = 12;
        id.productCode = 1603;
        id.revMajor = 2;
        id.revMinor = 1;
        id.productName = "NJ501-1300";
        id.serial = 0x3A7F0012;
        break;
    case Personality::Slc500:
        id.productCode = 90;
        id.revMajor = 3;
        id.revMinor = 2;
        id.productName = "1747-L552/C";
        id.serial = 0x0051C500;
        break;
    case Personality::MicroLogix:
        id.productCode = 150;
        id.revMajor = 14;
        id.revMinor = 0;
        id.productName = "1766-L32BXB/B";
        id.serial = 0x00140000;
        break;
    case Personality::Plc5:
        id.productCode = 20;
        id.revMajor = 15;
        id.revMinor = 3;
        id.productName = "1785-L40E/F";
        id.serial = 0x0000F5E5;
        break;
    }
    return id;
}

namespace {

struct Name {
    const char *text;
    Personality p;
};
const Name kNames[] = {
    {"controllogix", Personality::ControlLogix}, {"compactlogix", Personality::CompactLogix},
    {"flexlogix", Personality::FlexLogix},       {"micro800", Personality::Micro800},
    {"omron", Personality::OmronNJ},             {"omron-njnx", Personality::OmronNJ},
    {"slc500", Personality::Slc500},             {"micrologix", Personality::MicroLogix},
    {"plc5", Personality::Plc5},
};

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

} // namespace

const char *personalityName(Personality p)
{
    for (const Name &n : kNames)
        if (n.p == p)
            return n.text;
    return "?";
}

bool parsePersonality(const std::string &text, Personality *out)
{
    const std::string t = lower(text);
    for (const Name &n : kNames)
        if (t == n.text) {
            *out = n.p;
            return true;
        }
    return false;
}

bool parseCipType(const std::string &text, CipType *out)
{
    static const struct {
        const char *name;
        CipType type;
    } types[] = {{"bool", CipType::Bool}, {"sint", CipType::Sint},   {"int", CipType::Int},
                 {"dint", CipType::Dint}, {"lint", CipType::Lint},   {"usint", CipType::Usint},
                 {"uint", CipType::Uint}, {"udint", CipType::Udint}, {"ulint", CipType::Ulint}, {"real", CipType::Real},
                 {"lreal", CipType::Lreal}, {"dword", CipType::Dword}, {"string", CipType::String},
                 {"sstring", CipType::ShortString}};
    const std::string t = lower(text);
    for (const auto &e : types)
        if (t == e.name) {
            *out = e.type;
            return true;
        }
    return false;
}

bool parseTagSpec(const std::string &spec, TagDef *out, std::string *error)
{
    // Name:TYPE[dims]=v1,v2 ; the name may hold ':' itself (Program:Main.X), so split at the last one.
    const size_t eq = spec.find('=');
    const std::string head = spec.substr(0, eq);
    const size_t colon = head.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        *error = "tag \"" + spec + "\": expected Name:TYPE[dims]=values";
        return false;
    }
    TagDef t;
    t.name = head.substr(0, colon);
    std::string type = head.substr(colon + 1);
    const size_t bracket = type.find('[');
    if (bracket != std::string::npos) {
        const size_t close = type.find(']', bracket);
        if (close == std::string::npos) {
            *error = "tag \"" + spec + "\": missing ]";
            return false;
        }
        std::string dims = type.substr(bracket + 1, close - bracket - 1);
        size_t pos = 0;
        while (pos <= dims.size()) {
            const size_t comma = dims.find(',', pos);
            const std::string d = dims.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
            const long v = std::strtol(d.c_str(), nullptr, 10);
            if (v <= 0) {
                *error = "tag \"" + spec + "\": bad dimension";
                return false;
            }
            t.dims.push_back(uint32_t(v));
            if (comma == std::string::npos)
                break;
            pos = comma + 1;
        }
        type = type.substr(0, bracket);
    }
    if (!parseCipType(type, &t.type)) {
        *error = "tag \"" + spec + "\": unknown type " + type;
        return false;
    }
    if (eq != std::string::npos) {
        const std::string values = spec.substr(eq + 1);
        size_t pos = 0;
        while (pos <= values.size()) {
            const size_t comma = isStringType(t.type) ? std::string::npos : values.find(',', pos);
            t.initial.push_back(values.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
            if (comma == std::string::npos)
                break;
            pos = comma + 1;
        }
    }
    *out = t;
    return true;
}

namespace {

std::string text(const QJsonValue &v)
{
    if (v.isString())
        return v.toString().toStdString();
    if (v.isBool())
        return v.toBool() ? "1" : "0";
    if (v.isDouble()) {
        const double d = v.toDouble();
        char b[64];
        if (d == double(int64_t(d)))
            std::snprintf(b, sizeof b, "%lld", static_cast<long long>(d));
        else
            std::snprintf(b, sizeof b, "%.17g", d);
        return b;
    }
    return std::string();
}

// "response_delay_us": microseconds before each reply packet; a controller's own value wins
// over the file's.
bool responseDelayFrom(const QJsonObject &o, int fallback, int *out, std::string *error)
{
    const QJsonValue v = o.value("response_delay_us");
    if (v.isUndefined()) {
        *out = fallback;
        return true;
    }
    const double us = v.toDouble(-1);
    if (!v.isDouble() || us < 0 || us > 60e6 || us != double(int(us))) {
        *error = "response_delay_us must be a whole number of microseconds, 0 to 60000000";
        return false;
    }
    *out = int(us);
    return true;
}

// A structure's value as (path below the tag, text) pairs: {"Drive": {"Rpm": 1}} gives "Drive.Rpm".
void memberValues(const QJsonValue &v, const std::string &path, std::vector<std::pair<std::string, std::string>> *out)
{
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            memberValues(it.value(), path + (path.empty() ? "" : ".") + it.key().toStdString(), out);
    } else if (v.isArray()) {
        const QJsonArray a = v.toArray();
        for (int i = 0; i < a.size(); ++i)
            memberValues(a[i], path + "[" + std::to_string(i) + "]", out);
    } else if (!v.isUndefined() && !v.isNull()) {
        out->emplace_back(path, text(v));
    }
}

bool typesFrom(const QJsonArray &list, std::vector<StructDef> *out, std::string *error)
{
    for (const QJsonValue &tv : list) {
        const QJsonObject to = tv.toObject();
        StructDef d;
        d.name = to.value("name").toString().toStdString();
        for (const QJsonValue &mv : to.value("members").toArray()) {
            const QJsonObject mo = mv.toObject();
            MemberDef m;
            m.name = mo.value("name").toString().toStdString();
            m.type = mo.value("type").toString().toStdString();
            for (const QJsonValue &dim : mo.value("dims").toArray())
                m.dims.push_back(uint32_t(dim.toInt()));
            d.members.push_back(m);
        }
        out->push_back(d);
    }
    TypeRegistry check;
    return check.build(*out, error);
}

bool controllerFrom(const QJsonObject &o, Config *c, std::string *error)
{
    c->address = o.value("address").toString("127.0.0.2").toStdString();
    c->port = static_cast<uint16_t>(o.value("port").toInt(44818));
    if (!parsePersonality(o.value("personality").toString("controllogix").toStdString(), &c->personality)) {
        *error = "unknown personality " + o.value("personality").toString().toStdString();
        return false;
    }
    c->identity = defaultIdentity(c->personality);
    const QJsonObject id = o.value("identity").toObject();
    Identity &i = c->identity;
    i.vendorId = uint16_t(id.value("vendor_id").toInt(i.vendorId));
    i.deviceType = uint16_t(id.value("device_type").toInt(i.deviceType));
    i.productCode = uint16_t(id.value("product_code").toInt(i.productCode));
    i.revMajor = uint8_t(id.value("revision_major").toInt(i.revMajor));
    i.revMinor = uint8_t(id.value("revision_minor").toInt(i.revMinor));
    i.status = uint16_t(id.value("status").toInt(i.status));
    i.serial = uint32_t(id.value("serial").toDouble(i.serial));
    i.productName = id.value("product_name").toString(QString::fromStdString(i.productName)).toStdString();
    i.state = uint8_t(id.value("state").toInt(i.state));
    for (const QJsonValue &q : o.value("quirks").toArray())
        if (!enableQuirk(q.toString().toStdString(), &c->quirks)) {
            *error = "unknown quirk " + q.toString().toStdString();
            return false;
        }
    if (!typesFrom(o.value("types").toArray(), &c->types, error))
        return false;
    for (const QJsonValue &tv : o.value("tags").toArray()) {
        const QJsonObject to = tv.toObject();
        TagDef t;
        t.name = to.value("name").toString().toStdString();
        const std::string type = to.value("type").toString().toStdString();
        const bool structure = std::any_of(c->types.begin(), c->types.end(),
                                           [&](const StructDef &d) { return lower(d.name) == lower(type); });
        if (structure)
            t.structure = type;
        if (t.name.empty() || (!structure && !parseCipType(type, &t.type))) {
            *error = "tag \"" + t.name + "\": missing name or unknown type";
            return false;
        }
        for (const QJsonValue &d : to.value("dims").toArray())
            t.dims.push_back(uint32_t(d.toInt()));
        const QJsonValue value = to.value("value");
        if (structure)
            memberValues(value, "", &t.memberValues);
        else if (value.isArray())
            for (const QJsonValue &e : value.toArray())
                t.initial.push_back(text(e));
        else if (!value.isUndefined())
            t.initial.push_back(text(value));
        c->tags.push_back(t);
    }
    return true;
}

} // namespace

bool loadConfigFile(const std::string &path, std::vector<Config> *out, std::string *error)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) {
        *error = "cannot read " + path;
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (doc.isNull()) {
        *error = path + ": " + pe.errorString().toStdString() + " at offset " + std::to_string(pe.offset);
        return false;
    }
    const QJsonObject root = doc.object();
    const QJsonArray list =
        root.contains("controllers") ? root.value("controllers").toArray() : QJsonArray{QJsonValue(root)};
    int delayUs = 0;
    if (!responseDelayFrom(root, 0, &delayUs, error)) {
        *error = path + ": " + *error;
        return false;
    }
    for (const QJsonValue &v : list) {
        Config c;
        if (!controllerFrom(v.toObject(), &c, error) ||
            !responseDelayFrom(v.toObject(), delayUs, &c.responseDelayUs, error)) {
            *error = path + ": " + *error;
            return false;
        }
        out->push_back(c);
    }
    return true;
}

} // namespace absim

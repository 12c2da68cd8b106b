#include "tag_store.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace absim {

size_t elementSize(CipType t)
{
    switch (t) {
    case CipType::Bool:
    case CipType::Sint:
    case CipType::Usint: return 1;
    case CipType::Int:
    case CipType::Uint: return 2;
    case CipType::Dint:
    case CipType::Udint:
    case CipType::Dword:
    case CipType::Real: return 4;
    case CipType::Lint:
    case CipType::Ulint:
    case CipType::Lreal: return 8;
    case CipType::String:
    case CipType::ShortString: return 0;
    }
    return 0;
}

bool isPcccPersonality(Personality p)
{
    return p == Personality::Slc500 || p == Personality::MicroLogix || p == Personality::Plc5;
}

bool isStringPersonalityLogix(Personality p)
{
    return p == Personality::ControlLogix || p == Personality::CompactLogix || p == Personality::FlexLogix;
}

namespace {

constexpr size_t kLogixStringChars = 82;
constexpr size_t kLogixStringBytes = 88;
constexpr size_t kPcccStringBytes = 84; // UINT length, 82 characters swapped in pairs

void swapWords(uint8_t *p, size_t n)
{
    for (size_t i = 0; i + 4 <= n; i += 4) {
        std::swap(p[i], p[i + 2]);
        std::swap(p[i + 1], p[i + 3]);
    }
}

bool parseNumber(CipType type, const std::string &text, uint8_t *out)
{
    const char *s = text.c_str();
    char *end = nullptr;
    if (type == CipType::Real || type == CipType::Lreal) {
        const double d = std::strtod(s, &end);
        if (end == s || *end)
            return false;
        if (type == CipType::Real) {
            const float f = static_cast<float>(d);
            std::memcpy(out, &f, 4);
        } else {
            std::memcpy(out, &d, 8);
        }
        return true;
    }
    long long v;
    if (text == "true" || text == "TRUE")
        v = 1;
    else if (text == "false" || text == "FALSE")
        v = 0;
    else {
        errno = 0;
        v = std::strtoll(s, &end, 0);
        if (end == s || *end || errno == ERANGE) {
            const unsigned long long u = std::strtoull(s, &end, 0);
            if (end == s || *end)
                return false;
            v = static_cast<long long>(u);
        }
    }
    if (type == CipType::Bool)
        v = v ? 1 : 0;
    const size_t n = elementSize(type);
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(static_cast<unsigned long long>(v) >> (8 * i));
    return true;
}

} // namespace

std::string TagStore::key(const std::string &name)
{
    std::string k = name;
    std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return std::tolower(c); });
    return k;
}

namespace {

// A Logix BOOL array is a DWORD array: bit i of the tag is bit i % 32 of DWORD i / 32.
bool boolsAsDwords(TagDef &def)
{
    const uint32_t bits = def.dims[0];
    std::vector<std::string> words((bits + 31) / 32, "0");
    for (size_t i = 0; i < def.initial.size() && i < bits; ++i) {
        uint8_t b = 0;
        if (!parseNumber(CipType::Bool, def.initial[i], &b))
            return false;
        if (b)
            words[i / 32] = std::to_string(std::stoul(words[i / 32]) | 1ul << (i % 32));
    }
    def.type = CipType::Dword;
    def.dims = {uint32_t(words.size())};
    def.initial = words;
    return true;
}

} // namespace

bool TagStore::add(const TagDef &given)
{
    TagDef def = given;
    if (def.name.empty() || def.dims.size() > 3)
        return false;
    const bool logix = isStringPersonalityLogix(personality_);
    if (logix && def.type == CipType::Bool && def.dims.size() == 1 && def.dims[0] && def.structure.empty() &&
        !boolsAsDwords(def))
        return false;
    Tag t;
    if (!def.structure.empty()) {
        t.structure = logix ? types_.find(def.structure) : nullptr;
        if (!t.structure)
            return false;
    }
    t.def = def;
    t.count = 1;
    for (uint32_t d : def.dims) {
        if (d == 0)
            return false;
        t.count *= d;
    }
    if (t.count > 1000000)
        return false;
    if (t.structure)
        t.data.assign(t.count * t.structure->size, 0);
    else if (isStringType(def.type))
        t.strings.assign(t.count, std::string());
    else
        t.data.assign(t.count * elementSize(def.type), 0);
    for (size_t i = 0; i < def.initial.size() && i < t.count && !t.structure; ++i)
        if (!setElementText(t, i, def.initial[i]))
            return false;
    for (const auto &mv : def.memberValues) {
        std::vector<PathPart> parts;
        Place p;
        if (!parseTextPath(mv.first, &parts) || !t.structure ||
            place(t, parts.data(), parts.size(), &p) != PlaceError::None || !setPlaceText(p, mv.second))
            return false;
    }
    if (isPcccPersonality(personality_)) {
        // Data files are named by their letters and number: "N7", "ST9".
        size_t d = 0;
        while (d < def.name.size() && std::isalpha(static_cast<unsigned char>(def.name[d])))
            ++d;
        if (d == 0 || d == def.name.size())
            return false;
        files_[static_cast<uint16_t>(std::atoi(def.name.c_str() + d))] = key(def.name);
    }
    const std::string k = key(def.name);
    const auto old = tags_.find(k);
    t.instance = old != tags_.end() ? old->second.instance : nextInstance_++;
    const size_t dot = def.name.find('.');
    if (k.compare(0, 8, "program:") == 0 && dot != std::string::npos) {
        const std::string program = def.name.substr(0, dot);
        if (!programs_.count(key(program)))
            programs_[key(program)] = Symbol{program, nextInstance_++, nullptr};
    }
    tags_[k] = std::move(t);
    return true;
}

std::vector<Symbol> TagStore::symbols() const
{
    std::vector<Symbol> out;
    for (const auto &kv : tags_)
        out.push_back(Symbol{kv.second.def.name, kv.second.instance, &kv.second});
    for (const auto &kv : programs_)
        out.push_back(kv.second);
    std::sort(out.begin(), out.end(), [](const Symbol &a, const Symbol &b) { return a.instance < b.instance; });
    return out;
}

Tag *TagStore::findFile(uint16_t number)
{
    auto it = files_.find(number);
    return it == files_.end() ? nullptr : find(it->second);
}

bool TagStore::setElementText(Tag &t, size_t index, const std::string &text)
{
    if (index >= t.count)
        return false;
    if (isStringType(t.def.type)) {
        t.strings[index] = text;
        return true;
    }
    return parseNumber(t.def.type, text, t.data.data() + index * elementSize(t.def.type));
}

Tag *TagStore::find(const std::string &name)
{
    auto it = tags_.find(key(name));
    return it == tags_.end() ? nullptr : &it->second;
}

void TagStore::clearErrors()
{
    for (auto &kv : tags_) {
        kv.second.errorGeneral = 0;
        kv.second.errorExt = 0;
    }
}

TagStore::StringWire TagStore::stringWire(const Tag &t) const
{
    if (t.def.type == CipType::ShortString || personality_ == Personality::Micro800)
        return StringWire::Short;
    if (isPcccPersonality(personality_))
        return StringWire::Pccc;
    if (isStringPersonalityLogix(personality_) && !cipStrings_)
        return StringWire::Logix;
    return StringWire::Counted; // Omron, and Logix under "cip-strings"
}

std::vector<uint8_t> TagStore::typeBytes(const Tag &t) const
{
    if (t.structure)
        return {0xA0, 0x02, uint8_t(t.structure->handle), uint8_t(t.structure->handle >> 8)};
    if (!isStringType(t.def.type))
        return {static_cast<uint8_t>(t.def.type), 0x00};
    switch (stringWire(t)) {
    case StringWire::Short: return {0xDA, 0x00};
    case StringWire::Logix: return {0xA0, 0x02, 0xCE, 0x0F}; // the predefined STRING structure's handle
    default: return {0xD0, 0x00};
    }
}

size_t TagStore::wireElementSize(const Tag &t) const
{
    if (t.structure)
        return t.structure->size;
    if (!isStringType(t.def.type))
        return elementSize(t.def.type);
    switch (stringWire(t)) {
    case StringWire::Pccc: return kPcccStringBytes;
    case StringWire::Logix: return kLogixStringBytes;
    default: return 0;
    }
}

std::vector<uint8_t> TagStore::encode(const Tag &t, size_t first, size_t n) const
{
    std::vector<uint8_t> out;
    if (t.structure)
        return std::vector<uint8_t>(t.data.begin() + long(first * t.structure->size),
                                    t.data.begin() + long((first + n) * t.structure->size));
    if (!isStringType(t.def.type)) {
        const size_t es = elementSize(t.def.type);
        const bool omronPadded = personality_ == Personality::OmronNJ && es == 1 && n == 1;
        out.assign(t.data.begin() + long(first * es), t.data.begin() + long((first + n) * es));
        if (omronPadded)
            out.push_back(0x00); // Omron: one pad byte (BOOL: the forced flag) after a single byte
        if (personality_ == Personality::Plc5 && t.def.type == CipType::Real)
            swapWords(out.data(), out.size()); // PLC-5 keeps the high word of a REAL first
        if (t.def.type == CipType::Bool)
            for (size_t i = 0; i < n; ++i)
                out[i] = out[i] ? boolTrue_ : 0;
        return out;
    }
    const StringWire wire = stringWire(t);
    for (size_t i = first; i < first + n; ++i) {
        const std::string &s = t.strings[i];
        if (wire == StringWire::Pccc) {
            const size_t len = std::min(s.size(), kLogixStringChars);
            const size_t at = out.size();
            out.resize(at + kPcccStringBytes, 0);
            out[at] = static_cast<uint8_t>(len);
            for (size_t c = 0; c < len; ++c)
                out[at + 2 + (c ^ 1u)] = static_cast<uint8_t>(s[c]);
        } else if (wire == StringWire::Logix) {
            const size_t len = std::min(s.size(), kLogixStringChars);
            const size_t at = out.size();
            out.resize(at + kLogixStringBytes, 0);
            const uint32_t l = static_cast<uint32_t>(len);
            std::memcpy(out.data() + at, &l, 4);
            std::memcpy(out.data() + at + 4, s.data(), len);
        } else if (wire == StringWire::Short) {
            const size_t len = std::min<size_t>(s.size(), 255);
            out.push_back(static_cast<uint8_t>(len));
            out.insert(out.end(), s.begin(), s.begin() + long(len));
        } else {
            const size_t len = std::min<size_t>(s.size(), 65535);
            out.push_back(static_cast<uint8_t>(len));
            out.push_back(static_cast<uint8_t>(len >> 8));
            out.insert(out.end(), s.begin(), s.begin() + long(len));
        }
    }
    return out;
}

bool TagStore::decode(Tag &t, size_t first, size_t n, const uint8_t *p, size_t size) const
{
    if (t.structure) {
        if (size < n * t.structure->size)
            return false;
        std::memcpy(t.data.data() + first * t.structure->size, p, n * t.structure->size);
        return true;
    }
    if (!isStringType(t.def.type)) {
        const size_t es = elementSize(t.def.type);
        const size_t expected = n * es;
        // Bytes after the elements are passed over, as a controller does: the pad byte of an
        // odd-length write, Omron's pad after a single byte.
        if (size < expected)
            return false;
        size = expected;
        if (personality_ == Personality::Plc5 && t.def.type == CipType::Real) {
            std::vector<uint8_t> copy(p, p + size);
            swapWords(copy.data(), copy.size());
            std::memcpy(t.data.data() + first * es, copy.data(), size);
            return true;
        }
        if (t.def.type == CipType::Bool) {
            for (size_t i = 0; i < n; ++i)
                t.data[first + i] = p[i] ? 1 : 0; // any non-zero byte is true
        } else {
            std::memcpy(t.data.data() + first * es, p, n * es);
        }
        return true;
    }
    std::vector<std::string> decoded;
    size_t pos = 0;
    const StringWire wire = stringWire(t);
    for (size_t i = 0; i < n; ++i) {
        if (wire == StringWire::Pccc) {
            if (size - pos < kPcccStringBytes)
                return false;
            const size_t len = std::min<size_t>(size_t(p[pos]) | size_t(p[pos + 1]) << 8, kLogixStringChars);
            std::string text(len, '\0');
            for (size_t c = 0; c < len; ++c)
                text[c] = static_cast<char>(p[pos + 2 + (c ^ 1u)]);
            decoded.push_back(text);
            pos += kPcccStringBytes;
        } else if (wire == StringWire::Logix) {
            if (size - pos < kLogixStringBytes)
                return false;
            uint32_t len;
            std::memcpy(&len, p + pos, 4);
            if (len > kLogixStringChars)
                return false;
            decoded.emplace_back(reinterpret_cast<const char *>(p + pos + 4), len);
            pos += kLogixStringBytes;
        } else if (wire == StringWire::Short) {
            if (size - pos < 1 || size - pos - 1 < p[pos])
                return false;
            const size_t len = p[pos];
            decoded.emplace_back(reinterpret_cast<const char *>(p + pos + 1), len);
            pos += 1 + len;
        } else {
            if (size - pos < 2)
                return false;
            const size_t len = size_t(p[pos]) | size_t(p[pos + 1]) << 8;
            if (size - pos - 2 < len)
                return false;
            decoded.emplace_back(reinterpret_cast<const char *>(p + pos + 2), len);
            pos += 2 + len;
            if (pos < size && len % 2 && p[pos] == 0 && i + 1 == n)
                ++pos; // an even count's pad byte
        }
    }
    if (pos != size && (wire == StringWire::Short || wire == StringWire::Counted))
        return false;
    for (size_t i = 0; i < n; ++i) {
        std::string &s = t.strings[first + i];
        s = decoded[i];
        const size_t nul = s.find('\0');
        if (nul != std::string::npos)
            s.resize(nul);
    }
    return true;
}

bool parseTextPath(const std::string &text, std::vector<PathPart> *out)
{
    size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == '[') {
            PathPart part;
            const size_t close = text.find(']', pos);
            if (close == std::string::npos)
                return false;
            const std::string inside = text.substr(pos + 1, close - pos - 1);
            size_t at = 0;
            while (at <= inside.size()) {
                char *end = nullptr;
                const unsigned long v = std::strtoul(inside.c_str() + at, &end, 10);
                if (end == inside.c_str() + at)
                    return false;
                part.index.push_back(uint32_t(v));
                at = size_t(end - inside.c_str());
                if (at == inside.size())
                    break;
                if (inside[at] != ',')
                    return false;
                ++at;
            }
            out->push_back(part);
            pos = close + 1;
            if (pos < text.size() && text[pos] == '.')
                ++pos;
            continue;
        }
        const size_t end = text.find_first_of(".[", pos);
        PathPart part;
        part.name = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (part.name.empty())
            return false;
        out->push_back(part);
        pos = end == std::string::npos ? text.size() : end + (text[end] == '.');
    }
    return !out->empty();
}

size_t baseParts(const std::vector<PathPart> &parts)
{
    const bool program = !parts.empty() && parts[0].name.size() > 8 && TagStore::key(parts[0].name.substr(0, 8)) == "program:";
    return program && parts.size() > 1 && !parts[1].name.empty() ? 2 : 1;
}

PlaceError TagStore::place(Tag &t, const PathPart *parts, size_t n, Place *out) const
{
    Place p;
    p.tag = &t;
    p.structure = t.structure;
    p.atomic = t.def.type;
    std::vector<uint32_t> dims = t.def.dims;
    p.available = t.count;
    for (size_t i = 0; i < n; ++i) {
        const PathPart &part = parts[i];
        if (part.name.empty()) {
            if (dims.empty() || part.index.size() != dims.size())
                return PlaceError::OutOfRange;
            size_t linear = 0, total = 1;
            for (size_t d = 0; d < dims.size(); ++d) {
                if (part.index[d] >= dims[d])
                    return PlaceError::OutOfRange;
                linear = linear * dims[d] + part.index[d];
                total *= dims[d];
            }
            p.offset += linear * p.elementBytes();
            p.available = total - linear;
            dims.clear();
            continue;
        }
        const Member *m = p.structure && dims.empty() ? p.structure->member(part.name) : nullptr;
        if (!m)
            return PlaceError::BadPath;
        p.offset += m->offset;
        p.structure = m->structure;
        p.atomic = m->atomic;
        p.bit = m->isBool() ? m->bit : -1;
        dims = m->elements ? std::vector<uint32_t>{m->elements} : std::vector<uint32_t>{};
        p.available = std::max<size_t>(1, m->elements);
    }
    *out = p;
    return PlaceError::None;
}

bool TagStore::place(const std::string &path, Place *out)
{
    std::vector<PathPart> parts;
    if (!parseTextPath(path, &parts))
        return false;
    const size_t base = baseParts(parts);
    std::string name = parts[0].name;
    if (base == 2)
        name += "." + parts[1].name;
    Tag *t = find(name);
    return t && t->structure && place(*t, parts.data() + base, parts.size() - base, out) == PlaceError::None;
}

std::vector<uint8_t> TagStore::placeType(const Place &p) const
{
    if (p.structure)
        return {0xA0, 0x02, uint8_t(p.structure->handle), uint8_t(p.structure->handle >> 8)};
    return {static_cast<uint8_t>(p.atomic), 0x00};
}

std::vector<uint8_t> TagStore::readPlace(const Place &p, size_t n) const
{
    const uint8_t *at = p.tag->data.data() + p.offset;
    if (p.bit >= 0)
        return {uint8_t(*at >> p.bit & 1 ? boolTrue_ : 0)};
    return std::vector<uint8_t>(at, at + n * p.elementBytes());
}

bool TagStore::writePlace(const Place &p, size_t n, const uint8_t *data, size_t size) const
{
    uint8_t *at = p.tag->data.data() + p.offset;
    const size_t bytes = n * p.elementBytes();
    if (size < bytes)
        return false;
    if (p.bit >= 0)
        *at = uint8_t(data[0] ? *at | 1u << p.bit : *at & ~(1u << p.bit)); // any non-zero byte is true
    else
        std::memcpy(at, data, bytes);
    return true;
}

bool TagStore::setPlaceText(const Place &p, const std::string &text)
{
    uint8_t *at = p.tag->data.data() + p.offset;
    if (p.structure) {
        // String-shaped structures: DINT LEN, then the characters.
        const Member *len = p.structure->member("LEN");
        const Member *data = p.structure->member("DATA");
        if (!len || !data || data->atomic != CipType::Sint || text.size() > data->elements)
            return false;
        const uint32_t l = uint32_t(text.size());
        std::memcpy(at + len->offset, &l, 4);
        std::memset(at + data->offset, 0, data->elements);
        std::memcpy(at + data->offset, text.data(), text.size());
        return true;
    }
    uint8_t v[8] = {};
    if (!parseNumber(p.bit >= 0 ? CipType::Bool : p.atomic, text, v))
        return false;
    if (p.bit >= 0)
        *at = uint8_t(v[0] ? *at | 1u << p.bit : *at & ~(1u << p.bit));
    else
        std::memcpy(at, v, elementSize(p.atomic));
    return true;
}

} // namespace absim

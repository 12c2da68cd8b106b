// Buffer elements to text and back, for every data type and string layout, and what a write accepts.
#include "cycle_fixture.h"

#include "exchange/value_codec.h"

#include <libplctag.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

int makeTag(const Bytes &bytes)
{
    static int n = 0;
    const std::string name = "T" + std::to_string(++n);
    fake_plctag::script(name).initial = bytes;
    return plc_tag_create(("elem_size=1&elem_count=0&name=" + name).c_str(), 0);
}

template <typename T>
Bytes bytesOf(T v)
{
    Bytes b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

QStringList decodeAll(const Bytes &bytes, int type, int controller, int count, int *status = nullptr)
{
    QStringList texts;
    int s = 0;
    if (!decodeElements(makeTag(bytes), type, controller, count, &texts, &s))
        texts = QStringList{QStringLiteral("failed: %1").arg(s)};
    if (status)
        *status = s;
    return texts;
}

QVector<WriteValue> texts(std::initializer_list<const char *> list)
{
    QVector<WriteValue> out;
    for (const char *t : list)
        out << parseWriteValue(AB_EIP::String, QString::fromUtf8(t));
    return out;
}

} // namespace

using ValueCodec = CycleTest;

TEST_F(ValueCodec, NumbersAtTheirOffsets)
{
    const Bytes b{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0x2A, 0, 0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF};
    const int t = makeTag(b);
    const struct {
        int type;
        unsigned short index;
        const char *text;
    } cases[] = {
        {AB_EIP::SmallInteger, 0, "-1"}, {AB_EIP::UnsignedSmallInteger, 0, "255"}, {AB_EIP::Bool, 0, "1"},
        {AB_EIP::DoubleInteger, 0, "-1"}, {AB_EIP::UnsignedDoubleInteger, 0, "4294967295"},
        {AB_EIP::Integer, 3, "42"},      {AB_EIP::Byte, 3, "42"}, // 2-byte slots: index 3 at 6
        {AB_EIP::DoubleInteger, 3, "-2"}, {AB_EIP::Bool, 3, "1"}, {15, 0, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::DataType(c.type), AB_EIP::ControlLogix, c.index), c.text)
            << c.type << "@" << c.index;
    EXPECT_EQ(decodeAll(bytesOf(1.5f), AB_EIP::Real, 0, 1), QStringList{"1.5000000"});
    EXPECT_EQ(decodeAll(bytesOf(0.1f), AB_EIP::Real, 0, 1), QStringList{"0.1000000"});
    EXPECT_EQ(decodeAll(bytesOf(-2.0), AB_EIP::LReal, 0, 1), QStringList{"-2.000000000000000"});
    EXPECT_EQ(decodeAll(bytesOf(1e20), AB_EIP::LReal, 0, 1), QStringList{"100000000000000000000.000000000000000"});
}

TEST_F(ValueCodec, StringArraysInEveryLayout)
{
    // Counted layouts: each element right after the one before it.
    EXPECT_EQ(decodeAll({5, 'h', 'e', 'l', 'l', 'o', 0, 2, 0xC3, 0xA9}, AB_EIP::String, AB_EIP::Micro800, 3),
              QStringList({"hello", "", QString::fromUtf8("\xC3\xA9")}));
    EXPECT_EQ(decodeAll({4, 0, 'a', 'b', 'c', 0, 1, 0, 'x'}, AB_EIP::String, AB_EIP::OmronNjNx, 2),
              QStringList({"abc", "x"}));
    EXPECT_EQ(decodeAll({5, 'a', 0, 'c', 'd', 'e'}, AB_EIP::String, AB_EIP::Micro800, 1), QStringList{"a"});
    // The tag library's layout: element i at i * 88.
    Bytes logix(176, 0);
    logix[0] = 2, logix[4] = 'o', logix[5] = 'k', logix[88] = 3, logix[92] = 'a', logix[93] = 'b', logix[94] = 'c';
    EXPECT_EQ(decodeAll(logix, AB_EIP::String, AB_EIP::ControlLogix, 2), QStringList({"ok", "abc"}));
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag(logix), AB_EIP::String, AB_EIP::ControlLogix, 1), "abc");

    // Counts past the end of what the controller sent: no text at all.
    EXPECT_EQ(decodeAll({200, 'a', 'b', 'c'}, AB_EIP::String, AB_EIP::Micro800, 1),
              QStringList{QStringLiteral("failed: %1").arg(PLCTAG_ERR_BAD_DATA)});
    EXPECT_EQ(decodeAll({1, 'a'}, AB_EIP::String, AB_EIP::Micro800, 2),
              QStringList{QStringLiteral("failed: %1").arg(PLCTAG_ERR_BAD_DATA)});
    EXPECT_EQ(decodeAll({1, 0}, AB_EIP::String, AB_EIP::ControlLogix, 1),
              QStringList{QStringLiteral("failed: %1").arg(PLCTAG_ERR_OUT_OF_BOUNDS)});
}

TEST_F(ValueCodec, StringArraysWrittenInEveryLayout)
{
    struct Case {
        int controller;
        Bytes held;
        QVector<WriteValue> values;
        int count;
        Bytes written;
    } cases[] = {
        {AB_EIP::Micro800, {}, texts({"hello"}), 1, {5, 'h', 'e', 'l', 'l', 'o'}},
        {AB_EIP::Micro800, {}, texts({""}), 1, {0}},
        {AB_EIP::Micro800, {}, texts({"\xC3\xA9"}), 1, {2, 0xC3, 0xA9}},
        {AB_EIP::OmronNjNx, {}, texts({"abc"}), 1, {4, 0, 'a', 'b', 'c', 0}},
        {AB_EIP::OmronNjNx, {}, texts({"ab"}), 1, {2, 0, 'a', 'b'}},
        {AB_EIP::OmronNjNx, {}, texts({""}), 1, {0, 0}},
        // Elements not written keep what the controller holds, moved to where they now begin.
        {AB_EIP::Micro800, {1, 'a', 2, 'b', 'c', 1, 'd'}, texts({"xyz"}), 3, {3, 'x', 'y', 'z', 2, 'b', 'c', 1, 'd'}},
        {AB_EIP::OmronNjNx, {2, 0, 'a', 'b', 1, 0, 'c'}, texts({"x", "yz"}), 2, {2, 0, 'x', 0, 2, 0, 'y', 'z'}},
    };
    for (const Case &c : cases) {
        const int t = makeTag(c.held);
        EXPECT_EQ(encodeElements(t, AB_EIP::String, c.controller, c.values, c.count).status, 0);
        EXPECT_EQ(fake_plctag::buffer(t), c.written) << c.controller << " " << c.values[0].text.toStdString();
    }
    Bytes logix(176, 0);
    int t = makeTag(logix);
    EXPECT_EQ(encodeElements(t, AB_EIP::String, AB_EIP::ControlLogix, texts({"ab", "cd"}), 2).status, 0);
    EXPECT_EQ(decodeAll(fake_plctag::buffer(t), AB_EIP::String, AB_EIP::ControlLogix, 2), QStringList({"ab", "cd"}));

    // A text that does not fit refuses the write before the buffer changes.
    const QByteArray tooLong(83, 'x');
    t = makeTag(logix);
    const Encoded e = encodeElements(t, AB_EIP::String, AB_EIP::ControlLogix, texts({"ok", tooLong.constData()}), 2);
    EXPECT_EQ(e.status, PLCTAG_ERR_TOO_LARGE);
    EXPECT_EQ(e.totalLength, 88);
    EXPECT_EQ(fake_plctag::buffer(t), logix);
    t = makeTag({1, 'a'});
    EXPECT_EQ(encodeElements(t, AB_EIP::String, AB_EIP::Micro800, texts({QByteArray(256, 'y').constData()}), 1).status,
              PLCTAG_ERR_TOO_LARGE);
    EXPECT_EQ(fake_plctag::buffer(t), (Bytes{1, 'a'}));
}

TEST_F(ValueCodec, WriteValuesAcceptedAndRefused)
{
    struct Case {
        int type;
        QVariant value;
        bool ok;
        int64_t integer;
    } cases[] = {
        {AB_EIP::DoubleInteger, "42", true, 42},      {AB_EIP::DoubleInteger, " -7 ", true, -7},
        {AB_EIP::DoubleInteger, "+7", true, 7},       {AB_EIP::DoubleInteger, "1.5", false, 0},
        {AB_EIP::DoubleInteger, "abc", false, 0},     {AB_EIP::DoubleInteger, "", false, 0},
        {AB_EIP::DoubleInteger, "2147483648", false, 0}, {AB_EIP::DoubleInteger, "-2147483648", true, INT32_MIN},
        {AB_EIP::Integer, "70000", false, 0},         {AB_EIP::Integer, "-32768", true, -32768},
        {AB_EIP::UnsignedInteger, "-1", false, 0},    {AB_EIP::UnsignedInteger, "65535", true, 65535},
        {AB_EIP::UnsignedDoubleInteger, "4294967295", true, 4294967295LL},
        {AB_EIP::SmallInteger, "-129", false, 0},     {AB_EIP::Byte, "256", false, 0},
        {AB_EIP::Bool, "TRUE", true, 1},              {AB_EIP::Bool, "false", true, 0},
        {AB_EIP::Bool, "1", true, 1},                 {AB_EIP::Bool, "2", false, 0},
        {AB_EIP::Bool, QVariant(true), true, 1},      {AB_EIP::Integer, QVariant(true), false, 0},
        {AB_EIP::DoubleInteger, QVariant(2.0), true, 2}, {AB_EIP::DoubleInteger, QVariant(2.7), false, 0},
        {AB_EIP::UnsignedDoubleInteger, QVariant(3000000000.0), true, 3000000000LL},
        {AB_EIP::UnsignedInteger, QVariant(-1.0), false, 0}, {AB_EIP::DoubleInteger, QVariant(), false, 0},
        {AB_EIP::DoubleInteger, "0x10", false, 0},    {15, "1", false, 0},
    };
    for (const Case &c : cases) {
        const WriteValue v = parseWriteValue(c.type, c.value);
        EXPECT_EQ(v.ok, c.ok) << c.type << " " << c.value.toString().toStdString();
        EXPECT_EQ(v.number.integer, c.integer) << c.value.toString().toStdString();
    }
    EXPECT_EQ(parseWriteValue(AB_EIP::DoubleInteger, "abc").error, "Invalid value for Double integer: abc");
    for (const char *real : {"1.5", "-3e38"})
        EXPECT_TRUE(parseWriteValue(AB_EIP::Real, real).ok) << real;
    for (const char *bad : {"1e39", "inf", "nan", ""})
        EXPECT_FALSE(parseWriteValue(AB_EIP::Real, bad).ok) << bad;
    EXPECT_TRUE(parseWriteValue(AB_EIP::LReal, "1e39").ok);
}

TEST_F(ValueCodec, SetTagValueAtTheElementOffset)
{
    const int t = makeTag(Bytes(12, 0));
    EXPECT_TRUE(plugin.setTagValue(t, AB_EIP::Real, AB_EIP::ControlLogix, QVariant(1.5), 2));
    EXPECT_EQ(fake_plctag::callsMatching("set_float32").back(), "set_float32 " + std::to_string(t) + " 8 1.5");
    EXPECT_TRUE(plugin.setTagValue(t, AB_EIP::Word, AB_EIP::ControlLogix, QVariant(7.0), 2));
    EXPECT_EQ(fake_plctag::callsMatching("set_uint16").back(), "set_uint16 " + std::to_string(t) + " 4 7");
    EXPECT_FALSE(plugin.setTagValue(t, AB_EIP::Integer, AB_EIP::ControlLogix, QString("x"), 0));

    const int m = makeTag({1, 'a', 1, 'b'});
    EXPECT_TRUE(plugin.setTagValue(m, AB_EIP::String, AB_EIP::Micro800, QString("cd"), 1));
    EXPECT_EQ(fake_plctag::buffer(m), (Bytes{1, 'a', 2, 'c', 'd'}));
    EXPECT_FALSE(plugin.setTagValue(makeTag(Bytes(88, 0)), AB_EIP::String, AB_EIP::ControlLogix, QString(83, 'x'), 0));
    EXPECT_EQ(zel_host::logTexts(zel_host::LogLevel::Error).last(), "Error setting string 88, error PLCTAG_ERR_TOO_LARGE!");
}

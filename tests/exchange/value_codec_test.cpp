// Buffer elements to text and back, and what a write accepts.
#include "cycle_fixture.h"

#include "exchange/write_value.h"

#include <libplctag.h>

#include <cstring>

namespace {

int makeTag(const char *name, int size, const std::vector<uint8_t> &bytes = {})
{
    auto &s = fake_plctag::script(name);
    s.initial = bytes;
    const std::string attrs = std::string("protocol=ab_eip&gateway=192.0.2.10&elem_size=1&elem_count=") +
                              std::to_string(size) + "&name=" + name;
    return plc_tag_create(attrs.c_str(), 0);
}

std::vector<uint8_t> bytesOf(float f)
{
    std::vector<uint8_t> b(4);
    std::memcpy(b.data(), &f, 4);
    return b;
}

std::vector<uint8_t> bytesOf(double d)
{
    std::vector<uint8_t> b(8);
    std::memcpy(b.data(), &d, 8);
    return b;
}

} // namespace

using ValueCodec = CycleTest;

TEST_F(ValueCodec, NumbersAndTheirOffsets)
{
    const int t = makeTag("N", 16, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0x2A, 0, 0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::SmallInteger, AB_EIP::ControlLogix, 0), "-1");
    EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::UnsignedSmallInteger, AB_EIP::ControlLogix, 0), "255");
    EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::Bool, AB_EIP::ControlLogix, 0), "255");
    EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::DoubleInteger, AB_EIP::ControlLogix, 0), "-1");
    EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::UnsignedDoubleInteger, AB_EIP::ControlLogix, 0), "4294967295");
    // Integer index 3 at offset 6; Byte index 3 also at offset 6 (2-byte slots); DINT index 3 at 12.
    EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::Integer, AB_EIP::ControlLogix, 3), "42");
    EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::Byte, AB_EIP::ControlLogix, 3), "42");
    EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::DoubleInteger, AB_EIP::ControlLogix, 3), "-2");
    EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::Bool, AB_EIP::ControlLogix, 3), "255");
    EXPECT_EQ(AB_EIP::convertValueToString(t, static_cast<AB_EIP::DataType>(13), AB_EIP::ControlLogix, 0), "");

    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("R", 4, bytesOf(1.5f)), AB_EIP::Real, AB_EIP::ControlLogix, 0),
              "1.5000000");
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("R2", 4, bytesOf(0.1f)), AB_EIP::Real, AB_EIP::ControlLogix, 0),
              "0.1000000");
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("L", 8, bytesOf(0.1)), AB_EIP::LReal, AB_EIP::ControlLogix, 0),
              "0.100000000000000");
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("L2", 8, bytesOf(-2.0)), AB_EIP::LReal, AB_EIP::ControlLogix, 0),
              "-2.000000000000000");
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("L3", 8, bytesOf(1e20)), AB_EIP::LReal, AB_EIP::ControlLogix, 0),
              "100000000000000000000.000000000000000");
}

TEST_F(ValueCodec, Micro800Strings)
{
    std::vector<uint8_t> b{5, 'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("S1", 6, b), AB_EIP::String, AB_EIP::Micro800, 0), "hello");
    // A count past the end reads what the buffer holds; a zero byte ends the text.
    b = {200, 'a', 'b', 'c'};
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("S2", 4, b), AB_EIP::String, AB_EIP::Micro800, 0), "abc");
    b = {5, 'a', 0, 'c', 'd', 'e'};
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("S3", 6, b), AB_EIP::String, AB_EIP::Micro800, 0), "a");
    b = {0};
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("S4", 1, b), AB_EIP::String, AB_EIP::Micro800, 0), "");
    // Element 1 of a string array: its count and characters come from its own slot.
    b.assign(176, 0);
    b[88] = 2;
    b[89] = 'o';
    b[90] = 'k';
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("S5", 176, b), AB_EIP::String, AB_EIP::Micro800, 1), "ok");
    b = {2, 0xC3, 0xA9};
    EXPECT_EQ(AB_EIP::convertValueToString(makeTag("S6", 3, b), AB_EIP::String, AB_EIP::Micro800, 0),
              QString::fromUtf8("\xC3\xA9"));
}

TEST_F(ValueCodec, LibraryStringsAndAFailedStringRead)
{
    std::vector<uint8_t> b(88, 0);
    b[0] = 3;
    std::memcpy(b.data() + 4, "abc", 3);
    const int t = makeTag("LS", 88, b);
    EXPECT_EQ(AB_EIP::convertValueToString(t, AB_EIP::String, AB_EIP::ControlLogix, 0), "abc");
    // Too short for a string: the tag is destroyed and the text is empty.
    const int shortTag = makeTag("Short", 2);
    EXPECT_EQ(AB_EIP::convertValueToString(shortTag, AB_EIP::String, AB_EIP::ControlLogix, 0), "");
    EXPECT_EQ(fake_plctag::callsMatching("destroy " + std::to_string(shortTag)).size(), 1u);
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
        {AB_EIP::DoubleInteger, "0x10", false, 0},
    };
    for (const Case &c : cases) {
        const WriteValue v = parseWriteValue(c.type, c.value);
        EXPECT_EQ(v.ok, c.ok) << c.type << " " << c.value.toString().toStdString();
        if (c.ok) {
            EXPECT_EQ(v.integer, c.integer) << c.value.toString().toStdString();
        }
    }
    EXPECT_EQ(parseWriteValue(AB_EIP::DoubleInteger, "abc").error, "Invalid value for Double integer: abc");
    EXPECT_TRUE(parseWriteValue(AB_EIP::Real, "1.5").ok);
    EXPECT_FALSE(parseWriteValue(AB_EIP::Real, "1e39").ok);
    EXPECT_TRUE(parseWriteValue(AB_EIP::LReal, "1e39").ok);
    EXPECT_FALSE(parseWriteValue(AB_EIP::LReal, "nan").ok);
    EXPECT_FALSE(parseWriteValue(AB_EIP::Real, "inf").ok);
    EXPECT_FALSE(parseWriteValue(AB_EIP::Real, "").ok);
    EXPECT_TRUE(parseWriteValue(AB_EIP::String, "").ok);
    EXPECT_FALSE(parseWriteValue(13, "1").ok);
}

TEST_F(ValueCodec, ControllerStringLayoutsOnWrite)
{
    int t = makeTag("M", 88);
    EXPECT_TRUE(plugin.setTagValue(t, AB_EIP::String, AB_EIP::Micro800, QString("hello"), 0));
    EXPECT_EQ(fake_plctag::buffer(t), (std::vector<uint8_t>{5, 'h', 'e', 'l', 'l', 'o'}));
    EXPECT_TRUE(plugin.setTagValue(t, AB_EIP::String, AB_EIP::Micro800, QString(""), 0));
    EXPECT_EQ(fake_plctag::buffer(t), (std::vector<uint8_t>{0}));
    EXPECT_TRUE(plugin.setTagValue(t, AB_EIP::String, AB_EIP::Micro800, QString::fromUtf8("\xC3\xA9"), 0));
    EXPECT_EQ(fake_plctag::buffer(t), (std::vector<uint8_t>{2, 0xC3, 0xA9}));

    t = makeTag("O", 88);
    EXPECT_TRUE(plugin.setTagValue(t, AB_EIP::String, AB_EIP::OmronNjNx, QString("abc"), 0));
    EXPECT_EQ(fake_plctag::buffer(t), (std::vector<uint8_t>{4, 0, 'a', 'b', 'c', 0}));
    EXPECT_TRUE(plugin.setTagValue(t, AB_EIP::String, AB_EIP::OmronNjNx, QString("ab"), 0));
    EXPECT_EQ(fake_plctag::buffer(t), (std::vector<uint8_t>{2, 0, 'a', 'b'}));
    EXPECT_TRUE(plugin.setTagValue(t, AB_EIP::String, AB_EIP::OmronNjNx, QString(""), 0));
    EXPECT_EQ(fake_plctag::buffer(t), (std::vector<uint8_t>{0, 0}));

    // Texts that do not fit are refused with the error line, and the buffer is left alone.
    t = makeTag("M2", 6, {5, 'h', 'e', 'l', 'l', 'o'});
    EXPECT_FALSE(plugin.setTagValue(t, AB_EIP::String, AB_EIP::Micro800, QString(256, 'x'), 0));
    EXPECT_EQ(fake_plctag::buffer(t).size(), 6u);
    t = makeTag("L", 88);
    EXPECT_FALSE(plugin.setTagValue(t, AB_EIP::String, AB_EIP::ControlLogix, QString(83, 'x'), 0));
    EXPECT_EQ(zel_host::logTexts(zel_host::LogLevel::Error).last(), "Error setting string 88, error PLCTAG_ERR_TOO_LARGE!");

    // Element offsets: Real index 2 at 8, Word index 2 at 4.
    t = makeTag("F", 12);
    EXPECT_TRUE(plugin.setTagValue(t, AB_EIP::Real, AB_EIP::ControlLogix, QVariant(1.5), 2));
    EXPECT_EQ(fake_plctag::callsMatching("set_float32").back(), "set_float32 " + std::to_string(t) + " 8 1.5");
    EXPECT_TRUE(plugin.setTagValue(t, AB_EIP::Word, AB_EIP::ControlLogix, QVariant(7.0), 2));
    EXPECT_EQ(fake_plctag::callsMatching("set_uint16").back(), "set_uint16 " + std::to_string(t) + " 4 7");
}

#include "list_identity.h"
#include "identity_test_util.h"

#include <gtest/gtest.h>

using identity_test::captureReplies;
using identity_test::hex;

namespace {

// Encapsulation header of a List Identity reply; its content is never examined.
const char *kHeader = "63 00 00 00 00 00 00 00 00 00 00 00 5a 45 4c 49 44 45 4e 54 00 00 00 00 ";
// Encapsulation version and big-endian sockaddr: the first 18 bytes of every identity item.
const char *kSock = "01 00 00 02 af 12 7f 00 00 01 00 00 00 00 00 00 00 00 ";
// vendor 1, device type 14, product code 54, rev 20.11, status 0x3160, serial 0x006C061A
const char *kFixed = "01 00 0e 00 36 00 14 0b 60 31 1a 06 6c 00 ";

QByteArray reply(const QByteArray &body) { return hex(kHeader) + body; }
QByteArray identityBody(const char *itemHeader, const char *tail)
{
    return hex(itemHeader) + hex(kSock) + hex(kFixed) + hex(tail);
}

} // namespace

TEST(ListIdentityReply, CapturedRepliesGiveTheirNotedValues)
{
    struct Expect { const char *file; const char *model; const char *serial; const char *rev; const char *code; };
    const Expect cases[] = {
        {"cpppo-list-identity-udp.txt", "1756-L61/B LOGIX5561", "7079450", "20.11", "54"},
        {"cpppo-list-identity-tcp.txt", "1756-L61/B LOGIX5561", "7079450", "20.11", "54"},
        {"opener-list-identity-udp.txt", "OpENer PC", "123456789", "2.3", "65001"},
        {"opener-list-identity-tcp.txt", "OpENer PC", "123456789", "2.3", "65001"},
    };
    for (const Expect &e : cases) {
        SCOPED_TRACE(e.file);
        const QList<QByteArray> replies = captureReplies(QString::fromLatin1(e.file));
        ASSERT_EQ(replies.size(), 1);
        const QMap<QString, QString> m = parseListIdentityReply(replies.first());
        EXPECT_EQ(m.size(), 6);
        EXPECT_EQ(m.value("vendor"), "Rockwell Automation / Allen-Bradley");
        EXPECT_EQ(m.value("model"), e.model);
        EXPECT_EQ(m.value("serial"), e.serial);
        EXPECT_EQ(m.value("firmware"), e.rev);
        EXPECT_EQ(m.value("cip_revision"), e.rev);
        EXPECT_EQ(m.value("product_code"), e.code);
    }
}

TEST(ListIdentityReply, EveryTruncationOfACapturedReplyIsEmpty)
{
    const QByteArray full = captureReplies("cpppo-list-identity-udp.txt").value(0);
    ASSERT_EQ(full.size(), 84);
    for (int n = 0; n < full.size(); ++n)
        EXPECT_TRUE(parseListIdentityReply(full.left(n)).isEmpty()) << n << " bytes";
}

TEST(ListIdentityReply, TooShortOrNoItems)
{
    EXPECT_TRUE(parseListIdentityReply(QByteArray()).isEmpty());
    EXPECT_TRUE(parseListIdentityReply(reply(hex("01 00 0c"))).isEmpty());          // 27 bytes
    EXPECT_TRUE(parseListIdentityReply(reply(hex("00 00 0c 00"))).isEmpty());       // 28, count 0
    EXPECT_TRUE(parseListIdentityReply(reply(hex("01 00 0c 00"))).isEmpty());       // no room for an item header
    // A count of 0 ends the walk before a valid item.
    EXPECT_TRUE(parseListIdentityReply(reply(hex("00 00") + identityBody("0c 00 22 00", "00 03"))).isEmpty());
}

TEST(ListIdentityReply, OtherItemsBeforeTheIdentityItemAreSkipped)
{
    const QByteArray r = reply(hex("03 00 86 00 04 00 de ad be ef 0c 00 00 00")
                               + identityBody("0c 00 22 00", "00 03"));
    const QMap<QString, QString> m = parseListIdentityReply(r);
    EXPECT_EQ(m.value("product_code"), "54");
    EXPECT_EQ(m.value("firmware"), "20.11");
    // The item count bounds the walk: the identity item is the third of three.
    EXPECT_TRUE(parseListIdentityReply(reply(hex("02 00 86 00 04 00 de ad be ef 0c 00 00 00")
                                             + identityBody("0c 00 22 00", "00 03")))
                    .isEmpty());
}

TEST(ListIdentityReply, AnItemRunningPastTheEndSpoilsTheReply)
{
    // A first item claiming 200 bytes, even though a valid identity item follows it.
    EXPECT_TRUE(parseListIdentityReply(reply(hex("02 00 86 00 c8 00") + identityBody("0c 00 22 00", "00 03")))
                    .isEmpty());
    // The identity item itself one byte longer than what is there.
    EXPECT_TRUE(parseListIdentityReply(reply(hex("01 00") + identityBody("0c 00 23 00", "00 03"))).isEmpty());
}

TEST(ListIdentityReply, IdentityItemLengthThreshold)
{
    // Length 33 cannot hold the fixed fields: skipped, and a later item of 34 is taken.
    const QByteArray short33 = identityBody("0c 00 21 00", "00");
    EXPECT_TRUE(parseListIdentityReply(reply(hex("01 00") + short33)).isEmpty());
    const QByteArray r = reply(hex("02 00") + short33
                               + hex("0c 00 22 00") + hex(kSock) + hex("2f 00 0c 00 07 00 01 00 00 00 ff ff ff ff 00 03"));
    const QMap<QString, QString> m = parseListIdentityReply(r);
    ASSERT_EQ(m.size(), 6);
    EXPECT_EQ(m.value("vendor"), "Omron");
    EXPECT_TRUE(m.contains("model"));
    EXPECT_EQ(m.value("model"), "");
    EXPECT_EQ(m.value("serial"), "4294967295");
    EXPECT_EQ(m.value("firmware"), "1.0");
    EXPECT_EQ(m.value("cip_revision"), "1.0");
    EXPECT_EQ(m.value("product_code"), "7");
}

TEST(ListIdentityReply, NameMustFitInsideTheItem)
{
    // Item length 40: a name of 7 bytes ends at byte 39 and is taken ...
    EXPECT_EQ(parseListIdentityReply(reply(hex("01 00") + identityBody("0c 00 28 00", "07 41 42 43 44 45 46 47")))
                  .value("model"),
              "ABCDEFG");
    // ... one of 8 would end past it: no name, but the rest of the identity stands.
    const QMap<QString, QString> m =
        parseListIdentityReply(reply(hex("01 00") + identityBody("0c 00 28 00", "08 41 42 43 44 45 46 47")));
    EXPECT_EQ(m.size(), 6);
    EXPECT_EQ(m.value("model"), "");
    EXPECT_EQ(m.value("serial"), "7079450");
    // Latin-1, trimmed at both ends.
    EXPECT_EQ(parseListIdentityReply(reply(hex("01 00") + identityBody("0c 00 28 00", "06 20 e9 74 e9 20 09 03")))
                  .value("model"),
              QString::fromUtf8("\xc3\xa9t\xc3\xa9"));
}

TEST(ListIdentityReply, HeaderAndTrailingBytesAreNotExamined)
{
    QByteArray r = reply(hex("01 00") + identityBody("0c 00 22 00", "00 03") + hex("aa bb cc"));
    r[0] = 0x04;   // another command
    r[8] = 0x01;   // an error status
    EXPECT_EQ(parseListIdentityReply(r).value("product_code"), "54");
}

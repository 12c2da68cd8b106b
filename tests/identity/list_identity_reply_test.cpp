#include "list_identity.h"
#include "identity_test_util.h"

#include <gtest/gtest.h>

using identity_test::captureReplies;

TEST(ListIdentityReply, CapturedRepliesGiveTheirNotedValues)
{
    struct Expect { const char *file; const char *model; const char *serial; const char *rev; const char *code; };
    // The TCP captures carry the same reply bytes as these.
    const Expect cases[] = {
        {"cpppo-list-identity-udp.txt", "1756-L61/B LOGIX5561", "7079450", "20.11", "54"},
        {"opener-list-identity-udp.txt", "OpENer PC", "123456789", "2.3", "65001"},
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

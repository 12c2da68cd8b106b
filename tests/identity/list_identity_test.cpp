#include "list_identity.h"
#include "identity_test_util.h"
#include "process_counts.h"
#include "udp_responder.h"

#include <gtest/gtest.h>

#include <chrono>

// Loopback addresses of this file: 127.0.40.10 - 127.0.40.19; 127.0.40.19 stays unused.
using identity_test::captureReplies;

TEST(ReadEipListIdentity, AsksOnceAndDecodesTheReply)
{
    QList<QByteArray> captureRequests;
    const QList<QByteArray> replies = captureReplies("opener-list-identity-udp.txt", &captureRequests);
    ASSERT_EQ(replies.size(), 1);
    UdpResponder device("127.0.40.10", replies);
    ASSERT_TRUE(device.ok());

    const int before = openDescriptors();
    const QMap<QString, QString> m = readEipListIdentity("127.0.40.10");
    EXPECT_EQ(openDescriptors(), before);

    EXPECT_EQ(m.value("model"), "OpENer PC");
    // Exactly one request, byte for byte what the captured client sent.
    ASSERT_EQ(device.requests().size(), 1);
    EXPECT_EQ(device.requests().first(), captureRequests.value(0));
}

// Only the first datagram counts, and only a List Identity reply from the device's own port:
// anything else is no identity, found out at once or at the end of the wait.
TEST(ReadEipListIdentity, OnlyTheFirstDatagramAndOnlyAListIdentityReplyFromTheDevicesPortCount)
{
    const QByteArray good = captureReplies("cpppo-list-identity-udp.txt").value(0);
    QByteArray otherCommand = good.left(27);
    otherCommand[0] = 0x04; // List Services
    const struct {
        const char *address;
        QList<QByteArray> replies;
        int fromOtherPort;
        const char *model; // empty: no identity
    } cases[] = {
        {"127.0.40.11", {good.left(27), otherCommand, good}, 1, "1756-L61/B LOGIX5561"},
        {"127.0.40.12", {good.left(27), good}, 0, ""},
        {"127.0.40.13", {good}, 1, ""}, // waited out: nothing from the device's port
    };
    for (const auto &c : cases) {
        UdpResponder device(c.address, c.replies, c.fromOtherPort);
        ASSERT_TRUE(device.ok()) << c.address;
        const auto start = std::chrono::steady_clock::now();
        const QMap<QString, QString> m = readEipListIdentity(c.address);
        EXPECT_EQ(m.isEmpty() ? "" : m.value("model"), c.model) << c.address;
        if (c.fromOtherPort && !*c.model) {
            EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
        }
    }
}

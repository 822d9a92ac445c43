#include "tests/office/PgTest.h"

#include <QFileInfo>

// The fixture the office database's tests stand on: a server that answers, logins that need their
// password, and a stop and start on the same port with the data kept.
TEST(PgServerTest, StartsAnswersAndRestartsWithItsData)
{
    QString why;
    std::unique_ptr<PgServer> server = PgServer::start(&why);
    KTM_SKIP_WITHOUT_SERVER(server, why);

    EXPECT_EQ(server->value(QStringLiteral("SELECT 6 * 7")), QStringLiteral("42"));
    ASSERT_TRUE(server->createDatabase(QStringLiteral("office")));
    ASSERT_TRUE(server->psql(QStringLiteral("CREATE TABLE kept(n int); INSERT INTO kept VALUES (1), (2)"), nullptr,
                             QStringLiteral("office")));
    ASSERT_TRUE(server->createLogin(QStringLiteral("alice"), QStringLiteral("o'neil")));
    EXPECT_EQ(server->value(QStringLiteral("SELECT rolname FROM pg_roles WHERE rolname = 'alice'")),
              QStringLiteral("alice"));

    const int port = server->port();
    ASSERT_TRUE(server->stop());
    EXPECT_FALSE(server->running());
    EXPECT_TRUE(server->value(QStringLiteral("SELECT 1")).isEmpty()); // nobody answers now
    ASSERT_TRUE(server->startAgain());
    EXPECT_EQ(server->port(), port);
    EXPECT_EQ(server->value(QStringLiteral("SELECT sum(n) FROM kept"), QStringLiteral("office")), QStringLiteral("3"));
}

TEST(PgServerTest, OffersTlsWithItsOwnAuthority)
{
    QString why;
    PgServer::Options options;
    options.tls = true;
    std::unique_ptr<PgServer> server = PgServer::start(&why, options);
    KTM_SKIP_WITHOUT_SERVER(server, why);
    EXPECT_EQ(server->value(QStringLiteral("SHOW ssl")), QStringLiteral("on"));
    EXPECT_TRUE(QFileInfo::exists(server->caFile()));
}

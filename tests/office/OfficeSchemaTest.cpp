// Making the office schema against a real server: once when PCs find it missing at the same time,
// with its roles and their rights, refused where the user may not make it, and refused when a
// newer program made it.
#include "office/OfficeSchema.h"
#include "tests/office/PgTest.h"

#include <atomic>
#include <thread>
#include <vector>

using namespace office;

namespace {

std::unique_ptr<PgConnection> connect(const QString& conninfo, const QString& password = {})
{
    Failure failure;
    std::unique_ptr<PgConnection> conn = PgConnection::open(conninfo, &failure, password);
    EXPECT_TRUE(conn) << failure.detail.toStdString();
    return conn;
}

// Whether a statement is refused for want of a privilege (and the connection still usable).
bool refused(PgConnection& conn, const char* sql)
{
    Failure failure;
    const bool ran = conn.exec(sql, &failure);
    return !ran && failure.kind == FailureKind::PermissionDenied;
}

} // namespace

// Several PCs syncing for the first time at the same moment on an empty database: each gets the
// same office, made once, with its roles.
TEST(OfficeSchemaTest, MadeOnceWhenSeveralFindItMissingAtOnce)
{
    QString why;
    std::unique_ptr<PgServer> server = PgServer::start(&why);
    KTM_SKIP_WITHOUT_SERVER(server, why);
    constexpr int kCallers = 6;
    for (int round = 0; round < 3; ++round) {
        const QString db = QStringLiteral("office%1").arg(round);
        ASSERT_TRUE(server->createDatabase(db));
        std::vector<std::unique_ptr<PgConnection>> conns;
        for (int i = 0; i < kCallers; ++i) {
            conns.push_back(connect(server->adminConninfo(db)));
            ASSERT_TRUE(conns.back());
        }
        std::vector<std::optional<SchemaInfo>> infos(kCallers);
        std::vector<Failure> failures(kCallers);
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < kCallers; ++i)
            threads.emplace_back([&, i] {
                ++ready;
                while (ready.load() < kCallers) {
                }
                infos[size_t(i)] = ensureSchema(*conns[size_t(i)], &failures[size_t(i)]);
            });
        for (std::thread& t : threads)
            t.join();
        for (int i = 0; i < kCallers; ++i) {
            ASSERT_TRUE(infos[size_t(i)]) << failures[size_t(i)].detail.toStdString();
            EXPECT_EQ(infos[size_t(i)]->version, kOfficeSchemaVersion);
            EXPECT_TRUE(infos[size_t(i)]->canWrite);
            EXPECT_EQ(infos[size_t(i)]->identity, infos[0]->identity);
        }
        EXPECT_EQ(infos[0]->identity.size(), 36); // a UUID's text
        EXPECT_EQ(server->value(QStringLiteral("SELECT count(*) || ' ' || min(identity::text) FROM ktm520.office"), db),
                  QStringLiteral("1 ") + infos[0]->identity);
        // The roles are the cluster's: made in the first database, found (and given rights) in the next.
        EXPECT_EQ(server->value(QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname IN "
                                               "('ktm520_reader', 'ktm520_writer')")),
                  QStringLiteral("2"));
        EXPECT_EQ(server->value(QStringLiteral("SELECT has_table_privilege('ktm520_writer', 'ktm520.readings', 'INSERT') "
                                               "AND has_table_privilege('ktm520_reader', 'ktm520.gauges', 'SELECT')"),
                                db),
                  QStringLiteral("t"));
    }
    // Each office is its own.
    EXPECT_NE(server->value(QStringLiteral("SELECT identity FROM ktm520.office"), QStringLiteral("office0")),
              server->value(QStringLiteral("SELECT identity FROM ktm520.office"), QStringLiteral("office1")));
}

// The roles' logins: a viewer reads and may not write; an engineer writes where the sync does.
TEST(OfficeSchemaTest, ReaderAndWriterLoginsMayWhatTheirRoleSays)
{
    QString why;
    std::unique_ptr<PgServer> server = PgServer::start(&why);
    KTM_SKIP_WITHOUT_SERVER(server, why);
    ASSERT_TRUE(server->createDatabase(QStringLiteral("office")));
    std::unique_ptr<PgConnection> admin = connect(server->adminConninfo(QStringLiteral("office")));
    ASSERT_TRUE(admin);
    Failure failure;
    const std::optional<SchemaInfo> made = ensureSchema(*admin, &failure);
    ASSERT_TRUE(made) << failure.detail.toStdString();
    ASSERT_TRUE(server->createLogin(QStringLiteral("viewer"), QStringLiteral("v-pass"), QString::fromLatin1(kReaderRole)));
    ASSERT_TRUE(server->createLogin(QStringLiteral("alice"), QStringLiteral("a-pass"), QString::fromLatin1(kWriterRole)));

    std::unique_ptr<PgConnection> viewer =
        connect(server->tcpConninfo(QStringLiteral("viewer"), QStringLiteral("office"), QStringLiteral("sslmode=disable")),
                QStringLiteral("v-pass"));
    ASSERT_TRUE(viewer);
    const std::optional<SchemaInfo> seen = ensureSchema(*viewer, &failure);
    ASSERT_TRUE(seen) << failure.detail.toStdString();
    EXPECT_FALSE(seen->canWrite);
    EXPECT_EQ(seen->identity, made->identity);
    EXPECT_TRUE(viewer->query("SELECT count(*) FROM ktm520.readings", &failure)) << failure.detail.toStdString();
    EXPECT_TRUE(refused(*viewer, "INSERT INTO ktm520.sites(name) VALUES ('dam')"));
    EXPECT_TRUE(refused(*viewer, "DELETE FROM ktm520.marks"));

    std::unique_ptr<PgConnection> alice =
        connect(server->tcpConninfo(QStringLiteral("alice"), QStringLiteral("office"), QStringLiteral("sslmode=disable")),
                QStringLiteral("a-pass"));
    ASSERT_TRUE(alice);
    const std::optional<SchemaInfo> writes = ensureSchema(*alice, &failure);
    ASSERT_TRUE(writes) << failure.detail.toStdString();
    EXPECT_TRUE(writes->canWrite);
    // What a push does: ids from the sequences, the staging table, rows added, judgements replaced.
    EXPECT_TRUE(alice->exec("BEGIN; INSERT INTO ktm520.sites(name) VALUES ('dam'); "
                            "CREATE TEMP TABLE staging (LIKE ktm520.readings) ON COMMIT DROP; "
                            "INSERT INTO ktm520.readings SELECT * FROM staging ON CONFLICT DO NOTHING; "
                            "UPDATE ktm520.sites SET notes = 'x'; DELETE FROM ktm520.marks; DELETE FROM ktm520.events; "
                            "DELETE FROM ktm520.assignments; COMMIT",
                            &failure))
        << failure.detail.toStdString();
    // Not what no sync does: the office's own row, readings taken away, the schema changed.
    EXPECT_TRUE(refused(*alice, "UPDATE ktm520.office SET version = 9"));
    EXPECT_TRUE(refused(*alice, "DELETE FROM ktm520.readings"));
    EXPECT_TRUE(refused(*alice, "DROP TABLE ktm520.conflicts"));
}

// A user who may not make tables in the database finds no office there, and leaves none behind;
// one who may (without making roles) makes it, and the owner gives the roles their rights once an
// administrator has made them.
TEST(OfficeSchemaTest, MadeOnlyByAUserWhoMayCreate)
{
    QString why;
    std::unique_ptr<PgServer> server = PgServer::start(&why);
    KTM_SKIP_WITHOUT_SERVER(server, why);
    ASSERT_TRUE(server->createDatabase(QStringLiteral("office")));
    ASSERT_TRUE(server->createLogin(QStringLiteral("bob"), QStringLiteral("b-pass")));
    ASSERT_TRUE(server->createLogin(QStringLiteral("maker"), QStringLiteral("m-pass")));
    ASSERT_TRUE(server->psql(QStringLiteral("GRANT CREATE ON DATABASE office TO maker")));

    std::unique_ptr<PgConnection> bob =
        connect(server->tcpConninfo(QStringLiteral("bob"), QStringLiteral("office"), QStringLiteral("sslmode=disable")),
                QStringLiteral("b-pass"));
    ASSERT_TRUE(bob);
    Failure failure;
    EXPECT_FALSE(ensureSchema(*bob, &failure));
    EXPECT_EQ(failure.kind, FailureKind::NoSchema);
    EXPECT_TRUE(bob->ok());
    EXPECT_EQ(server->value(QStringLiteral("SELECT count(*) FROM pg_namespace WHERE nspname = 'ktm520'"),
                            QStringLiteral("office")),
              QStringLiteral("0"));

    std::unique_ptr<PgConnection> maker =
        connect(server->tcpConninfo(QStringLiteral("maker"), QStringLiteral("office"), QStringLiteral("sslmode=disable")),
                QStringLiteral("m-pass"));
    ASSERT_TRUE(maker);
    const std::optional<SchemaInfo> made = ensureSchema(*maker, &failure);
    ASSERT_TRUE(made) << failure.detail.toStdString();
    EXPECT_TRUE(made->canWrite); // the owner
    EXPECT_EQ(server->value(QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname LIKE 'ktm520_%'")),
              QStringLiteral("0")); // maker may not make roles

    // The administrator makes the roles and grants bob the reader's; the owner's next sync gives
    // the roles their rights.
    ASSERT_TRUE(server->psql(QStringLiteral("CREATE ROLE ktm520_reader; CREATE ROLE ktm520_writer IN ROLE ktm520_reader; "
                                            "GRANT ktm520_reader TO bob")));
    EXPECT_FALSE(ensureSchema(*bob, &failure)); // no rights yet
    EXPECT_EQ(failure.kind, FailureKind::PermissionDenied);
    ASSERT_TRUE(ensureSchema(*maker, &failure)) << failure.detail.toStdString();
    const std::optional<SchemaInfo> seen = ensureSchema(*bob, &failure);
    ASSERT_TRUE(seen) << failure.detail.toStdString();
    EXPECT_FALSE(seen->canWrite);
    EXPECT_EQ(seen->identity, made->identity);
}

// An office made by a newer program is left as it is.
TEST(OfficeSchemaTest, NewerVersionRefused)
{
    QString why;
    std::unique_ptr<PgServer> server = PgServer::start(&why);
    KTM_SKIP_WITHOUT_SERVER(server, why);
    ASSERT_TRUE(server->createDatabase(QStringLiteral("office")));
    std::unique_ptr<PgConnection> conn = connect(server->adminConninfo(QStringLiteral("office")));
    ASSERT_TRUE(conn);
    Failure failure;
    ASSERT_TRUE(ensureSchema(*conn, &failure)) << failure.detail.toStdString();
    ASSERT_TRUE(server->psql(QStringLiteral("UPDATE ktm520.office SET version = %1").arg(kOfficeSchemaVersion + 1), nullptr,
                             QStringLiteral("office")));
    EXPECT_FALSE(ensureSchema(*conn, &failure));
    EXPECT_EQ(failure.kind, FailureKind::SchemaNewer);
    EXPECT_TRUE(failure.detail.contains(QString::number(kOfficeSchemaVersion + 1)));
    EXPECT_TRUE(conn->ok());
    EXPECT_EQ(server->value(QStringLiteral("SELECT version FROM ktm520.office"), QStringLiteral("office")),
              QString::number(kOfficeSchemaVersion + 1));
    // The connection is left outside any transaction.
    EXPECT_TRUE(conn->exec("BEGIN; COMMIT", &failure)) << failure.detail.toStdString();
}

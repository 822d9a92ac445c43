// Reading the office's history on the server, as a viewer with the reader role does: one gauge's
// trend through the office's assignments, and the totals by source.
#include "office/OfficeHistory.h"
#include "office/OfficeSchema.h"
#include "tests/office/PgTest.h"

#include <QTimeZone>
#include <limits>

using namespace office;

namespace {

// Readout time = UTC + 100 here. Slot 1 is G1's until 2000 and G2's after; G1 moved to slot 2.
constexpr char kOffice[] = R"(
INSERT INTO ktm520.readouts(name, time_zone) VALUES ('R1', 'Etc/GMT-1');
INSERT INTO ktm520.slots(readout, partition, code) VALUES (1, 'A', 'A001'), (1, 'A', 'A002');
INSERT INTO ktm520.gauges(name) VALUES ('G1'), ('G2'), ('G3');
INSERT INTO ktm520.slot_assignments(slot) VALUES (1), (2);
INSERT INTO ktm520.assignments VALUES (1, 1, 1000, 2000, false), (2, 1, 2000, 3000, true), (1, 2, 2000, 3000, false);
INSERT INTO ktm520.sources(identity, pc, pc_user, last_sync) VALUES
  ('00000000-0000-0000-0000-000000000001', 'PC1', 'alice', '2026-12-01 08:00:00+00'),
  ('00000000-0000-0000-0000-000000000002', 'PC2', 'bob', NULL);
INSERT INTO ktm520.downloads(source, source_download, readout, pc, pc_user, received, added) VALUES
  (1, 1, 1, 'PC1', 'alice', 5, 4), (1, 2, 1, 'PC1', 'alice', 3, 1), (2, 1, 1, 'PC2', 'bob', 2, 2);
INSERT INTO ktm520.odd_times(text) VALUES ('--:--');
INSERT INTO ktm520.readings VALUES
  (1, 1500, 1, '2800.5', '21.5', NULL, 2800.5, 21.5, 1400, 1),
  (1, 2500, 1, '2900.0', '22.0', NULL, 2900.0, 22.0, 2400, 1),
  (2, 1999, 1, '3000.0', '23.0', NULL, 3000.0, 23.0, 1899, 1),
  (2, 2300, 2, '3100.0', '', NULL, 3100.0, NULL, 2200, 2),
  (2, 2200, 2, 'ERR', '24.0', NULL, NULL, 24.0, 2100, 3),
  (2, 2100, 2, '3050.0', '23.5', NULL, 3050.0, 23.5, 2000, 3),
  (2, -62135596802, 2, '3200.0', '25.0', NULL, 3200.0, 25.0, NULL, 3);
)";

std::vector<qint64> times(const std::vector<TrendPoint>& points)
{
    std::vector<qint64> out;
    for (const TrendPoint& p : points)
        out.push_back(p.utc);
    return out;
}

} // namespace

TEST(OfficeHistoryTest, TrendAndTotalsAsAViewerReadsThem)
{
    QString why;
    std::unique_ptr<PgServer> server = PgServer::start(&why);
    KTM_SKIP_WITHOUT_SERVER(server, why);
    ASSERT_TRUE(server->createDatabase(QStringLiteral("office")));
    Failure failure;
    {
        std::unique_ptr<PgConnection> admin = PgConnection::open(server->adminConninfo(QStringLiteral("office")), &failure);
        ASSERT_TRUE(admin && ensureSchema(*admin, &failure)) << failure.detail.toStdString();
    }
    QString error;
    ASSERT_TRUE(server->psql(QString::fromUtf8(kOffice), nullptr, QStringLiteral("office"), &error)) << error.toStdString();
    ASSERT_TRUE(server->createLogin(QStringLiteral("viewer"), QStringLiteral("v-pass"), QString::fromLatin1(kReaderRole)));
    std::unique_ptr<PgConnection> conn = PgConnection::open(
        server->tcpConninfo(QStringLiteral("viewer"), QStringLiteral("office"), QStringLiteral("sslmode=disable")), &failure,
        QStringLiteral("v-pass"));
    ASSERT_TRUE(conn) << failure.detail.toStdString();

    // G1 from both its slots, each within its assignment, oldest first; the reading without a
    // number and the one without a time left out.
    std::optional<std::vector<TrendPoint>> g1 = gaugeTrend(*conn, QStringLiteral("G1"), -1'000'000, 1'000'000, &failure);
    ASSERT_TRUE(g1) << failure.detail.toStdString();
    EXPECT_EQ(times(*g1), (std::vector<qint64>{1400, 2000, 2200}));
    ASSERT_EQ(g1->size(), 3u);
    EXPECT_DOUBLE_EQ((*g1)[0].readingHz, 2800.5);
    EXPECT_TRUE((*g1)[1].hasTemperature);
    EXPECT_DOUBLE_EQ((*g1)[1].temperatureC, 23.5);
    EXPECT_FALSE((*g1)[2].hasTemperature);

    // The period's bounds are UTC and both included.
    g1 = gaugeTrend(*conn, QStringLiteral("G1"), 1401, 2200, &failure);
    ASSERT_TRUE(g1) << failure.detail.toStdString();
    EXPECT_EQ(times(*g1), (std::vector<qint64>{2000, 2200}));
    g1 = gaugeTrend(*conn, QStringLiteral("G1"), 1400, 1999, &failure);
    ASSERT_TRUE(g1) << failure.detail.toStdString();
    EXPECT_EQ(times(*g1), (std::vector<qint64>{1400}));
    // The widest period there is.
    g1 = gaugeTrend(*conn, QStringLiteral("G1"), std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(),
                    &failure);
    ASSERT_TRUE(g1) << failure.detail.toStdString();
    EXPECT_EQ(g1->size(), 3u);

    const std::optional<std::vector<TrendPoint>> g2 = gaugeTrend(*conn, QStringLiteral("G2"), 0, 10'000, &failure);
    ASSERT_TRUE(g2);
    EXPECT_EQ(times(*g2), (std::vector<qint64>{2400}));
    const std::optional<std::vector<TrendPoint>> never = gaugeTrend(*conn, QStringLiteral("G3"), 0, 10'000, &failure);
    ASSERT_TRUE(never);
    EXPECT_TRUE(never->empty());
    const std::optional<std::vector<TrendPoint>> unknown = gaugeTrend(*conn, QStringLiteral("nope"), 0, 10'000, &failure);
    ASSERT_TRUE(unknown);
    EXPECT_TRUE(unknown->empty());

    const std::optional<OfficeTotals> totals = officeTotals(*conn, &failure);
    ASSERT_TRUE(totals) << failure.detail.toStdString();
    EXPECT_EQ(totals->readings, 7);
    EXPECT_EQ(totals->gauges, 3);
    EXPECT_EQ(totals->readouts, 1);
    EXPECT_GT(totals->bytes, 8192 * 20); // a page or more for each table and index
    ASSERT_EQ(totals->sources.size(), 2u);
    EXPECT_EQ(totals->sources[0].pc, QStringLiteral("PC1"));
    EXPECT_EQ(totals->sources[0].user, QStringLiteral("alice"));
    EXPECT_EQ(totals->sources[0].source, QStringLiteral("00000000-0000-0000-0000-000000000001"));
    EXPECT_EQ(totals->sources[0].downloads, 2);
    EXPECT_EQ(totals->sources[0].readings, 5);
    EXPECT_EQ(totals->sources[0].lastSync, QDateTime(QDate(2026, 12, 1), QTime(8, 0), QTimeZone::utc()));
    EXPECT_EQ(totals->sources[1].downloads, 1);
    EXPECT_EQ(totals->sources[1].readings, 2);
    EXPECT_FALSE(totals->sources[1].lastSync.isValid());
}

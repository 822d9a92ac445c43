// Synchronising local archives with an office database on a real server the test starts: the
// overlapping downloads of several PCs stored once with the provenance of the first and pulled by
// the others; many syncs at once; a server stopped and a sync cancelled in the middle; two edits
// of the same register row or version; a user who may only read; masks, acknowledgements and
// versions carried from one PC to another.
#include "office/OfficeSchema.h"
#include "office/Sync.h"
#include "tests/archive/ArchiveFixture.h"
#include "tests/office/PgTest.h"

#include <QSysInfo>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace office;
using archive::Archive;

namespace {

const QString kDatabase = QStringLiteral("office");
const QString kWriter = QStringLiteral("alice");
const QString kWriterPassword = QStringLiteral("alice's pass");
const QString kViewer = QStringLiteral("viewer");
const QString kViewerPassword = QStringLiteral("v-pass");
const QString kSite = QStringLiteral("北坝");
constexpr int kCodes = 10;
constexpr qint64 kStart = archive::test::kStart;

// Reading k of the readout "R1": the codes A001..A010 in turn, a round a minute, all of file F1,
// so that reading k of one PC is reading k of every other (the same natural identity).
archive::Record reading(int k)
{
    return archive::Record{QStringLiteral("A"), QStringLiteral("F1"),
                           QStringLiteral("A%1").arg(k % kCodes + 1, 3, 10, QLatin1Char('0')),
                           archive::test::instrumentText(kStart + 60 * (k / kCodes)), QString::number(28000 + k % 997),
                           QString::number(200 + k % 61)};
}

// Reading k's index as the office keys it: "k" of (time_s, code).
const char kIndexOf[] = "((r.time_s - %1) / 60 * 10 + substr(sl.code, 2)::int - 1)";

// Lets the clock move on, so that an edit made after another is later by its time too.
void later() { QThread::msleep(20); }

// One PC: an archive in a folder of its own, whose readout "R1" names its slots' gauges G1..G10.
struct Pc {
    QTemporaryDir dir;
    std::unique_ptr<Archive> archive;
    archive::CopyOrigin origin;

    Pc()
    {
        archive::Error error;
        archive = Archive::open(dir.filePath(QStringLiteral("archive.sqlite")), nullptr, &error);
        EXPECT_TRUE(archive) << error.detail.toStdString();
        if (!archive)
            return;
        origin = archive::test::testOrigin(*archive, QStringLiteral("R1"));
        archive::ComponentNames names{QStringLiteral("A"), {}};
        for (int c = 1; c <= kCodes; ++c)
            names.entries.emplace_back(QStringLiteral("A%1").arg(c, 3, 10, QLatin1Char('0')), QStringLiteral("G%1").arg(c));
        origin.names = names;
    }

    // Readings [from, to) as one download; how many were new here.
    qint64 store(int from, int to)
    {
        std::vector<archive::Record> records;
        records.reserve(std::size_t(to - from));
        for (int k = from; k < to; ++k)
            records.push_back(reading(k));
        archive::Error error;
        const std::optional<archive::StoreResult> stored =
            archive->store(records, QDateTime::currentDateTimeUtc(), origin, &error);
        EXPECT_TRUE(stored) << error.detail.toStdString();
        return stored ? stored->added : -1;
    }

    // Every gauge of the register in `site`.
    void putInSite(const QString& site)
    {
        std::vector<archive::GaugeInfo> rows = archive->gaugeRegister();
        ASSERT_FALSE(rows.empty());
        for (archive::GaugeInfo& g : rows)
            g.site = site;
        archive::Error error;
        ASSERT_TRUE(archive->updateRegister(rows, &error)) << error.detail.toStdString();
    }

    void edit(const QString& gauge, const QString& location)
    {
        std::vector<archive::GaugeInfo> rows = archive->gaugeRegister();
        for (archive::GaugeInfo& g : rows)
            if (g.name == gauge) {
                g.location = location;
                archive::Error error;
                ASSERT_TRUE(archive->updateRegister({g}, &error)) << error.detail.toStdString();
                return;
            }
        ADD_FAILURE() << "no gauge " << gauge.toStdString();
    }

    std::optional<archive::GaugeInfo> gauge(const QString& name) const
    {
        for (const archive::GaugeInfo& g : archive->gaugeRegister())
            if (g.name == name)
                return g;
        return std::nullopt;
    }

    qint64 held() const
    {
        qint64 n = 0;
        for (const archive::SeriesSummary& s : archive->summary())
            n += s.count;
        return n;
    }
    qint64 waiting() const { return archive->readingsWaiting(); }
};

archive::Calibration linear(double g)
{
    archive::Calibration c;
    c.gauge = QStringLiteral("裂缝计");
    c.unit = QStringLiteral("mm");
    c.kind = archive::ReadingKind::Frequency;
    c.G = g;
    c.R0 = 2000;
    c.T0 = 20;
    return c;
}

archive::LevelSet highLevel(const QString& gauge, double threshold)
{
    archive::LevelSet s;
    s.gauge = gauge;
    s.levels = {archive::TriggerLevel{.side = archive::LevelSide::High, .rank = 1, .threshold = threshold}};
    return s;
}

const Conflict* findConflict(const SyncResult& r, Conflict::Kind kind, const QString& subject)
{
    for (const Conflict& c : r.conflicts)
        if (c.kind == kind && c.subject == subject)
            return &c;
    return nullptr;
}

class SyncTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = PgServer::start(&why);
        KTM_SKIP_WITHOUT_SERVER(server, why);
        ASSERT_TRUE(server->createDatabase(kDatabase));
        Failure failure;
        std::unique_ptr<PgConnection> admin = PgConnection::open(server->adminConninfo(kDatabase), &failure);
        ASSERT_TRUE(admin && ensureSchema(*admin, &failure)) << failure.detail.toStdString();
        ASSERT_TRUE(server->createLogin(kWriter, kWriterPassword, QString::fromLatin1(kWriterRole)));
    }

    QString conninfo(const QString& user = kWriter) const
    {
        return server->tcpConninfo(user, kDatabase, QStringLiteral("sslmode=disable"));
    }
    static SyncOptions writer()
    {
        SyncOptions o;
        o.password = kWriterPassword;
        return o;
    }
    static SyncOptions following(SyncOptions o = writer())
    {
        o.followedSites = {kSite};
        return o;
    }

    // A sync that must succeed.
    SyncResult sync(Pc& pc, const SyncOptions& options = writer(), const QString& user = kWriter)
    {
        Failure failure;
        const std::optional<SyncResult> r = synchronise(*pc.archive, conninfo(user), options, &failure);
        EXPECT_TRUE(r) << int(failure.kind) << " " << failure.detail.toStdString();
        return r.value_or(SyncResult{});
    }

    QString office(const QString& sql) const { return server->value(sql, kDatabase); }
    qint64 number(const QString& sql) const
    {
        const QString v = office(sql);
        EXPECT_FALSE(v.isEmpty()) << sql.toStdString();
        return v.toLongLong();
    }
    qint64 officeReadings() const { return number(QStringLiteral("SELECT count(*) FROM ktm520.readings")); }
    // Each office download's `added` is the number of readings that name it.
    void expectAddedAddsUp() const
    {
        EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.downloads d WHERE d.added <> "
                                        "(SELECT count(*) FROM ktm520.readings r WHERE r.download = d.id)")),
                  0);
        EXPECT_EQ(number(QStringLiteral("SELECT coalesce(sum(added), 0) FROM ktm520.downloads")), officeReadings());
    }
    // The readings whose download came from `pc`: how many, and the first and last k.
    QString sentFirstBy(const Pc& pc) const
    {
        return office(QStringLiteral("SELECT count(*) || ' ' || coalesce(min(k), -1) || '-' || coalesce(max(k), -1) FROM "
                                     "(SELECT %1 AS k FROM ktm520.readings r JOIN ktm520.slots sl ON sl.id = r.slot "
                                     "JOIN ktm520.downloads d ON d.id = r.download JOIN ktm520.sources s "
                                     "ON s.id = d.source WHERE s.identity = '%2'::uuid) x")
                          .arg(QString::fromLatin1(kIndexOf).arg(kStart), pc.archive->identity()));
    }

    std::unique_ptr<PgServer> server;
    QString why;
};

} // namespace

// Three PCs with overlapping downloads of the same slots, A then B then C: the office keeps each
// reading once, with the download of the PC that sent it first; each PC then pulls what the
// others sent, and nothing pulled goes back.
TEST_F(SyncTest, ThreePcsOverlappingDownloadsAreStoredOnceAndPulledByEachOther)
{
    Pc pcs[3];
    const int ranges[3][2] = {{0, 300}, {150, 450}, {250, 550}}; // the union: [0, 550)
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(pcs[i].archive);
        const int mid = (ranges[i][0] + ranges[i][1]) / 2;
        ASSERT_EQ(pcs[i].store(ranges[i][0], mid), 150);
        ASSERT_EQ(pcs[i].store(mid, ranges[i][1]), 150);
        pcs[i].putInSite(kSite); // the same rows on each: no conflict
        ASSERT_EQ(pcs[i].waiting(), 300);
    }
    EXPECT_NE(pcs[0].archive->identity(), pcs[1].archive->identity());
    EXPECT_NE(pcs[1].archive->identity(), pcs[2].archive->identity());

    // B finds A's two downloads (A2 holds nothing new to B); C finds A's two and B's second
    // (B's first added nothing to the office), of which A1 and part of A2 are new to it.
    const qint64 readingsNew[3] = {300, 150, 100};
    const qint64 downloadsPulled[3] = {0, 2, 3};
    const qint64 readingsPulled[3] = {0, 150, 250};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const SyncResult r = sync(pcs[i]);
        EXPECT_FALSE(r.readOnly);
        EXPECT_EQ(r.user, kWriter);
        EXPECT_EQ(r.downloadsSent, 2);
        EXPECT_EQ(r.readingsSent, 300);
        EXPECT_EQ(r.readingsNew, readingsNew[i]);
        EXPECT_EQ(r.downloadsPulled, downloadsPulled[i]);
        EXPECT_EQ(r.readingsPulled, readingsPulled[i]);
        EXPECT_EQ(r.readingsWaiting, 0);
        EXPECT_EQ(pcs[i].waiting(), 0);
        EXPECT_TRUE(r.conflicts.empty()) << conflictTexts(r).join('\n').toStdString();
        EXPECT_EQ(r.office, office(QStringLiteral("SELECT identity FROM ktm520.office")));
    }
    EXPECT_EQ(officeReadings(), 550);
    expectAddedAddsUp();
    EXPECT_EQ(office(QStringLiteral("SELECT string_agg(received || '/' || added, ' ' ORDER BY id) FROM ktm520.downloads")),
              QStringLiteral("150/150 150/150 150/0 150/150 150/0 150/100"));
    // Provenance: each reading is of the first PC that sent it, and the PC and user are the ones it ran on.
    EXPECT_EQ(sentFirstBy(pcs[0]), QStringLiteral("300 0-299"));
    EXPECT_EQ(sentFirstBy(pcs[1]), QStringLiteral("150 300-449"));
    EXPECT_EQ(sentFirstBy(pcs[2]), QStringLiteral("100 450-549"));
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.sources")), 3);
    // (psql's fields are separated by '|': '/' between the values.)
    const QString where = QSysInfo::machineHostName() + QLatin1Char('/') + archive::pcUser();
    for (const Pc& pc : pcs) {
        const QString id = pc.archive->identity();
        EXPECT_EQ(office(QStringLiteral("SELECT pc || '/' || pc_user FROM ktm520.sources WHERE identity = '%1'::uuid")
                             .arg(id)),
                  where);
        EXPECT_EQ(office(QStringLiteral("SELECT count(*) || ' ' || string_agg(DISTINCT d.pc || '/' || d.pc_user, ',') "
                                        "FROM ktm520.downloads d JOIN ktm520.sources s ON s.id = d.source "
                                        "WHERE s.identity = '%1'::uuid")
                             .arg(id)),
                  QStringLiteral("2 ") + where);
    }

    // A second round: nothing is sent, A and B pull what came after their first sync.
    const qint64 pulledAgain[3] = {250, 100, 0};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const SyncResult r = sync(pcs[i]);
        EXPECT_EQ(r.downloadsSent, 0);
        EXPECT_EQ(r.readingsSent, 0);
        EXPECT_EQ(r.readingsPulled, pulledAgain[i]);
        EXPECT_EQ(r.readingsWaiting, 0);
    }
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Pc& pc = pcs[i];
        EXPECT_EQ(pc.held(), 550);
        EXPECT_EQ(pc.waiting(), 0);
        // It holds its own downloads and every office download that brought something.
        QStringList held;
        for (qint64 id : pc.archive->officeDownloads())
            held << QString::number(id);
        EXPECT_EQ(held.join(','), office(QStringLiteral("SELECT string_agg(d.id::text, ',' ORDER BY d.id) FROM "
                                                        "ktm520.downloads d JOIN ktm520.sources s ON s.id = d.source "
                                                        "WHERE d.added > 0 OR s.identity = '%1'::uuid")
                                             .arg(pc.archive->identity())));
        // The readings as they were read, at their times.
        const std::vector<archive::Point> points =
            pc.archive->series(QStringLiteral("R1"), QStringLiteral("A"), QStringLiteral("A001"), 0, kStart * 2);
        ASSERT_EQ(points.size(), 55u);
        for (int j = 0; j < 55; ++j) {
            EXPECT_EQ(points[std::size_t(j)].time, kStart + 60 * j);
            EXPECT_DOUBLE_EQ(points[std::size_t(j)].readingHz, *archive::readingHz(reading(10 * j).reading));
            EXPECT_DOUBLE_EQ(points[std::size_t(j)].temperatureC, *archive::temperatureC(reading(10 * j).temperature));
        }
    }
    // A third round finds nothing anywhere.
    for (Pc& pc : pcs) {
        const SyncResult r = sync(pc);
        EXPECT_EQ(r.downloadsSent + r.readingsSent + r.downloadsPulled + r.readingsPulled, 0);
    }
    EXPECT_EQ(officeReadings(), 550);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.downloads")), 6);
}

// A PC follows the sites of the gauges it has read itself: one that synced before it read any
// gets, once it has, what other PCs sent of them before, not only what they send from then on.
TEST_F(SyncTest, APcThatComesToFollowASiteLaterGetsItsHistory)
{
    Pc a, b;
    ASSERT_TRUE(a.archive && b.archive);
    ASSERT_EQ(a.store(0, 300), 300);
    a.putInSite(kSite);
    sync(a);
    SyncResult r = sync(b); // B has read nothing yet: it follows no site
    EXPECT_EQ(r.readingsPulled, 0);
    EXPECT_EQ(b.held(), 0);
    ASSERT_EQ(b.store(290, 310), 20); // B reads the site's gauges (known from the office's register)
    ASSERT_TRUE(b.gauge(QStringLiteral("G1")));
    EXPECT_EQ(b.gauge(QStringLiteral("G1"))->site, kSite);
    r = sync(b);
    EXPECT_EQ(r.readingsNew, 10);
    EXPECT_EQ(r.readingsPulled, 290);
    EXPECT_EQ(b.held(), 310);
    EXPECT_EQ(b.waiting(), 0);
}

// Ten PCs syncing at the same moment, each on its own connection, with readings the others hold
// too: every sync succeeds, the office holds the union once, and one more round brings every PC
// what the others sent meanwhile.
TEST_F(SyncTest, TenSyncsAtOnceStoreTheUnionOnce)
{
    constexpr int kPcs = 10;
    std::vector<std::unique_ptr<Pc>> pcs;
    for (int i = 0; i < kPcs; ++i) {
        pcs.push_back(std::make_unique<Pc>());
        ASSERT_TRUE(pcs.back()->archive);
        ASSERT_EQ(pcs.back()->store(i * 50, i * 50 + 200), 200);
        pcs.back()->putInSite(kSite);
    }
    constexpr qint64 kUnion = (kPcs - 1) * 50 + 200;

    std::vector<std::optional<SyncResult>> results(kPcs);
    std::vector<Failure> failures(kPcs);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    const QString info = conninfo();
    for (int i = 0; i < kPcs; ++i)
        threads.emplace_back([&, i] {
            ++ready;
            while (ready.load() < kPcs)
                std::this_thread::yield();
            results[std::size_t(i)] = synchronise(*pcs[std::size_t(i)]->archive, info, writer(), &failures[std::size_t(i)]);
        });
    for (std::thread& t : threads)
        t.join();
    qint64 newToOffice = 0;
    for (int i = 0; i < kPcs; ++i) {
        SCOPED_TRACE(i);
        const std::optional<SyncResult>& r = results[std::size_t(i)];
        ASSERT_TRUE(r) << int(failures[std::size_t(i)].kind) << " " << failures[std::size_t(i)].detail.toStdString();
        EXPECT_EQ(r->downloadsSent, 1);
        EXPECT_EQ(r->readingsSent, 200);
        EXPECT_EQ(r->readingsWaiting, 0);
        EXPECT_TRUE(r->conflicts.empty()) << conflictTexts(*r).join('\n').toStdString();
        newToOffice += r->readingsNew;
    }
    EXPECT_EQ(newToOffice, kUnion);
    EXPECT_EQ(officeReadings(), kUnion);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.downloads")), kPcs);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.gauges")), kCodes);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.slots")), kCodes);
    expectAddedAddsUp();

    for (auto& pc : pcs) {
        const SyncResult r = sync(*pc);
        EXPECT_EQ(r.downloadsSent, 0);
    }
    for (int i = 0; i < kPcs; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(pcs[std::size_t(i)]->held(), kUnion);
        EXPECT_EQ(pcs[std::size_t(i)]->waiting(), 0);
    }
    EXPECT_EQ(officeReadings(), kUnion);
}

// The server stopped while a large download is being sent: the sync fails, the office keeps the
// download before it and nothing of that one; while the server is down it is out of reach; once
// it is up again the next sync sends the rest, each reading once.
TEST_F(SyncTest, AServerStoppedMidDownloadKeepsNoneOfItAndTheNextSyncSendsIt)
{
    Pc pc;
    ASSERT_TRUE(pc.archive);
    ASSERT_EQ(pc.store(0, 1000), 1000);
    constexpr int kLarge = 200000;
    ASSERT_EQ(pc.store(1000, 1000 + kLarge), kLarge);

    // Once the large download's first chunk is on its way, another thread stops the server (as if
    // it were killed), and the sync goes on only after that.
    std::mutex mutex;
    std::condition_variable changed;
    bool sending = false, stopped = false, over = false;
    bool stopOk = false;
    std::thread stopper([&] {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return sending || over; });
        if (!sending)
            return;
        lock.unlock();
        // The test's server acknowledges commits before its WAL is written (synchronous_commit
        // off), which an office's does not: the checkpoint puts what it acknowledged on disk first.
        stopOk = server->psql(QStringLiteral("CHECKPOINT")) && server->stop(QStringLiteral("immediate"));
        lock.lock();
        stopped = true;
        changed.notify_all();
    });
    SyncOptions options = writer();
    options.progress = [&](const SyncProgress& p) {
        if (p.step != SyncProgress::Readings || p.done <= 1000)
            return;
        std::unique_lock lock(mutex);
        if (sending)
            return;
        sending = true;
        changed.notify_all();
        changed.wait(lock, [&] { return stopped; });
    };
    Failure failure;
    const std::optional<SyncResult> broken = synchronise(*pc.archive, conninfo(), options, &failure);
    {
        std::lock_guard lock(mutex);
        over = true;
        changed.notify_all();
    }
    stopper.join();
    ASSERT_TRUE(sending) << "the large download was never being sent";
    ASSERT_TRUE(stopOk);
    EXPECT_FALSE(broken);
    EXPECT_EQ(failure.kind, FailureKind::ConnectionLost) << failure.detail.toStdString();
    EXPECT_EQ(pc.waiting(), kLarge); // the first was committed and marked, the second not

    // Down: out of reach, and still nothing marked.
    SyncOptions quick = writer();
    quick.timeoutSeconds = 3;
    EXPECT_FALSE(synchronise(*pc.archive, conninfo(), quick, &failure));
    EXPECT_EQ(failure.kind, FailureKind::Unreachable) << failure.detail.toStdString();
    EXPECT_EQ(pc.waiting(), kLarge);

    ASSERT_TRUE(server->startAgain());
    EXPECT_EQ(officeReadings(), 1000);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.downloads")), 1);
    const SyncResult r = sync(pc);
    EXPECT_EQ(r.downloadsSent, 1);
    EXPECT_EQ(r.readingsSent, kLarge);
    EXPECT_EQ(r.readingsNew, kLarge);
    EXPECT_EQ(r.readingsWaiting, 0);
    EXPECT_EQ(pc.waiting(), 0);
    EXPECT_EQ(officeReadings(), 1000 + kLarge);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.downloads")), 2);
    expectAddedAddsUp();
}

// A sync cancelled in the middle of a download's readings keeps the downloads before it, nothing
// of that one; a pull cancelled after one office download keeps that one whole. The next sync
// goes on from there.
TEST_F(SyncTest, ACancelledSyncKeepsOnlyWholeStepsAndTheNextGoesOn)
{
    Pc a;
    ASSERT_TRUE(a.archive);
    constexpr int kEach = 40000; // two chunks of COPY text or more
    for (int d = 0; d < 3; ++d)
        ASSERT_EQ(a.store(d * kEach, (d + 1) * kEach), kEach);
    a.putInSite(kSite);

    bool cancel = false;
    SyncOptions options = writer();
    options.progress = [&](const SyncProgress& p) { cancel = cancel || (p.step == SyncProgress::Readings && p.done > kEach); };
    options.cancelled = [&] { return cancel; };
    Failure failure;
    EXPECT_FALSE(synchronise(*a.archive, conninfo(), options, &failure));
    EXPECT_TRUE(cancel);
    EXPECT_EQ(failure.kind, FailureKind::Cancelled) << failure.detail.toStdString();
    EXPECT_EQ(officeReadings(), kEach);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.downloads")), 1);
    EXPECT_EQ(a.waiting(), 2 * kEach);

    SyncResult r = sync(a);
    EXPECT_EQ(r.downloadsSent, 2);
    EXPECT_EQ(r.readingsNew, 2 * kEach);
    EXPECT_EQ(officeReadings(), 3 * kEach);
    EXPECT_EQ(a.waiting(), 0);
    expectAddedAddsUp();

    // B follows the site and stops after the first office download it brought.
    Pc b;
    ASSERT_TRUE(b.archive);
    cancel = false;
    SyncOptions pulling = following();
    pulling.progress = [&](const SyncProgress& p) { cancel = cancel || (p.step == SyncProgress::Pulling && p.done >= 1); };
    pulling.cancelled = [&] { return cancel; };
    EXPECT_FALSE(synchronise(*b.archive, conninfo(), pulling, &failure));
    EXPECT_EQ(failure.kind, FailureKind::Cancelled) << failure.detail.toStdString();
    EXPECT_EQ(b.held(), kEach);
    EXPECT_EQ(b.archive->officeDownloads().size(), 1u);
    r = sync(b, following());
    EXPECT_EQ(r.downloadsPulled, 2);
    EXPECT_EQ(r.readingsPulled, 2 * kEach);
    EXPECT_EQ(b.held(), 3 * kEach);
    EXPECT_EQ(b.waiting(), 0);
    EXPECT_EQ(officeReadings(), 3 * kEach);
}

// Two PCs holding the same rows and versions both edit them: the second to sync is told of the
// conflict, the office keeps both edits, the later applies there and, after their next pulls, on
// both PCs.
TEST_F(SyncTest, TwoEditsOfTheSameRowOrVersionAreAConflictAndTheLaterApplies)
{
    Pc a, b;
    ASSERT_TRUE(a.archive && b.archive);
    ASSERT_EQ(a.store(0, 100), 100);
    a.putInSite(kSite);
    archive::Error error;
    archive::CalibrationVersion v0;
    v0.gauge = QStringLiteral("G1");
    v0.values = linear(0.5);
    ASSERT_TRUE(a.archive->addCalibrationVersion(v0, &error)) << error.detail.toStdString();
    sync(a, following());
    sync(b, following()); // B brings the rows and the version
    ASSERT_TRUE(b.gauge(QStringLiteral("G1")));
    EXPECT_EQ(b.gauge(QStringLiteral("G1"))->site, kSite);
    ASSERT_EQ(b.archive->calibrationVersions(QStringLiteral("G1")).size(), 1u);

    // G1: A's edit first, B's later. G2: B's first, A's later.
    a.edit(QStringLiteral("G1"), QStringLiteral("左岸"));
    later();
    b.edit(QStringLiteral("G2"), QStringLiteral("上游"));
    later();
    b.edit(QStringLiteral("G1"), QStringLiteral("右岸"));
    later();
    a.edit(QStringLiteral("G2"), QStringLiteral("下游"));
    // Each adds a calibration version after the same one, and a first level version; B's later.
    archive::CalibrationVersion v = v0;
    v.values = linear(0.6);
    ASSERT_TRUE(a.archive->addCalibrationVersion(v, &error)) << error.detail.toStdString();
    ASSERT_TRUE(a.archive->addLevelSets({highLevel(QStringLiteral("G1"), 2900)}, &error)) << error.detail.toStdString();
    later();
    v.values = linear(0.7);
    ASSERT_TRUE(b.archive->addCalibrationVersion(v, &error)) << error.detail.toStdString();
    ASSERT_TRUE(b.archive->addLevelSets({highLevel(QStringLiteral("G1"), 2950)}, &error)) << error.detail.toStdString();

    const SyncResult first = sync(a, following());
    EXPECT_TRUE(first.conflicts.empty()) << conflictTexts(first).join('\n').toStdString();
    const SyncResult second = sync(b, following());
    EXPECT_EQ(second.conflicts.size(), 4u) << conflictTexts(second).join('\n').toStdString();
    EXPECT_EQ(conflictTexts(second).size(), qsizetype(second.conflicts.size()));
    const Conflict* g1 = findConflict(second, Conflict::Gauge, QStringLiteral("G1"));
    ASSERT_TRUE(g1);
    EXPECT_TRUE(g1->applied.contains(QStringLiteral("右岸"))) << g1->applied.toStdString();
    EXPECT_TRUE(g1->other.contains(QStringLiteral("左岸"))) << g1->other.toStdString();
    EXPECT_GT(g1->appliedAt, g1->otherAt);
    const Conflict* g2 = findConflict(second, Conflict::Gauge, QStringLiteral("G2"));
    ASSERT_TRUE(g2);
    EXPECT_TRUE(g2->applied.contains(QStringLiteral("下游"))) << g2->applied.toStdString();
    EXPECT_TRUE(g2->other.contains(QStringLiteral("上游"))) << g2->other.toStdString();
    EXPECT_GT(g2->appliedAt, g2->otherAt);
    const Conflict* calibration = findConflict(second, Conflict::Calibration, QStringLiteral("G1"));
    ASSERT_TRUE(calibration);
    EXPECT_TRUE(calibration->applied.contains(QStringLiteral("G=0.7"))) << calibration->applied.toStdString();
    EXPECT_TRUE(calibration->other.contains(QStringLiteral("G=0.6"))) << calibration->other.toStdString();
    const Conflict* levels = findConflict(second, Conflict::Levels, QStringLiteral("G1"));
    ASSERT_TRUE(levels);
    EXPECT_GT(levels->appliedAt, levels->otherAt);

    // The office: both edits kept, the later applied.
    EXPECT_EQ(office(QStringLiteral("SELECT string_agg(kind || ':' || subject, ',' ORDER BY kind, subject) "
                                    "FROM ktm520.conflicts")),
              QStringLiteral("calibration:G1,gauge:G1,gauge:G2,levels:G1"));
    EXPECT_EQ(office(QStringLiteral("SELECT applied->>'location' || '/' || (other->>'location') FROM ktm520.conflicts "
                                    "WHERE kind = 'gauge' AND subject = 'G1'")),
              QStringLiteral("右岸/左岸"));
    EXPECT_EQ(office(QStringLiteral("SELECT string_agg(location, ',' ORDER BY name) FROM ktm520.gauges "
                                    "WHERE name IN ('G1', 'G2')")),
              QStringLiteral("右岸,下游"));
    EXPECT_EQ(office(QStringLiteral("SELECT count(*) || ' ' || count(based_on) || ' ' || count(DISTINCT based_on) "
                                    "FROM ktm520.calibration_versions")),
              QStringLiteral("3 2 1"));
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.level_sets")), 2);

    // B brought A's later G2 in the same sync; A brings B's later G1 and B's versions in its next.
    EXPECT_EQ(b.gauge(QStringLiteral("G1"))->location, QStringLiteral("右岸"));
    EXPECT_EQ(b.gauge(QStringLiteral("G2"))->location, QStringLiteral("下游"));
    const SyncResult third = sync(a, following());
    EXPECT_TRUE(third.conflicts.empty()) << conflictTexts(third).join('\n').toStdString();
    for (Pc* pc : {&a, &b}) {
        SCOPED_TRACE(pc == &a ? "A" : "B");
        EXPECT_EQ(pc->gauge(QStringLiteral("G1"))->location, QStringLiteral("右岸"));
        EXPECT_EQ(pc->gauge(QStringLiteral("G2"))->location, QStringLiteral("下游"));
        EXPECT_EQ(pc->archive->calibrationVersions(QStringLiteral("G1")).size(), 3u);
        const std::optional<archive::Calibration> now = pc->archive->calibration(QStringLiteral("G1"));
        ASSERT_TRUE(now);
        EXPECT_DOUBLE_EQ(now->G, 0.7) << "the later entered applies on each PC, wherever it was entered";
        EXPECT_EQ(pc->archive->levelSets(QStringLiteral("G1")).size(), 2u);
        bool found = false;
        for (const archive::LevelSet& s : pc->archive->currentLevelSets())
            if (s.gauge == QStringLiteral("G1")) {
                found = true;
                ASSERT_EQ(s.levels.size(), 1u);
                EXPECT_DOUBLE_EQ(s.levels[0].threshold, 2950) << "the later entered applies on each PC";
            }
        EXPECT_TRUE(found);
    }
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.conflicts")), 4);
}

// A login of the reader role only: its sync reads (what others sent comes in) but sends nothing,
// and what waits here still waits for a writer's sync.
TEST_F(SyncTest, AReaderPullsButSendsNothing)
{
    Pc a;
    ASSERT_TRUE(a.archive);
    ASSERT_EQ(a.store(0, 300), 300);
    a.putInSite(kSite);
    sync(a);
    ASSERT_TRUE(server->createLogin(kViewer, kViewerPassword, QString::fromLatin1(kReaderRole)));
    ASSERT_EQ(a.store(300, 500), 200);
    a.edit(QStringLiteral("G1"), QStringLiteral("左岸"));

    SyncOptions viewer;
    viewer.password = kViewerPassword;
    SyncResult r = sync(a, viewer, kViewer);
    EXPECT_TRUE(r.readOnly);
    EXPECT_EQ(r.user, kViewer);
    EXPECT_EQ(r.downloadsSent, 0);
    EXPECT_EQ(r.readingsSent, 0);
    EXPECT_EQ(r.registerSent, 0);
    EXPECT_EQ(r.readingsWaiting, 200);
    EXPECT_EQ(a.waiting(), 200);
    EXPECT_EQ(officeReadings(), 300);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.downloads")), 1);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.sources")), 1);
    EXPECT_EQ(office(QStringLiteral("SELECT location FROM ktm520.gauges WHERE name = 'G1'")), QString());
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.gauges WHERE name = 'G1'")), 1);

    // Another PC reads A's readings as the viewer.
    Pc b;
    ASSERT_TRUE(b.archive);
    r = sync(b, following(viewer), kViewer);
    EXPECT_TRUE(r.readOnly);
    EXPECT_EQ(r.readingsPulled, 300);
    EXPECT_EQ(b.held(), 300);
    EXPECT_EQ(b.waiting(), 0);
    ASSERT_TRUE(b.gauge(QStringLiteral("G1")));
    EXPECT_EQ(b.gauge(QStringLiteral("G1"))->site, kSite);

    // The writer's next sync sends what the viewer's left.
    r = sync(a);
    EXPECT_EQ(r.readingsNew, 200);
    EXPECT_EQ(a.waiting(), 0);
    EXPECT_EQ(officeReadings(), 500);
    EXPECT_EQ(office(QStringLiteral("SELECT location FROM ktm520.gauges WHERE name = 'G1'")), QStringLiteral("左岸"));
}

// What A decides of its readings (a mask, an acknowledgement, a calibration version, a level
// set) reaches B, which follows the site, once; a lift of the mask follows.
TEST_F(SyncTest, MasksAcknowledgementsAndVersionsTravelOnce)
{
    Pc a;
    ASSERT_TRUE(a.archive);
    ASSERT_EQ(a.store(0, 300), 300); // G1 (A001) rises from 2800 Hz to 2829 Hz
    a.putInSite(kSite);
    archive::Error error;
    const archive::LevelSet set = highLevel(QStringLiteral("G1"), 2820);
    ASSERT_TRUE(a.archive->addLevelSets({set}, &error)) << error.detail.toStdString();
    archive::CalibrationVersion v;
    v.gauge = QStringLiteral("G2");
    v.values = linear(0.5);
    ASSERT_TRUE(a.archive->addCalibrationVersion(v, &error)) << error.detail.toStdString();
    const std::vector<archive::GaugePoint> points =
        a.archive->gaugeSeries(QStringLiteral("G1"), archive::kSinceEver, archive::kUntilNow);
    ASSERT_EQ(points.size(), 30u);
    const archive::ReadingRef masked{points[3].slot, points[3].time, points[3].file};
    ASSERT_TRUE(a.archive->mask({masked}, QStringLiteral("换线"), &error)) << error.detail.toStdString();
    archive::EventQuery ofG1;
    ofG1.gauge = QStringLiteral("G1");
    std::vector<archive::LevelEvent> events = a.archive->events(ofG1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].to, 1);
    ASSERT_TRUE(a.archive->acknowledge(events[0].id, QStringLiteral("已通知"), &error)) << error.detail.toStdString();
    const std::vector<archive::SharedCalibration> unsent = a.archive->unsentCalibrationVersions();
    ASSERT_EQ(unsent.size(), 1u);
    const std::vector<archive::SharedLevelSet> unsentSets = a.archive->unsentLevelSets();
    ASSERT_EQ(unsentSets.size(), 1u);

    SyncResult r = sync(a);
    EXPECT_GE(r.registerSent, 4);
    EXPECT_TRUE(a.archive->unsentCalibrationVersions().empty());
    EXPECT_TRUE(a.archive->unsentMasks().empty());
    EXPECT_TRUE(a.archive->unsentAcknowledgements().empty());
    auto officeCounts = [&] {
        return office(QStringLiteral("SELECT (SELECT count(*) FROM ktm520.masks) || ' ' || "
                                     "(SELECT count(*) FROM ktm520.acknowledgements) || ' ' || "
                                     "(SELECT count(*) FROM ktm520.calibration_versions) || ' ' || "
                                     "(SELECT count(*) FROM ktm520.level_sets)"));
    };
    EXPECT_EQ(officeCounts(), QStringLiteral("1 1 1 1"));
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.calibration_versions WHERE uid = '%1'::uuid")
                         .arg(unsent[0].uid)),
              1);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.level_sets WHERE uid = '%1'::uuid")
                         .arg(unsentSets[0].uid)),
              1);

    Pc b;
    ASSERT_TRUE(b.archive);
    auto expectB = [&] {
        const std::vector<archive::CalibrationVersion> versions = b.archive->calibrationVersions(QStringLiteral("G2"));
        ASSERT_EQ(versions.size(), 1u);
        EXPECT_DOUBLE_EQ(versions[0].values.G, 0.5);
        EXPECT_EQ(versions[0].enteredBy, unsent[0].version.enteredBy);
        EXPECT_EQ(versions[0].enteredAt.toSecsSinceEpoch(), unsent[0].version.enteredAt.toSecsSinceEpoch());
        const std::vector<archive::LevelSet> sets = b.archive->levelSets(QStringLiteral("G1"));
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(sets[0].levels, set.levels);
        const std::vector<archive::Mask> masks = b.archive->masks(QStringLiteral("G1"));
        ASSERT_EQ(masks.size(), 1u);
        EXPECT_EQ(masks[0].note, QStringLiteral("换线"));
        EXPECT_EQ(masks[0].utc, points[3].utc);
        const std::vector<archive::LevelEvent> seen = b.archive->events(ofG1);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].utc, events[0].utc);
        EXPECT_TRUE(seen[0].acknowledged);
        EXPECT_EQ(seen[0].note, QStringLiteral("已通知"));
        // What came from the office is not for sending back.
        EXPECT_TRUE(b.archive->unsentCalibrationVersions().empty());
        EXPECT_TRUE(b.archive->unsentLevelSets().empty());
        EXPECT_TRUE(b.archive->unsentMasks().empty());
        EXPECT_TRUE(b.archive->unsentAcknowledgements().empty());
    };
    r = sync(b, following());
    EXPECT_EQ(r.readingsPulled, 300);
    expectB();
    // Again, on both sides: nothing doubles.
    sync(b, following());
    sync(a);
    expectB();
    EXPECT_EQ(a.archive->calibrationVersions(QStringLiteral("G2")).size(), 1u);
    EXPECT_EQ(a.archive->levelSets(QStringLiteral("G1")).size(), 1u);
    EXPECT_EQ(a.archive->masks(QStringLiteral("G1")).size(), 1u);
    EXPECT_EQ(officeCounts(), QStringLiteral("1 1 1 1"));

    // A lifts the mask: B's goes too.
    ASSERT_TRUE(a.archive->unmask({masked}, &error)) << error.detail.toStdString();
    sync(a);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM ktm520.masks WHERE lifted_at IS NOT NULL")), 1);
    sync(b, following());
    EXPECT_TRUE(b.archive->masks(QStringLiteral("G1")).empty());
    EXPECT_EQ(b.held(), 300);
}

// What the office holds of G1's judgements is what the archive has: after the first push (the
// gauge judged whole), after a store that judging went on from (only what it added is sent),
// and after a mask (judged whole again: all of it sent again, what the mask cleared gone).
TEST_F(SyncTest, TheOfficeHoldsWhatJudgingFoundWholeOrGoneOnFrom)
{
    Pc a;
    ASSERT_TRUE(a.archive);
    archive::Error error;
    a.store(0, 100);
    ASSERT_TRUE(a.archive->addLevelSets({highLevel(QStringLiteral("G1"), 2805)}, &error)) << error.detail.toStdString();
    // The office's marks of G1 against the archive's, as "k:status:flags" in the order of k.
    const auto expectSame = [&](const char* when) {
        SCOPED_TRACE(when);
        QStringList mine;
        for (const archive::GaugePoint& p : a.archive->gaugeSeries(QStringLiteral("G1"), archive::kSinceEver, archive::kUntilNow))
            if (p.status != 0 || p.flags != 0)
                mine << QStringLiteral("%1:%2:%3").arg((p.time - kStart) / 60 * 10).arg(p.status).arg(p.flags);
        const QString theirs = office(
            QStringLiteral("SELECT coalesce(string_agg(%1 || ':' || status || ':' || flags, ',' ORDER BY r.time_s), '') "
                           "FROM ktm520.marks r JOIN ktm520.slots sl ON sl.id = r.slot JOIN ktm520.gauges g "
                           "ON g.id = r.gauge WHERE g.name = 'G1'")
                .arg(QString::fromLatin1(kIndexOf).arg(kStart)));
        EXPECT_FALSE(mine.isEmpty());
        EXPECT_EQ(theirs, mine.join(QLatin1Char(',')));
        EXPECT_TRUE(a.archive->gaugesJudgedSinceSent().isEmpty());
    };
    sync(a);
    expectSame("judged whole");

    std::optional<qint64> since;
    a.store(100, 200);
    EXPECT_FALSE(a.archive->marksToSend(QStringLiteral("G1"), &since).empty());
    ASSERT_TRUE(since.has_value()) << "judging went on from the readings sent: only what it added goes";
    sync(a);
    expectSame("gone on from");

    const std::vector<archive::GaugePoint> points =
        a.archive->gaugeSeries(QStringLiteral("G1"), archive::kSinceEver, archive::kUntilNow);
    const auto marked = std::find_if(points.begin(), points.end(), [](const archive::GaugePoint& p) { return p.status != 0; });
    ASSERT_NE(marked, points.end());
    ASSERT_TRUE(a.archive->mask({archive::ReadingRef{marked->slot, marked->time, marked->file}}, QStringLiteral("检修"), &error))
        << error.detail.toStdString();
    a.archive->marksToSend(QStringLiteral("G1"), &since);
    EXPECT_FALSE(since.has_value()) << "a mask judges the gauge whole again: all of it goes";
    sync(a);
    expectSame("judged whole again");
}

// The operator's words for a result: what was sent and received, what still waits only when
// something does, the conflicts counted and each told with both edits.
TEST(SyncTexts, AResultSaysWhatMovedAndWhatWaits)
{
    SyncResult r;
    r.readingsSent = 1200;
    r.readingsNew = 1000;
    r.readingsPulled = 30;
    EXPECT_EQ(resultText(r), QStringLiteral("已同步：上传 1,200 条读数（新 1,000 条），下载 30 条读数"));
    r.readingsWaiting = 5;
    Conflict c;
    c.kind = Conflict::Gauge;
    c.subject = QStringLiteral("G1");
    c.applied = QStringLiteral("位置「右岸」");
    c.appliedBy = QStringLiteral("li");
    c.other = QStringLiteral("位置「左岸」");
    r.conflicts.push_back(c);
    EXPECT_EQ(resultText(r), QStringLiteral("已同步：上传 1,200 条读数（新 1,000 条），下载 30 条读数；另有 5 条待同步；1 处修改冲突"));
    const QStringList told = conflictTexts(r);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QStringLiteral("G1")) && told[0].contains(QStringLiteral("右岸")) &&
                told[0].contains(QStringLiteral("左岸")) && told[0].contains(QStringLiteral("li")))
        << told[0].toStdString();
    r.readOnly = true;
    EXPECT_TRUE(resultText(r).startsWith(QStringLiteral("只读用户：未上传任何读数；已下载 30 条读数；另有 5 条待同步")));
    EXPECT_EQ(waitingText(0), QString());
    EXPECT_EQ(waitingText(3412), QStringLiteral("3,412 条读数待同步到办公室数据库"));
}

// What the archive shares with the office, without the office: its identity and the office it is
// bound to, the downloads still to send and their records, readings brought from the office, and
// the ledger of register rows, versions, assignments, masks, acknowledgements and judgements sent
// or brought in; an archive of schema version 5 brought forward with everything still to send.
#include "ArchiveFixture.h"

#include <QUuid>
#include <algorithm>
#include <tuple>

using namespace archive;
using namespace archive::test;

namespace {

const QDateTime kDownloaded = QDateTime(QDate(2027, 1, 10), QTime(9, 0), QTimeZone::utc());
const QDateTime kElsewhere = QDateTime(QDate(2027, 1, 11), QTime(8, 0), QTimeZone::utc()); // an edit on another PC
// Texts that are not times are keyed below the first time there is: kOddTimes - their id.
const qint64 kOddTimes = instrumentTime("0001-01-01 00:00:00").value_or(0) - 1;
const char kOddText[] = "2026-11-05 25:00:00";

// One reading at minute `minute` after kStart: the frequency in Hz, 20.0 C.
Record reading(int minute, double hz, const QString& file = "F1", const QString& code = "A001")
{
    return Record{code.left(1), file, code, instrumentText(kStart + 60 * minute), QString::number(qRound(hz * 10)), "200"};
}

std::vector<Record> steady(int from, int count, double hz, const QString& code = "A001")
{
    std::vector<Record> out;
    for (int i = 0; i < count; ++i)
        out.push_back(reading(from + i, hz, "F1", code));
    return out;
}

LevelSet above(const QString& gauge, double threshold, qint64 from = kSinceEver)
{
    TriggerLevel l;
    l.threshold = threshold;
    LevelSet s;
    s.gauge = gauge;
    s.fromUtc = from;
    s.levels = {l};
    return s;
}

CalibrationVersion linear(const QString& gauge, qint64 from, double r0)
{
    CalibrationVersion v;
    v.gauge = gauge;
    v.fromUtc = from;
    v.values.code = gauge;
    v.values.unit = "mm";
    v.values.kind = ReadingKind::Frequency;
    v.values.form = Form::Linear;
    v.values.G = 0.01;
    v.values.R0 = r0;
    return v;
}

Assignment interval(const QString& gauge, qint64 from, qint64 to = kUntilNow)
{
    Assignment x;
    x.gauge = gauge;
    x.from = from;
    x.to = to;
    x.byHand = true;
    return x;
}

// A slot's assignments as another PC left them in the office.
SharedAssignments officeSlot(const QString& readout, const QString& code, std::vector<Assignment> list, qint64 revision)
{
    SharedAssignments s;
    s.readout = readout;
    s.partition = code.left(1);
    s.code = code;
    s.assignments = std::move(list);
    s.revision = revision;
    s.editedAt = kElsewhere;
    s.editedBy = "zhang";
    return s;
}

bool isUuid(const QString& text) { return !QUuid::fromString(text).isNull(); }

ReadingKey keyOf(int minute, const QString& code = "A001", const QString& file = "F1")
{
    return ReadingKey{"R1", code.left(1), file, code, instrumentText(kStart + 60 * minute)};
}

// A record as recordsOfDownload gave it, copied out of its views.
struct Row {
    qint64 slot = 0, time = 0, file = 0;
    QString reading, temperature, timeText;
    std::optional<double> hz, c;
    std::optional<qint64> utc;
};

class SharingTest : public ArchiveTest {
protected:
    void SetUp() override
    {
        a = openArchive();
        ASSERT_TRUE(a);
        origin = testOrigin(*a, "R1");
        origin.names = ComponentNames{"A", {{"A001", "G1"}, {"A002", "G2"}}};
    }

    StoreResult store(const std::vector<Record>& records, const QDateTime& at = kDownloaded)
    {
        const std::optional<StoreResult> r = a->store(records, at, origin, &e);
        EXPECT_TRUE(r) << why();
        return r.value_or(StoreResult{});
    }
    std::vector<int> statuses(const QString& gauge)
    {
        std::vector<int> out;
        for (const GaugePoint& p : a->gaugeSeries(gauge, kSinceEver, kUntilNow))
            out.push_back(p.status);
        return out;
    }
    std::vector<Row> recordsOf(qint64 download)
    {
        std::vector<Row> out;
        const auto text = [](QByteArrayView v) { return QString::fromUtf8(v); };
        EXPECT_TRUE(a->recordsOfDownload(
            download,
            [&](const SharedRecord& r) {
                out.push_back(Row{r.slot, r.time, r.file, text(r.reading), text(r.temperature), text(r.timeText),
                                  r.readingHz, r.temperatureC, r.utc});
                return true;
            },
            &e))
            << why();
        return out;
    }
    qint64 slotId(const QString& readout, const QString& code)
    {
        for (const SlotName& s : a->slotNames())
            if (s.readout == readout && s.code == code)
                return s.id;
        ADD_FAILURE() << "no slot " << code.toStdString();
        return -1;
    }
    qint64 idOf(const std::vector<NamedId>& ids, const QString& name)
    {
        for (const NamedId& n : ids)
            if (n.name == name)
                return n.id;
        ADD_FAILURE() << "no id for " << name.toStdString();
        return -1;
    }
    std::optional<GaugeInfo> row(const QString& name)
    {
        for (const GaugeInfo& g : a->gaugeRegister())
            if (g.name == name)
                return g;
        return std::nullopt;
    }
    std::vector<Assignment> assignmentsOf(const QString& readout, const QString& code)
    {
        std::vector<Assignment> out;
        for (const Assignment& x : a->assignments())
            if (x.readout == readout && x.code == code)
                out.push_back(x);
        return out;
    }
    std::string why() const { return e.detail.toStdString(); }

    std::unique_ptr<Archive> a;
    CopyOrigin origin;
    Error e;
};

} // namespace

// --- The archive's identity and the office it is bound to ---------------------------------------

TEST_F(SharingTest, TheIdentityIsAUuidKeptAcrossAReopen)
{
    const QString identity = a->identity(&e);
    EXPECT_TRUE(isUuid(identity)) << identity.toStdString() << " " << why();
    a.reset();
    a = openArchive();
    EXPECT_EQ(a->identity(), identity);
    // Another archive is another source of readings.
    auto other = Archive::open(dir.filePath("other/archive.sqlite"), nullptr, &e);
    ASSERT_TRUE(other) << why();
    EXPECT_TRUE(isUuid(other->identity()));
    EXPECT_NE(other->identity(), identity);
}

TEST_F(SharingTest, BindingAnotherOfficeForgetsWhatWasSentThere)
{
    EXPECT_EQ(a->boundOffice(), "");
    ASSERT_TRUE(a->bindOffice("office-1", &e)) << why();
    EXPECT_EQ(a->boundOffice(), "office-1");
    ASSERT_TRUE(a->setOfficeNote("cursor", "12", &e)) << why();
    EXPECT_EQ(a->officeNote("cursor"), "12");
    EXPECT_EQ(a->officeNote("unknown"), "");

    store(steady(0, 3, 2800));
    GaugeInfo g1;
    g1.name = "G1";
    g1.type = "裂缝计";
    ASSERT_TRUE(a->updateRegister({g1}, &e)) << why();
    ASSERT_TRUE(a->addCalibrationVersion(linear("G1", kSinceEver, 2000), &e)) << why();
    const std::vector<PendingDownload> pending = a->unsentDownloads();
    ASSERT_EQ(pending.size(), 1u);
    const std::vector<SharedCalibration> versions = a->unsentCalibrationVersions();
    ASSERT_EQ(versions.size(), 1u);
    // Everything sent, as a sync does.
    const auto sendAll = [&] {
        for (const PendingDownload& d : a->unsentDownloads())
            EXPECT_TRUE(a->markDownloadSent(d.id, 77, &e)) << why();
        std::vector<SharedGauge> rows = a->changedGauges();
        for (SharedGauge& g : rows)
            g.revision = 3;
        EXPECT_TRUE(a->gaugesSent(rows, &e)) << why();
        QStringList uids;
        for (const SharedCalibration& c : a->unsentCalibrationVersions())
            uids << c.uid;
        EXPECT_TRUE(a->calibrationVersionsSent(uids, &e)) << why();
        EXPECT_TRUE(a->setOfficeNote("cursor", "1234", &e)) << why();
        EXPECT_TRUE(a->unsentDownloads().empty());
        EXPECT_TRUE(a->changedGauges().empty());
        EXPECT_TRUE(a->unsentCalibrationVersions().empty());
    };
    sendAll();

    // The same office again forgets nothing; the binding outlives the session.
    ASSERT_TRUE(a->bindOffice("office-1", &e)) << why();
    a.reset();
    a = openArchive();
    EXPECT_EQ(a->boundOffice(), "office-1");
    EXPECT_TRUE(a->unsentDownloads().empty());
    EXPECT_EQ(a->officeDownloads(), std::vector<qint64>{77});
    EXPECT_EQ(a->officeNote("cursor"), "1234");
    sendAll(); // whatever that forgot

    // Another office: everything goes again, from revision 0, and its ids and notes are gone.
    ASSERT_TRUE(a->bindOffice("office-2", &e)) << why();
    EXPECT_EQ(a->boundOffice(), "office-2");
    const std::vector<PendingDownload> again = a->unsentDownloads();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].id, pending[0].id);
    EXPECT_EQ(again[0].records, 3);
    EXPECT_EQ(a->readingsWaiting(), 3);
    EXPECT_TRUE(a->officeDownloads().empty());
    EXPECT_EQ(a->officeNote("cursor"), "");
    const std::vector<SharedGauge> rows = a->changedGauges();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].revision, 0);
    EXPECT_EQ(rows[0].info.type, "裂缝计");
    ASSERT_EQ(a->unsentCalibrationVersions().size(), 1u);
    EXPECT_EQ(a->unsentCalibrationVersions()[0].uid, versions[0].uid); // the same version, not a new one
}

// --- Downloads and their records ------------------------------------------------------------------

TEST_F(SharingTest, PendingDownloadsAndTheirRecordsInKeyOrder)
{
    // In no order: A001 at minutes 0 and 1 (file F2, no numbers), a time that is not a time, A002.
    const std::vector<Record> first = {{"A", "F2", "A001", instrumentText(kStart + 60), "--", ""},
                                       reading(0, 2900, "F1", "A002"),
                                       {"A", "F1", "A001", kOddText, "28010", "202"},
                                       reading(0, 2800)};
    const QDateTime later = kDownloaded.addDays(1);
    store(first);
    const StoreResult second = store({reading(2, 2810), reading(0, 2800)}, later); // one held already
    EXPECT_EQ(second.added, 1);

    std::vector<PendingDownload> pending = a->unsentDownloads(&e);
    ASSERT_EQ(pending.size(), 2u) << why();
    EXPECT_LT(pending[0].id, pending[1].id);
    EXPECT_EQ(pending[0].at, kDownloaded);
    EXPECT_EQ(pending[0].readout, "R1");
    EXPECT_EQ(pending[0].partition, "A");
    EXPECT_EQ(pending[0].received, 4);
    EXPECT_EQ(pending[0].added, 4);
    EXPECT_EQ(pending[0].records, 4);
    EXPECT_EQ(pending[1].at, later);
    EXPECT_EQ(pending[1].received, 2);
    EXPECT_EQ(pending[1].added, 1);
    EXPECT_EQ(pending[1].records, 1);
    EXPECT_EQ(a->readingsWaiting(), 5);

    // The first download's records, ordered by slot, time and file, named by the archive's ids.
    const qint64 s1 = slotId("R1", "A001"), s2 = slotId("R1", "A002");
    const qint64 f1 = idOf(a->fileNames(), "F1"), f2 = idOf(a->fileNames(), "F2");
    const qint64 odd = idOf(a->oddTimes(), kOddText);
    const std::vector<Row> rows = recordsOf(pending[0].id);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const Row& x, const Row& y) {
        return std::tie(x.slot, x.time, x.file) < std::tie(y.slot, y.time, y.file);
    }));
    const auto find = [&](qint64 slot, qint64 time, qint64 file) -> const Row* {
        for (const Row& r : rows)
            if (r.slot == slot && r.time == time && r.file == file)
                return &r;
        ADD_FAILURE() << "no record " << slot << " " << time << " " << file;
        return nullptr;
    };
    const Row* plain = find(s1, kStart, f1);
    const Row* noNumbers = find(s1, kStart + 60, f2);
    const Row* oddRow = find(s1, kOddTimes - odd, f1);
    const Row* other = find(s2, kStart, f1);
    ASSERT_TRUE(plain && noNumbers && oddRow && other);
    EXPECT_EQ(plain->reading, "28000");
    EXPECT_EQ(plain->temperature, "200");
    EXPECT_EQ(plain->timeText, "");
    EXPECT_EQ(plain->hz, 2800.0);
    EXPECT_EQ(plain->c, 20.0);
    EXPECT_EQ(plain->utc, kStart);
    EXPECT_EQ(noNumbers->reading, "--");
    EXPECT_EQ(noNumbers->temperature, "");
    EXPECT_FALSE(noNumbers->hz);
    EXPECT_FALSE(noNumbers->c);
    EXPECT_EQ(noNumbers->utc, kStart + 60);
    EXPECT_EQ(oddRow->timeText, kOddText);
    EXPECT_EQ(oddRow->hz, 2801.0);
    EXPECT_FALSE(oddRow->utc);
    EXPECT_EQ(other->hz, 2900.0);
    // The second download holds only the record it added.
    const std::vector<Row> secondRows = recordsOf(pending[1].id);
    ASSERT_EQ(secondRows.size(), 1u);
    EXPECT_EQ(secondRows[0].time, kStart + 120);

    // A read stopped by its caller: false, and no error.
    int calls = 0;
    e = {};
    const auto once = [&](const SharedRecord&) { return ++calls < 1; };
    EXPECT_FALSE(a->recordsOfDownload(pending[0].id, once, &e));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(e.detail.isEmpty()) << why();

    // Sent: it leaves the list and the count of what waits.
    ASSERT_TRUE(a->markDownloadSent(pending[0].id, 101, &e)) << why();
    pending = a->unsentDownloads();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].records, 1);
    EXPECT_EQ(a->readingsWaiting(), 1);
    ASSERT_TRUE(a->markDownloadSent(pending[0].id, 55, &e)) << why();
    EXPECT_TRUE(a->unsentDownloads().empty());
    EXPECT_EQ(a->readingsWaiting(), 0);
    EXPECT_EQ(a->officeDownloads(), (std::vector<qint64>{55, 101}));

    // A record taken out behind the store's back (a repair): the download holds one record fewer.
    store({reading(3, 2800), reading(4, 2800)});
    {
        RawDb raw(path());
        raw.exec("DELETE FROM records WHERE time_s = 1793873040"); // minute 4
    }
    pending = a->unsentDownloads();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(recordsOf(pending[0].id).size(), 1u);
    EXPECT_EQ(pending[0].records, 1);
    EXPECT_EQ(a->readingsWaiting(), 1);
}

TEST_F(SharingTest, ReadingsFromTheOfficeAreStoredOnceAsSentAndJudged)
{
    store(steady(0, 3, 2800));
    const OfficeProvenance from{900, QUuid::createUuid().toString(QUuid::WithoutBraces), "PC-2", "li", kElsewhere};
    // Minute 2 is held already; minute 4 is out of every gauge's band.
    const std::vector<Record> records = {reading(2, 2800), reading(3, 2810), reading(4, 100), reading(5, 2820)};
    const std::optional<StoreResult> brought = a->storeFromOffice(records, "R1", from, &e);
    ASSERT_TRUE(brought) << why();
    EXPECT_EQ(brought->received, 4);
    EXPECT_EQ(brought->added, 3);
    EXPECT_EQ(brought->verdict.flagged, 1);
    const std::vector<GaugePoint> points = a->gaugeSeries("G1", kSinceEver, kUntilNow);
    ASSERT_EQ(points.size(), 6u);
    EXPECT_EQ(points[4].flags & OutOfBand, OutOfBand);
    EXPECT_EQ(points[5].flags, 0);

    // Kept as sent: only this PC's download waits, with its own three records.
    const std::vector<PendingDownload> pending = a->unsentDownloads();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].records, 3);
    EXPECT_EQ(a->readingsWaiting(), 3);
    EXPECT_EQ(recordsOf(pending[0].id).size(), 3u);
    EXPECT_EQ(a->officeDownloads(), std::vector<qint64>{900});

    // Brought again: nothing new, and still the one download.
    const std::optional<StoreResult> again = a->storeFromOffice(records, "R1", from, &e);
    ASSERT_TRUE(again) << why();
    EXPECT_EQ(again->added, 0);
    EXPECT_EQ(total(*a), 6);
    EXPECT_EQ(a->officeDownloads(), std::vector<qint64>{900});
    EXPECT_EQ(a->unsentDownloads().size(), 1u);
}

// --- Register rows ----------------------------------------------------------------------------------

TEST_F(SharingTest, RegisterRowsEditedHereGoUntilSentAndRowsFromTheOfficeApply)
{
    store(steady(0, 3, 2800));
    // Known by name from the component list only: no edit of anyone's.
    EXPECT_TRUE(a->changedGauges(&e).empty()) << why();

    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    GaugeInfo mine;
    mine.name = "G1";
    mine.type = "裂缝计";
    mine.site = "S1";
    ASSERT_TRUE(a->updateRegister({mine}, &e)) << why();
    std::vector<SharedGauge> rows = a->changedGauges();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].info, mine);
    EXPECT_EQ(rows[0].revision, 0);
    EXPECT_GE(rows[0].editedAt, before);
    EXPECT_LE(rows[0].editedAt, QDateTime::currentDateTimeUtc().addSecs(1));
    EXPECT_EQ(rows[0].editedBy, pcUser());
    rows[0].revision = 4;
    ASSERT_TRUE(a->gaugesSent(rows, &e)) << why();
    EXPECT_TRUE(a->changedGauges().empty());

    // Edited again while a sync had it: it stays to be sent, on the revision the office gave.
    mine.location = "east bank";
    ASSERT_TRUE(a->updateRegister({mine}, &e)) << why();
    rows = a->changedGauges();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].revision, 4);
    mine.notes = "checked";
    ASSERT_TRUE(a->updateRegister({mine}, &e)) << why();
    rows[0].revision = 5;
    ASSERT_TRUE(a->gaugesSent(rows, &e)) << why();
    rows = a->changedGauges();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].info, mine);
    EXPECT_EQ(rows[0].revision, 5);

    // The office's row of a later revision does not overwrite an edit not yet sent.
    SharedGauge theirs;
    theirs.info = mine;
    theirs.info.location = "west bank";
    theirs.info.site = "S2";
    theirs.info.installed = QDate(2027, 1, 1); // after every reading
    theirs.revision = 6;
    theirs.editedAt = kElsewhere;
    theirs.editedBy = "zhang";
    ASSERT_TRUE(a->applySharedGauges({theirs}, &e)) << why();
    EXPECT_EQ(row("G1"), mine);
    ASSERT_EQ(a->changedGauges().size(), 1u);

    // Sent, then the office's later row applies, is judged, and is not sent back.
    rows[0].revision = 6;
    ASSERT_TRUE(a->gaugesSent(rows, &e)) << why();
    theirs.revision = 7;
    SharedGauge fresh;
    fresh.info.name = "G9";
    fresh.info.type = "渗压计";
    fresh.revision = 1;
    ASSERT_TRUE(a->applySharedGauges({theirs, fresh}, &e)) << why();
    EXPECT_EQ(row("G1"), theirs.info);
    EXPECT_EQ(row("G9"), fresh.info);
    EXPECT_TRUE(a->changedGauges().empty());
    for (const GaugePoint& p : a->gaugeSeries("G1", kSinceEver, kUntilNow))
        EXPECT_TRUE(p.flags & BeforeInstallation);
    // A row of a revision not above this archive's changes nothing.
    SharedGauge stale = theirs;
    stale.info.location = "stale";
    ASSERT_TRUE(a->applySharedGauges({stale}, &e)) << why();
    EXPECT_EQ(row("G1"), theirs.info);
}

// --- Calibration versions and level sets ---------------------------------------------------------

TEST_F(SharingTest, CalibrationVersionsGoWithTheirIdentitiesAndTheOfficesApply)
{
    store(steady(0, 5, 2800));
    // A level of 10 mm, reached by none of the values the versions entered here give.
    ASSERT_TRUE(a->addLevelSets({above("G1", 10)}, &e)) << why();
    ASSERT_TRUE(a->addCalibrationVersion(linear("G1", kSinceEver, 2000), &e)) << why();  // 8 mm
    ASSERT_TRUE(a->addCalibrationVersion(linear("G1", kStart + 30, 2100), &e)) << why(); // 7 mm
    ASSERT_TRUE(a->addCalibrationVersion(linear("G2", kSinceEver, 2000), &e)) << why();
    EXPECT_EQ(statuses("G1"), (std::vector<int>{0, 0, 0, 0, 0}));

    std::vector<SharedCalibration> unsent = a->unsentCalibrationVersions(&e);
    ASSERT_EQ(unsent.size(), 3u) << why();
    for (const SharedCalibration& c : unsent)
        EXPECT_TRUE(isUuid(c.uid)) << c.uid.toStdString();
    EXPECT_NE(unsent[0].uid, unsent[1].uid);
    EXPECT_EQ(unsent[0].version.gauge, "G1");
    EXPECT_EQ(unsent[0].basedOn, "");
    EXPECT_EQ(unsent[1].version.fromUtc, kStart + 30);
    EXPECT_EQ(unsent[1].version.values.R0, 2100);
    EXPECT_EQ(unsent[1].basedOn, unsent[0].uid);
    EXPECT_EQ(unsent[2].version.gauge, "G2");
    EXPECT_EQ(unsent[2].basedOn, ""); // the first of its gauge
    ASSERT_TRUE(a->calibrationVersionsSent({unsent[0].uid}, &e)) << why();
    const std::vector<SharedCalibration> left = a->unsentCalibrationVersions();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].uid, unsent[1].uid);
    ASSERT_TRUE(a->calibrationVersionsSent({unsent[1].uid, unsent[2].uid}, &e)) << why();
    EXPECT_TRUE(a->unsentCalibrationVersions().empty());

    // Another PC's version from minute 1.5 on: 13 mm, beyond the level.
    SharedCalibration theirs{linear("G1", kStart + 90, 1500), QUuid::createUuid().toString(QUuid::WithoutBraces),
                             unsent[1].uid};
    theirs.version.enteredAt = kElsewhere;
    theirs.version.enteredBy = "wang";
    SharedCalibration unknownGauge{linear("G7", kSinceEver, 1000), QUuid::createUuid().toString(QUuid::WithoutBraces),
                                   ""};
    ASSERT_TRUE(a->importCalibrationVersions({theirs, unknownGauge}, &e)) << why();
    std::vector<CalibrationVersion> versions = a->calibrationVersions("G1");
    ASSERT_EQ(versions.size(), 3u);
    EXPECT_EQ(versions[2].fromUtc, kStart + 90);
    EXPECT_EQ(versions[2].values.R0, 1500);
    EXPECT_EQ(versions[2].enteredBy, "wang");
    EXPECT_EQ(versions[2].enteredAt, kElsewhere);
    EXPECT_EQ(statuses("G1"), (std::vector<int>{0, 0, 1, 1, 1}));
    EXPECT_TRUE(row("G7"));
    EXPECT_EQ(a->calibrationVersions("G7").size(), 1u);
    EXPECT_TRUE(a->unsentCalibrationVersions().empty());
    // Brought again: held by its identity, not added twice.
    ASSERT_TRUE(a->importCalibrationVersions({theirs}, &e)) << why();
    EXPECT_EQ(a->calibrationVersions("G1").size(), 3u);
}

TEST_F(SharingTest, LevelSetsGoWithTheirIdentitiesAndTheOfficesApply)
{
    store(steady(0, 3, 2800));
    store(steady(0, 3, 2800, "A002"));
    ASSERT_TRUE(a->addLevelSets({above("G1", 2900)}, &e)) << why();
    ASSERT_TRUE(a->addLevelSets({above("G1", 2950)}, &e)) << why();
    std::vector<SharedLevelSet> unsent = a->unsentLevelSets(&e);
    ASSERT_EQ(unsent.size(), 2u) << why();
    EXPECT_TRUE(isUuid(unsent[0].uid));
    EXPECT_TRUE(isUuid(unsent[1].uid));
    EXPECT_EQ(unsent[0].set.gauge, "G1");
    ASSERT_EQ(unsent[0].set.levels.size(), 1u);
    EXPECT_EQ(unsent[0].set.levels[0].threshold, 2900);
    EXPECT_EQ(unsent[0].basedOn, "");
    EXPECT_EQ(unsent[1].basedOn, unsent[0].uid);
    ASSERT_TRUE(a->levelSetsSent({unsent[0].uid}, &e)) << why();
    ASSERT_EQ(a->unsentLevelSets().size(), 1u);
    EXPECT_EQ(a->unsentLevelSets()[0].uid, unsent[1].uid);
    ASSERT_TRUE(a->levelSetsSent({unsent[1].uid}, &e)) << why();
    EXPECT_TRUE(a->unsentLevelSets().empty());

    EXPECT_EQ(statuses("G2"), (std::vector<int>{0, 0, 0}));
    SharedLevelSet theirs{above("G2", 2750), QUuid::createUuid().toString(QUuid::WithoutBraces), ""};
    theirs.set.enteredAt = kElsewhere;
    theirs.set.enteredBy = "wang";
    ASSERT_TRUE(a->importLevelSets({theirs}, &e)) << why();
    ASSERT_EQ(a->levelSets("G2").size(), 1u);
    EXPECT_EQ(a->levelSets("G2")[0].enteredBy, "wang");
    EXPECT_EQ(a->levelSets("G2")[0].levels, theirs.set.levels);
    EXPECT_EQ(statuses("G2"), (std::vector<int>{1, 1, 1}));
    EXPECT_TRUE(a->unsentLevelSets().empty());
    ASSERT_TRUE(a->importLevelSets({theirs}, &e)) << why();
    EXPECT_EQ(a->levelSets("G2").size(), 1u);
}

// --- Assignments --------------------------------------------------------------------------------------

TEST_F(SharingTest, ChangedAssignmentsGoUntilSentAndTheOfficesReplaceASlots)
{
    store(steady(0, 5, 2800));
    store(steady(0, 5, 2800, "A002"));
    // The component list assigned both slots.
    std::vector<SharedAssignments> changed = a->changedAssignments(&e);
    ASSERT_EQ(changed.size(), 2u) << why();
    for (SharedAssignments& s : changed) {
        EXPECT_EQ(s.readout, "R1");
        EXPECT_EQ(s.partition, "A");
        ASSERT_EQ(s.assignments.size(), 1u);
        EXPECT_EQ(s.assignments[0].gauge, s.code == "A001" ? "G1" : "G2");
        EXPECT_EQ(s.assignments[0].from, kSinceEver);
        EXPECT_EQ(s.assignments[0].to, kUntilNow);
        EXPECT_FALSE(s.assignments[0].byHand);
        EXPECT_EQ(s.revision, 0);
        s.revision = 1;
    }
    ASSERT_TRUE(a->assignmentsSent(changed, &e)) << why();
    EXPECT_TRUE(a->changedAssignments().empty());

    // By hand: from minute 2 on, A001 holds G9.
    GaugeInfo g9;
    g9.name = "G9";
    ASSERT_TRUE(a->updateRegister({g9}, &e)) << why();
    ASSERT_TRUE(a->assign(origin.readout, "A001", "G9", kStart + 120, &e)) << why();
    changed = a->changedAssignments();
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].code, "A001");
    EXPECT_EQ(changed[0].revision, 1);
    EXPECT_EQ(changed[0].editedBy, pcUser());
    EXPECT_TRUE(changed[0].editedAt.isValid());
    ASSERT_EQ(changed[0].assignments.size(), 2u);
    EXPECT_EQ(changed[0].assignments[0].gauge, "G1");
    EXPECT_EQ(changed[0].assignments[0].to, kStart + 120);
    EXPECT_EQ(changed[0].assignments[1].gauge, "G9");
    EXPECT_EQ(changed[0].assignments[1].from, kStart + 120);
    EXPECT_TRUE(changed[0].assignments[1].byHand);
    // Assigned again while a sync had it: it stays to be sent, on the revision the office gave.
    ASSERT_TRUE(a->assign(origin.readout, "A001", "G9", kStart + 60, &e)) << why();
    changed[0].revision = 2;
    ASSERT_TRUE(a->assignmentsSent(changed, &e)) << why();
    changed = a->changedAssignments();
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].revision, 2);
    EXPECT_EQ(changed[0].assignments[1].from, kStart + 60);
    ASSERT_TRUE(a->assignmentsSent(changed, &e)) << why();
    EXPECT_TRUE(a->changedAssignments().empty());

    // The office's: A002 moved to G8 from minute 1, and a slot of a readout not known here.
    const SharedAssignments a002 = officeSlot("R1", "A002", {interval("G2", kSinceEver, kStart + 60), interval("G8", kStart + 60)}, 3);
    const SharedAssignments elsewhere = officeSlot("R3", "B001", {interval("G5", kSinceEver)}, 1);
    ASSERT_TRUE(a->applySharedAssignments({a002, elsewhere}, &e)) << why();
    const std::vector<Assignment> now = assignmentsOf("R1", "A002");
    ASSERT_EQ(now.size(), 2u);
    EXPECT_EQ(now[1].gauge, "G8");
    EXPECT_EQ(now[1].from, kStart + 60);
    EXPECT_EQ(a->gaugeSeries("G8", kSinceEver, kUntilNow).size(), 4u);
    EXPECT_EQ(a->gaugeSeries("G2", kSinceEver, kUntilNow).size(), 1u);
    EXPECT_TRUE(a->readout("R3"));
    ASSERT_EQ(assignmentsOf("R3", "B001").size(), 1u);
    EXPECT_EQ(assignmentsOf("R3", "B001")[0].gauge, "G5");
    EXPECT_TRUE(a->changedAssignments().empty());

    // A slot edited here and not yet sent keeps its own.
    ASSERT_TRUE(a->assign(origin.readout, "A001", "G1", kStart + 180, &e)) << why();
    const std::vector<Assignment> mine = assignmentsOf("R1", "A001");
    ASSERT_TRUE(a->applySharedAssignments({officeSlot("R1", "A001", {interval("G4", kSinceEver)}, 5)}, &e)) << why();
    const std::vector<Assignment> after = assignmentsOf("R1", "A001");
    ASSERT_EQ(after.size(), mine.size());
    EXPECT_EQ(after.back().gauge, "G1");
    ASSERT_EQ(a->changedAssignments().size(), 1u);
}

// --- Masks and acknowledgements -------------------------------------------------------------------

TEST_F(SharingTest, MasksAndAcknowledgementsGoUntilSentAndTheOfficesApply)
{
    store(steady(0, 3, 2800));
    ASSERT_TRUE(a->addLevelSets({above("G1", 2900)}, &e)) << why();
    store({reading(3, 2950), reading(4, 2800)});
    ASSERT_EQ(a->events().size(), 2u); // up at minute 3, back at minute 4

    // Put on here, sent, lifted here: the lift goes too.
    const std::vector<GaugePoint> points = a->gaugeSeries("G1", kSinceEver, kUntilNow);
    const ReadingRef third{points[3].slot, points[3].time, points[3].file};
    ASSERT_TRUE(a->mask({third}, "pump test", &e)) << why();
    EXPECT_TRUE(a->events().empty());
    std::vector<SharedMask> unsent = a->unsentMasks(&e);
    ASSERT_EQ(unsent.size(), 1u) << why();
    EXPECT_EQ(unsent[0].reading, keyOf(3));
    EXPECT_EQ(unsent[0].note, "pump test");
    EXPECT_EQ(unsent[0].by, pcUser());
    EXPECT_TRUE(unsent[0].at.isValid());
    EXPECT_FALSE(unsent[0].liftedAt.isValid());
    ASSERT_TRUE(a->masksSent(unsent, &e)) << why();
    EXPECT_TRUE(a->unsentMasks().empty());
    ASSERT_TRUE(a->unmask({third}, &e)) << why();
    const std::vector<SharedMask> lifted = a->unsentMasks();
    ASSERT_EQ(lifted.size(), 1u);
    EXPECT_EQ(lifted[0].reading, keyOf(3));
    EXPECT_EQ(lifted[0].at, unsent[0].at);
    EXPECT_TRUE(lifted[0].liftedAt.isValid());
    EXPECT_EQ(lifted[0].liftedBy, pcUser());
    ASSERT_TRUE(a->masksSent(lifted, &e)) << why();
    EXPECT_TRUE(a->unsentMasks().empty());
    EXPECT_EQ(statuses("G1"), (std::vector<int>{0, 0, 0, 1, 0}));

    // Lifted while a sync was sending it: the lift stays to be sent.
    ASSERT_TRUE(a->mask({third}, "again", &e)) << why();
    const std::vector<SharedMask> beingSent = a->unsentMasks();
    ASSERT_TRUE(a->unmask({third}, &e)) << why();
    ASSERT_TRUE(a->masksSent(beingSent, &e)) << why();
    ASSERT_EQ(a->unsentMasks().size(), 1u);
    EXPECT_TRUE(a->unsentMasks()[0].liftedAt.isValid());
    ASSERT_TRUE(a->masksSent(a->unsentMasks(), &e)) << why();
    EXPECT_TRUE(a->unsentMasks().empty());

    // A reading whose time is not a time is named by its text.
    store({Record{"A", "F1", "A001", kOddText, "28010", "200"}});
    const ReadingRef odd{third.slot, kOddTimes - idOf(a->oddTimes(), kOddText), third.file};
    ASSERT_TRUE(a->mask({odd}, "odd", &e)) << why();
    ASSERT_EQ(a->unsentMasks().size(), 1u);
    EXPECT_EQ(a->unsentMasks()[0].reading, (ReadingKey{"R1", "A", "F1", "A001", kOddText}));
    ASSERT_TRUE(a->masksSent(a->unsentMasks(), &e)) << why();
    EXPECT_TRUE(a->unsentMasks().empty());
    ASSERT_TRUE(a->unmask({odd}, &e)) << why();
    ASSERT_TRUE(a->masksSent(a->unsentMasks(), &e)) << why();

    // Another PC's mask on the same reading, then its lift.
    SharedMask theirs{keyOf(3), "frozen", "zhang", kElsewhere, "", QDateTime()};
    ASSERT_TRUE(a->importMasks({theirs}, &e)) << why();
    ASSERT_EQ(a->masks("G1").size(), 1u);
    EXPECT_EQ(a->masks("G1")[0].by, "zhang");
    EXPECT_EQ(a->masks("G1")[0].note, "frozen");
    EXPECT_EQ(statuses("G1"), (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_TRUE(a->events().empty());
    EXPECT_TRUE(a->unsentMasks().empty());
    theirs.liftedBy = "zhang";
    theirs.liftedAt = kElsewhere.addSecs(600);
    ASSERT_TRUE(a->importMasks({theirs}, &e)) << why();
    EXPECT_TRUE(a->masks().empty());
    EXPECT_EQ(statuses("G1"), (std::vector<int>{0, 0, 0, 1, 0}));
    EXPECT_TRUE(a->unsentMasks().empty());

    // Acknowledged here, and by another PC.
    std::vector<LevelEvent> events = a->events();
    ASSERT_EQ(events.size(), 2u);
    ASSERT_TRUE(a->acknowledge(events[0].id, "checked on site", &e)) << why();
    const std::vector<SharedAcknowledgement> acks = a->unsentAcknowledgements(&e);
    ASSERT_EQ(acks.size(), 1u) << why();
    EXPECT_EQ(acks[0].gauge, "G1");
    EXPECT_EQ(acks[0].utc, kStart + 180);
    EXPECT_EQ(acks[0].toStatus, 1);
    EXPECT_EQ(acks[0].note, "checked on site");
    EXPECT_EQ(acks[0].by, pcUser());
    EXPECT_TRUE(acks[0].at.isValid());
    ASSERT_TRUE(a->acknowledgementsSent(acks, &e)) << why();
    EXPECT_TRUE(a->unsentAcknowledgements().empty());
    ASSERT_TRUE(a->importAcknowledgements({SharedAcknowledgement{"G1", kStart + 240, 0, "back", "zhang", kElsewhere}}, &e))
        << why();
    events = a->events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[1].acknowledged);
    EXPECT_EQ(events[1].note, "back");
    EXPECT_EQ(events[1].acknowledgedBy, "zhang");
    EXPECT_EQ(events[1].acknowledgedAt, kElsewhere);
    EXPECT_TRUE(a->unsentAcknowledgements().empty());

    // A mask of a reading not here yet applies when it arrives.
    ASSERT_TRUE(a->importMasks({SharedMask{keyOf(10), "later", "zhang", kElsewhere, "", QDateTime()}}, &e)) << why();
    store({reading(10, 2950)});
    const std::vector<GaugePoint> now = a->gaugeSeries("G1", kSinceEver, kUntilNow);
    ASSERT_EQ(now.size(), 6u);
    EXPECT_TRUE(now[5].masked);
    EXPECT_EQ(now[5].status, 0);
    EXPECT_EQ(a->events().size(), 2u);
}

// --- Judgements ----------------------------------------------------------------------------------------

TEST_F(SharingTest, GaugesJudgedHereGoWithTheirMarksUntilSent)
{
    store(steady(0, 5, 2800));
    store(steady(0, 2, 2800, "A002"));
    ASSERT_TRUE(a->addLevelSets({above("G1", 2900)}, &e)) << why();
    store({reading(5, 2950), reading(6, 100)});
    QStringList judged = a->gaugesJudgedSinceSent(&e);
    judged.sort();
    EXPECT_EQ(judged, QStringList({"G1", "G2"})) << why();

    // Only the readings with a status or a flag, as the archive marked them.
    const std::vector<SharedMark> marks = a->marksOf("G1", &e);
    ASSERT_EQ(marks.size(), 2u) << why();
    const std::vector<GaugePoint> points = a->gaugeSeries("G1", kSinceEver, kUntilNow);
    ASSERT_EQ(points.size(), 7u);
    EXPECT_EQ(marks[0].reading, keyOf(5));
    EXPECT_EQ(marks[0].status, 1);
    EXPECT_EQ(marks[0].level, 0);
    EXPECT_EQ(marks[0].flags, 0);
    EXPECT_EQ(marks[1].reading, keyOf(6));
    EXPECT_EQ(marks[1].status, 0);
    EXPECT_TRUE(marks[1].flags & OutOfBand);
    EXPECT_EQ(marks[1].flags, points[6].flags);
    EXPECT_TRUE(a->marksOf("G2").empty());

    // G1 judged again between reading its marks and their being sent: it stays to be sent.
    store({reading(7, 2800)});
    ASSERT_TRUE(a->judgementsSent({"G1", "G2"}, &e)) << why();
    EXPECT_EQ(a->gaugesJudgedSinceSent(), QStringList{"G1"});
    EXPECT_FALSE(a->marksOf("G1").empty());
    ASSERT_TRUE(a->judgementsSent({"G1"}, &e)) << why();
    EXPECT_TRUE(a->gaugesJudgedSinceSent().empty());
    // Judged again: only that gauge.
    ASSERT_TRUE(a->addLevelSets({above("G2", 2700)}, &e)) << why();
    EXPECT_EQ(a->gaugesJudgedSinceSent(), QStringList{"G2"});
    EXPECT_EQ(a->marksOf("G2").size(), 2u);
}

// --- An archive from before the office ------------------------------------------------------------

TEST_F(SharingTest, AnArchiveOfVersion5HasEverythingToSend)
{
    store({reading(0, 2800), reading(0, 2900, "F1", "A002"), Record{"A", "F1", "A001", kOddText, "28010", "202"}});
    store({reading(1, 2802)}, kDownloaded.addDays(1));
    ASSERT_TRUE(a->addCalibrationVersion(linear("G1", kSinceEver, 2000), &e)) << why();
    ASSERT_TRUE(a->addCalibrationVersion(linear("G1", kStart + 30, 2100), &e)) << why();
    ASSERT_TRUE(a->addLevelSets({above("G2", 5000)}, &e)) << why();
    GaugeInfo g1;
    g1.name = "G1";
    g1.type = "裂缝计";
    ASSERT_TRUE(a->updateRegister({g1}, &e)) << why();
    a.reset();
    {
        RawDb raw(path());
        raw.backToVersion5();
        // And a record from before downloads were kept.
        raw.exec("INSERT INTO records(slot, time_s, file, reading, temperature, download, reading_hz, temperature_c, "
                 "utc_s) SELECT id, 1793872920, 1, '29010', '201', NULL, 2901.0, 20.1, 1793872920 FROM slots "
                 "WHERE code = 'A002'");
        raw.exec("UPDATE slots SET count = count + 1, last_s = 1793872920 WHERE code = 'A002'");
    }
    a = openArchive();
    ASSERT_TRUE(a);
    EXPECT_TRUE(isUuid(a->identity()));
    EXPECT_EQ(a->boundOffice(), "");

    const std::vector<PendingDownload> pending = a->unsentDownloads(&e);
    ASSERT_EQ(pending.size(), 3u) << why();
    const auto find = [&](qint64 id) {
        for (const PendingDownload& d : pending)
            if (d.id == id)
                return d;
        ADD_FAILURE() << "no download " << id;
        return PendingDownload{};
    };
    const std::vector<Download> log = a->downloads();
    ASSERT_EQ(log.size(), 2u);
    const PendingDownload none = find(0), first = find(log[0].id), second = find(log[1].id);
    EXPECT_EQ(none.records, 1);
    EXPECT_EQ(first.records, 3);
    EXPECT_EQ(first.readout, "R1");
    EXPECT_EQ(first.partition, "A");
    EXPECT_EQ(first.at, kDownloaded);
    EXPECT_EQ(second.records, 1);
    EXPECT_EQ(a->readingsWaiting(), 5);
    const std::vector<Row> rows = recordsOf(log[0].id);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].time, kOddTimes - idOf(a->oddTimes(), kOddText)); // below every time of its slot
    EXPECT_EQ(rows[0].timeText, kOddText);
    const std::vector<Row> legacy = recordsOf(0);
    ASSERT_EQ(legacy.size(), 1u);
    EXPECT_EQ(legacy[0].time, kStart + 120);

    // Versions get identities, each following the one entered before it.
    const std::vector<SharedCalibration> versions = a->unsentCalibrationVersions();
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_TRUE(isUuid(versions[0].uid));
    EXPECT_TRUE(isUuid(versions[1].uid));
    EXPECT_EQ(versions[0].basedOn, "");
    EXPECT_EQ(versions[1].basedOn, versions[0].uid);
    EXPECT_EQ(versions[1].version.values.R0, 2100);
    const std::vector<SharedLevelSet> sets = a->unsentLevelSets();
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_TRUE(isUuid(sets[0].uid));
    EXPECT_EQ(sets[0].set.gauge, "G2");
    // The register row with content, both slots' assignments and both gauges' judgements go too.
    const std::vector<SharedGauge> gauges = a->changedGauges();
    ASSERT_EQ(gauges.size(), 1u);
    EXPECT_EQ(gauges[0].info, g1);
    EXPECT_EQ(a->changedAssignments().size(), 2u);
    QStringList judged = a->gaugesJudgedSinceSent();
    judged.sort();
    EXPECT_EQ(judged, QStringList({"G1", "G2"}));

    // The identities are kept, not made anew at every open.
    a.reset();
    a = openArchive();
    ASSERT_EQ(a->unsentCalibrationVersions().size(), 2u);
    EXPECT_EQ(a->unsentCalibrationVersions()[0].uid, versions[0].uid);
    RawDb raw(path());
    EXPECT_EQ(raw.number("PRAGMA user_version"), Archive::kSchemaVersion);
    EXPECT_GT(Archive::kSchemaVersion, 5);
}

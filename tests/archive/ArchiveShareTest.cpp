// One archive shared by several programs: opened by many at once, written while another writes,
// copies kept in the spool when they cannot be stored, and opened for reading only.
#include "ArchiveFixture.h"

#include "archive/Recorder.h"
#include "archive/Spool.h"
#include "export/FailureText.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace archive;
using namespace archive::test;

namespace {

const QDateTime kDay = QDateTime(QDate(2026, 12, 8), QTime(14, 30), QTimeZone::utc());

// Runs `body` in child processes started at the same moment; gives their exit codes.
std::vector<int> inProcesses(int count, const std::function<int(int)>& body)
{
    int gate[2];
    if (::pipe(gate) != 0)
        return {};
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(gate[1]);
            char c;
            [[maybe_unused]] auto r = ::read(gate[0], &c, 1); // all start when the gate opens
            ::_exit(body(i));
        }
        children.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]); // opens the gate: every read returns at once
    std::vector<int> codes;
    for (pid_t pid : children) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status));
    }
    return codes;
}

// Holds the archive's write lock from another connection, as another program's long store does.
class OtherWriter {
public:
    explicit OtherWriter(const QString& path) : m_raw(path) { m_raw.exec("BEGIN IMMEDIATE"); }
    void release() { m_raw.exec("COMMIT"); }

private:
    RawDb m_raw;
};

PreviewGrid& gridOf(PreviewGrid& grid, int records)
{
    QByteArray wire = "A20261105-01\r\n";
    for (int i = 0; i < records; ++i)
        wire += QStringLiteral("A%1 %2 %3 %4\r\n")
                    .arg(i % 3 + 1, 3, 10, QLatin1Char('0'))
                    .arg(28000 + i)
                    .arg(200 + i % 7)
                    .arg(instrumentText(kStart + 60 * i))
                    .toLatin1();
    grids::FillGridFromWire(grid, wire);
    return grid;
}

using ShareTest = ArchiveTest;

TEST_F(ShareTest, TwentyProgramsOpeningOneNewArchiveAtOnceAllSucceed)
{
    for (const bool damaged : {false, true}) {
        QDir(QFileInfo(path()).absolutePath()).removeRecursively();
        QDir().mkpath(QFileInfo(path()).absolutePath());
        if (damaged) // each program finds it damaged: one sets it aside, the others find the new one
            writeAll(path(), QByteArray(8192, 'x'));
        const std::vector<int> codes = inProcesses(20, [&](int i) {
            Error error;
            auto a = Archive::open(path(), nullptr, &error);
            if (!a) {
                std::fprintf(stderr, "open %d: %s\n", i, qPrintable(error.detail));
                return 1;
            }
            const auto stored = a->store(fileRecords("A", QStringLiteral("F%1").arg(i), 2, 10), kDay, testOrigin(*a), &error);
            if (!stored || stored->added != 10) {
                std::fprintf(stderr, "store %d: %s\n", i, qPrintable(error.detail));
                return 2;
            }
            return 0;
        });
        EXPECT_EQ(codes, std::vector<int>(20, 0)) << (damaged ? "after a damaged file" : "a new file");
        RawDb raw(path());
        EXPECT_EQ(raw.number("SELECT count(*) FROM records"), 200);
        EXPECT_EQ(raw.number("SELECT count(*) FROM downloads"), 20);
        const QStringList aside = QDir(QFileInfo(path()).absolutePath()).entryList({"archive.sqlite.damaged-*"});
        EXPECT_EQ(aside.size(), damaged ? 1 : 0) << aside.join(' ').toStdString();
    }
}

TEST_F(ShareTest, AStoreWaitsForAnotherProgramAsLongAsItTakesAndSaysSo)
{
    auto a = openArchive();
    ASSERT_TRUE(a);
    a.reset();
    std::atomic<int> told{0};
    std::atomic<qint64> longest{0};
    OpenOptions options;
    options.patience.waiting = [&](qint64 ms) {
        ++told;
        longest = ms;
    };
    a = Archive::open(path(), nullptr, nullptr, options);
    ASSERT_TRUE(a);
    auto other = std::make_unique<OtherWriter>(path());
    // Longer than SQLite's own wait would have lasted.
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5600));
        other->release();
    });
    Error error;
    const auto stored = a->store(fileRecords("A", "F", 2, 100), kDay, testOrigin(*a), &error);
    later.join();
    ASSERT_TRUE(stored) << error.detail.toStdString();
    EXPECT_EQ(stored->added, 100);
    EXPECT_GE(told.load(), 5);
    EXPECT_GE(longest.load(), 5000);
}

TEST_F(ShareTest, AStoppedWaitKeepsNothing)
{
    openArchive().reset();
    std::atomic<bool> stop{false};
    OpenOptions options;
    options.patience.cancelled = [&] { return stop.load(); };
    options.patience.waiting = [&](qint64) { stop = true; };
    auto a = Archive::open(path(), nullptr, nullptr, options);
    ASSERT_TRUE(a);
    const CopyOrigin origin = testOrigin(*a);
    OtherWriter other(path());
    Error error;
    EXPECT_FALSE(a->store(fileRecords("A", "F", 2, 100), kDay, origin, &error));
    EXPECT_EQ(error.kind, ErrorKind::Cancelled);
    other.release();
    RawDb raw(path());
    EXPECT_EQ(raw.number("SELECT count(*) FROM records"), 0);
    EXPECT_EQ(raw.number("SELECT count(*) FROM downloads"), 0);
}

TEST_F(ShareTest, AStoreStoppedBetweenItsRecordsKeepsNothing)
{
    int polls = 0;
    OpenOptions options;
    options.patience.cancelled = [&] { return ++polls > 3; };
    auto a = Archive::open(path(), nullptr, nullptr, options);
    ASSERT_TRUE(a);
    Error error;
    EXPECT_FALSE(a->store(fileRecords("A", "F", 2, 5000), kDay, testOrigin(*a), &error));
    EXPECT_EQ(error.kind, ErrorKind::Cancelled);
    EXPECT_GT(polls, 3);
    RawDb raw(path());
    EXPECT_EQ(raw.number("SELECT count(*) FROM records"), 0);
}

TEST_F(ShareTest, ACopyThatCannotBeStoredWaitsInTheSpoolAndIsStoredAtTheNextOpen)
{
    openArchive().reset();
    {
        RawDb raw(path());
        raw.exec("CREATE TRIGGER refuse BEFORE INSERT ON downloads BEGIN SELECT RAISE(ABORT, 'no room'); END");
    }
    PreviewGrid grid;
    gridOf(grid, 50);
    {
        Recorder recorder(path());
        const QString text = recorder.storeCopy(ReadingLayout::Records(grid), "A", CopyOrigin{Recorder::kUnnamedReadout}, kDay);
        EXPECT_FALSE(recorder.stored());
        EXPECT_TRUE(recorder.spooled());
        EXPECT_TRUE(text.contains("1 份拷贝等待存档")) << text.toStdString();
        EXPECT_EQ(recorder.waitingCopies(), 1);
        // A second one waits behind it.
        gridOf(grid, 60);
        recorder.storeCopy(ReadingLayout::Records(grid), "A", CopyOrigin{Recorder::kUnnamedReadout}, kDay.addSecs(60));
        EXPECT_EQ(recorder.waitingCopies(), 2);
    }
    {
        RawDb raw(path());
        raw.exec("DROP TRIGGER refuse");
        EXPECT_EQ(raw.number("SELECT count(*) FROM records"), 0);
    }
    Recorder recorder(path());
    ASSERT_TRUE(recorder.archive());
    EXPECT_EQ(recorder.waitingCopies(), 0);
    EXPECT_TRUE(recorder.takeDrained().contains("2 份拷贝")) << recorder.takeDrained().toStdString();
    RawDb raw(path());
    EXPECT_EQ(raw.number("SELECT count(*) FROM records"), 60); // the first 50 are among the 60
    EXPECT_EQ(raw.column("SELECT at FROM downloads ORDER BY id"),
              QStringList({kDay.toUTC().toString(Qt::ISODateWithMs), kDay.addSecs(60).toUTC().toString(Qt::ISODateWithMs)}));
    EXPECT_TRUE(QDir(Spool::folderOf(path())).entryList(QDir::Files).isEmpty());
}

TEST_F(ShareTest, AFileInTheSpoolThatIsNoWholeCopyIsLeftAsideNotStored)
{
    openArchive().reset();
    PreviewGrid grid;
    gridOf(grid, 20);
    QString failure;
    auto records = recordsOfGrid(grid, "A");
    ASSERT_TRUE(Spool::keep(path(), recordSource(records), kDay, CopyOrigin{}, &failure)) << failure.toStdString();
    const QString folder = Spool::folderOf(path());
    const QString name = QDir(folder).entryList({"*.copy"}).value(0);
    QByteArray bytes = readAll(folder + "/" + name);
    writeAll(folder + "/" + name, bytes.left(bytes.size() - 20)); // cut short
    Recorder recorder(path());
    ASSERT_TRUE(recorder.archive());
    RawDb raw(path());
    EXPECT_EQ(raw.number("SELECT count(*) FROM records"), 0);
    EXPECT_EQ(QDir(folder).entryList({"*.unreadable"}).size(), 1);
}

TEST_F(ShareTest, TheWindowsStoreRunsOnItsOwnThreadAndAStoppedOneIsKept)
{
    openArchive().reset();
    PreviewGrid grid;
    gridOf(grid, 30);
    Recorder recorder(path());
    QObject context;
    QEventLoop loop;
    recorder.openInBackground(&context, [&] { loop.quit(); });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_TRUE(recorder.archive()) << recorder.failure().toStdString();

    // Stored while another program writes: the window hears that it waits, stops it, and the
    // copy waits in the spool.
    auto other = std::make_unique<OtherWriter>(path());
    QString text;
    int waits = 0;
    recorder.storeInBackground(
        ReadingLayout::Records(grid), "A", CopyOrigin{Recorder::kUnnamedReadout}, &context, [&](const QString& t) { text = t; loop.quit(); },
        [&](qint64) {
            if (++waits == 1)
                recorder.stopStore();
        });
    EXPECT_TRUE(recorder.storing());
    loop.exec();
    EXPECT_FALSE(recorder.storing());
    EXPECT_GE(waits, 1);
    EXPECT_TRUE(recorder.spooled());
    EXPECT_TRUE(text.contains("暂存")) << text.toStdString();
    EXPECT_EQ(recorder.waitingCopies(), 1);
    other->release();

    // The next one is stored; the earlier copy is stored at the next open.
    recorder.storeInBackground(ReadingLayout::Records(grid), "A", CopyOrigin{Recorder::kUnnamedReadout}, &context, [&](const QString& t) { text = t; loop.quit(); }, {});
    loop.exec();
    EXPECT_TRUE(recorder.stored()) << text.toStdString();
    EXPECT_EQ(recorder.archive()->summary().size(), 3u); // the second connection sees it
    recorder.finish();
    Recorder next(path());
    ASSERT_TRUE(next.archive());
    EXPECT_EQ(next.waitingCopies(), 0);
}

TEST_F(ShareTest, TheSummaryIsKeptWithTheRecordsWhateverChangesThem)
{
    auto a = openArchive();
    ASSERT_TRUE(a->store(fileRecords("A", "F", 3, 30), kDay, testOrigin(*a), nullptr));
    ASSERT_TRUE(a->store({{"A", "G", "A001", "not a time", "1", "2"}, {"B", "G", "B001", "", "1", "2"}}, kDay, testOrigin(*a), nullptr));
    RawDb raw(path());
    raw.textView();
    auto check = [&](const char* when) {
        const QStringList truth = raw.column("SELECT partition || code || ':' || count(*) || ':' || coalesce(min(time_s), 0) "
                                             "|| ':' || coalesce(max(time_s), 0) FROM record_texts GROUP BY partition, code "
                                             "ORDER BY partition, code");
        QStringList kept;
        for (const SeriesSummary& s : a->summary())
            kept << QStringLiteral("%1%2:%3:%4:%5").arg(s.partition, s.code).arg(s.count).arg(s.firstTime).arg(s.lastTime);
        EXPECT_EQ(kept, truth) << when;
        EXPECT_EQ(raw.number("SELECT count(*) FROM slots WHERE count > 0"), truth.size()) << when;
    };
    check("stored");
    // Overlapping what is there: some statements add all their records, one only some.
    ASSERT_EQ(a->store(fileRecords("A", "F", 3, 300), kDay, testOrigin(*a), nullptr)->added, 270);
    check("stored again, overlapping");
    // Twice within one copy: kept once, counted once.
    std::vector<Record> twice = fileRecords("C", "H", 2, 100);
    twice.insert(twice.end(), twice.begin(), twice.begin() + 10);
    ASSERT_EQ(a->store(twice, kDay, testOrigin(*a), nullptr)->added, 100);
    check("a record twice in one copy");
    const auto slot = [](const char* code) { return std::string("(SELECT id FROM slots WHERE code = '") + code + "')"; };
    raw.exec(("DELETE FROM records WHERE slot = " + slot("A002") +
              " AND time_s = (SELECT min(time_s) FROM records WHERE slot = " + slot("A002") + ")")
                 .c_str());
    raw.exec(("DELETE FROM records WHERE slot = " + slot("A003") +
              " AND time_s = (SELECT max(time_s) FROM records WHERE slot = " + slot("A003") + ")")
                 .c_str());
    check("the oldest and the newest taken out");
    raw.exec(("UPDATE records SET time_s = time_s + 86400 WHERE slot = " + slot("A001") + " AND time_s >= 0").c_str());
    raw.exec("INSERT INTO slots(readout, partition, code) SELECT readout, partition, 'A009' FROM slots WHERE code = 'A002'");
    raw.exec(("UPDATE records SET slot = " + slot("A009") + " WHERE slot = " + slot("A002")).c_str());
    check("times and slots changed");
    raw.exec("DELETE FROM records WHERE slot IN (SELECT id FROM slots WHERE partition = 'B')");
    check("a component emptied");
}

TEST_F(ShareTest, AVersion2ArchiveGetsItsSummaryWhenOpened)
{
    // As the program before left it: no summary, nothing that keeps one.
    QDir().mkpath(QFileInfo(path()).absolutePath());
    makeVersion2(path(), fileRecords("A", "F", 4, 40));
    auto a = openArchive();
    ASSERT_TRUE(a);
    RawDb raw(path());
    EXPECT_EQ(raw.number("PRAGMA user_version"), Archive::kSchemaVersion);
    EXPECT_EQ(raw.column("SELECT count FROM slots ORDER BY code"), QStringList({"10", "10", "10", "10"}));
    ASSERT_TRUE(a->store(fileRecords("A", "F", 4, 44), kDay, testOrigin(*a), nullptr));
    EXPECT_EQ(raw.column("SELECT count FROM slots ORDER BY code"), QStringList({"11", "11", "11", "11"}));
}

// As a user who may not write to the archive's folder (root may write anywhere).
int asReader(const std::function<int()>& body)
{
    return inProcesses(1, [&](int) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 90;
        return body();
    })[0];
}

TEST_F(ShareTest, ReadingOpensChangeNothingAndWorkOnAMediumThatCannotBeWritten)
{
    {
        auto a = openArchive();
        ASSERT_TRUE(a->store(fileRecords("A", "F", 2, 10), kDay, testOrigin(*a), nullptr));
    }
    const QString folder = QFileInfo(path()).absolutePath();
    const QByteArray before = readAll(path());
    const QStringList filesBefore = QDir(folder).entryList(QDir::Files);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0444), 0);
    const int code = asReader([&] {
        Recorder reader(path(), Recorder::Access::ReadOnly);
        Archive* a = reader.archive();
        if (!a) {
            std::fprintf(stderr, "%s\n", qPrintable(reader.failure()));
            return 1;
        }
        const auto summary = a->summary();
        if (summary.size() != 2 || summary[0].count != 5)
            return 2;
        if (a->series("A", "A001", 0, kStart * 2).size() != 5)
            return 3;
        if (a->store(fileRecords("A", "G", 2, 2), kDay, testOrigin(*a), nullptr))
            return 4;
        // Nothing archived yet reads as an empty archive, and makes no file.
        Recorder none(folder + "/none.sqlite", Recorder::Access::ReadOnly);
        if (!none.archive() || !none.archive()->summary().empty() || QFileInfo::exists(folder + "/none.sqlite"))
            return 5;
        return 0;
    });
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readAll(path()), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), filesBefore);
}

TEST_F(ShareTest, ANewArchiveThatCannotBeMadeLeavesNoFileAndSaysOneThing)
{
    QDir().mkpath(QFileInfo(path()).absolutePath());
    writeAll(path(), QByteArray(4096, 'x')); // damaged: set aside, then no room for the new one
    const int code = inProcesses(1, [&](int) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, 0}; // a full disk: no file may grow
        ::setrlimit(RLIMIT_FSIZE, &none);
        Recorder recorder(path());
        if (recorder.archive())
            return 1;
        const QString notice = recorder.takeNotice();
        if (notice.contains("新建") || !notice.contains("已原样移至")) {
            std::fprintf(stderr, "%s\n", qPrintable(notice));
            return 2;
        }
        return 0;
    })[0];
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(QFileInfo::exists(path()));
    EXPECT_FALSE(QFileInfo::exists(path() + "-journal"));
    // The next open starts it.
    EXPECT_TRUE(openArchive());
}

} // namespace

// A copy that cannot be kept either (the disk full, a size limit) leaves nothing in the spool
// that could pass for a copy, and the reason is given in the operator's words.
TEST_F(ShareTest, ACopyThatCannotBeKeptLeavesNothingAndSaysWhy)
{
    std::vector<Record> records;
    for (int i = 0; i < 20000; ++i)
        records.push_back(Record{"A", "F1", "A001", instrumentTimeText(1'767'225'600 + i * 60), "28456", "235"});
    const QString path = this->path();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{}, limit{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = {64 * 1024, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    QString failure;
    const bool kept = Spool::keep(path, recordSource(records), QDateTime::currentDateTimeUtc(), CopyOrigin{}, &failure);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(kept);
    EXPECT_EQ(failure, FailureText::reason(workbook::ErrorKind::TooLarge)) << failure.toStdString();
    EXPECT_EQ(Spool::waiting(path), 0);
    EXPECT_EQ(QDir(Spool::folderOf(path)).entryList(QDir::Files | QDir::Hidden), QStringList());
}

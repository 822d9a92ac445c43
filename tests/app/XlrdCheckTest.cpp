// Saved through the built-in server, read back by python3-xlrd.
#include "app/TreeLook.h"
#include "export/BuiltinServer.h"
#include "export/FailureText.h"
#include "app/SaveCommand.h"
#include "storage/PartitionTree.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "tests/support/Form1Fixture.h"
#include "tests/support/XlrdReader.h"

#include <QDir>
#include <QFile>
#include <workbook/workbook.h>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTreeView>

#include <csignal>
#include <sys/resource.h>

namespace {

class XlrdCheckTest : public Form1Fixture {
protected:
    void SetUp() override
    {
        servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
        window.tree().Bulid_Tree("A", "F\r\n");
        const QModelIndex a = window.tree().itemByKey("A")->index();
        window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(a));
    }
    QJsonArray saveAndRead(const QString& reply)
    {
        grids::FillGrid(window.grid(), reply);
        const QString path = tmp.filePath("A.xls");
        dialogs.answers = {path};
        window.Command4->click();
        EXPECT_EQ(messenger.messages.value(0), SaveGrid::successText());
        QString error;
        const QJsonArray sheets = readWithXlrd(path, &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return sheets;
    }
    static QJsonArray cell(const QJsonObject& sheet, int row, int col)
    {
        for (const auto& c : sheet["cells"].toArray()) {
            const QJsonArray a = c.toArray();
            if (a[0].toInt() == row && a[1].toInt() == col)
                return a;
        }
        return {};
    }
    QTemporaryDir tmp;
};

} // namespace

TEST_F(XlrdCheckTest, OneSheetPerFileWithHeadersAndNumbers)
{
    const QJsonArray sheets = saveAndRead("A20261105-01\r\n"
                                          "A001 28456 235 2026-12-07 10:31:05\r\n"
                                          "A002 -52 -3 2026-12-07 10:32:05\r\n"
                                          "A20261106-02\r\n"
                                          "A001 30000 240 2026-12-08 09:00:00\r\n");
    ASSERT_EQ(sheets.size(), 2);
    const QJsonObject first = sheets[0].toObject(), second = sheets[1].toObject();
    EXPECT_EQ(first["name"].toString(), "A20261105-01");
    EXPECT_EQ(second["name"].toString(), "A20261106-02");
    for (const QJsonObject& s : {first, second}) {
        EXPECT_EQ(cell(s, 1, 1)[3].toString(), "编号");
        EXPECT_EQ(cell(s, 1, 4)[3].toString(), "时间");
    }
    EXPECT_EQ(cell(first, 3, 1)[3].toString(), "A001");
    EXPECT_EQ(cell(first, 3, 2)[2].toString(), "number");
    EXPECT_DOUBLE_EQ(cell(first, 3, 2)[3].toDouble(), 2845.6);
    EXPECT_DOUBLE_EQ(cell(first, 3, 3)[3].toDouble(), 23.5);
    EXPECT_DOUBLE_EQ(cell(first, 4, 2)[3].toDouble(), -5.2);
    EXPECT_EQ(cell(first, 4, 4)[3].toString(), "2026-12-07 10:32:05");
    EXPECT_EQ(cell(second, 2, 1)[3].toString(), "A20261106-02");
    EXPECT_DOUBLE_EQ(cell(second, 3, 2)[3].toDouble(), 3000.0);
}

TEST_F(XlrdCheckTest, MoreRowsThanAnXlsSheetHoldsGoToXlsxOrCsvInstead)
{
    QString reply = "BIG\r\n";
    for (int i = 0; i < 65536; ++i)
        reply += "A001 1 2 D T\r\n";
    grids::FillGrid(window.grid(), reply);
    const QString path = tmp.filePath("big.xls");
    dialogs.answers = {path};
    window.Command4->click();
    // the header row, the file's name row and 65,536 records: refused before the file is touched
    EXPECT_EQ(messenger.messages,
              QStringList({"“BIG”有65538行（含标题行），超过了EXCEL(.xls)工作表最多65536行的限制，无法保存！未写入任何文件。"
                           "请另存为 .xlsx 或 .csv 格式。"}));
    EXPECT_TRUE(QDir(tmp.path()).isEmpty());
    EXPECT_TRUE(window.Command4->isEnabled());

    // as .xlsx and as .csv the whole grid is saved
    messenger.messages.clear();
    dialogs.answers = {tmp.filePath("big.xlsx"), tmp.filePath("big.csv")};
    window.Command4->click();
    window.Command4->click();
    EXPECT_EQ(messenger.messages, QStringList(2, "成功保存文件，请查阅！"));
    auto book = workbook::Workbook::open(tmp.filePath("big.xlsx").toStdString());
    ASSERT_TRUE(book);
    int rows = 0;
    book->sheet(0).forEachCell([&](int r, int, const std::string&) { rows = std::max(rows, r); });
    EXPECT_EQ(rows, 65538);
    QFile csv(tmp.filePath("big.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count("\r\n"), 1 + 65536); // its header and a row per record
}

TEST_F(XlrdCheckTest, EveryFileNameTheInstrumentAcceptsCanBeSaved)
{
    const QJsonArray sheets = saveAndRead("A:1\r\nA001 1 2 D T\r\n"
                                          "A:1\r\nA002 1 2 D T\r\n"
                                          "[x]\r\nA003 1 2 D T\r\n"
                                          "'q'\r\nA004 1 2 D T\r\n");
    QStringList names;
    for (const auto& sheet : sheets)
        names << sheet.toObject()["name"].toString();
    EXPECT_EQ(names, QStringList({"A-1", "A-1-2", "-x-", "-q-"}));
    EXPECT_EQ(cell(sheets[1].toObject(), 2, 1)[3].toString(), "A:1");
    EXPECT_EQ(cell(sheets[1].toObject(), 3, 1)[3].toString(), "A002");
}

TEST_F(XlrdCheckTest, AFailedSaveKeepsTheOldWorkbookAndSaysWhy)
{
    saveAndRead("A1\r\nA001 1 2 D T\r\n");
    const QString path = tmp.filePath("A.xls");
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray before = saved.readAll();
    saved.close();
    auto expectUnchanged = [&](const char* what) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << what;
        EXPECT_TRUE(f.readAll() == before) << what;
        EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList({"A.xls"})) << what;
    };
    auto saveAgain = [&](const QString& reply, const QString& to) {
        messenger.messages.clear();
        grids::FillGrid(window.grid(), reply);
        dialogs.answers = {to};
        window.Command4->click();
    };

    // the engine refuses a step: an empty line makes a worksheet without a name
    saveAgain("A1\r\nA001 5 6 D T\r\n\r\nA002 1 2 D T\r\n", path);
    EXPECT_EQ(messenger.messages,
              QStringList({SaveGrid::failureText() + "\n工作表名称不符合要求（不能为空，不能含有 : \\ / ? * [ ]）。"}));
    expectUnchanged("empty worksheet name");

    // the disk stops the work copy (a file size limit, where a full disk would give its own reason)
    {
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{}, limit{};
        getrlimit(RLIMIT_FSIZE, &saved);
        limit = {4096, saved.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        saveAgain("A1\r\nA001 5 6 D T\r\n", path);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
        EXPECT_EQ(messenger.messages, QStringList({SaveGrid::failureText() + "\n" + FailureText::reason(workbook::ErrorKind::TooLarge)}))
            << messenger.messages.join(" / ").toStdString();
        expectUnchanged("disk full");
    }

    // the file is read-only: refused for every type with the same reason, and kept
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    for (const char* type : {"xls", "xlsx", "csv"}) {
        const QString same = tmp.filePath(QStringLiteral("A.") + type);
        if (!QFile::exists(same)) {
            QFile::copy(path, same);
            ASSERT_TRUE(QFile::setPermissions(same, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        }
        saveAgain("A1\r\nA001 5 6 D T\r\n", same);
        EXPECT_EQ(messenger.messages, QStringList({SaveGrid::failureText() + "\n" + FailureText::reason(workbook::ErrorKind::AccessDenied)}))
            << type;
        QFile f(same);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << type;
        EXPECT_TRUE(f.readAll() == before) << type;
    }
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList({"A.csv", "A.xls", "A.xlsx"}));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    for (const char* gone : {"A.xlsx", "A.csv"}) {
        QFile::setPermissions(tmp.filePath(gone), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QFile::remove(tmp.filePath(gone));
    }

    // the folder is gone
    saveAgain("A1\r\nA001 5 6 D T\r\n", tmp.filePath("gone/A.xls"));
    EXPECT_EQ(messenger.messages, QStringList({SaveGrid::failureText() + "\n找不到该文件或文件夹。"}));
    expectUnchanged("no folder");
}

TEST_F(XlrdCheckTest, AChineseNameAndChineseTextSurviveEveryTypeAndEveryReader)
{
    grids::FillGrid(window.grid(), QStringLiteral("测点甲-01\r\n"
                                                  "A001 28456 235 2026-12-07 10:31:05\r\n"
                                                  "乙02\r\n"
                                                  "B001 -52 -3 2026-12-08 上午\r\n"));
    const QString stem = tmp.filePath(QStringLiteral("大坝 分区A"));
    dialogs.answers = {stem + ".xls", stem + ".xlsx", stem + ".csv"};
    for (int i = 0; i < 3; ++i)
        window.Command4->click();
    ASSERT_EQ(messenger.messages, QStringList(3, SaveGrid::successText()));

    // The two workbooks, each by a reader of its own type.
    QString error;
    const QJsonArray xls = readWithXlrd(stem + ".xls", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const QJsonArray xlsx = readWithOpenpyxl(stem + ".xlsx", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    for (const QJsonArray& book : {xls, xlsx}) {
        ASSERT_GE(book.size(), 2);
        const QJsonObject first = book[0].toObject(), second = book[1].toObject();
        EXPECT_EQ(first["name"].toString(), "测点甲-01");
        EXPECT_EQ(second["name"].toString(), "乙02");
        EXPECT_EQ(cell(first, 1, 3)[3].toString(), "温度");
        EXPECT_EQ(cell(first, 2, 1)[3].toString(), "测点甲-01");
        EXPECT_EQ(cell(first, 3, 2)[2].toString(), "number");
        EXPECT_DOUBLE_EQ(cell(first, 3, 2)[3].toDouble(), 2845.6);
        EXPECT_EQ(cell(second, 3, 4)[3].toString(), "2026-12-08 上午");
        EXPECT_DOUBLE_EQ(cell(second, 3, 3)[3].toDouble(), -0.3);
    }

    // The CSV: a row per record under its file's name.
    const QList<QStringList> rows = readWithPythonCsv(stem + ".csv", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], QStringList({"BOM"}));
    EXPECT_EQ(rows[2], QStringList({"测点甲-01", "A001", "2845.6", "23.5", "2026-12-07 10:31:05"}));
    EXPECT_EQ(rows[3], QStringList({"乙02", "B001", "-5.2", "-0.3", "2026-12-08 上午"}));

    // LibreOffice opens the .xlsx and converts every worksheet as it was written.
    if (!haveLibreOffice())
        GTEST_SKIP() << "LibreOffice (soffice) is missing: the conversion check did not run; "
                        "scripts/bootstrap installs libreoffice-calc-nogui";
    const QJsonArray converted = convertWithLibreOffice(stem + ".xlsx", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(converted.size(), 2);
    EXPECT_EQ(converted[0].toObject()["name"].toString(), "测点甲-01");
    EXPECT_EQ(converted[0].toObject()["rows"].toArray().toVariantList(),
              QJsonArray({QJsonArray({"编号", "读数", "温度", "时间"}), QJsonArray({"测点甲-01", "0", "0", ""}),
                          QJsonArray({"A001", "2845.6", "23.5", "2026-12-07 10:31:05"})})
                  .toVariantList());
    EXPECT_EQ(converted[1].toObject()["name"].toString(), "乙02");
    EXPECT_EQ(converted[1].toObject()["rows"].toArray()[2].toArray().toVariantList(),
              QJsonArray({"B001", "-5.2", "-0.3", "2026-12-08 上午"}).toVariantList());
}

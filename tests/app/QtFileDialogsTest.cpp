#include "app/QtFileDialogs.h"

#include "tests/support/Modal.h"

#include <QFileDialog>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(QtFileDialogs, FiltersBecomeQtFilters)
{
    EXPECT_EQ(QtFileDialogs::qtFilter("*.xls|*.xls|*.txt"), "*.xls (*.xls);;*.txt (*.txt)");
    EXPECT_EQ(QtFileDialogs::qtFilter("*.xls|*.xls|*.xlsx|*.xlsx"), "*.xls (*.xls);;*.xlsx (*.xlsx)");
    EXPECT_EQ(QtFileDialogs::qtFilter("Workbooks|*.xls"), "Workbooks (*.xls)");
}

TEST(QtFileDialogs, SaveProposesTheNameAndReturnsTheChoice)
{
    QTemporaryDir dir;
    QtFileDialogs dialogs;
    QString proposed;
    whenModalOpens<QFileDialog>([&](QFileDialog& d) {
        proposed = d.selectedFiles().value(0);
        d.setDirectory(dir.path());
        d.selectFile(dir.filePath("chosen.xls"));
        static_cast<QDialog&>(d).accept();
    });
    const std::optional<QString> chosen = dialogs.saveFileName("*.xls|*.xls|*.txt", "A20261105-01.xls");
    EXPECT_TRUE(proposed.endsWith("A20261105-01.xls")) << proposed.toStdString();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, dir.filePath("chosen.xls"));

    // the chosen type gives a bare name its extension; a name with an offered one keeps it
    const QStringList filters{"EXCEL 97-2003 工作簿 (*.xls)", "EXCEL 工作簿 (*.xlsx)", "CSV (*.csv)"};
    EXPECT_EQ(QtFileDialogs::withChosenSuffix("/d/A", filters, filters[1]), "/d/A.xlsx");
    EXPECT_EQ(QtFileDialogs::withChosenSuffix("/d/A.csv", filters, filters[1]), "/d/A.csv");
    EXPECT_EQ(QtFileDialogs::withChosenSuffix("/d/A.XLS", filters, filters[2]), "/d/A.XLS");
    EXPECT_EQ(QtFileDialogs::withChosenSuffix("/d/A.v2", filters, filters[0]), "/d/A.v2.xls");

    whenModalOpens<QFileDialog>([](QFileDialog& d) { d.reject(); });
    EXPECT_FALSE(dialogs.openFileName("*.xls|*.xls|*.xlsx|*.xlsx").has_value());
}

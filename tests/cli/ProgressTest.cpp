// The progress line's texts and the console's handling of it.
#include "cli/Console.h"
#include "cli/Progress.h"

#include <QFile>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <cstdio>

using namespace cli;

TEST(CliProgress, TransferShowsBytesRateAndElapsed)
{
    EXPECT_EQ(transferLine(1234567, 2500), "正在接收数据：1,234,567 字节，493,826 字节/秒，用时 2.5 秒");
    EXPECT_EQ(transferLine(10, 0), "正在接收数据：10 字节，0 字节/秒，用时 0.0 秒");
}

TEST(CliProgress, RowsShowABarAndAPercentage)
{
    EXPECT_EQ(rowsLine(0, 4, 0, 8), "[--------]   0% 0/4 行，用时 0.0 秒");
    EXPECT_EQ(rowsLine(1, 4, 1500, 8), "[##------]  25% 1/4 行，用时 1.5 秒");
    EXPECT_EQ(rowsLine(3, 3, 9000, 8), "[########] 100% 3/3 行，用时 9.0 秒");
    EXPECT_EQ(rowsLine(5, 3, 0, 8), "[########] 100% 3/3 行，用时 0.0 秒"); // never past the end
}

TEST(CliProgress, StepsShowWhatABarAndAPercentage)
{
    EXPECT_EQ(stepsLine("正在收集数据", 0, 200, 0, 8), "[--------]   0% 正在收集数据 0/200，用时 0.0 秒");
    EXPECT_EQ(stepsLine("正在写入报告", 150, 200, 2500, 8), "[######--]  75% 正在写入报告 150/200，用时 2.5 秒");
    EXPECT_EQ(stepsLine("x", 7, 3, 0, 8), "[########] 100% x 3/3，用时 0.0 秒"); // never past the end
    EXPECT_EQ(stepsLine("x", 0, 0, 0, 8), "[--------]   0% x 0/0，用时 0.0 秒"); // nothing to do yet
}

namespace {
// A console whose streams are temporary files, read back after use.
struct Captured {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ~Captured()
    {
        std::fclose(out);
        std::fclose(err);
    }
    static QByteArray read(std::FILE* f)
    {
        std::fflush(f);
        std::rewind(f);
        QByteArray all;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            all.append(buffer, qsizetype(n));
        return all;
    }
};
} // namespace

TEST(CliProgress, NothingIsDrawnWhenDisabled)
{
    Captured c;
    {
        Console console(c.out, c.err, /*progress=*/false, /*quiet=*/false);
        Progress progress(console);
        progress.transfer(100, 100);
        progress.startRows(3);
        progress.rowDone();
        progress.transferDone(100, 200);
        console.out("result\n");
        console.note("成功");
    }
    EXPECT_EQ(Captured::read(c.err), QString("成功\n").toUtf8());
    EXPECT_EQ(Captured::read(c.out), "result\n");
}

TEST(CliProgress, TheLineIsRedrawnInPlaceAndEndedBeforeAMessage)
{
    Captured c;
    {
        Console console(c.out, c.err, true, false);
        Progress progress(console);
        progress.transfer(10, 1000);
        progress.transfer(20, 2000);
        console.error("出错\r\n原因");
    }
    const QString err = QString::fromUtf8(Captured::read(c.err));
    EXPECT_EQ(err, "\r正在接收数据：10 字节，10 字节/秒，用时 1.0 秒\x1b[K"
                   "\r正在接收数据：20 字节，10 字节/秒，用时 2.0 秒\x1b[K\n"
                   "出错\n原因\n");
}

TEST(CliProgress, QuietShowsNeitherProgressNorNotesButErrors)
{
    Captured c;
    {
        Console console(c.out, c.err, true, /*quiet=*/true);
        Progress progress(console);
        progress.transfer(10, 1000);
        console.note("成功保存文件，请查阅！");
        console.error("失败");
    }
    EXPECT_EQ(QString::fromUtf8(Captured::read(c.err)), "失败\n");
}

TEST(CliProgress, AResultBetweenTwoRedrawsGetsALineOfItsOwn)
{
    Captured c;
    {
        Console console(c.out, c.err, true, false);
        console.progress("p1");
        console.out("A001=X\tOK\n");
    }
    EXPECT_EQ(Captured::read(c.out), "A001=X\tOK\n");
    // the line is wiped before the result and drawn again after it, then ended
    EXPECT_EQ(Captured::read(c.err), "\rp1\x1b[K\r\x1b[K\rp1\x1b[K\n");
}

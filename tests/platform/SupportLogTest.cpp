// The support log rotates at its size limit and keeps a bounded number of old files.
#include "platform/SupportLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

TEST(SupportLog, RotatesAtItsLimitKeepingTheNewestLinesAndABoundedNumberOfFiles)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("ktm520.log");
    ASSERT_TRUE(SupportLog::install(file, {.maxBytes = 4000, .keep = 2}));
    EXPECT_EQ(SupportLog::currentFile(), file);
    for (int i = 0; i < 200; ++i)
        qCInfo(logLink).noquote() << QStringLiteral("line %1 ").arg(i, 3, 10, QLatin1Char('0')) + QString(60, QLatin1Char('x'));
    SupportLog::uninstall();
    EXPECT_EQ(SupportLog::currentFile(), QString());

    const QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, QStringList({"ktm520.log", "ktm520.log.1", "ktm520.log.2"})) << "two old files, no more";
    for (const QString& f : files)
        EXPECT_LE(QFile(dir.filePath(f)).size(), 4000) << f.toStdString();
    const QString current = contents(file);
    EXPECT_TRUE(current.contains("line 199 ")) << "the newest line is in the current file";
    EXPECT_FALSE(current.contains("line 000 ")) << "the oldest went with the rotations";
    // Each file continues where the one before it ended.
    const QString previous = contents(file + ".1");
    const qsizetype last = previous.lastIndexOf("line ");
    const int lastNumber = previous.mid(last + 5, 3).toInt();
    const qsizetype first = current.indexOf("line ");
    EXPECT_EQ(current.mid(first + 5, 3).toInt(), lastNumber + 1);
}

TEST(SupportLog, NothingIsWrittenOrShownWithoutALogAndAFolderThatCannotBeMadeIsReported)
{
    QTemporaryDir dir;
    // Not installed: the categories are silent (no file, and nothing on the console).
    EXPECT_FALSE(logExchange().isInfoEnabled());
    QFile blocker(dir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString why;
    EXPECT_FALSE(SupportLog::install(dir.filePath("not-a-folder/ktm520.log"), {}, &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(logExchange().isInfoEnabled()) << "a failed install leaves logging as it was";
    ASSERT_TRUE(SupportLog::install(dir.filePath("ktm520.log")));
    EXPECT_TRUE(logExchange().isInfoEnabled());
    SupportLog::uninstall();
    EXPECT_FALSE(logExchange().isInfoEnabled());
}

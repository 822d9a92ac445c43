// The program's own files are found beside it, in the share folder of its prefix, then in the
// system's data folders, in that order.
#include "platform/DataFiles.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

namespace {

// Sets an environment variable for the life of the object and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// The path found from the program folder `bin`, as text a failure shows readably.
std::string found(const QString& bin) { return dataFilePath("Data.xls", bin).toStdString(); }

void touch(const QString& path)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

} // namespace

TEST(DataFiles, BesideTheProgramThenThePrefixShareFolderThenTheSystemDataFoldersElseBesideTheProgram)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    // An installed tree: <root>/usr/bin/ktm520 and <root>/usr/share/ktm520/Data.xls, and a
    // system data folder of its own.
    const QString bin = root.filePath("usr/bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    const QString beside = bin + "/Data.xls";
    const QString shared = root.filePath("usr/share/ktm520/Data.xls");
    const QString system = root.filePath("xdg/ktm520/Data.xls");
    ScopedEnv home("XDG_DATA_HOME", root.filePath("home-data").toLocal8Bit());
    ScopedEnv dirs("XDG_DATA_DIRS", root.filePath("xdg").toLocal8Bit());
    touch(beside);
    touch(shared);
    touch(system);

    EXPECT_EQ(found(bin), beside.toStdString());
    ASSERT_TRUE(QFile::remove(beside));
    EXPECT_EQ(found(bin), shared.toStdString());
    ASSERT_TRUE(QFile::remove(shared));
    EXPECT_EQ(found(bin), system.toStdString());
    ASSERT_TRUE(QFile::remove(system));
    EXPECT_EQ(found(bin), beside.toStdString()) << "none exists: the path a message names";

    // The user's data folder comes before the system's, and a folder of the name is no file.
    ASSERT_TRUE(QDir().mkpath(beside));
    ASSERT_TRUE(QDir().mkpath(shared));
    const QString user = root.filePath("home-data/ktm520/Data.xls");
    touch(user);
    touch(system);
    EXPECT_EQ(found(bin), user.toStdString());
}

TEST(DataFiles, TheBuildTreesTemplateIsFoundBesideTheProgram)
{
    // The tests run from the build's bin folder, where the build makes the template; wherever
    // that folder is now (a build tree may be moved or copied).
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/Data.xls");
    ASSERT_TRUE(QFileInfo::exists(beside)) << beside.toStdString();
    EXPECT_EQ(QFileInfo(dataFilePath("Data.xls")).canonicalFilePath().toStdString(),
              QFileInfo(beside).canonicalFilePath().toStdString());
}

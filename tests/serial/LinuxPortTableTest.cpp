#include "serial/LinuxPortTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QStringList names(const LinuxPortTable& t)
{
    QStringList out;
    for (const auto& e : t.entries())
        out << e.name + "=" + e.device;
    return out;
}

struct Folder {
    QTemporaryDir dir;
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    QString device(const QString& name) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        return path(name);
    }
    void link(const QString& target, int n) const { QFile::link(target, path(QStringLiteral("com%1").arg(n))); }
};

} // namespace

TEST(LinuxPortTable, LinksFirstThenDevicesWithoutCollisions)
{
    Folder f;
    const QString pts3 = f.device("pts3");
    const QString usb0 = f.device("ttyUSB0");
    const QString s0 = f.device("ttyS0");
    f.link(pts3, 1);
    f.link(usb0, 3); // a device that also appears in the system list: named once, by its link
    LinuxPortTable t(f.dir.path(), {{usb0, "USB"}, {s0, "16550A"}, {f.path("ttyACM0"), "modem"}});
    // devices in path order: ttyACM0, ttyS0 (ttyUSB0 already has a link); numbers 2 and 4 are free
    EXPECT_EQ(names(t), QStringList({"COM1=" + pts3, "COM3=" + usb0, "COM2=" + f.path("ttyACM0"),
                                     "COM4=" + s0}));
    EXPECT_EQ(t.resolve(3), usb0);
    EXPECT_EQ(t.resolve(4), s0);
    EXPECT_EQ(t.resolve(9), QString());
    EXPECT_EQ(t.description("com2"), "modem");
    EXPECT_EQ(GetComPorts(t), QStringLiteral("COM1 COM3 COM2 COM4 "));
}

TEST(LinuxPortTable, DanglingLinksAndOtherFilesAreIgnored)
{
    Folder f;
    f.link(f.path("gone"), 2);
    f.device("com5"); // a plain file, not a link
    f.link(f.device("x"), 300); // out of range
    LinuxPortTable t(f.dir.path(), {});
    EXPECT_TRUE(t.entries().isEmpty());
    EXPECT_EQ(GetComPorts(t), QString());
}

TEST(LinuxPortTable, MissingFolderStillListsDevices)
{
    LinuxPortTable t("/nonexistent/varnok-ports", {{"/dev/ttyS1", ""}, {"/dev/ttyS0", ""}});
    EXPECT_EQ(names(t), QStringList({"COM1=/dev/ttyS0", "COM2=/dev/ttyS1"}));
}

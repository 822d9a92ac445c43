#include "serial/LinuxPortTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>

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
    f.device("com5");           // a plain file, not a link
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

TEST(LinuxPortTable, NumbersStayWithTheirDevicesAcrossReads)
{
    Folder f;
    const QString pts = f.device("pts7");
    const QString s0 = f.device("ttyS0");
    const QString s1 = f.device("ttyS1");
    const QString usb0 = f.device("ttyUSB0");
    f.link(pts, 1);
    LinuxPortTable::Numbers numbers;
    const LinuxPortTable first(f.dir.path(), {{s0, ""}, {s1, ""}}, &numbers);
    EXPECT_EQ(names(first), QStringList({"COM1=" + pts, "COM2=" + s0, "COM3=" + s1}));

    // the published link and ttyS0 go away: ttyS1 is still COM3, nothing else takes 1 or 2
    QFile::remove(f.path("com1"));
    const LinuxPortTable second(f.dir.path(), {{s1, ""}}, &numbers);
    EXPECT_EQ(names(second), QStringList({"COM3=" + s1}));
    EXPECT_EQ(second.resolve(1), QString());
    EXPECT_EQ(second.find(s1), s1);
    EXPECT_EQ(second.find(pts), QString());
    EXPECT_EQ(second.find(s0), QString());

    // a new device gets a number no earlier device had; a device that returns gets its own back
    const LinuxPortTable third(f.dir.path(), {{usb0, ""}, {s1, ""}, {s0, ""}}, &numbers);
    EXPECT_EQ(names(third), QStringList({"COM2=" + s0, "COM3=" + s1, "COM4=" + usb0}));

    // a link that now claims a device's number wins; the device moves to a number that no
    // device of this run has had (1 still stands for the vanished pts7)
    QFile::remove(pts);
    f.link(f.device("pts9"), 3);
    const LinuxPortTable fourth(f.dir.path(), {{s0, ""}, {s1, ""}, {usb0, ""}}, &numbers);
    EXPECT_EQ(names(fourth), QStringList({"COM3=" + f.path("pts9"), "COM2=" + s0, "COM5=" + s1, "COM4=" + usb0}));

    // without remembered numbers the table numbers afresh, as the first read of a run does
    EXPECT_EQ(names(LinuxPortTable(f.dir.path(), {{s1, ""}})), QStringList({"COM3=" + f.path("pts9"), "COM1=" + s1}));
}

TEST(LinuxPortTable, ALinkOlderThanTheTerminalItNamesIsLeftOutAndShiftsNoNumber)
{
    // A simulator published com1 for its terminal and was killed; the system then gave the
    // terminal's number to another session. The link is older than the terminal it names.
    Folder f;
    const int reused = posix_openpt(O_RDWR | O_NOCTTY);
    const int machine = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(reused, 0);
    ASSERT_GE(machine, 0);
    ASSERT_EQ(grantpt(reused), 0);
    ASSERT_EQ(unlockpt(reused), 0);
    ASSERT_EQ(grantpt(machine), 0);
    ASSERT_EQ(unlockpt(machine), 0);
    const QString terminal = QString::fromLocal8Bit(ptsname(reused));
    const QString other = QString::fromLocal8Bit(ptsname(machine));
    f.link(terminal, 1);
    // published after the terminal was made: a live link, listed first
    EXPECT_EQ(names(LinuxPortTable(f.dir.path(), {{other, "machine"}})),
              QStringList({"COM1=" + terminal, "COM2=" + other}));

    // the link dates from before the terminal: left out, and the machine's port keeps COM1
    const struct timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(f.path("com1")).constData(), hourAgo, AT_SYMLINK_NOFOLLOW), 0);
    const LinuxPortTable t(f.dir.path(), {{other, "machine"}});
    EXPECT_EQ(names(t), QStringList({"COM1=" + other}));
    EXPECT_EQ(t.find(terminal), QString());

    // an old link to a file that is no terminal is the user's own, and stays
    const QString plain = f.device("ttyFAKE");
    f.link(plain, 2);
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(f.path("com2")).constData(), hourAgo, AT_SYMLINK_NOFOLLOW), 0);
    EXPECT_EQ(names(LinuxPortTable(f.dir.path(), {})), QStringList({"COM2=" + plain}));
    ::close(reused);
    ::close(machine);
}

#include "serial/LinuxPortTable.h"
#include "serial/QtSerialLink.h"
#include "serial/LinkTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// A pseudo-terminal whose far end the test holds; its device vanishes when closed.
struct Pty {
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            device = QString::fromLocal8Bit(ptsname(master));
    }
    ~Pty() { close(); }
    void close()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    int master = -1;
    QString device;
};

bool hasChinese(const QString& text)
{
    return text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]")));
}

} // namespace

// The simulator publishes its pty as com1, the machine has another serial device; the list was
// read while both were there, then the simulator went away.
TEST(QtSerialLink, AListedNameOpensItsOwnDeviceOrSaysItIsGone)
{
    QTemporaryDir folder;
    Pty simulator, machine;
    ASSERT_FALSE(simulator.device.isEmpty());
    ASSERT_FALSE(machine.device.isEmpty());
    ASSERT_TRUE(QFile::link(simulator.device, QDir(folder.path()).filePath("com1")));
    LinuxPortTable::Numbers numbers;
    auto table = [&] { return LinuxPortTable(folder.path(), {{machine.device, "machine"}}, &numbers); };
    QtSerialLink link([&](int n) { return table().resolve(n); },
                      [&](const QString& device) { return table().find(device); });

    const LinuxPortTable list = table();
    ASSERT_EQ(list.resolve(1), simulator.device);
    ASSERT_EQ(list.resolve(2), machine.device);

    ASSERT_TRUE(link.setPortNumber(1));
    link.setDevice(list.resolve(1));
    ASSERT_TRUE(link.open()) << link.lastErrorText().toStdString();
    link.close();

    simulator.close();
    QFile::remove(QDir(folder.path()).filePath("com1"));
    ASSERT_FALSE(QFileInfo::exists(simulator.device));

    // chosen from the list: that device, which is gone
    EXPECT_FALSE(link.open());
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.lastOpenError(), SerialLink::OpenError::NotFound);
    EXPECT_TRUE(link.lastErrorText().contains(simulator.device));
    EXPECT_TRUE(hasChinese(link.lastErrorText())) << link.lastErrorText().toStdString();

    // typed: COM1 is still nobody else's number
    link.setDevice(QString());
    EXPECT_FALSE(link.open());
    EXPECT_EQ(link.lastOpenError(), SerialLink::OpenError::NotFound);

    // the other device is still COM2 and opens
    ASSERT_TRUE(link.setPortNumber(2));
    link.setDevice(list.resolve(2));
    EXPECT_TRUE(link.open()) << link.lastErrorText().toStdString();
    link.close();
}
TEST(QtSerialLink, FailuresAreWordedInChinese)
{
    QtSerialLink link([](int) { return QStringLiteral("/nonexistent/ttyX"); });
    EXPECT_FALSE(link.setPortNumber(0));
    EXPECT_TRUE(hasChinese(link.lastErrorText())) << link.lastErrorText().toStdString();
    EXPECT_FALSE(link.setSettings("fast,N,8,1"));
    EXPECT_TRUE(hasChinese(link.lastErrorText())) << link.lastErrorText().toStdString();
    ASSERT_TRUE(link.setPortNumber(3));
    EXPECT_FALSE(link.open());
    // our words, the device, and the system's own reason in brackets
    const QString text = link.lastErrorText();
    EXPECT_TRUE(hasChinese(text)) << text.toStdString();
    EXPECT_TRUE(text.contains("/nonexistent/ttyX")) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("（.+）"))) << text.toStdString();

    QtSerialLink nothing([](int) { return QString(); });
    ASSERT_TRUE(nothing.setPortNumber(5));
    EXPECT_FALSE(nothing.open());
    EXPECT_TRUE(hasChinese(nothing.lastErrorText())) << nothing.lastErrorText().toStdString();
    EXPECT_TRUE(nothing.lastErrorText().contains("COM5"));
}

// Qt refuses a port that another program holds, and a file that is no device, with the same
// permission error as a device the user may not open; only the last is a matter of the user's
// groups (dialout), and only it is reported so.
TEST(QtSerialLink, OnlyADeviceTheUserMayNotOpenIsAPermissionRefusal)
{
    Pty pty;
    ASSERT_FALSE(pty.device.isEmpty());
    QSerialPort holder(pty.device);
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();
    QtSerialLink link([&](int) { return pty.device; });
    ASSERT_TRUE(link.setPortNumber(1));
    EXPECT_FALSE(link.open());
    EXPECT_EQ(link.lastOpenError(), SerialLink::OpenError::Busy) << link.lastErrorText().toStdString();
    holder.close();
    EXPECT_TRUE(link.open()) << link.lastErrorText().toStdString();
    link.close();

    QTemporaryDir folder;
    const QString file = QDir(folder.path()).filePath("not-a-port");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    for (const QString& name : {file, folder.path(), QDir(folder.path()).filePath("missing"), QStringLiteral("ktm520-no-such-name")})
        EXPECT_EQ(QtSerialLink::permissionError(name), SerialLink::OpenError::Other) << name.toStdString();
    if (::geteuid() != 0 && ::access("/dev/ttyS0", R_OK | W_OK) != 0 && QFileInfo::exists("/dev/ttyS0")) {
        EXPECT_EQ(QtSerialLink::permissionError(QStringLiteral("ttyS0")), SerialLink::OpenError::PermissionDenied);
    }
}

TEST(QtSerialLink, TheSystemsCommonReasonsAreSaidInTheOperatorsWords)
{
    for (const int e : {EAGAIN, ENOENT, ENODEV, ENXIO, EACCES, EPERM, EBUSY, EIO, ENOTTY, EBADF, EINVAL, EINTR, EPIPE,
                        ETIMEDOUT, EMFILE}) {
        const QString system = QString::fromLocal8Bit(strerror(e));
        const QString said = LinkTexts::systemReason(system);
        EXPECT_TRUE(hasChinese(said)) << e << " " << system.toStdString();
    }
    // whatever the case and spacing, and an unknown reason passes unchanged
    EXPECT_EQ(LinkTexts::systemReason(" resource temporarily unavailable"), "资源暂时不可用");
    EXPECT_EQ(LinkTexts::systemReason("scripted failure"), "scripted failure");

    // a device path that is not there: the link's reason has no English in it
    QtSerialLink link([](int) { return QStringLiteral("/dev/no-such-serial-device"); });
    ASSERT_TRUE(link.setPortNumber(3));
    EXPECT_FALSE(link.open());
    EXPECT_EQ(link.lastOpenError(), SerialLink::OpenError::NotFound);
    EXPECT_TRUE(hasChinese(link.lastErrorText()));
    EXPECT_FALSE(link.lastErrorText().contains("No such")) << link.lastErrorText().toStdString();
}

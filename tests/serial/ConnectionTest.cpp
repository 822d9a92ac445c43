// Connecting as both front ends do: the port list with its stand-in COM1, and opening a port
// with the result the front ends show (a message box, or standard error and an exit code).
#include "serial/Connection.h"

#include "serial/LinkTexts.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/FixedPorts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using connection::OpenResult;

namespace {

QStringList names(const connection::PortList& list)
{
    QStringList out;
    for (const connection::PortEntry& e : list.entries)
        out << e.name;
    return out;
}

class DescribedPorts : public FixedPorts {
public:
    using FixedPorts::FixedPorts;
    QString description(const QString& port) const override { return port == "COM3" ? "USB-Serial" : QString(); }
};

} // namespace

TEST(Connection, ThePortListIsTheRegistrysOrElseTheOneStandInCom1)
{
    DescribedPorts two({"COM3", "com1"});
    const connection::PortList listed = connection::portEntries(two);
    EXPECT_TRUE(listed.listed);
    EXPECT_EQ(names(listed), QStringList({"COM3", "COM1"}));
    EXPECT_EQ(listed.entries[0].device, "/dev/ttyCOM3");
    EXPECT_EQ(listed.entries[0].description, "USB-Serial");
    EXPECT_EQ(listed.entries[1].description, QString());

    // no port at all, or only values that are no COM port
    for (QList<QByteArray> data : {QList<QByteArray>{}, QList<QByteArray>{"LPT1", "\\Device\\Serial0"}}) {
        FixedPorts none(data);
        const connection::PortList fallback = connection::portEntries(none);
        EXPECT_FALSE(fallback.listed);
        EXPECT_EQ(names(fallback), QStringList({"COM1"}));
    }
}

TEST(Connection, OpeningHandsTheLinkTheDeviceNumberAndSettings)
{
    FakeSerialLink link;
    const OpenResult result = connection::open(link, {"COM3", 3, "/dev/ttyUSB0"}, "115200,E,8,2");
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.kind, OpenResult::Kind::Opened);
    EXPECT_TRUE(result.text.isEmpty());
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(link.portNumber, 3);
    EXPECT_EQ(link.device, "/dev/ttyUSB0");
    EXPECT_EQ(link.settings, "115200,E,8,2");
}

TEST(Connection, AFailureSaysWhyAndLeavesTheLinkClosed)
{
    struct Case {
        SerialLink::OpenError error;
        QString listed;
        OpenResult::Kind kind;
        QString text;
    };
    const QString base = LinkTexts::openError();
    for (const Case& c : {
             Case{SerialLink::OpenError::PermissionDenied, {}, OpenResult::Kind::Permission, base + "\n" + LinkTexts::permissionHint()},
             Case{SerialLink::OpenError::NotFound, "/dev/ttyUSB0", OpenResult::Kind::DeviceGone,
                  base + "\n" + LinkTexts::deviceGone().arg("COM3", "/dev/ttyUSB0")},
             Case{SerialLink::OpenError::NotFound, {}, OpenResult::Kind::NoDevice, base + "\n" + LinkTexts::noDevice().arg("COM3")},
             Case{SerialLink::OpenError::Busy, "/dev/ttyUSB0", OpenResult::Kind::Other, base},
             Case{SerialLink::OpenError::Other, {}, OpenResult::Kind::Other, base},
         }) {
        SCOPED_TRACE(int(c.error));
        FakeSerialLink link;
        link.failOpenWith = c.error;
        const OpenResult result = connection::open(link, {"COM3", 3, c.listed}, "9600,N,8,1");
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.kind, c.kind);
        EXPECT_EQ(result.text, c.text);
        EXPECT_FALSE(link.isOpen());
        EXPECT_EQ(link.closeCount, 1);
    }
}

TEST(Connection, ANameWithoutANumberOrBadSettingsNeverReachTheLink)
{
    FakeSerialLink link;
    // what the link said of an earlier try is not the reason now
    link.failOpenWith = SerialLink::OpenError::PermissionDenied;
    connection::open(link, {"COM3", 3, {}}, "9600,N,8,1");
    const int opens = link.openCount;
    const OpenResult unnumbered = connection::open(link, {"COMx", std::nullopt, {}}, "9600,N,8,1");
    EXPECT_EQ(unnumbered.kind, OpenResult::Kind::Other);
    EXPECT_EQ(unnumbered.text, LinkTexts::openError());
    const OpenResult unsettled = connection::open(link, {"COM3", 3, {}}, "fast,N,8,1");
    EXPECT_EQ(unsettled.kind, OpenResult::Kind::Other);
    EXPECT_EQ(unsettled.text, LinkTexts::openError());
    const OpenResult outOfRange = connection::open(link, {"COM0", 0, {}}, "9600,N,8,1");
    EXPECT_EQ(outOfRange.kind, OpenResult::Kind::Other);
    EXPECT_EQ(link.openCount, opens);
    EXPECT_FALSE(link.isOpen());
}

#ifndef Q_OS_WIN
// The name a readout is remembered under: the by-id link that leads to the device opened,
// however the device was reached, else the device itself.
TEST(Connection, TheDeviceIdentityIsTheByIdLinkOfTheDeviceOpenedElseTheDevice)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir dir(root.path());
    ASSERT_TRUE(dir.mkpath("dev/serial/by-id") && dir.mkpath("ports"));
    for (const char* device : {"dev/ttyUSB0", "dev/ttyUSB1", "dev/ttyUSB2"}) {
        QFile f(dir.filePath(device));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString byId = dir.filePath("dev/serial/by-id");
    // Two adapters, a dangling link, a plain file of the same name a link would have; the
    // first adapter's link sorts after the second's.
    ASSERT_TRUE(QFile::link("../../ttyUSB1", byId + "/usb-FTDI_FT232R_A1"));
    ASSERT_TRUE(QFile::link("../../ttyUSB0", byId + "/usb-Prolific_PL2303_B7"));
    ASSERT_TRUE(QFile::link("../../ttyUSB9", byId + "/usb-Gone_C3"));
    {
        QFile plain(byId + "/usb-Plain_D4");
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    }
    // A published port link in front of the first adapter.
    ASSERT_TRUE(QFile::link(dir.filePath("dev/ttyUSB0"), dir.filePath("ports/com1")));

    EXPECT_EQ(connection::deviceIdentity("COM1", dir.filePath("dev/ttyUSB0"), byId),
              byId + "/usb-Prolific_PL2303_B7");
    EXPECT_EQ(connection::deviceIdentity("COM2", dir.filePath("dev/ttyUSB1"), byId), byId + "/usb-FTDI_FT232R_A1");
    EXPECT_EQ(connection::deviceIdentity("COM1", dir.filePath("ports/com1"), byId), byId + "/usb-Prolific_PL2303_B7");
    EXPECT_EQ(connection::deviceIdentity("COM1", dir.filePath("dev/../dev/ttyUSB1"), byId),
              byId + "/usb-FTDI_FT232R_A1");
    // No link leads to it: the device itself, never the port link it was reached through.
    const QString third = QFileInfo(dir.filePath("dev/ttyUSB2")).canonicalFilePath();
    EXPECT_EQ(connection::deviceIdentity("COM3", third, byId), third);
    EXPECT_EQ(connection::deviceIdentity("COM1", dir.filePath("ports/com1"), dir.filePath("none")),
              QFileInfo(dir.filePath("dev/ttyUSB0")).canonicalFilePath());
    // A device that is not there is named as given; none at all by the port's name.
    EXPECT_EQ(connection::deviceIdentity("COM4", dir.filePath("dev/ttyUSB9"), byId), dir.filePath("dev/ttyUSB9"));
    EXPECT_EQ(connection::deviceIdentity("COM4", QString(), byId), "COM4");
}
#endif

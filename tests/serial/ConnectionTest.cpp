// Connecting as both front ends do: the port list with its stand-in COM1, and opening a port
// with the result the front ends show (a message box, or standard error and an exit code).
#include "serial/Connection.h"

#include "serial/LinkTexts.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/FixedPorts.h"

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

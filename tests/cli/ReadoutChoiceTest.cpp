// Which readout a copy is archived under: --instrument, else the port's device, else the
// default; with none, or a name the archive does not know, the copy is refused.
#include "cli/Options.h"
#include "cli/ReadoutChoice.h"

#include "archive/Archive.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using cli::chooseReadout;

namespace {

class ReadoutChoiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_archive = archive::Archive::open(m_dir.filePath("a.sqlite"), nullptr, nullptr);
        ASSERT_TRUE(m_archive);
    }
    qint64 add(const QString& name)
    {
        const std::optional<archive::Readout> r = m_archive->addReadout(name, "Asia/Shanghai", nullptr);
        EXPECT_TRUE(r);
        return r ? r->id : 0;
    }
    QTemporaryDir m_dir;
    std::unique_ptr<archive::Archive> m_archive;
};

QString chosenName(const cli::ReadoutChoice& c) { return c.readout ? c.readout->name : QString(); }

} // namespace

TEST_F(ReadoutChoiceTest, TheNameGivenThenTheDevicesThenTheDefault)
{
    const qint64 north = add("北坝");
    add("南坝");
    ASSERT_TRUE(m_archive->rememberDevice("/dev/serial/by-id/usb-FTDI_A1", north, nullptr));

    EXPECT_EQ(chosenName(chooseReadout(*m_archive, "南坝", "/dev/serial/by-id/usb-FTDI_A1", "北坝")), "南坝");
    EXPECT_EQ(chosenName(chooseReadout(*m_archive, {}, "/dev/serial/by-id/usb-FTDI_A1", "南坝")), "北坝");
    EXPECT_EQ(chosenName(chooseReadout(*m_archive, {}, "/dev/ttyUSB3", "南坝")), "南坝");
    EXPECT_EQ(chosenName(chooseReadout(*m_archive, {}, {}, "南坝")), "南坝");
    // A device remembered for another readout now follows it.
    ASSERT_TRUE(m_archive->rememberDevice("/dev/serial/by-id/usb-FTDI_A1", m_archive->readout("南坝")->id, nullptr));
    EXPECT_EQ(chosenName(chooseReadout(*m_archive, {}, "/dev/serial/by-id/usb-FTDI_A1", {})), "南坝");
}

TEST_F(ReadoutChoiceTest, NoneOrAnUnknownNameIsRefusedWithTheKnownNamesAndHowToAddOne)
{
    cli::ReadoutChoice c = chooseReadout(*m_archive, {}, "/dev/ttyUSB0", {});
    EXPECT_FALSE(c.readout);
    EXPECT_EQ(c.code, cli::NoInstrument);
    EXPECT_TRUE(c.refusal.contains("未指定仪器")) << c.refusal.toStdString();
    EXPECT_TRUE(c.refusal.contains("档案中还没有仪器")) << c.refusal.toStdString();

    add("北坝");
    add("南坝");
    c = chooseReadout(*m_archive, "西坝", "/dev/ttyUSB0", "北坝");
    EXPECT_FALSE(c.readout) << "a name given is never replaced by another";
    EXPECT_EQ(c.code, cli::NoInstrument);
    EXPECT_TRUE(c.refusal.contains("“西坝”")) << c.refusal.toStdString();
    EXPECT_TRUE(c.refusal.contains("北坝") && c.refusal.contains("南坝")) << c.refusal.toStdString();
    EXPECT_TRUE(c.refusal.contains("archive instruments add")) << c.refusal.toStdString();

    c = chooseReadout(*m_archive, {}, "/dev/ttyUSB0", "东坝");
    EXPECT_FALSE(c.readout);
    EXPECT_EQ(c.code, cli::NoInstrument);
    EXPECT_TRUE(c.refusal.contains("默认仪器“东坝”")) << c.refusal.toStdString();

    c = chooseReadout(*m_archive, {}, "/dev/ttyUSB0", {});
    EXPECT_TRUE(c.refusal.contains("未指定仪器")) << c.refusal.toStdString();
    EXPECT_TRUE(c.refusal.contains("已有的仪器：")) << c.refusal.toStdString();
}

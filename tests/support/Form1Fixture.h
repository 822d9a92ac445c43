#pragma once

#include "app/Form1.h"
#include "serial/PortDiscovery.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/FixedPorts.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "export/Automation.h"

#include <QCoreApplication>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

// An offscreen main window on a scripted serial link, with messages recorded.
class Form1Fixture : public ::testing::Test {
protected:
    explicit Form1Fixture(QList<QByteArray> ports = {})
        : ports(std::move(ports)),
          window(Form1Services{
              link, messenger,
              [this]() -> std::unique_ptr<PortRegistry> { return std::make_unique<FixedPorts>(this->ports); },
              testing_qt::fastTiming(), dialogs, servers, templatePath()})
    {
    }

    void connectPort()
    {
        window.Command1->click();
        ASSERT_EQ(window.Command1->text(), Form1::connectedText());
        link.writes.clear();
    }
    QList<QWidget*> commandButtons() const
    {
        return {window.Command2, window.Command3, window.Command4, window.Command5, window.Command6,
                window.Command7, window.Command8, window.Command9, window.Command10, window.Command11};
    }

    // The template workbook the build makes beside the program.
    static QString templatePath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/Data.xls"); }

    FakeSerialLink link;
    RecordingMessenger messenger;
    ScriptedFileDialogs dialogs;
    sheets::Servers servers; // empty: no spreadsheet server unless a test installs one
    QList<QByteArray> ports; // what the registry holds; read at start-up and when the list opens
    Form1 window;
};

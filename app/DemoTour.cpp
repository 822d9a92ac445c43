#include "app/DemoTour.h"

#include "app/CopyArchiver.h"
#include "app/Form1.h"
#include "app/ReadoutDialog.h"
#include "app/TreeLook.h"
#include "app/SaveCommand.h"
#include "grids/PreviewGrid.h"
#include "platform/Delay.h"
#include "storage/PartitionTree.h"
#include "app/StorageCommands.h"

#include "app/Form3.h"
#include "app/Form2.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <cstdio>
#include <utility>

namespace {
// Makes a node of the tree the current one in the window's view of it.
void select(Form1& window, const PartitionTree::Node* node)
{
    window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(node->index()));
}
} // namespace

void ConsoleMessenger::information(const QString& text)
{
    std::printf("[Varnok] %s\n", qPrintable(text));
    std::fflush(stdout);
}

bool ConsoleMessenger::confirm(const QString& text)
{
    std::printf("[Varnok] %s -> %s\n", qPrintable(text), qPrintable(QCoreApplication::translate("DemoTour", "否")));
    std::fflush(stdout);
    return false;
}

std::optional<QString> TourFileDialogs::saveFileName(const QString&, const QString& proposedName)
{
    m_folder.mkpath(QStringLiteral("."));
    m_lastSaved = m_folder.absoluteFilePath(proposedName);
    return m_lastSaved;
}

std::optional<QString> TourFileDialogs::openFileName(const QString&)
{
    if (m_lastSaved.isEmpty())
        return std::nullopt;
    return m_lastSaved;
}

DemoTour::DemoTour(Form1& window, const QString& outputDir) : m_window(window), m_out(outputDir)
{
    m_out.mkpath(QStringLiteral("."));
}

bool DemoTour::waitIdle()
{
    QElapsedTimer clock;
    clock.start();
    const CommandExchange& ex = m_window.exchange();
    // A copy is watched through its grace and then goes its way into the archive (the
    // readout question, the component list, the store) before the next command may go out.
    auto busy = [&] { return ex.lineBusy() || ex.inGrace() || (m_window.archiver() && m_window.archiver()->running()); };
    Delay(0.05f);
    while (busy() && clock.elapsed() < 120000)
        Delay(0.05f);
    return !busy();
}

void DemoTour::shoot(const QString& name) { shoot(m_window, name); }

void DemoTour::shoot(QWidget& widget, const QString& name)
{
    const QString path = m_out.absoluteFilePath(QStringLiteral("tour-%1-%2.png").arg(++m_step).arg(name));
    if (widget.grab().save(path)) {
        m_shots << path;
        std::printf("screenshot: %s\n", qPrintable(path));
    } else {
        std::printf("could not save %s\n", qPrintable(path));
    }
    std::fflush(stdout);
}

bool DemoTour::fail(const QString& why)
{
    std::fprintf(stderr, "tour stopped: %s\n", qPrintable(why));
    shoot(QStringLiteral("failed"));
    return false;
}

int DemoTour::run()
{
    // The first copy asks which readout this is: answered with a new one, in the PC's zone.
    QTimer readoutPoll;
    readoutPoll.setInterval(20);
    QObject::connect(&readoutPoll, &QTimer::timeout, &m_window, [this, &readoutPoll] {
        auto* dialog = qobject_cast<ReadoutDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        readoutPoll.stop();
        std::printf("which readout: a new one\n");
        if (!dialog->existingChoice->isChecked()) {
            dialog->newChoice->setChecked(true);
            dialog->nameEdit->setText(QStringLiteral("KTM-520 demo"));
        }
        Delay(0.2f);
        shoot(*dialog, QStringLiteral("readout-question"));
        dialog->accept();
    });
    readoutPoll.start();
    auto step = [&]() -> bool {
        Delay(0.3f); // let the window settle and paint
        std::printf("connect %s\n", qPrintable(m_window.Combo1->currentText()));
        m_window.Command1->click();
        if (m_window.Command1->text() != Form1::connectedText())
            return fail(QStringLiteral("could not open %1").arg(m_window.Combo1->currentText()));
        shoot(QStringLiteral("connected"));

        std::printf("read partitions\n");
        m_window.Command2->click();
        if (!waitIdle() || m_window.tree().rowCount() != 1)
            return fail(QStringLiteral("no partitions"));
        shoot(QStringLiteral("partitions"));

        std::printf("list partition A\n");
        const PartitionTree::Node* a = m_window.tree().itemByKey(QStringLiteral("A"));
        if (!a)
            return fail(QStringLiteral("no partition A"));
        select(m_window, a);
        m_window.storage().treeClick();
        if (!waitIdle() || a->rowCount() == 0)
            return fail(QStringLiteral("partition A lists no files"));
        shoot(QStringLiteral("files"));

        std::printf("copy file %s\n", qPrintable(a->child(0)->text()));
        select(m_window, a->child(0));
        m_window.Command5->click();
        if (!waitIdle() || m_window.grid().rows() < 2)
            return fail(QStringLiteral("the file brought no records"));
        std::printf("%d rows in the preview\n", m_window.grid().rows() - 1);
        shoot(QStringLiteral("file"));

        std::printf("component list of A\n");
        select(m_window, a);
        m_window.Command10->click();
        if (!waitIdle() || m_window.grid().cols() != 2)
            return fail(QStringLiteral("no component list"));
        shoot(QStringLiteral("components"));

        std::printf("new file dialog (cancelled)\n");
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, &m_window, [this, &poll] {
            auto* dialog = qobject_cast<Form2*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            dialog->Filename->setText(QStringLiteral("DEMO-01"));
            Delay(0.2f);
            shoot(*dialog, QStringLiteral("new-file-dialog"));
            dialog->Command2->click();
        });
        poll.start();
        select(m_window, a);
        m_window.Command9->click();
        poll.stop();
        waitIdle(); // the dialog sent nothing; the gate is released by the watchdog

        if (!editorSteps())
            return false;

        std::printf("copy partition A\n");
        select(m_window, a);
        m_window.Command6->click();
        if (!waitIdle() || m_window.grid().rows() < 2)
            return fail(QStringLiteral("partition A brought no records"));
        std::printf("%d rows in the preview\n", m_window.grid().rows() - 1);
        shoot(QStringLiteral("partition"));

        std::printf("save the preview\n");
        m_window.Command4->click();
        const QString saved = m_window.saver().SaveFileName;
        if (saved.isEmpty() || !QFileInfo::exists(saved))
            return fail(QStringLiteral("the workbook was not saved"));
        std::printf("workbook: %s\n", qPrintable(saved));
        return true;
    };
    return step() ? 0 : 1;
}

bool DemoTour::editorSteps()
{
    // A component list saved as a workbook, to import in the editor.
    std::printf("component list of C, saved\n");
    const PartitionTree::Node* c = m_window.tree().itemByKey(QStringLiteral("C"));
    if (!c)
        return fail(QStringLiteral("no partition C"));
    select(m_window, c);
    m_window.Command10->click();
    if (!waitIdle() || m_window.grid().cols() != 2)
        return fail(QStringLiteral("no component list for C"));
    m_window.Command4->click();
    std::printf("workbook: %s\n", qPrintable(m_window.saver().SaveFileName));

    bool ok = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &m_window, [this, &poll, &ok] {
        auto* editor = qobject_cast<Form3*>(QApplication::activeModalWidget());
        if (!editor)
            return;
        poll.stop();
        std::printf("editor: import the saved list\n");
        editor->Command1->click();
        Delay(0.2f);
        shoot(*editor, QStringLiteral("editor-import"));
        std::printf("editor: type two components and write them\n");
        editor->Command3->click();
        for (const auto& [code, name] : {std::pair{"C101", "DEMO-1"}, std::pair{"C102", "DEMO-2"}}) {
            editor->Text2->setText(QString::fromLatin1(code));
            editor->Text3->setText(QString::fromLatin1(name));
            editor->Command4->click();
        }
        Delay(0.2f);
        shoot(*editor, QStringLiteral("editor-manual"));
        QPointer<Form3> open(editor);
        editor->Command2->click(); // closes the editor when the instrument accepted every row
        QElapsedTimer clock;
        clock.start();
        while (open && open->writing() && clock.elapsed() < 60000)
            Delay(0.05f);
        ok = open && !open->isVisible();
        if (!ok && open)
            open->close();
    });
    poll.start();
    waitIdle();
    m_window.Command11->click();
    poll.stop();
    if (!ok)
        return fail(QStringLiteral("the editor's write did not complete"));

    std::printf("component list of C after the write\n");
    waitIdle();
    select(m_window, c);
    m_window.Command10->click();
    if (!waitIdle())
        return fail(QStringLiteral("no component list for C"));
    shoot(QStringLiteral("components-written"));
    return true;
}

#include "app/QtSaveProgress.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressDialog>

QtSaveProgress::~QtSaveProgress() { finish(); }

void QtSaveProgress::start(const QString& path, qint64 rows)
{
    finish();
    m_rows = std::max<qint64>(rows, 1);
    const QString label = m_label.isEmpty() ? QCoreApplication::translate("QtSaveProgress", "正在保存 %1 …") : m_label;
    m_dialog = new QProgressDialog(label.arg(QFileInfo(path).fileName()),
                                   QCoreApplication::translate("QtSaveProgress", "取消"), 0, 1000, m_parent);
    m_dialog->setWindowTitle(m_title.isEmpty() ? QCoreApplication::translate("QtSaveProgress", "保存预览文件") : m_title);
    // The window's controls are disabled rather than the window blocked by a modal dialog: a
    // blocked window never hears that it is asked to close, and the window defers its closing
    // until the save has ended, and says so.
    if (auto* window = qobject_cast<QMainWindow*>(m_parent)) {
        m_blocked = {window->centralWidget(), window->menuBar()};
        for (const QPointer<QWidget>& w : std::as_const(m_blocked))
            if (w)
                w->setEnabled(false);
    } else {
        m_dialog->setWindowModality(Qt::WindowModal);
    }
    m_dialog->setMinimumDuration(300); // a small save ends before the dialog would show
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setValue(0);
}

void QtSaveProgress::advance(qint64 rowsDone)
{
    if (m_dialog)
        m_dialog->setValue(int(std::min<qint64>(999, rowsDone * 1000 / m_rows)));
}

bool QtSaveProgress::cancelRequested() const { return m_dialog && m_dialog->wasCanceled(); }

void QtSaveProgress::finish()
{
    if (m_dialog)
        delete m_dialog.data();
    for (const QPointer<QWidget>& w : std::as_const(m_blocked))
        if (w)
            w->setEnabled(true);
    m_blocked.clear();
}

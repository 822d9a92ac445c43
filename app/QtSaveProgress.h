#pragma once

#include "export/SaveCommand.h"

#include <QList>
#include <QPointer>

class QProgressDialog;
class QWidget;

// The save's progress as a dialog over the window, with a cancel button ("取消"); the window's
// own controls are disabled meanwhile.
class QtSaveProgress : public SaveProgress {
public:
    explicit QtSaveProgress(QWidget* parent) : m_parent(parent) {}
    ~QtSaveProgress() override;
    void start(const QString& path, qint64 rows) override;
    void advance(qint64 rowsDone) override;
    bool cancelRequested() const override;
    void finish() override;

private:
    QWidget* m_parent;
    QPointer<QProgressDialog> m_dialog;
    QList<QPointer<QWidget>> m_blocked; // the window's parts disabled while the save runs
    qint64 m_rows = 0;
};

#pragma once

#include "app/SaveCommand.h"

#include <QList>
#include <QPointer>

class QProgressDialog;
class QWidget;

// The save's progress as a dialog over the window, with a cancel button ("取消"); over the main
// window its own controls are disabled meanwhile. Other long work (an import, an export) gives its
// own title and label; "%1" in the label is the file's name.
class QtSaveProgress : public SaveProgress {
public:
    explicit QtSaveProgress(QWidget* parent, QString title = {}, QString label = {})
        : m_parent(parent), m_title(std::move(title)), m_label(std::move(label))
    {
    }
    ~QtSaveProgress() override;
    void start(const QString& path, qint64 rows) override;
    void advance(qint64 rowsDone) override;
    bool cancelRequested() const override;
    void finish() override;

private:
    QWidget* m_parent;
    QString m_title;
    QString m_label;
    QPointer<QProgressDialog> m_dialog;
    QList<QPointer<QWidget>> m_blocked; // the window's parts disabled while the save runs
    qint64 m_rows = 0;
};

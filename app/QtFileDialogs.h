#pragma once

#include "platform/FileDialogs.h"

#include <QPointer>
#include <QWidget>

class QSettings;

// The file dialogs as the operator sees them. With settings they open where the last save or
// the last import went.
class QtFileDialogs : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void setSettings(QSettings* settings) { m_settings = settings; }
    std::optional<QString> saveFileName(const QString& filter, const QString& proposedName) override;
    std::optional<QString> openFileName(const QString& filter) override;

    // "desc|pattern|desc|pattern" as Qt's "desc (pattern);;desc (pattern)"; a description
    // without a pattern stands for itself.
    static QString qtFilter(const QString& pairs);
    // The path with the extension of the chosen filter, unless it ends in one of the filters'.
    static QString withChosenSuffix(const QString& path, const QStringList& filters, const QString& chosen);

private:
    QPointer<QWidget> m_parent;
    QSettings* m_settings = nullptr;
};

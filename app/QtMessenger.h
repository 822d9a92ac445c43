#pragma once

#include "platform/Messenger.h"

#include <QPointer>
#include <QWidget>

// Message boxes as the operator sees them: title "Varnok", information icon.
class QtMessenger : public Messenger {
public:
    explicit QtMessenger(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void information(const QString& text) override;
    void plain(const QString& text) override;
    bool confirm(const QString& text) override;

private:
    QPointer<QWidget> m_parent;
};

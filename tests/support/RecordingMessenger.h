#pragma once

#include "platform/Messenger.h"

#include <QList>
#include <QStringList>

// Records every message instead of showing it; confirmations are answered from a script
// (No when the script is empty).
class RecordingMessenger : public Messenger {
public:
    void information(const QString& text) override { messages.append(text); }
    bool confirm(const QString& text) override;

    QStringList messages;
    QStringList questions;
    QList<bool> answers;
};

#pragma once

#include "platform/Messenger.h"

#include <QList>
#include <QStringList>
#include <functional>

// Records every message instead of showing it; confirmations are answered from a script
// (No when the script is empty).
class RecordingMessenger : public Messenger {
public:
    void information(const QString& text) override
    {
        messages.append(text);
        if (whileShowing)
            whileShowing();
    }
    // Boxes without icon and title go to the same list, marked, so their kind is checked too.
    void plain(const QString& text) override { messages.append(kPlain + text); }
    static inline const QString kPlain = QStringLiteral("[plain] ");
    bool confirm(const QString& text) override;

    QStringList messages;
    QStringList questions;
    QList<bool> answers;
    // Runs while a question is open, before it is answered (what happens meanwhile).
    std::function<void()> whileAsking;
    // Runs while a message is shown (what the window shows beside it).
    std::function<void()> whileShowing;
};

#include "tests/support/RecordingMessenger.h"

bool RecordingMessenger::confirm(const QString& text)
{
    questions.append(text);
    if (whileAsking)
        whileAsking();
    return answers.isEmpty() ? false : answers.takeFirst();
}

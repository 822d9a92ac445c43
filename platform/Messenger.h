#pragma once

#include <QString>

// Message boxes of the program. Every box is titled "Varnok" and carries the information icon.
// The window installs the real implementation; tests install a recorder.
class Messenger {
public:
    virtual ~Messenger();
    // One OK button.
    virtual void information(const QString& text) = 0;
    // A box without icon under the application's own title, one OK button.
    virtual void plain(const QString& text) = 0;
    // Yes and No buttons, No the default; true for Yes.
    virtual bool confirm(const QString& text) = 0;
};

#pragma once

#include <QString>

// The checks of a new file's name, as typed in the file-name dialog.
struct NewFileName {
    QString trimmed; // the name without leading and trailing spaces
    QString error;   // empty when the name may be sent

    static NewFileName check(const QString& typed);
    // The error of a name with a character the instrument cannot show (a blank among them).
    static QString unshowableText();
};

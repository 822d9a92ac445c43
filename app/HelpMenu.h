#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

class QMainWindow;
class QMenu;
class QPushButton;

// The window's help: a shortcut and a tool tip on every command button, and the 帮助 menu with
// the user guide, the list of shortcuts, the log folder and the About box.
namespace help {

struct Command {
    QPushButton* button;
    QKeySequence keys;
    QString tip; // what the button does; the shortcut is added to it
};

// Gives each button its shortcut and its tool tip.
void describe(const QList<Command>& commands);

// Changes a button's caption and keeps its shortcut (QAbstractButton::setText replaces the
// shortcut with the caption's mnemonic, none for a caption without '&').
void setCaption(QPushButton* button, const QString& caption);

// Adds the 帮助 menu to the window's menu bar; the shortcut list is read from `commands`.
QMenu* addMenu(QMainWindow& window, const QList<QPushButton*>& commands);

// The texts the menu shows.
QString guideHtml(); // the parts below, in order
QString guideMainHtml();
QString guideHistoryHtml();
QString guideSavingHtml();
QString shortcutsHtml(const QList<QPushButton*>& commands);
QString aboutHtml();

} // namespace help

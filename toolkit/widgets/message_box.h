#pragma once

#include <QString>

#include <string>
#include <vector>

class QMessageBox;
class QWidget;

namespace tk
{

class Exception;

// A message box with the stop-sign icon and one OK button; returns when the user closed it.
// On the GUI thread the box is application-modal. From any other thread the GUI thread shows
// it without blocking its windows, and only the calling thread waits. Text is shown as plain
// text, never as markup.
void errorBox(const QString &text, const QString &caption);

// Makes the box for this text and caption now, owned by parent, so that showing that message
// later makes no new box: for the message that says memory has run out. A box that cannot be
// made or shown for lack of memory goes to the standard error output instead.
void prepareErrorBox(QWidget *parent, const QString &text, const QString &caption);

// The standard error display: the application's title as caption, the message and a full stop.
void showException(const Exception &error);

// The program file's name without folder, cut at its first full stop, every character after
// the first in lower case.
QString applicationTitle();

// Closes every open box, releasing the threads that wait for them, and makes later boxes of
// other threads return at once. Called when the main window closes.
void closeAllMessageBoxes();

// For tests: record boxes instead of showing them.
struct RecordedBox {
    QString caption;
    QString text;
};
void setRecordMessageBoxes(bool record);
std::vector<RecordedBox> takeRecordedBoxes();
// For tests: while set, making a new box fails as it does when memory has run out.
void setBoxCreationFails(bool fail);
// Boxes of other threads that are open now (tests close them with close()).
std::vector<QMessageBox *> openMessageBoxes();

} // namespace tk

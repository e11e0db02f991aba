#pragma once

#include <QKeySequence>
#include <QList>

class QWidget;

namespace panelix {

class HelpWindow;

// A key of the main window and the button (by object name) it presses. A key
// never does more than its button: a disabled button ignores it.
struct WindowKey {
    QKeySequence keys;
    const char* button;
    const char* within = nullptr; // the key works only while this control has the focus
};

// F1 and Command5 open the help; Ctrl+D downloads the bitmaps, Ctrl+F the font,
// Ctrl+T tests the line, Ctrl+Enter sends the console's command, and so on.
const QList<WindowKey>& windowKeys();

// The object names of the main window's controls in the order Tab visits them:
// the layout read from the top left, column by column, the console last.
const QList<const char*>& tabOrder();

// Gives the main window its help (Command5 and F1), its keys and its tab order.
// The help window is made on first use and belongs to the main window.
void attachHelpAndKeys(QWidget* mainWindow);

// The help window of mainWindow, shown and raised; made when there is none yet.
HelpWindow* openHelp(QWidget* mainWindow);

} // namespace panelix

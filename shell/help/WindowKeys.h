#pragma once

#include <QKeySequence>
#include <QList>

class QAbstractButton;
class QWidget;

namespace panelix {

class HelpWindow;

// A key of the main window and the button it presses. A key never does more than
// its button: a disabled button ignores it.
struct WindowKey {
    QKeySequence keys;
    QAbstractButton* button = nullptr;
    QWidget* within = nullptr; // the key works only while this control has the focus
};

// Gives the main window its help (helpButton and F1), its keys (keys that no
// text field may claim, whatever has the focus) and the order Tab visits its
// controls in. The help window is made on first use and belongs to the window.
void attachHelpAndKeys(QWidget* mainWindow, QAbstractButton* helpButton, const QList<WindowKey>& keys,
                       const QList<QWidget*>& tabOrder);

// The help window of mainWindow, shown and raised; made when there is none yet.
HelpWindow* openHelp(QWidget* mainWindow);

} // namespace panelix

#include "shell/help/WindowKeys.h"

#include "shell/help/HelpWindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QShortcut>
#include <QWidget>

namespace panelix {

namespace {

const char* const HelpButton = "Command5";

QWidget* child(QWidget* window, const char* name) {
    return window->findChild<QWidget*>(QLatin1String(name));
}

// Text fields may claim Ctrl keys for editing (on X11 Ctrl+E moves to the end of
// the line, and a platform theme can add more); in this window the keys of the
// buttons belong to the buttons, wherever the focus is.
class WindowKeysFirst : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
            for (const WindowKey& k : windowKeys()) {
                if (!k.within && k.keys == pressed) {
                    event->ignore();
                    return true;
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

const QList<WindowKey>& windowKeys() {
    static const QList<WindowKey> keys = {
        {QKeySequence(Qt::Key_F1), HelpButton},
        {QKeySequence(Qt::CTRL | Qt::Key_D), "Command8"},
        {QKeySequence(Qt::CTRL | Qt::Key_F), "Command9"},
        {QKeySequence(Qt::CTRL | Qt::Key_T), "Command7"},
        {QKeySequence(Qt::CTRL | Qt::Key_Return), "Command13"},
        {QKeySequence(Qt::CTRL | Qt::Key_Enter), "Command13"},
        {QKeySequence(Qt::CTRL | Qt::Key_I), "Command14"},
        {QKeySequence(Qt::CTRL | Qt::Key_L), "Command10"},
        {QKeySequence(Qt::CTRL | Qt::Key_B), "Command11"},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B), "Command12"},
        {QKeySequence(Qt::CTRL | Qt::Key_E), "Command6"},
        {QKeySequence(Qt::Key_Insert), "Command1", "File1"},
        {QKeySequence(Qt::Key_Delete), "Command2", "List1"},
    };
    return keys;
}

const QList<const char*>& tabOrder() {
    static const QList<const char*> order = {
        "Port1Device", "Port2Device", "Option1",   "Option2",  "Drive1",    "Dir1",
        "Command5",    "File1",       "Command6",  "Command7", "Command8",  "Command9",
        "Command10",   "Command11",   "Command12", "List1",    "Command1",  "Command2",
        "Command3",    "Command4",    "Combo1",    "Text2",    "Command14", "Command13",
    };
    return order;
}

HelpWindow* openHelp(QWidget* mainWindow) {
    auto* help = mainWindow->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!help)
        help = new HelpWindow(mainWindow);
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}

void attachHelpAndKeys(QWidget* window) {
    if (auto* button = qobject_cast<QAbstractButton*>(child(window, HelpButton)))
        QObject::connect(button, &QAbstractButton::clicked, window, [window] { openHelp(window); });

    for (const WindowKey& k : windowKeys()) {
        QPointer<QAbstractButton> button = qobject_cast<QAbstractButton*>(child(window, k.button));
        QWidget* scope = k.within ? child(window, k.within) : window;
        if (!button || !scope)
            continue;
        auto* shortcut = new QShortcut(k.keys, scope);
        shortcut->setContext(k.within ? Qt::WidgetWithChildrenShortcut : Qt::WindowShortcut);
        // click() does nothing on a disabled button: during a transfer the keys of
        // the single commands are as dead as their buttons.
        QObject::connect(shortcut, &QShortcut::activated, button, [button] {
            if (button && button->isVisible())
                button->click();
        });
    }

    auto* keysFirst = new WindowKeysFirst(window);
    for (QLineEdit* edit : window->findChildren<QLineEdit*>())
        edit->installEventFilter(keysFirst);

    QWidget* previous = nullptr;
    for (const char* name : tabOrder()) {
        QWidget* w = child(window, name);
        if (!w)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

} // namespace panelix

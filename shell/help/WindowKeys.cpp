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

// Text fields may claim Ctrl keys for editing (on X11 Ctrl+E moves to the end of
// the line, and a platform theme can add more); in this window the keys of the
// buttons belong to the buttons, wherever the focus is.
class WindowKeysFirst : public QObject {
public:
    WindowKeysFirst(QList<QKeySequence> keys, QObject* parent) : QObject(parent), keys_(std::move(keys)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride &&
            keys_.contains(QKeySequence(static_cast<QKeyEvent*>(event)->keyCombination()))) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QList<QKeySequence> keys_;
};

} // namespace

HelpWindow* openHelp(QWidget* mainWindow) {
    auto* help = mainWindow->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!help)
        help = new HelpWindow(mainWindow);
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}

void attachHelpAndKeys(QWidget* window, QAbstractButton* helpButton, const QList<WindowKey>& keys,
                       const QList<QWidget*>& tabOrder) {
    QList<QKeySequence> everywhere{QKeySequence(Qt::Key_F1)};
    if (helpButton) {
        QObject::connect(helpButton, &QAbstractButton::clicked, window, [window] { openHelp(window); });
        auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), window);
        f1->setContext(Qt::WindowShortcut);
        QObject::connect(f1, &QShortcut::activated, window, [window] { openHelp(window); });
    }
    for (const WindowKey& k : keys) {
        Q_ASSERT(k.button);
        QPointer<QAbstractButton> button = k.button;
        auto* shortcut = new QShortcut(k.keys, k.within ? k.within : window);
        shortcut->setContext(k.within ? Qt::WidgetWithChildrenShortcut : Qt::WindowShortcut);
        if (!k.within)
            everywhere << k.keys;
        // click() does nothing on a disabled button: during a transfer the keys of
        // the single commands are as dead as their buttons.
        QObject::connect(shortcut, &QShortcut::activated, k.button, [button] {
            if (button && button->isVisible())
                button->click();
        });
    }

    auto* keysFirst = new WindowKeysFirst(everywhere, window);
    for (QLineEdit* edit : window->findChildren<QLineEdit*>())
        edit->installEventFilter(keysFirst);

    QWidget* previous = nullptr;
    for (QWidget* w : tabOrder) {
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

} // namespace panelix

#include "simulator/ui/SimulatedModule.h"

#include "simulator/ui/SimulatorWindow.h"
#include "simulator/ui/WindowPlacement.h"

#include "common/LinePeer.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace panelix {

SimulatedModule::SimulatedModule() : link_(std::make_unique<ModuleLink>(pty_)) {}

SimulatedModule::~SimulatedModule() {
    if (remember_ && window_)
        QSettings().setValue(positionKey(), window_->pos());
    window_.reset();
    unregisterLinePeer(link_.get()); // a line still open to it counts as unplugged
    link_->stop();
}

bool SimulatedModule::start(ModuleLink::Timing timing, QString* error) {
    if (transport_ == Transport::InProcess)
        return true;
    if (!pty_.isOpen() && !pty_.open())
        return startInProcess(timing);
    if (!link_->start(timing)) {
        *error = QStringLiteral("模拟显示模块无法启动!");
        return false;
    }
    transport_ = Transport::Pty;
    return true;
}

bool SimulatedModule::startInProcess(ModuleLink::Timing timing) {
    link_->stop();
    link_->setTiming(timing);
    registerLinePeer(QString::fromLatin1(InProcessDevice), link_.get());
    transport_ = Transport::InProcess;
    return true;
}

QString SimulatedModule::devicePath() const {
    return transport_ == Transport::InProcess ? QString::fromLatin1(InProcessDevice) : pty_.slavePath();
}

SimulatorWindow& SimulatedModule::window() {
    if (!window_) {
        window_ = std::make_unique<SimulatorWindow>(*link_, devicePath());
        // The main window alone decides when the program ends.
        window_->setAttribute(Qt::WA_QuitOnClose, false);
    }
    return *window_;
}

QString SimulatedModule::positionKey() {
    return QStringLiteral("simulator/position");
}

void SimulatedModule::showBeside(QWidget* mainWindow, bool remember) {
    SimulatorWindow& w = window();
    remember_ = remember;
    w.adjustSize();
    WindowPlaces places{mainWindow->pos(), mainWindow->frameGeometry().topRight() + QPoint(WindowGap, 0),
                        false};
    if (QScreen* screen = mainWindow->screen()) {
        const QRect avail = screen->availableGeometry();
        const QRect mainFrame = mainWindow->frameGeometry();
        // Before it is shown the LCD window's frame is unknown: it gets the main
        // window's decoration.
        const QSize decoration = mainFrame.size() - mainWindow->size();
        places = placeWindows(avail, mainFrame, w.size() + decoration);
        if (!places.apart) {
            w.setCompact(true);
            places = placeWindows(avail, mainFrame, w.size() + decoration);
        }
    }
    if (remember) {
        const QVariant stored = QSettings().value(positionKey());
        QList<QRect> screens;
        for (const QScreen* screen : QGuiApplication::screens())
            screens << screen->availableGeometry();
        if (stored.isValid() && titleVisible(QRect(stored.toPoint(), w.size()), screens)) {
            w.move(stored.toPoint());
            w.show();
            return;
        }
    }
    if (places.main != mainWindow->pos())
        mainWindow->move(places.main);
    w.move(places.lcd);
    w.show();
}

} // namespace panelix

#include "simulator/ui/SimulatedModule.h"

#include "simulator/ui/SimulatorWindow.h"

#include "common/LinePeer.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace panelix {

SimulatedModule::SimulatedModule() : link_(std::make_unique<ModuleLink>(pty_)) {}

SimulatedModule::~SimulatedModule() {
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

void SimulatedModule::showBeside(QWidget* mainWindow) {
    SimulatorWindow& w = window();
    w.adjustSize();
    QPoint at = mainWindow->frameGeometry().topRight() + QPoint(8, 0);
    if (QScreen* screen = mainWindow->screen()) {
        const QRect avail = screen->availableGeometry();
        at.setX(std::max(avail.left(), std::min(at.x(), avail.right() + 1 - w.frameGeometry().width())));
        at.setY(std::max(avail.top(), at.y()));
    }
    w.move(at);
    w.show();
}

} // namespace panelix

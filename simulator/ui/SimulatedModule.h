#pragma once

#include "simulator/core/ModuleLink.h"
#include "simulator/Pty.h"

#include <QString>

#include <memory>

class QWidget;

namespace panelix {

class SimulatorWindow;

// A simulated module ready for the application's serial path: a pty whose
// slave is the device to open, the module running on its master, and, on
// request, the window that shows it. Where no pty can be had (always on
// Windows) the module is the far end of an in-process line instead, opened by
// the name InProcessDevice through the same CommPort. Destroyed in the right
// order: the window first, then the module's thread or line, then the pty.
class SimulatedModule {
public:
    SimulatedModule();
    ~SimulatedModule();
    SimulatedModule(const SimulatedModule&) = delete;
    SimulatedModule& operator=(const SimulatedModule&) = delete;

    enum class Transport { None, Pty, InProcess };
    static constexpr const char* InProcessDevice = "inproc:simulated-module";

    // A pty when one can be had, else an in-process line. False with a Chinese
    // message when the module cannot start.
    bool start(ModuleLink::Timing timing, QString* error);
    // Only an in-process line, even where ptys exist (tests of that line).
    bool startInProcess(ModuleLink::Timing timing);
    Transport transport() const { return transport_; }
    // The device the application opens, e.g. /dev/pts/3 or InProcessDevice.
    QString devicePath() const;
    ModuleLink& link() { return *link_; }
    const ModuleLink& link() const { return *link_; }

    // Needs a QApplication. The window stays hidden until shown; closing it only
    // hides it, and it never keeps the application running on its own.
    SimulatorWindow& window();
    bool hasWindow() const { return window_ != nullptr; }
    // Shows the window where both it and mainWindow are whole on the screen
    // (placeWindows), smaller when the screen needs it. With remember, the place
    // the user left it at last time wins when its title is on a present screen,
    // and its place is stored again when the module goes.
    void showBeside(QWidget* mainWindow, bool remember = false);
    // The settings key of the remembered place.
    static QString positionKey();

private:
    Pty pty_;
    std::unique_ptr<ModuleLink> link_;
    std::unique_ptr<SimulatorWindow> window_;
    bool remember_ = false;
    Transport transport_ = Transport::None;
};

} // namespace panelix

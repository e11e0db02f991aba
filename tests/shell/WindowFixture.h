#pragma once

#include "session/ModuleSession.h"
#include "shell/MainWindow.h"
#include "simulator/Pty.h"
#include "support/ScriptedModule.h"
#include "support/EventLoop.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

namespace panelix::test {

// A main window whose port 1 and port 2 are pseudo-terminals with scripted modules.
struct WindowOnPtys {
    QTemporaryDir dataDir;
    Pty pty1;
    Pty pty2;
    std::unique_ptr<ScriptedModule> module1;
    std::unique_ptr<ScriptedModule> module2;
    // main builds the session and hands it to the window; so do the tests.
    std::unique_ptr<ModuleSession> session;
    std::unique_ptr<MainWindow> window;

    void makeWindow(const StartupOptions& o) {
        window.reset();
        session = std::make_unique<ModuleSession>();
        window = std::make_unique<MainWindow>(*session, o);
    }

    // port1/port2 false: that device does not exist.
    void open(bool port1 = true, bool port2 = true, ScriptedModule::Config config = {}) {
        StartupOptions o;
        o.dataDir = dataDir.filePath("dispkit");
        o.port1 = "/nonexistent/port1";
        o.port2 = "/nonexistent/port2";
        if (port1 && pty1.open()) {
            o.port1 = pty1.slavePath();
            module1 = std::make_unique<ScriptedModule>(pty1);
            module1->start(config);
        }
        if (port2 && pty2.open()) {
            o.port2 = pty2.slavePath();
            module2 = std::make_unique<ScriptedModule>(pty2);
            module2->start(config);
        }
        makeWindow(o);
    }
    template <typename T = QWidget>
    T* child(const char* name) const {
        return window->findChild<T*>(QLatin1String(name));
    }
    QString status() const { return child<QLabel>("Label2")->text(); }
    void click(const char* name) const { child<QPushButton>(name)->click(); }
};

} // namespace panelix::test

#include "shell/MainWindow.h"
#include "shell/StartupOptions.h"
#include "simulator/ui/SimulatedModule.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Panelix"));

    panelix::StartupOptions options = panelix::defaultStartupOptions();
    QString message;
    const QStringList args = QApplication::arguments().mid(1);
    switch (panelix::parseStartupOptions(args, &options, &message)) {
    case panelix::ParseOutcome::Help:
        std::fputs(panelix::usageText().toUtf8().constData(), stdout);
        return 0;
    case panelix::ParseOutcome::Error:
        std::fprintf(stderr, "panelix: %s\n", message.toUtf8().constData());
        std::fputs(panelix::usageText().toUtf8().constData(), stderr);
        return 2;
    case panelix::ParseOutcome::Run:
        break;
    }

    // The simulated module sits behind a real pty, so COM1 goes through the same
    // serial code as a cable would. It runs at line rate: transfers take as long
    // as on a real module.
    std::unique_ptr<panelix::SimulatedModule> simulator;
    if (options.simulator) {
        simulator = std::make_unique<panelix::SimulatedModule>();
        if (!simulator->start(panelix::ModuleLink::Timing::LineRate, &message)) {
            std::fprintf(stderr, "panelix: %s\n", message.toUtf8().constData());
            return 1;
        }
        options.port1 = simulator->devicePath();
        simulator->window();
    }

    panelix::MainWindow window(options);
    window.show();
    if (simulator)
        simulator->showBeside(&window);
    return app.exec();
}

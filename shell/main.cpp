#include "session/ModuleSession.h"
#include "shell/MainWindow.h"
#include "shell/StartupOptions.h"
#include "shell/help/Language.h"
#ifdef PANELIX_WITH_SIMULATOR
#include "simulator/ui/SimulatedModule.h"
#endif

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    // The command line is read before the window system is touched, so --help and
    // a wrong option answer also where no display can be opened.
    panelix::StartupOptions options = panelix::defaultStartupOptions();
    QString message;
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    switch (panelix::parseStartupOptions(args, &options, &message)) {
    case panelix::ParseOutcome::Help:
        std::fputs(panelix::usageFor(panelix::chosenLanguage(options.language)).toUtf8().constData(), stdout);
        return 0;
    case panelix::ParseOutcome::Error:
        std::fprintf(stderr, "panelix: %s\n", message.toUtf8().constData());
        std::fputs(panelix::usageText().toUtf8().constData(), stderr);
        return 2;
    case panelix::ParseOutcome::Run:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Panelix"));
    QApplication::setApplicationName(QStringLiteral("Panelix"));
    {
#ifndef Q_OS_WIN
        const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                             QStringLiteral("/Panelix/Panelix.conf");
        if (panelix::setAsideOversizedSettings(file))
            std::fprintf(stderr, "panelix: settings file %s is over 1 MB: not read, set aside as %s.unusable\n",
                         file.toUtf8().constData(), file.toUtf8().constData());
#endif
        QSettings settings;
        const panelix::SettingsReport report = panelix::applySettings(&options, settings);
        for (const QString& key : report.ignoredKeys)
            std::fprintf(stderr, "panelix: stored setting %s is unusable: ignored and dropped\n", key.toUtf8().constData());
        if (report.resetFailed) {
            std::fprintf(stderr, "panelix: --reset-settings failed: %s cannot be written\n",
                         settings.fileName().toUtf8().constData());
            return 1;
        }
    }
    if (!panelix::installLanguage(panelix::chosenLanguage(options.language)))
        std::fputs("panelix: the English translation cannot be loaded; the window stays Chinese\n", stderr);

    // The simulated module sits behind a real pty, so COM1 goes through the same
    // serial code as a cable would; where there is no pty (Windows) behind an
    // in-process line paced the same way. It runs at line rate: transfers take as
    // long as on a real module.
#ifdef PANELIX_WITH_SIMULATOR
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

#else
    if (options.simulator) {
        std::fputs("panelix: this build has no simulated module\n", stderr);
        return 1;
    }
#endif

    // main → session → window: the window wires its controls to the session it is given.
    panelix::ModuleSession session;
    panelix::MainWindow window(session, options);
    window.show();
#ifdef PANELIX_WITH_SIMULATOR
    if (simulator)
        simulator->showBeside(&window, options.remember);
#endif
    return app.exec();
}

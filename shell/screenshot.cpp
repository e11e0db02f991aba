// Renders the main window offscreen into a PNG for the documentation:
//   panelix-screenshot OUT.png [panelix options...]
#include "shell/MainWindow.h"
#include "shell/StartupOptions.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fputs("usage: panelix-screenshot OUT.png [--data-dir DIR] [--port1 DEV] [--port2 DEV]\n", stderr);
        return 2;
    }
    panelix::StartupOptions options = panelix::defaultStartupOptions();
    QString message;
    if (panelix::parseStartupOptions(args.mid(2), &options, &message) != panelix::ParseOutcome::Run) {
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
        return 2;
    }
    panelix::MainWindow window(options);
    window.show();
    QTimer::singleShot(300, [&] {
        const bool ok = window.grab().save(args[1]);
        QApplication::exit(ok ? 0 : 1);
    });
    return app.exec();
}

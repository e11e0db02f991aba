#include "shell/MainWindow.h"
#include "shell/StartupOptions.h"

#include <QApplication>

#include <cstdio>

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

    panelix::MainWindow window(options);
    window.show();
    return app.exec();
}

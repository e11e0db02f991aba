// panelix-help-shots OUT_DIR [--data-dir DIR]: draws the help window (Chinese,
// at the command table) and the English main window into OUT_DIR/help-window.png
// and OUT_DIR/main-window-en.png, for the README. Runs offscreen as well.
#include "shell/help/HelpWindow.h"
#include "shell/help/Language.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTextBrowser>

#include <cstdio>

namespace {

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool save(QWidget& w, const QString& path) {
    if (w.grab().save(path))
        return true;
    std::fprintf(stderr, "panelix-help-shots: cannot write %s\n", path.toUtf8().constData());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty() || args[0].startsWith(QLatin1String("--"))) {
        std::fputs("usage: panelix-help-shots OUT_DIR [--data-dir DIR]\n", stderr);
        return 2;
    }
    const QDir out(args.takeFirst());
    panelix::StartupOptions options = panelix::defaultStartupOptions();
    QString message;
    if (panelix::parseStartupOptions(args, &options, &message) != panelix::ParseOutcome::Run) {
        std::fprintf(stderr, "panelix-help-shots: %s\n", message.toUtf8().constData());
        return 2;
    }
    // No device to open: the picture shows the window, not a port.
    options.port1 = QStringLiteral("/nonexistent/ttyS0");
    options.port2 = QStringLiteral("/nonexistent/ttyS1");

    panelix::installLanguage(panelix::Language::Chinese);
    {
        panelix::HelpWindow help;
        help.resize(760, 640);
        help.show();
        help.showPage(QStringLiteral("commands.html#commands"));
        settle(300);
        if (!save(help, out.filePath(QStringLiteral("help-window.png"))))
            return 1;
    }

    panelix::installLanguage(panelix::Language::English);
    panelix::ModuleSession session;
    panelix::MainWindow window(session, options);
    window.show();
    settle(300);
    // A picture of the data directory in the preview, its size on the status line.
    if (auto* files = window.findChild<QListWidget*>(QStringLiteral("File1")); files && files->count() > 0) {
        files->setCurrentRow(0);
        settle(200);
    }
    return save(window, out.filePath(QStringLiteral("main-window-en.png"))) ? 0 : 1;
}

#include "cli/Cli.h"
#include "cli/Interrupts.h"
#include "cli/Paths.h"
#include "session/ModuleSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <memory>
#ifndef _WIN32
#include <stdlib.h>
#include <unistd.h>
#endif

namespace {

void write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The tool's own messages go through Io; Qt's notes about the environment (a missing
// XDG_RUNTIME_DIR under the offscreen platform) would only clutter them.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        write(stderr, QStringLiteral("panelix-cli: ") + message + QLatin1Char('\n'));
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietQt);
    QStringList arguments;
    QList<QByteArray> nativeArguments; // paths are bytes: a name need not be UTF-8
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
        nativeArguments << QByteArray(argv[i]);
    }
    panelix::cli::setNativeArguments(arguments, nativeArguments);
    // Picture decoding needs Qt Gui (fonts for SVG text), never a display.
    std::unique_ptr<QCoreApplication> app;
    if (panelix::cli::needsGui(arguments)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt Gui looks for a runtime directory while it starts; without XDG_RUNTIME_DIR it
        // makes $TMPDIR/runtime-$USER and leaves it behind, although no window ever opens.
        // It gets a private one for its start instead, removed again at once.
        QByteArray runtimeDir;
#ifndef _WIN32
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/panelix-cli-XXXXXX";
            if (::mkdtemp(pattern.data())) {
                runtimeDir = pattern;
                qputenv("XDG_RUNTIME_DIR", runtimeDir);
            }
        }
#endif
        app = std::make_unique<QGuiApplication>(argc, argv);
#ifndef _WIN32
        if (!runtimeDir.isEmpty()) {
            ::rmdir(runtimeDir.constData());
            qunsetenv("XDG_RUNTIME_DIR");
        }
#endif
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("panelix-cli"));

    // Ctrl+C stops the transfers cleanly, and so does a second one: the clean-up of the
    // temporary data directory always runs to its end.
    panelix::cli::installInterruptHandlers();

    panelix::cli::Io io;
    io.out = [](const QString& text) { write(stdout, text); };
    io.err = [](const QString& text) { write(stderr, text); };
    io.errIsTerminal = panelix::cli::stderrIsTerminal();
    // Each port's module is reached through a session of its own, made here.
    io.makeSession = [] { return std::make_unique<panelix::ModuleSession>(); };
    return panelix::cli::run(arguments, io);
}

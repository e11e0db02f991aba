// The module's end of the Windows command line test: a pty whose slave Wine knows
// as a COM port, with the scripted module on its master. It starts the command
// (wine panelix-cli.exe download ...), waits for it, and checks that the module
// received exactly the connection test, the bitmap header and the download image
// that the command wrote to DATA_DIR/file.add, up to the image's end address.
//
// Usage: win-cli-standin --com PATH --data-dir DIR -- COMMAND...
//   PATH is the dosdevices link to point at the pty (e.g. $WINEPREFIX/dosdevices/com6).
// Exit status 0 when the command succeeded and every byte matched.

#include "tests/win/ControllingTerminal.h"

#include "protocol/Module.h"
#include "simulator/Pty.h"
#include "support/ScriptedModule.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <chrono>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace panelix;

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string com;
    QString dataDir;
    int cmd = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--com" && i + 1 < argc) {
            com = argv[++i];
        } else if (a == "--data-dir" && i + 1 < argc) {
            dataDir = QString::fromLocal8Bit(argv[++i]);
        } else if (a == "--") {
            cmd = i + 1;
            break;
        }
    }
    if (com.empty() || dataDir.isEmpty() || cmd == 0 || cmd >= argc) {
        std::fprintf(stderr, "usage: win-cli-standin --com PATH --data-dir DIR -- COMMAND...\n");
        return 2;
    }

    Pty pty;
    if (!pty.open()) {
        std::fprintf(stderr, "win-cli-standin: no pty\n");
        return 1;
    }
    const std::string slave = pty.slavePath().toStdString();
    const pid_t holder = holdControllingTerminal(slave, pty.masterFd());
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                ::waitpid(pid, nullptr, 0);
            }
        }
    } reaper{holder};
    ::unlink(com.c_str());
    if (holder < 0 || ::symlink(slave.c_str(), com.c_str()) != 0) {
        std::fprintf(stderr, "win-cli-standin: cannot link %s to %s\n", com.c_str(), slave.c_str());
        return 1;
    }
    ScriptedModule scripted(pty);
    ScriptedModule::Config config;
    config.lineRate = true; // the module takes the bytes at 19,200 baud, as a real one does
    scripted.start(config);

    pid_t child = 0;
    if (posix_spawnp(&child, argv[cmd], nullptr, nullptr, argv + cmd, environ) != 0) {
        std::fprintf(stderr, "win-cli-standin: cannot start %s\n", argv[cmd]);
        return 1;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    ::unlink(com.c_str());

    QFile fileAdd(QDir(dataDir).filePath(QStringLiteral("file.add")));
    if (!fileAdd.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "win-cli-standin: the command wrote no file.add in %s\n", qPrintable(dataDir));
        return 1;
    }
    const QByteArray image = fileAdd.readAll();
    const quint32 end = module::decodeDirectory(image).end;
    // The connection test that makes sure the module listens, the header, the image.
    const QByteArray expected = module::simpleCommand(module::CmdConnectionTest) +
                                module::bitmapHeader(module::bankedAddress(end)) + image.left(qsizetype(end));
    // Without the pty shim's queue a pty takes the bytes at once, and the command may end
    // before the module, which takes them at line rate, has read them all.
    scripted.waitForCount(expected.size(), 60000);
    scripted.stop();
    const QByteArray got = scripted.received();
    qsizetype firstDifference = -1;
    for (qsizetype i = 0; i < std::max(got.size(), expected.size()); ++i) {
        if (i >= got.size() || i >= expected.size() || got[i] != expected[i]) {
            firstDifference = i;
            break;
        }
    }
    std::printf("cli stand-in: command exit %d; module received %lld bytes, expected %lld (test, header and image to 0x%x)%s\n",
                exitCode, static_cast<long long>(got.size()), static_cast<long long>(expected.size()), end,
                firstDifference < 0 ? ", byte-exact" : "");
    if (firstDifference >= 0)
        std::printf("cli stand-in: first difference at byte %lld\n", static_cast<long long>(firstDifference));
    return exitCode == 0 && firstDifference < 0 ? 0 : 1;
}

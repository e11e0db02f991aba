#pragma once

#include <QByteArray>
#include <QString>

namespace panelix {

// A pseudo-terminal pair in raw mode. The application opens slavePath() as its
// serial device; the module side reads and writes the master. A spare slave
// descriptor is kept open so the master never reads EIO while the application
// has the port closed (switching ports, start-up order).
class Pty {
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool open();
    bool isOpen() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    // Drops the spare slave descriptor: once the application closes its side too,
    // the master reads EIO, as an unplugged line would.
    void releaseSlave();
    // Closes the master: the application's side sees a hang-up (an unplugged device).
    void closeMaster();

    bool writeAll(const QByteArray& bytes);
    // Everything waiting now, without blocking.
    QByteArray readAvailable();
    // Reads until count bytes have arrived or timeoutMs has passed.
    QByteArray readExactly(int count, int timeoutMs);
    // Reads whatever arrives until the line has been quiet for quietMs (or totalMs passed).
    QByteArray readUntilQuiet(int quietMs, int totalMs);

private:
    int master_ = -1;
    int spareSlave_ = -1;
    QString slavePath_;
};

} // namespace panelix

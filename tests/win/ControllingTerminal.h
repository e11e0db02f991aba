#pragma once

// Shared by the Wine stand-ins (standin.cpp, cli_standin.cpp): a pty that Wine
// opens as a COM port must not become the Wine server's controlling terminal.

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

// The Wine server is a session leader and opens devices without O_NOCTTY: the
// first pty it opens would become its controlling terminal, and closing the
// master would hang it up with SIGHUP, taking every Wine process down instead
// of failing the port. A child of ours in a session of its own takes the pty
// as its controlling terminal first, ignores the hang-up, and keeps the slave
// open, so the master never reads EIO while the program reopens its end.
// It lives until it is killed. Returns its pid, or -1.
inline pid_t holdControllingTerminal(const std::string& slavePath, int master) {
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Gone with the stand-in, however it ends.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() == 1)
            ::_exit(0);
        ::close(ready[0]);
        ::close(master); // the unplug is the parent's closing it: no copy here
        std::signal(SIGHUP, SIG_IGN);
        ::setsid();
        const int fd = ::open(slavePath.c_str(), O_RDWR);
        const char ok = fd >= 0 && ::tcgetsid(fd) == ::getpid() ? 1 : 0;
        [[maybe_unused]] auto w = ::write(ready[1], &ok, 1);
        ::close(ready[1]);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char ok = 0;
    const bool held = pid > 0 && ::read(ready[0], &ok, 1) == 1 && ok == 1;
    ::close(ready[0]);
    if (pid > 0 && !held) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}


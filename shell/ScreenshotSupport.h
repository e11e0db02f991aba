#pragma once

#include <QEventLoop>
#include <QTimer>

#include <functional>

// What the documentation's screenshot tools share.
namespace panelix::shots {

// Runs the event loop until done() holds or timeoutMs has passed; returns done().
inline bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(10);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

} // namespace panelix::shots

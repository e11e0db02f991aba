#pragma once

#include <QByteArray>

#include <functional>

// Reading and writing non-blocking descriptors (serial devices, pseudo-terminals).
namespace panelix {

// Appends every byte waiting. False at end of file or on an error: on a terminal
// both mean the device has gone.
bool readWaiting(int fd, QByteArray* out);

// Writes all of bytes, waiting for room whenever the driver's buffer is full.
// keepWaiting is asked at each wait; when it says no, the write ends early and
// counts as done. False when the descriptor fails.
bool writeAll(int fd, const QByteArray& bytes, const std::function<bool()>& keepWaiting);

} // namespace panelix

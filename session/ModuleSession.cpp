#include "session/ModuleSession.h"

#include "bitmap/BitmapDownload.h"
#include "common/DataDir.h"
#include "font/FontImage.h"
#include "protocol/Module.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace panelix {

ModuleSession::ModuleSession(QObject* parent) : QObject(parent) {
    // The module's line: 19,200 baud, 8 data bits, no parity, 1 stop bit.
    port_.setSettings(QStringLiteral("19200,n,8,1"));
    silentTimer_.setSingleShot(true);
    silentTimer_.setTimerType(Qt::PreciseTimer);
    silentTimer_.setInterval(SilentModuleMs);
    connect(&silentTimer_, &QTimer::timeout, this, [this] {
        if (active_ != TransferKind::None && !port_.running() && port_.sThreshold() == 1)
            emit moduleSilent();
    });
    reconnectTimer_.setInterval(ReconnectPollMs);
    connect(&reconnectTimer_, &QTimer::timeout, this, [this] {
        if (port_.portOpen()) {
            reconnectTimer_.stop();
            return;
        }
        // A device node that is back may still refuse for a moment (udev sets its
        // permissions after it appears): simply try again at the next poll.
        if (QFileInfo::exists(port_.devicePath(port_.commPort())) && port_.setPortOpen(true)) {
            reconnectTimer_.stop();
            emit reconnected();
        }
    });
    connect(&port_, &CommPort::runningChanged, this, &ModuleSession::transferRunning);
    connect(&port_, &CommPort::transferProgress, this, [this](qint32 sent, qint32 total) {
        TransferProgress p;
        p.kind = active_;
        p.sent = sent;
        p.total = total;
        const qint64 elapsed = clock_.isValid() ? clock_.elapsed() : 0;
        const qint32 done = sent - clockStart_;
        if (done > 64 && elapsed > 500) {
            p.bytesPerSecond = double(done) * 1000.0 / double(elapsed);
            p.secondsLeft = (elapsed * qint64(total - sent) / done + 999) / 1000;
        }
        emit progress(p);
    });
    connect(&port_, &CommPort::transferFinished, this, [this] {
        const TransferKind kind = active_;
        endTransfer();
        emit finished(kind);
    });
    connect(&port_, &CommPort::moduleError, this, [this](qint32 sent) {
        Failure f;
        f.reason = FailureReason::ModuleError;
        f.transfer = active_;
        f.sent = sent;
        endTransfer();
        emit failed(f);
    });
    connect(&port_, &CommPort::received, this, [this](const QByteArray& bytes) {
        // Only the answer to a test that was sent counts: a stray 0x0C after a
        // failed transfer must not read as success.
        if (!bytes.isEmpty() && quint8(bytes[0]) == module::ReplyTestOk && testPending_) {
            testPending_ = false;
            emit testAnswered();
        }
        emit received(bytes);
    });
    connect(&port_, &CommPort::disconnected, this, [this] {
        Failure f;
        f.reason = FailureReason::PortLost;
        f.transfer = active_;
        f.port = port_.commPort();
        f.sent = port_.sendPosition();
        testPending_ = false;
        port_.abandonTransfer();
        endTransfer();
        if (reconnect_)
            reconnectTimer_.start();
        emit failed(f);
    });
}

void ModuleSession::setReconnect(bool on) {
    reconnect_ = on;
    if (!on)
        reconnectTimer_.stop();
}

ModuleSession::~ModuleSession() {
    port_.setPortOpen(false);
}

bool ModuleSession::setDataDir(const QString& dir) {
    dataDir_ = dir;
    dataDirUsable_ = !dir.isEmpty() && QDir().mkpath(dir) && QFileInfo(dir).isDir() && QFileInfo(dir).isReadable();
    // A write killed between its temporary and the rename leaves the temporary
    // behind; nothing else will ever remove it.
    if (dataDirUsable_)
        removeStaleTemporaries(dir);
    return dataDirUsable_;
}

QString ModuleSession::loadList() {
    QString message;
    const QStringList entries = dataDirUsable_ ? listFile_.LoadList(listFilePath(dataDir_), &message) : QStringList();
    list_.setEntries(entries);
    return message;
}

Refusal ModuleSession::saveList() {
    QString message;
    if (!dataDirUsable_ || !listFile_.SaveList(list_.entries(), listFilePath(dataDir_), &message)) {
        Failure f;
        f.cause = InputCause::ListNotSaved;
        f.transfer = TransferKind::Bitmaps;
        f.text = message.isEmpty() ? QCoreApplication::translate("panelix::ListFile", "位图列表保存失败!")
                                   : message;
        return f;
    }
    return std::nullopt;
}

void ModuleSession::setDevicePath(int port, const QString& path) {
    port_.setDevicePath(port, path);
}

Refusal ModuleSession::openPort(int port) {
    // The bytes still queued for the old line are gone with it; a transfer cannot
    // go on as if they had been sent, nor resume on another line.
    if (active_ != TransferKind::None) {
        Failure f;
        f.reason = FailureReason::PortSwitched;
        f.transfer = active_;
        f.port = port_.commPort();
        f.sent = port_.sendPosition();
        port_.abandonTransfer();
        endTransfer();
        emit failed(f);
    }
    testPending_ = false;
    reconnectTimer_.stop();
    port_.setPortOpen(false);
    port_.setCommPort(port);
    if (!port_.setPortOpen(true)) {
        Failure f;
        f.reason = FailureReason::PortOpenFailed;
        f.port = port;
        f.openError = port_.openError();
        f.text = port_.errorString();
        return f;
    }
    return std::nullopt;
}

void ModuleSession::closePort() {
    reconnectTimer_.stop();
    if (active_ != TransferKind::None) {
        port_.abandonTransfer();
        endTransfer();
    }
    testPending_ = false;
    port_.setPortOpen(false);
}

Refusal ModuleSession::refuse(Failure f) {
    // A download that was running stops at a new start; if the new start is
    // refused, it ends there too rather than staying armed.
    port_.abandonTransfer();
    endTransfer();
    return f;
}

void ModuleSession::endTransfer() {
    active_ = TransferKind::None;
    silentTimer_.stop();
    clock_.invalidate();
}

Refusal ModuleSession::downloadBitmaps() {
    imageBuilt_ = false;
    // The running transfer stops here, whatever becomes of the new start.
    port_.abandonTransfer();
    endTransfer();
    if (Refusal r = saveList())
        return refuse(*r);
    if (!builder_.BuildDownloadImage(list_.entries(), findDataFile(dataDir_, QStringLiteral("file.add")))) {
        Failure f;
        f.transfer = TransferKind::Bitmaps;
        f.text = builder_.error();
        f.cause = f.text == DownloadImageBuilder::writeFailedText() ? InputCause::FileAddNotWritten
                  : f.text == DownloadImageBuilder::tooManyText()   ? InputCause::TooManyBitmaps
                  : f.text == DownloadImageBuilder::tooLargeText()  ? InputCause::ImageTooLarge
                                                                    : InputCause::BitmapRefused;
        return refuse(f);
    }
    imageBuilt_ = true;
    return sendBitmapImage(builder_.downloadImage());
}

// A refused image never becomes the transfer's image: a late 0xAA from the
// module could otherwise push bytes that no header announced.
Refusal ModuleSession::sendBitmapImage(const QByteArray& image) {
    const BitmapDownloadPlan plan = planBitmapDownload(image, PageSize);
    if (!plan.accepted) {
        Failure f;
        f.transfer = TransferKind::Bitmaps;
        f.text = plan.message;
        f.cause = plan.transferTotal > module::MaxBitmapTransfer ? InputCause::ImageTooLarge : InputCause::ImageInvalid;
        return refuse(f);
    }
    return startTransfer(TransferKind::Bitmaps, image, plan.transferTotal, plan.header);
}

Refusal ModuleSession::downloadFont() {
    port_.abandonTransfer();
    endTransfer();
    FontImage font = loadFontImage(dataDir_);
    if (!font.ok) {
        Failure f;
        f.transfer = TransferKind::Font;
        f.cause = InputCause::FontMissing;
        f.text = font.message;
        return refuse(f);
    }
    return startTransfer(TransferKind::Font, std::move(font.image), module::FontTransferTotal, module::fontHeader());
}

Refusal ModuleSession::downloadImage(const QByteArray& image) {
    imageBuilt_ = false;
    port_.abandonTransfer();
    endTransfer();
    return sendBitmapImage(image);
}

Refusal ModuleSession::startTransfer(TransferKind kind, QByteArray image, qint32 total, const QByteArray& header) {
    if (!port_.portOpen()) {
        Failure f;
        f.reason = FailureReason::PortNotOpen;
        f.transfer = kind;
        return refuse(f);
    }
    port_.startTransfer(std::move(image), total, header);
    active_ = kind;
    silentTimer_.start();
    return std::nullopt;
}

void ModuleSession::transferRunning(bool running) {
    if (running) {
        silentTimer_.stop();
        clock_.start();
        clockStart_ = port_.sendPosition();
    }
    emit runningChanged(running);
}

Refusal ModuleSession::sendSingle(const QByteArray& bytes) {
    if (!port_.portOpen()) {
        Failure f;
        f.reason = FailureReason::PortNotOpen;
        return f;
    }
    if (port_.running()) {
        Failure f;
        f.reason = FailureReason::Busy;
        f.transfer = active_;
        return f;
    }
    port_.output(bytes);
    return std::nullopt;
}

Refusal ModuleSession::testConnection() {
    Refusal r = sendSingle(module::simpleCommand(module::CmdConnectionTest));
    if (!r)
        testPending_ = true;
    return r;
}

Refusal ModuleSession::sendCommand(const QByteArray& bytes) {
    return sendSingle(bytes);
}

Refusal ModuleSession::clearScreen() {
    return sendSingle(module::simpleCommand(module::CmdClearScreen));
}

Refusal ModuleSession::setBacklight(bool on) {
    return sendSingle(module::simpleCommand(on ? module::CmdBacklightOn : module::CmdBacklightOff));
}

bool ModuleSession::showBitmap(int n) {
    if (n < 0 || n > 255 || !port_.portOpen() || port_.running())
        return false;
    port_.output(module::showImageCommand(0, 0, quint8(n)));
    return true;
}

} // namespace panelix

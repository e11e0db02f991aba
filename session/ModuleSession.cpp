#include "session/ModuleSession.h"

#include "common/DataDir.h"
#include "common/Gbk.h"
#include "font/FontImage.h"
#include "protocol/Module.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace panelix {

namespace {

std::uint8_t byteOf(int v) {
    return std::uint8_t(std::clamp(v, 0, 255));
}

bool isByte(int v) {
    return v >= 0 && v <= 255;
}

} // namespace

ModuleSession::ModuleSession(QObject* parent) : QObject(parent) {
    // The module's line: 19,200 baud, 8 data bits, no parity, 1 stop bit.
    port_.setLineSettings(QStringLiteral("19200,n,8,1"));
    for (QTimer* t : {&silentTimer_, &testTimer_, &stallTimer_, &syncTimer_}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    connect(&silentTimer_, &QTimer::timeout, this, [this] {
        if (active_ != TransferKind::None && !port_.running() && port_.pacing())
            emit moduleSilent();
    });
    connect(&testTimer_, &QTimer::timeout, this, [this] {
        if (!testPending_)
            return;
        testPending_ = false;
        emit testUnanswered();
    });
    connect(&stallTimer_, &QTimer::timeout, this, [this] {
        if (!running())
            return;
        const Failure f = transferFailure(FailureReason::Stalled);
        port_.abandonTransfer();
        endTransfer();
        emit failed(f);
    });
    connect(&syncTimer_, &QTimer::timeout, this, &ModuleSession::syncTimeout);
    playTimer_.setSingleShot(true);
    playTimer_.setTimerType(Qt::PreciseTimer);
    connect(&playTimer_, &QTimer::timeout, this, &ModuleSession::playTick);
    reconnectTimer_.setInterval(ReconnectPollMs);
    connect(&reconnectTimer_, &QTimer::timeout, this, [this] {
        if (port_.isOpen()) {
            reconnectTimer_.stop();
            return;
        }
        // A device node that is back may still refuse for a moment (udev sets its
        // permissions after it appears): simply try again at the next poll.
        if (QFileInfo::exists(port_.devicePath(port_.selectedPort())) && port_.open()) {
            reconnectTimer_.stop();
            emit reconnected();
        }
    });
    connect(&port_, &CommPort::runningChanged, this, &ModuleSession::transferRunning);
    connect(&port_, &CommPort::transferProgress, this, [this](qint32 sent, qint32 total) {
        if (active_ == TransferKind::None)
            return;
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
        if (running())
            stallTimer_.start(stallMs_);
        emit progress(p);
    });
    connect(&port_, &CommPort::transferFinished, this, [this](qint32 total) {
        const TransferKind kind = active_;
        endTransfer();
        emit finished(kind, total);
    });
    connect(&port_, &CommPort::moduleError, this, [this](qint32 sent) {
        // While the module is being made to listen, its 0x55 says it gave a cut
        // transfer up: no header of ours went out yet.
        if (sync_ != Sync::Off)
            return;
        Failure f = transferFailure(FailureReason::ModuleError);
        f.sent = sent;
        endTransfer();
        emit failed(f);
    });
    connect(&port_, &CommPort::received, this, [this](const QByteArray& bytes) {
        if (sync_ != Sync::Off) {
            syncReply(bytes);
        } else if (!bytes.isEmpty() && quint8(bytes[0]) == module::ReplyTestOk && testPending_) {
            // Only the answer to a test that was sent counts: a stray 0x0C after a
            // failed transfer must not read as success.
            testPending_ = false;
            testTimer_.stop();
            emit testAnswered();
        }
        emit received(bytes);
    });
    connect(&port_, &CommPort::drained, this, &ModuleSession::commandWritten);
    connect(&port_, &CommPort::disconnected, this, [this] {
        endPlay(false);
        Failure f = transferFailure(FailureReason::PortLost);
        testPending_ = false;
        testTimer_.stop();
        port_.abandonTransfer();
        endTransfer();
        if (reconnect_)
            reconnectTimer_.start();
        emit failed(f);
    });
}

ModuleSession::~ModuleSession() {
    port_.close();
}

void ModuleSession::setAnswerTimeout(int ms) {
    answerMs_ = std::max(1, ms);
}

void ModuleSession::setStallTimeout(int ms) {
    stallMs_ = std::max(1, ms);
}

void ModuleSession::setReconnect(bool on) {
    reconnect_ = on;
    if (!on)
        reconnectTimer_.stop();
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

InputError ModuleSession::loadList() {
    InputError error;
    const QStringList entries = dataDirUsable_ ? listFile_.loadList(listFilePath(dataDir_), &error) : QStringList();
    list_.setEntries(entries);
    return error;
}

Refusal ModuleSession::saveList() {
    Failure f;
    f.transfer = TransferKind::Bitmaps;
    if (!dataDirUsable_) {
        f.input = inputError(InputReason::DataDirUnusable, dataDir_);
        return f;
    }
    if (!listFile_.saveList(list_.entries(), listFilePath(dataDir_), &f.input))
        return f;
    return std::nullopt;
}

void ModuleSession::setDevicePath(int port, const QString& path) {
    port_.setDevicePath(port, path);
}

Failure ModuleSession::transferFailure(FailureReason reason) const {
    Failure f;
    f.reason = reason;
    f.transfer = active_;
    f.port = port_.selectedPort();
    if (active_ != TransferKind::None && sync_ == Sync::Off) {
        // A closed port (a lost one) has stopped its link thread: its count is final.
        f.sent = port_.isOpen() ? port_.sendPosition() : port_.lineWritten();
        f.total = port_.transferTotal();
    } else if (active_ != TransferKind::None) {
        f.total = total_;
    }
    return f;
}

Refusal ModuleSession::openPort(int port) {
    endPlay(false);
    // The bytes still queued for the old line are gone with it; a transfer cannot
    // go on as if they had been sent, nor resume on another line.
    if (active_ != TransferKind::None) {
        const Failure f = transferFailure(FailureReason::PortSwitched);
        port_.abandonTransfer();
        endTransfer();
        emit failed(f);
    }
    testPending_ = false;
    testTimer_.stop();
    reconnectTimer_.stop();
    port_.close();
    port_.selectPort(port);
    if (!port_.open()) {
        Failure f;
        f.reason = FailureReason::PortOpenFailed;
        f.port = port;
        f.openError = port_.openError();
        f.systemText = port_.errorString();
        return f;
    }
    return std::nullopt;
}

void ModuleSession::closePort() {
    endPlay(false);
    reconnectTimer_.stop();
    if (active_ != TransferKind::None) {
        port_.abandonTransfer();
        endTransfer();
    }
    testPending_ = false;
    testTimer_.stop();
    port_.close();
}

std::optional<Failure> ModuleSession::stopTransfer() {
    if (active_ == TransferKind::None)
        return std::nullopt;
    const Failure f = transferFailure(FailureReason::Stopped);
    port_.abandonTransfer();
    endTransfer();
    return f;
}

Refusal ModuleSession::refuse(Failure f) {
    // A download that was armed stops at a new start; if the new start is
    // refused, it ends there too rather than staying armed.
    port_.abandonTransfer();
    endTransfer();
    return f;
}

void ModuleSession::endTransfer() {
    active_ = TransferKind::None;
    sync_ = Sync::Off;
    image_ = QByteArray();
    header_ = QByteArray();
    total_ = 0;
    syncTimer_.stop();
    silentTimer_.stop();
    stallTimer_.stop();
    clock_.invalidate();
}

PackedList ModuleSession::packList(const QStringList& entries, const QString& fileAddPath) {
    PackedList out;
    DownloadImageBuilder builder;
    if (!builder.buildDownloadImage(entries, fileAddPath)) {
        out.error = builder.error();
        return out;
    }
    out.image = builder.downloadImage();
    out.plan = planBitmapDownload(out.image);
    return out;
}

Refusal ModuleSession::downloadBitmaps() {
    if (running())
        return transferFailure(FailureReason::AlreadyRunning);
    imageBuilt_ = false;
    // The armed transfer stops here, whatever becomes of the new start.
    port_.abandonTransfer();
    endTransfer();
    if (Refusal r = saveList())
        return refuse(*r);
    const PackedList packed = packList(list_.entries(), findDataFile(dataDir_, QStringLiteral("file.add")));
    if (!packed.built()) {
        Failure f;
        f.transfer = TransferKind::Bitmaps;
        f.input = packed.error;
        return refuse(f);
    }
    imageBuilt_ = true;
    return sendBitmapImage(packed.image);
}

// A refused image never becomes the transfer's image: a late 0xAA from the
// module could otherwise push bytes that no header announced.
Refusal ModuleSession::sendBitmapImage(const QByteArray& image) {
    const BitmapDownloadPlan plan = planBitmapDownload(image);
    if (!plan.accepted) {
        Failure f;
        f.transfer = TransferKind::Bitmaps;
        f.input = plan.error;
        return refuse(f);
    }
    return beginTransfer(TransferKind::Bitmaps, image, plan.transferTotal, plan.header);
}

Refusal ModuleSession::downloadFont() {
    return downloadFontFile(findDataFile(dataDir_, QStringLiteral("hzk16")));
}

Refusal ModuleSession::downloadFontFile(const QString& path) {
    if (running())
        return transferFailure(FailureReason::AlreadyRunning);
    port_.abandonTransfer();
    endTransfer();
    FontImage font = loadFontFile(path);
    if (!font.ok) {
        Failure f;
        f.transfer = TransferKind::Font;
        f.input = font.error;
        return refuse(f);
    }
    return beginTransfer(TransferKind::Font, std::move(font.image), module::FontTransferTotal, module::fontHeader());
}

Refusal ModuleSession::downloadImage(const QByteArray& image) {
    if (running())
        return transferFailure(FailureReason::AlreadyRunning);
    imageBuilt_ = false;
    port_.abandonTransfer();
    endTransfer();
    return sendBitmapImage(image);
}

Refusal ModuleSession::beginTransfer(TransferKind kind, QByteArray image, qint32 total, const QByteArray& header) {
    // A show-image command between the header and the data would be taken as data.
    endPlay(false);
    if (!port_.isOpen()) {
        Failure f;
        f.reason = FailureReason::PortNotOpen;
        f.transfer = kind;
        return refuse(f);
    }
    active_ = kind;
    image_ = std::move(image);
    total_ = total;
    header_ = header;
    syncAsks_ = 0;
    toldWaiting_ = false;
    syncClock_.start();
    // A test of the user's own is answered by the same 0x0C: it counts as answered.
    testPending_ = false;
    testTimer_.stop();
    askModule();
    return std::nullopt;
}

void ModuleSession::askModule() {
    sync_ = Sync::Asked;
    ++syncAsks_;
    port_.write(module::simpleCommand(module::CmdConnectionTest));
    syncTimer_.start(SyncAnswerMs);
}

void ModuleSession::syncReply(const QByteArray& bytes) {
    if (bytes.contains(char(module::ReplyTestOk))) {
        sendHeader();
        return;
    }
    if (bytes.contains(char(module::ReplyError))) {
        // It has just given something up (a cut transfer, a half command): it
        // listens again.
        askModule();
        return;
    }
    if (bytes.contains(char(module::ReplyGoOn)))
        waitForQuiet(); // our test went in as data of a cut transfer
}

// The module does not listen for a command: it is inside a cut transfer (taking our
// test as data) or is not there at all. Left quiet, a module gives a cut transfer up
// after its transfer time-out and says so with 0x55.
void ModuleSession::waitForQuiet() {
    sync_ = Sync::Quiet;
    syncTimer_.start(SyncQuietMs);
    if (!toldWaiting_) {
        toldWaiting_ = true;
        emit waitingForModule();
    }
}

void ModuleSession::syncTimeout() {
    if (sync_ == Sync::Off)
        return;
    const bool lastTry = syncAsks_ >= 2 || syncClock_.elapsed() >= SyncLimitMs;
    if (sync_ == Sync::Asked && lastTry) {
        // Nobody answers: the header goes out all the same (a module that wakes up
        // still gets its transfer), and the front end hears at once.
        sendHeader();
        silentTimer_.stop();
        emit moduleSilent();
        return;
    }
    if (sync_ == Sync::Asked)
        waitForQuiet();
    else
        askModule();
}

void ModuleSession::sendHeader() {
    sync_ = Sync::Off;
    syncTimer_.stop();
    port_.startTransfer(std::move(image_), total_, header_);
    image_ = QByteArray();
    silentTimer_.start(answerMs_);
}

void ModuleSession::transferRunning(bool running) {
    if (running) {
        silentTimer_.stop();
        stallTimer_.start(stallMs_);
        clock_.start();
        clockStart_ = port_.sendPosition();
    }
    emit runningChanged(running);
}

TransferProgress ModuleSession::progressNow() const {
    TransferProgress p;
    p.kind = active_;
    if (active_ != TransferKind::None) {
        p.sent = sync_ == Sync::Off ? port_.sendPosition() : 0;
        p.total = sync_ == Sync::Off ? port_.transferTotal() : total_;
    }
    return p;
}

Refusal ModuleSession::sendSingle(const QByteArray& bytes) {
    if (!port_.isOpen()) {
        Failure f;
        f.reason = FailureReason::PortNotOpen;
        return f;
    }
    if (running())
        return transferFailure(FailureReason::Busy);
    port_.write(bytes);
    return std::nullopt;
}

Refusal ModuleSession::testConnection() {
    Refusal r = sendSingle(module::simpleCommand(module::CmdConnectionTest));
    if (!r) {
        testPending_ = true;
        testTimer_.start(answerMs_);
    }
    return r;
}

Refusal ModuleSession::sendCommand(const QByteArray& bytes) {
    return sendSingle(bytes);
}

Refusal ModuleSession::clearScreen(bool inverted) {
    const QByteArray command = module::simpleCommand(module::CmdClearScreen);
    return sendSingle(inverted ? module::invertedCommand(command) : command);
}

Refusal ModuleSession::setBacklight(bool on, bool inverted) {
    const QByteArray command = module::simpleCommand(on ? module::CmdBacklightOn : module::CmdBacklightOff);
    return sendSingle(inverted ? module::invertedCommand(command) : command);
}

Refusal ModuleSession::showImage(int n, int x, int y, bool inverted) {
    const QByteArray command = module::showImageCommand(byteOf(x), byteOf(y), byteOf(n));
    return sendSingle(inverted ? module::invertedCommand(command) : command);
}

Refusal ModuleSession::showText(int x, int y, const QString& text, bool large, bool inverted) {
    const QByteArray command = module::showTextCommand(byteOf(x), byteOf(y), moduleTextCodes(text), large);
    return sendSingle(inverted ? module::invertedCommand(command) : command);
}

Refusal ModuleSession::invertArea(int x, int y, int width, int height) {
    return sendSingle(module::rectCommand(module::CmdInvertRect, byteOf(x), byteOf(y), byteOf(width), byteOf(height)));
}

bool ModuleSession::showBitmap(int n) {
    if (!isByte(n) || !port_.isOpen() || running())
        return false;
    return !showImage(n);
}

Refusal ModuleSession::play(const PlayPlan& plan) {
    const qint64 frames = qint64(plan.delaysMs.size());
    if (frames == 0 || plan.first < 0 || plan.first + frames > module::MaxBitmaps) {
        Failure f;
        f.input = inputError(InputReason::TooManyFrames, QString(), -1, frames);
        return f;
    }
    if (!port_.isOpen()) {
        Failure f;
        f.reason = FailureReason::PortNotOpen;
        return f;
    }
    // Armed or running: the commands would land in the transfer's data.
    if (active_ != TransferKind::None)
        return transferFailure(FailureReason::Busy);
    endPlay(false);
    play_ = plan;
    for (int& d : play_.delaysMs)
        d = std::clamp(d, MinPlayDelayMs, MaxPlayDelayMs);
    play_.passes = plan.passes <= 0 ? MaxPlayPasses : std::min(plan.passes, MaxPlayPasses);
    playFrame_ = 0;
    playPass_ = 0;
    playShown_ = 0;
    playEnding_ = false;
    playClock_.start();
    playDue_ = 0;
    playTimer_.start(0);
    return std::nullopt;
}

void ModuleSession::stopPlaying() {
    endPlay(false);
}

void ModuleSession::endPlay(bool complete) {
    if (!playTimer_.isActive() && !playEnding_ && !complete)
        return;
    playTimer_.stop();
    playEnding_ = false;
    emit playFinished(playShown_, complete);
}

void ModuleSession::playTick() {
    if (playEnding_) {
        endPlay(true);
        return;
    }
    const int n = play_.first + int(playFrame_);
    if (Refusal r = showImage(n, play_.x, play_.y, play_.inverted)) {
        playTimer_.stop();
        emit failed(*r);
        emit playFinished(playShown_, false);
        return;
    }
    ++playShown_;
    emit frameShown(n, playPass_);
    // The next moment counts from when this frame was due; a tick that came more than
    // 50 ms late (a busy event loop) starts the count again, rather than hurrying the
    // frames that follow.
    const qint64 now = playClock_.elapsed();
    if (now - playDue_ > 50)
        playDue_ = now;
    playDue_ += play_.delaysMs[playFrame_];
    if (++playFrame_ == play_.delaysMs.size()) {
        playFrame_ = 0;
        playEnding_ = ++playPass_ >= play_.passes;
    }
    playTimer_.start(int(std::max<qint64>(0, playDue_ - playClock_.elapsed())));
}

} // namespace panelix

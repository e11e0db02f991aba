#pragma once

#include "bitmap/BitmapDownload.h"
#include "bitmap/DownloadImageBuilder.h"
#include "common/InputError.h"
#include "library/BitmapList.h"
#include "library/ListFile.h"
#include "link/CommPort.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>
#include <vector>

namespace panelix {

enum class TransferKind { None, Bitmaps, Font };

struct TransferProgress {
    TransferKind kind = TransferKind::None;
    qint32 sent = 0;
    qint32 total = 0;
    double bytesPerSecond = 0; // 0 until enough has gone to tell
    qint64 secondsLeft = -1;   // -1 until enough has gone to tell
};

enum class FailureReason {
    ModuleError,    // the module answered 0x55
    PortLost,       // the device went away while open
    PortSwitched,   // the other port was chosen while a transfer ran
    PortNotOpen,    // nothing was sent: the port is closed
    PortOpenFailed, // openError and port say which and why
    Busy,           // data is flowing: a single command would corrupt it
    AlreadyRunning, // data is flowing: a new download would land its header in the data
    RefusedInput,   // input says what was refused and why
    Stalled,        // a running transfer made no progress for the stall time; it ended
    Stopped,        // the front end stopped the transfer (stopTransfer)
};

struct Failure {
    FailureReason reason = FailureReason::RefusedInput;
    TransferKind transfer = TransferKind::None;
    InputError input;   // RefusedInput: what was refused and why
    OpenError openError = OpenError::None;
    QString systemText; // PortOpenFailed: the system's own words, when it gave any
    int port = 0;
    qint32 sent = 0;  // data bytes the line had taken
    qint32 total = 0; // data bytes the transfer announced; 0 before a header
};

// Empty when the operation went ahead.
using Refusal = std::optional<Failure>;

// Stored pictures shown one after another with the show-image command: an animation
// the module cannot play by itself.
struct PlayPlan {
    int first = 0;             // the stored picture of the first frame (0 = the first)
    std::vector<int> delaysMs; // one a frame: how long it stays before the next one
    int passes = 1;            // times through the frames; 0: until stopped
    int x = 0;                 // where the pictures go: byte column and dot row
    int y = 0;
    bool inverted = false;
};

// A download image built from a list of bitmaps and written to its file, and
// whether the module would take it.
struct PackedList {
    InputError error;        // the build was refused: nothing written
    QByteArray image;        // the image as written
    BitmapDownloadPlan plan; // plan.accepted false: built and written, but too large to send
    bool built() const { return !error.failed(); }
};

// Everything that can be done with the module, without a window: the port and its
// choice, the bitmap list and its file, the downloads, the connection test and the
// single commands. It is the one sequencer of the exchange: front ends (the main
// window, the command line) call the operations and turn the typed outcomes into
// their own words; none of them touches the port.
//
// Before a download header the session makes sure the module listens for a command:
// a module left inside a cut transfer (a stopped program, a switched port, a pulled
// cable) would take the header as data. It sends the connection test and waits for
// 0x0C. A module that does not answer is left quiet until it gives the cut transfer
// up (0x55, after its 5 s time-out), then asked again (waitingForModule() meanwhile).
// The header goes out once the module answers; when the second test goes unanswered
// too, it goes out all the same and moduleSilent() follows at once.
class ModuleSession : public QObject {
    Q_OBJECT
public:
    // How long a download header may wait for the module's first 0xAA, and a test
    // for its 0x0C, before the front end is told (setAnswerTimeout changes it).
    static constexpr int DefaultAnswerMs = 3000;
    // How long a running transfer may go without progress before it is ended.
    static constexpr int DefaultStallMs = 5000;
    // How often a lost port's device is looked for.
    static constexpr int ReconnectPollMs = 500;
    // Making sure the module listens: how long a test waits for its answer, how
    // long a module that does not answer is then left quiet (a cut transfer is
    // given up after 5 s, a half command after 0.5 s), and the bound of the whole.
    static constexpr int SyncAnswerMs = 250;
    static constexpr int SyncQuietMs = 5500;
    static constexpr int SyncLimitMs = 13000;

    explicit ModuleSession(QObject* parent = nullptr);
    ~ModuleSession() override;

    void setAnswerTimeout(int ms);
    int answerTimeout() const { return answerMs_; }
    void setStallTimeout(int ms);

    // --- data directory and bitmap list
    // Creates the directory when missing; false when it cannot be used.
    bool setDataDir(const QString& dir);
    QString dataDir() const { return dataDir_; }
    bool dataDirUsable() const { return dataDirUsable_; }
    BitmapList& bitmapList() { return list_; }
    // Reads the list file into the list; the refusal of an unreadable file, if any.
    InputError loadList();
    Refusal saveList();

    // --- ports
    void setDevicePath(int port, const QString& path);
    QString devicePath(int port) const { return port_.devicePath(port); }
    // Closes the port in use and opens the given one. A transfer on the old line
    // ends (PortSwitched is reported when one was under way).
    Refusal openPort(int port);
    void closePort();
    bool isOpen() const { return port_.isOpen(); }
    // After the port is lost, watch for its device to come back and reopen it
    // (reconnected()). A cut transfer is not resumed: the module needs a fresh start.
    void setReconnect(bool on);
    bool reconnecting() const { return reconnectTimer_.isActive(); }
    int currentPort() const { return port_.selectedPort(); }
    // For tests and measurements only: front ends go through the operations.
    CommPort& port() { return port_; }
    const CommPort& port() const { return port_; }

    // --- downloads. Each is refused (AlreadyRunning) while data flows, so that a second press
    // never lands a header in the middle of the data; before the first 0xAA (a module
    // that does not answer) and after an error a new start replaces the old one.
    // Saves the list, builds the download image into file.add, checks it and starts
    // the transfer.
    Refusal downloadBitmaps();
    // Whether the latest bitmap download got as far as a built image.
    bool imageBuilt() const { return imageBuilt_; }
    // The font of the data directory (hzk16), or a font file of its own.
    Refusal downloadFont();
    Refusal downloadFontFile(const QString& path);
    // Sends a download image built before (a file.add) exactly as downloadBitmaps()
    // sends the one it builds: the same checks, header and pacing; nothing is written.
    Refusal downloadImage(const QByteArray& image);
    // Builds the image of entries into fileAddPath and checks it, sending nothing.
    static PackedList packList(const QStringList& entries, const QString& fileAddPath);
    // Ends a transfer under way (armed or running): its Failure, or nothing when
    // no transfer was under way.
    std::optional<Failure> stopTransfer();
    // The data bytes of the latest transfer the line has taken; final once the port is
    // closed (a Failure made while it is open counts the progress delivered so far).
    qint64 lineBytes() const { return port_.lineWritten(); }

    // --- single commands: refused (Busy) while data flows. Each emits
    // commandWritten() once its bytes have left the host.
    Refusal testConnection(); // testAnswered() or testUnanswered() follows
    Refusal sendCommand(const QByteArray& bytes);
    Refusal clearScreen(bool inverted = false);
    Refusal setBacklight(bool on, bool inverted = false);
    Refusal showImage(int n, int x = 0, int y = 0, bool inverted = false);
    // x in byte columns, y in dot rows; characters without a GBK code show as '?'.
    Refusal showText(int x, int y, const QString& text, bool large = false, bool inverted = false);
    Refusal invertArea(int x, int y, int width, int height);
    // Stored bitmap n at the top left for a click on the list; skipped (false)
    // when the port is closed, data flows or n is not a bitmap number.
    bool showBitmap(int n);

    // --- playing stored pictures in turn. Refused like a single command (port closed, a
    // transfer armed or running: Busy) and for frames beyond the store (RefusedInput,
    // TooManyFrames: frames outside 0..126, or none). Each frame is shown at its moment on
    // the session's clock (start + the delays before it), so late timers never add up.
    // A download, a port closed, switched or lost, and stopPlaying() end it.
    static constexpr int MaxPlayPasses = 1000;      // "until stopped" ends there too
    static constexpr int MaxPlayDelayMs = 655350;   // the longest a GIF can say
    // A show-image command takes 3.1 ms on the line at 19,200 baud: shorter delays would
    // only queue commands the line has not carried yet (a stop could not take them back).
    static constexpr int MinPlayDelayMs = 5;
    Refusal play(const PlayPlan& plan);
    void stopPlaying();
    bool playing() const { return playTimer_.isActive(); }

    TransferKind activeTransfer() const { return active_; }
    // Data is flowing: from the first 0xAA until the transfer ends.
    bool running() const { return active_ != TransferKind::None && port_.running(); }
    TransferProgress progressNow() const;
    bool testPending() const { return testPending_; }

signals:
    void progress(const panelix::TransferProgress& progress);
    // Emitted after running() has turned false.
    void finished(panelix::TransferKind kind, qint32 total);
    void failed(const panelix::Failure& failure);
    // A 0x0C that answers a connection test sent and not yet answered.
    void testAnswered();
    // No 0x0C answerTimeout() after a connection test.
    void testUnanswered();
    // No 0xAA answerTimeout() after a download header; the transfer stays armed.
    void moduleSilent();
    // The module is still inside a cut transfer: the header waits until it has
    // given that up (some seconds).
    void waitingForModule();
    // The bytes of every single command sent so far have left the host.
    void commandWritten();
    void runningChanged(bool running);
    // The lost port's device came back and is open again.
    void reconnected();
    // Every read of the line, after the reply rules.
    void received(const QByteArray& bytes);
    // A play's show-image command for stored picture n went out (pass counts from 0).
    void frameShown(int n, int pass);
    // A play ended: complete after its last frame's delay, or not (stopped, a download,
    // the port gone; a refused show-image command is reported by failed() first).
    void playFinished(int framesShown, bool complete);

private:
    enum class Sync { Off, Asked, Quiet };

    Refusal sendBitmapImage(const QByteArray& image);
    Refusal beginTransfer(TransferKind kind, QByteArray image, qint32 total, const QByteArray& header);
    Refusal refuse(Failure f);
    Failure transferFailure(FailureReason reason) const;
    void endTransfer();
    Refusal sendSingle(const QByteArray& bytes);
    void transferRunning(bool running);
    void askModule();
    void syncReply(const QByteArray& bytes);
    void syncTimeout();
    void waitForQuiet();
    void sendHeader();
    void playTick();
    void endPlay(bool complete);

    CommPort port_;
    BitmapList list_;
    ListFile listFile_;
    QString dataDir_;
    bool dataDirUsable_ = false;
    bool imageBuilt_ = false;
    bool testPending_ = false;
    int answerMs_ = DefaultAnswerMs;
    int stallMs_ = DefaultStallMs;
    TransferKind active_ = TransferKind::None;
    // The transfer waiting for the module to listen.
    QByteArray image_;
    qint32 total_ = 0;
    QByteArray header_;
    Sync sync_ = Sync::Off;
    int syncAsks_ = 0;
    bool toldWaiting_ = false;
    QElapsedTimer syncClock_;
    QTimer syncTimer_;
    QTimer silentTimer_;
    QTimer testTimer_;
    QTimer stallTimer_;
    QTimer reconnectTimer_;
    bool reconnect_ = false;
    // The play under way.
    PlayPlan play_;
    QTimer playTimer_;
    QElapsedTimer playClock_;
    qint64 playDue_ = 0;  // when the next frame (or the end) is due, on playClock_
    std::size_t playFrame_ = 0;
    int playPass_ = 0;
    int playShown_ = 0;
    bool playEnding_ = false; // the last frame is out: the next tick ends the play
    QElapsedTimer clock_;
    qint32 clockStart_ = 0;
};

} // namespace panelix

Q_DECLARE_METATYPE(panelix::TransferProgress)
Q_DECLARE_METATYPE(panelix::Failure)

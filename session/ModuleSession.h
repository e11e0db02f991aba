#pragma once

#include "bitmap/DownloadImageBuilder.h"
#include "library/BitmapList.h"
#include "library/ListFile.h"
#include "link/CommPort.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

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
    Busy,           // a single command while a transfer runs would corrupt it
    RefusedInput,   // cause says what; text is the refusal as the libraries word it
};

enum class InputCause {
    None,
    DataDirUnusable,
    ListNotSaved,
    TooManyBitmaps,
    BitmapRefused,
    ImageTooLarge,
    FileAddNotWritten,
    ImageInvalid,
    FontMissing,
};

struct Failure {
    FailureReason reason = FailureReason::RefusedInput;
    TransferKind transfer = TransferKind::None;
    InputCause cause = InputCause::None;
    OpenError openError = OpenError::None;
    int port = 0;
    qint32 sent = 0; // how far a transfer had come
    QString text;    // RefusedInput: the status text of the refusal
};

// Empty when the operation went ahead.
using Refusal = std::optional<Failure>;

// Everything that can be done with the module, without a window: the port and its
// choice, the bitmap list and its file, the downloads, the connection test and the
// single commands. Front ends (the main window, the command line) call the
// operations and turn the typed outcomes into their own words.
class ModuleSession : public QObject {
    Q_OBJECT
public:
    // How long a download header may wait for the module's first 0xAA before the
    // front end is told that the module is silent (the transfer stays armed).
    static constexpr int SilentModuleMs = 3000;
    // The page size the bitmap header's length is read back with.
    static constexpr qint32 PageSize = 256;
    // How often a lost port's device is looked for.
    static constexpr int ReconnectPollMs = 500;

    explicit ModuleSession(QObject* parent = nullptr);
    ~ModuleSession() override;

    // --- data directory and bitmap list
    // Creates the directory when missing; false when it cannot be used.
    bool setDataDir(const QString& dir);
    QString dataDir() const { return dataDir_; }
    bool dataDirUsable() const { return dataDirUsable_; }
    BitmapList& bitmapList() { return list_; }
    // Reads the list file into the list; the message of an unreadable file, if any.
    QString loadList();
    Refusal saveList();

    // --- ports
    void setDevicePath(int port, const QString& path);
    QString devicePath(int port) const { return port_.devicePath(port); }
    // Closes the port in use and opens the given one. A transfer on the old line
    // ends (PortSwitched is reported when one was under way).
    Refusal openPort(int port);
    void closePort();
    bool isOpen() const { return port_.portOpen(); }
    // After the port is lost, watch for its device to come back and reopen it
    // (reconnected()). A cut transfer is not resumed: the module needs a fresh start.
    void setReconnect(bool on);
    bool reconnecting() const { return reconnectTimer_.isActive(); }
    int currentPort() const { return port_.commPort(); }
    CommPort& port() { return port_; }
    const CommPort& port() const { return port_; }

    // --- operations
    // Saves the list, builds the download image into file.add, checks it and starts
    // the transfer. A refusal ends a transfer that was running.
    Refusal downloadBitmaps();
    // Whether the latest bitmap download got as far as a built image.
    bool imageBuilt() const { return imageBuilt_; }
    const DownloadImageBuilder& builder() const { return builder_; }
    Refusal downloadFont();
    // Sends a download image built before (a file.add) exactly as downloadBitmaps()
    // sends the one it builds: the same checks, header and pacing; nothing is written.
    Refusal downloadImage(const QByteArray& image);
    // Sends the test command; testAnswered() follows the module's 0x0C.
    Refusal testConnection();
    // Single commands: refused while a transfer runs.
    Refusal sendCommand(const QByteArray& bytes);
    Refusal clearScreen();
    Refusal setBacklight(bool on);
    // Asks the module to show stored bitmap n; skipped (false) when the port is
    // closed, a transfer runs or n is not a bitmap number.
    bool showBitmap(int n);

    TransferKind activeTransfer() const { return active_; }
    bool running() const { return port_.running(); }
    bool testPending() const { return testPending_; }

signals:
    void progress(const panelix::TransferProgress& progress);
    void finished(panelix::TransferKind kind);
    void failed(const panelix::Failure& failure);
    // A 0x0C that answers a connection test sent and not yet answered.
    void testAnswered();
    // No 0xAA SilentModuleMs after a download header; the transfer stays armed.
    void moduleSilent();
    void runningChanged(bool running);
    // The lost port's device came back and is open again.
    void reconnected();
    // Every read of the line, after the reply rules.
    void received(const QByteArray& bytes);

private:
    Refusal sendBitmapImage(const QByteArray& image);
    Refusal startTransfer(TransferKind kind, QByteArray image, qint32 total, const QByteArray& header);
    Refusal refuse(Failure f);
    void endTransfer();
    Refusal sendSingle(const QByteArray& bytes);
    void transferRunning(bool running);

    CommPort port_;
    BitmapList list_;
    ListFile listFile_;
    DownloadImageBuilder builder_;
    QString dataDir_;
    bool dataDirUsable_ = false;
    bool imageBuilt_ = false;
    bool testPending_ = false;
    TransferKind active_ = TransferKind::None;
    QTimer silentTimer_;
    QTimer reconnectTimer_;
    bool reconnect_ = false;
    QElapsedTimer clock_;
    qint32 clockStart_ = 0;
};

} // namespace panelix

Q_DECLARE_METATYPE(panelix::TransferProgress)
Q_DECLARE_METATYPE(panelix::Failure)

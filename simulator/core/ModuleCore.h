#pragma once

#include "simulator/core/FrameBuffer.h"
#include "simulator/core/ModuleMemory.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace panelix {

// One line of the module's traffic log.
struct ModuleEvent {
    enum class Kind {
        Command,         // a complete command, executed
        Dropped,         // a malformed command or stray bytes, thrown away
        Header,          // a transfer header accepted (reply 0xAA follows)
        HeaderRefused,   // a transfer header refused (reply 0x55 follows)
        TransferDone,    // the last data byte of a transfer has arrived
        TransferAborted, // a transfer stopped by a pause on the line
        Reply,           // a byte sent back to the host
    };
    Kind kind = Kind::Command;
    QByteArray bytes; // the bytes concerned, at most a few dozen of them
    QString text;     // Chinese description for the log
};

struct ModuleCounters {
    qint64 bytesIn = 0;
    qint64 bytesOut = 0;
    qint64 commands = 0; // executed
    qint64 dropped = 0;  // malformed commands and runs of stray bytes
    qint64 droppedBytes = 0;
    int headersAccepted = 0;
    int headersRefused = 0;
    int bitmapDownloads = 0; // completed
    int fontDownloads = 0;   // completed
    int transfersAborted = 0;
    qint64 transferReceived = 0; // data bytes of the transfer under way
    qint64 transferExpected = 0; // 0 when no transfer is under way
};

// The display module without any I/O: bytes from the host go in through feed(),
// the reply bytes come out of it. It keeps the panel's frame buffer, the image
// memory filled by bitmap downloads and the font memory filled by the font
// download. Any byte stream is accepted; a malformed command is dropped and the
// next command is read as if nothing had happened.
class ModuleCore {
public:
    // A command left half-sent for this long is dropped; a header is refused.
    static constexpr int CommandTimeoutMs = 500;
    // A transfer that stalls this long is abandoned with 0x55.
    static constexpr int TransferTimeoutMs = 5000;
    // Characters of one show-characters command that are kept; further ones would
    // start beyond the right edge of the screen anyway.
    static constexpr int MaxTextChars = ScreenByteColumns / 2;

    ModuleCore();

    QByteArray feed(const QByteArray& bytes) { return feed(bytes.constData(), bytes.size()); }
    QByteArray feed(const char* data, qsizetype size);
    // The line has been quiet for quietMs since the last byte: ends a half-sent
    // command or header, or a stalled transfer. Returns the reply bytes.
    QByteArray lineQuiet(qint64 quietMs);
    // How long a pause has to be to matter now (see lineQuiet), or -1 when no
    // pause changes anything.
    int quietDeadlineMs() const;

    // Power-on state of the panel: screen clear, backlight on, nothing half-read.
    // Image and font memory keep their contents, as flash would.
    void powerCycle();

    const Frame& frame() const { return screen_.bytes(); }
    bool pixel(int x, int y) const { return screen_.pixel(x, y); }
    bool backlight() const { return backlight_; }
    const QByteArray& imageMemory() const { return imageMemory_; }
    const QByteArray& fontMemory() const { return fontMemory_; }
    ImageDirectory directory() const { return decodeDirectory(imageMemory_); }
    const ModuleCounters& counters() const { return counters_; }
    // Bumped whenever the frame or the backlight changes.
    quint64 displayGeneration() const { return displayGeneration_; }

    void setEventSink(std::function<void(const ModuleEvent&)> sink) { sink_ = std::move(sink); }

private:
    enum class State { Idle, Command, Params, Terminator, Text, Skip, Header, Data };
    enum class Transfer { None, Bitmaps, Font };

    void take(std::uint8_t byte);
    void startFrame(std::uint8_t byte);
    void appendFrame(std::uint8_t byte);
    void storeChar(std::uint16_t code);
    void acceptHeader(Transfer kind, qint64 length);
    void refuseHeader(const QString& why);
    void resetFrame();
    void takeCommandByte(std::uint8_t byte);
    void takeTextByte(std::uint8_t byte);
    void takeHeaderByte(std::uint8_t byte);
    qsizetype takeData(const char* data, qsizetype size);
    void execute();
    void drop(const QString& why, std::uint8_t offending, bool reexamine);
    void flushStray();
    void reply(std::uint8_t byte);
    void emitEvent(ModuleEvent::Kind kind, const QByteArray& bytes, const QString& text);
    void displayChanged() { ++displayGeneration_; }

    void drawText(bool large, bool inverted);
    void drawGlyph(int col, int y, std::uint16_t code, bool large, bool inverted);
    void drawImage(int col, int y, int n, bool inverted, QString* note);
    void drawRect(int x, int y, int w, int h, int border, bool inverted);

    FrameBuffer screen_;
    bool backlight_ = true;
    QByteArray imageMemory_;
    QByteArray fontMemory_;
    ModuleCounters counters_;
    quint64 displayGeneration_ = 0;

    State state_ = State::Idle;
    QByteArray frameBytes_; // the first bytes of the command or header being read, for the log
    qint64 frameLength_ = 0;
    std::uint8_t command_ = 0;
    int paramsWanted_ = 0;
    std::array<std::uint8_t, 5> params_{};
    int paramCount_ = 0;
    std::array<std::uint16_t, MaxTextChars> text_{};
    int textCount_ = 0; // characters seen, stored or not
    int leadByte_ = -1; // lead byte of a GBK pair waiting for its trail

    QByteArray stray_; // first bytes of a run of stray bytes
    qint64 strayCount_ = 0;

    Transfer transfer_ = Transfer::None;
    QByteArray incoming_; // data of the transfer under way, committed when complete
    qint64 expected_ = 0;

    QByteArray replies_; // replies of the current feed()
    std::function<void(const ModuleEvent&)> sink_;
};

} // namespace panelix

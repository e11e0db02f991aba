#include "simulator/core/ModuleCore.h"

#include "common/Gbk.h"
#include "protocol/Module.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace panelix {

namespace {

constexpr int MaxFrameLog = 48;
constexpr int MaxStrayLog = 16;

struct CommandInfo {
    int params = 0;
    bool text = false;
    const char* name = "";
};

// The command set: parameter count and the name the log shows (the console's own names).
bool commandInfo(std::uint8_t base, CommandInfo* info) {
    using namespace module;
    switch (base) {
    case CmdShowText:
        *info = {2, true, "显示汉字"};
        return true;
    case CmdShowLargeText:
        *info = {2, true, "显示大汉字"};
        return true;
    case CmdShowImage:
        *info = {3, false, "显示图像"};
        return true;
    case CmdClearScreen:
        *info = {0, false, "清除全屏"};
        return true;
    case CmdClearRect:
        *info = {4, false, "清除距形"};
        return true;
    case CmdInvertRect:
        *info = {4, false, "反色距形"};
        return true;
    case CmdDrawRect:
        *info = {5, false, "显示距形"};
        return true;
    case CmdBacklightOn:
        *info = {0, false, "背光打开"};
        return true;
    case CmdBacklightOff:
        *info = {0, false, "背光关闭"};
        return true;
    case CmdConnectionTest:
        *info = {0, false, "连线测试"};
        return true;
    default:
        return false;
    }
}

QString hex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// Each bit of a byte twice: the 16 bits of one row of a doubled glyph.
std::uint16_t widen(std::uint8_t bits) {
    std::uint16_t out = 0;
    for (int i = 0; i < 8; ++i) {
        if (bits & (0x80u >> i))
            out = std::uint16_t(out | (0xC000u >> (2 * i)));
    }
    return out;
}

} // namespace

ModuleCore::ModuleCore() : imageMemory_(ImageMemorySize, '\0'), fontMemory_(FontMemorySize, '\0') {}

QByteArray ModuleCore::feed(const char* data, qsizetype size) {
    replies_.clear();
    qsizetype i = 0;
    while (i < size) {
        if (state_ == State::Data) {
            i += takeData(data + i, size - i);
            continue;
        }
        take(std::uint8_t(data[i]));
        ++i;
    }
    counters_.bytesIn += size;
    return std::exchange(replies_, QByteArray());
}

void ModuleCore::take(std::uint8_t byte) {
    switch (state_) {
    case State::Idle:
        startFrame(byte);
        break;
    case State::Command:
        takeCommandByte(byte);
        break;
    case State::Params:
        appendFrame(byte);
        params_[std::size_t(paramCount_++)] = byte;
        if (paramCount_ == paramsWanted_) {
            const auto base = std::uint8_t(command_ & 0x7F);
            const bool text = base == module::CmdShowText || base == module::CmdShowLargeText;
            state_ = text ? State::Text : State::Terminator;
        }
        break;
    case State::Terminator:
        if (byte == module::Terminator) {
            appendFrame(byte);
            execute();
        } else {
            drop(QStringLiteral("参数个数不符"), byte, true);
        }
        break;
    case State::Text:
        takeTextByte(byte);
        break;
    case State::Skip:
        appendFrame(byte);
        if (byte == module::Terminator)
            drop(QStringLiteral("未知命令"), byte, false);
        break;
    case State::Header:
        takeHeaderByte(byte);
        break;
    case State::Data:
        takeData(reinterpret_cast<const char*>(&byte), 1);
        break;
    }
}

void ModuleCore::startFrame(std::uint8_t byte) {
    if (byte != module::Introducer && byte != module::TransferIntro) {
        ++strayCount_;
        if (stray_.size() < MaxStrayLog)
            stray_.append(char(byte));
        return;
    }
    flushStray();
    resetFrame();
    appendFrame(byte);
    state_ = byte == module::Introducer ? State::Command : State::Header;
}

void ModuleCore::appendFrame(std::uint8_t byte) {
    ++frameLength_;
    if (frameBytes_.size() < MaxFrameLog)
        frameBytes_.append(char(byte));
}

void ModuleCore::resetFrame() {
    frameBytes_.clear();
    frameLength_ = 0;
    command_ = 0;
    paramsWanted_ = 0;
    paramCount_ = 0;
    textCount_ = 0;
    leadByte_ = -1;
}

void ModuleCore::takeCommandByte(std::uint8_t byte) {
    if (byte == module::Introducer) {
        // A repeated introducer: the first one starts nothing.
        drop(QStringLiteral("重复的命令引导字节"), byte, true);
        return;
    }
    appendFrame(byte);
    command_ = byte;
    CommandInfo info;
    if (!commandInfo(std::uint8_t(byte & 0x7F), &info)) {
        // Its length is unknown: everything up to its terminator belongs to it.
        state_ = State::Skip;
        return;
    }
    paramsWanted_ = info.params;
    paramCount_ = 0;
    if (paramsWanted_ > 0)
        state_ = State::Params;
    else
        state_ = State::Terminator;
}

void ModuleCore::storeChar(std::uint16_t code) {
    if (textCount_ < MaxTextChars)
        text_[std::size_t(textCount_)] = code;
    if (textCount_ < INT_MAX)
        ++textCount_;
}

// GBK text never holds a byte below 0x20, so such a byte means the command was
// cut short; 0x1D then already starts the next one.
void ModuleCore::takeTextByte(std::uint8_t byte) {
    if (leadByte_ < 0) {
        if (byte == module::Terminator) {
            appendFrame(byte);
            execute();
        } else if (byte < 0x20) {
            drop(QStringLiteral("汉字串中断"), byte, true);
        } else if (byte < 0x80) {
            appendFrame(byte);
            storeChar(byte);
        } else {
            appendFrame(byte);
            leadByte_ = byte;
        }
        return;
    }
    if (byte < 0x20) {
        const bool terminator = byte == module::Terminator;
        if (terminator)
            appendFrame(byte);
        drop(QStringLiteral("汉字编码不完整"), byte, !terminator);
        return;
    }
    appendFrame(byte);
    storeChar(std::uint16_t(leadByte_ << 8 | byte));
    leadByte_ = -1;
}

void ModuleCore::takeHeaderByte(std::uint8_t byte) {
    appendFrame(byte);
    if (frameLength_ < module::HeaderSize)
        return;
    const auto* b = reinterpret_cast<const std::uint8_t*>(frameBytes_.constData());
    const module::TransferHeader header = module::decodeHeader(b);
    switch (header.kind) {
    case module::TransferHeader::Kind::Bitmaps:
        if (header.length < module::DirectorySize || header.length > module::ImageMemorySize) {
            refuseHeader(QStringLiteral("长度%1超出图像存储器").arg(header.length));
            return;
        }
        acceptHeader(Transfer::Bitmaps, header.length);
        return;
    case module::TransferHeader::Kind::Font:
        acceptHeader(Transfer::Font, header.length);
        return;
    case module::TransferHeader::Kind::Invalid:
        break;
    }
    if (b[1] == module::TransferBitmaps)
        refuseHeader(QStringLiteral("长度不是有效的分页地址"));
    else if (b[1] == module::TransferFont)
        refuseHeader(QStringLiteral("字库长度不符"));
    else
        refuseHeader(QStringLiteral("未知的传输类型"));
}

void ModuleCore::acceptHeader(Transfer kind, qint64 length) {
    ++counters_.headersAccepted;
    const QString text = kind == Transfer::Bitmaps
                             ? QStringLiteral("位图下载头 %1 长度%2字节").arg(hex(frameBytes_)).arg(length)
                             : QStringLiteral("字库下载头 %1 长度%2字节").arg(hex(frameBytes_)).arg(length);
    emitEvent(ModuleEvent::Kind::Header, frameBytes_, text);
    resetFrame();
    transfer_ = kind;
    expected_ = length;
    incoming_ = QByteArray(qsizetype(length), '\0');
    counters_.transferExpected = length;
    counters_.transferReceived = 0;
    state_ = State::Data;
    reply(module::ReplyGoOn);
}

void ModuleCore::refuseHeader(const QString& why) {
    ++counters_.headersRefused;
    emitEvent(ModuleEvent::Kind::HeaderRefused, frameBytes_,
              QStringLiteral("传输头无法接受 %1 (%2)").arg(hex(frameBytes_), why));
    resetFrame();
    state_ = State::Idle;
    reply(module::ReplyError);
}

qsizetype ModuleCore::takeData(const char* data, qsizetype size) {
    const qint64 received = counters_.transferReceived;
    const auto n = qsizetype(std::min<qint64>(size, expected_ - received));
    std::memcpy(incoming_.data() + received, data, std::size_t(n));
    counters_.transferReceived += n;
    if (counters_.transferReceived < expected_)
        return n;

    QString text;
    if (transfer_ == Transfer::Bitmaps) {
        imageMemory_.fill('\0');
        std::memcpy(imageMemory_.data(), incoming_.constData(), std::size_t(expected_));
        ++counters_.bitmapDownloads;
        const ImageDirectory dir = decodeDirectory(imageMemory_);
        text = QStringLiteral("位图下载完成 %1字节 目录中%2幅图像").arg(expected_).arg(dir.count);
    } else {
        fontMemory_ = incoming_;
        ++counters_.fontDownloads;
        text = QStringLiteral("字库下载完成 %1字节").arg(expected_);
    }
    incoming_ = QByteArray();
    transfer_ = Transfer::None;
    expected_ = 0;
    counters_.transferExpected = 0;
    counters_.transferReceived = 0;
    state_ = State::Idle;
    emitEvent(ModuleEvent::Kind::TransferDone, {}, text);
    return n;
}

void ModuleCore::drop(const QString& why, std::uint8_t offending, bool reexamine) {
    ++counters_.dropped;
    counters_.droppedBytes += frameLength_;
    emitEvent(ModuleEvent::Kind::Dropped, frameBytes_,
              QStringLiteral("丢弃 %1 (%2)").arg(hex(frameBytes_), why));
    resetFrame();
    state_ = State::Idle;
    if (reexamine)
        startFrame(offending);
}

void ModuleCore::flushStray() {
    if (strayCount_ == 0)
        return;
    ++counters_.dropped;
    counters_.droppedBytes += strayCount_;
    emitEvent(ModuleEvent::Kind::Dropped, stray_,
              QStringLiteral("丢弃%1个命令外的字节 %2").arg(strayCount_).arg(hex(stray_)));
    stray_.clear();
    strayCount_ = 0;
}

void ModuleCore::reply(std::uint8_t byte) {
    replies_.append(char(byte));
    ++counters_.bytesOut;
    emitEvent(ModuleEvent::Kind::Reply, QByteArray(1, char(byte)),
              QStringLiteral("应答 %1").arg(hex(QByteArray(1, char(byte)))));
}

void ModuleCore::emitEvent(ModuleEvent::Kind kind, const QByteArray& bytes, const QString& text) {
    if (sink_)
        sink_(ModuleEvent{kind, bytes, text});
}

QByteArray ModuleCore::lineQuiet(qint64 quietMs) {
    replies_.clear();
    switch (state_) {
    case State::Idle:
        if (quietMs >= CommandTimeoutMs)
            flushStray();
        break;
    case State::Command:
    case State::Params:
    case State::Terminator:
    case State::Text:
        if (quietMs >= CommandTimeoutMs)
            drop(QStringLiteral("命令不完整"), 0, false);
        break;
    case State::Skip:
        if (quietMs >= CommandTimeoutMs)
            drop(QStringLiteral("未知命令"), 0, false);
        break;
    case State::Header:
        if (quietMs >= CommandTimeoutMs)
            refuseHeader(QStringLiteral("传输头不完整"));
        break;
    case State::Data:
        if (quietMs >= TransferTimeoutMs) {
            ++counters_.transfersAborted;
            emitEvent(ModuleEvent::Kind::TransferAborted, {},
                      QStringLiteral("下载中断 已收%1字节 共%2字节")
                          .arg(counters_.transferReceived)
                          .arg(expected_));
            incoming_ = QByteArray();
            transfer_ = Transfer::None;
            expected_ = 0;
            counters_.transferExpected = 0;
            counters_.transferReceived = 0;
            state_ = State::Idle;
            reply(module::ReplyError);
        }
        break;
    }
    return std::exchange(replies_, QByteArray());
}

int ModuleCore::quietDeadlineMs() const {
    switch (state_) {
    case State::Idle:
        return strayCount_ > 0 ? CommandTimeoutMs : -1;
    case State::Data:
        return TransferTimeoutMs;
    default:
        return CommandTimeoutMs;
    }
}

void ModuleCore::powerCycle() {
    screen_.fill(false);
    backlight_ = true;
    resetFrame();
    stray_.clear();
    strayCount_ = 0;
    incoming_ = QByteArray();
    transfer_ = Transfer::None;
    expected_ = 0;
    counters_.transferExpected = 0;
    counters_.transferReceived = 0;
    state_ = State::Idle;
    displayChanged();
}

void ModuleCore::execute() {
    using namespace module;
    state_ = State::Idle;
    ++counters_.commands;
    const auto base = std::uint8_t(command_ & 0x7F);
    const bool inverted = (command_ & InvertedBit) != 0;
    CommandInfo info;
    commandInfo(base, &info);
    QString text = QString::fromUtf8(info.name);
    if (inverted)
        text += QStringLiteral("(反色)");
    const int x = params_[0];
    const int y = params_[1];
    QString note;
    bool replyTest = false;

    switch (base) {
    case CmdShowText:
    case CmdShowLargeText: {
        QByteArray gbk;
        for (int i = 0; i < std::min(textCount_, MaxTextChars); ++i) {
            const std::uint16_t code = text_[std::size_t(i)];
            if (code > 0xFF)
                gbk.append(char(code >> 8));
            gbk.append(char(code & 0xFF));
        }
        note = QStringLiteral(" X=%1 Y=%2 \"%3\"").arg(x).arg(y).arg(fromGbk(gbk));
        if (textCount_ > MaxTextChars)
            note += QStringLiteral(" 共%1个字符,超出屏幕的未显示").arg(textCount_);
        drawText(base == CmdShowLargeText, inverted);
        break;
    }
    case CmdShowImage:
        note = QStringLiteral(" X=%1 Y=%2 N=%3").arg(x).arg(y).arg(params_[2]);
        drawImage(x, y, params_[2], inverted, &note);
        break;
    case CmdClearScreen:
        screen_.fill(inverted);
        displayChanged();
        break;
    case CmdClearRect:
    case CmdInvertRect:
    case CmdDrawRect: {
        const int w = params_[2];
        const int h = params_[3];
        note = QStringLiteral(" X=%1 Y=%2 W=%3 H=%4").arg(x).arg(y).arg(w).arg(h);
        if (base == CmdClearRect) {
            screen_.apply(8 * x, y, 8 * w, h, inverted ? FrameBuffer::Op::Set : FrameBuffer::Op::Clear);
        } else if (base == CmdInvertRect) {
            // An inversion has no inverted form: both variants invert.
            screen_.apply(8 * x, y, 8 * w, h, FrameBuffer::Op::Invert);
        } else {
            note += QStringLiteral(" B=%1").arg(params_[4]);
            drawRect(8 * x, y, 8 * w, h, params_[4], inverted);
        }
        displayChanged();
        break;
    }
    case CmdBacklightOn:
        backlight_ = true;
        displayChanged();
        break;
    case CmdBacklightOff:
        backlight_ = false;
        displayChanged();
        break;
    case CmdConnectionTest:
        replyTest = true;
        break;
    default:
        break;
    }
    emitEvent(ModuleEvent::Kind::Command, frameBytes_, text + note);
    resetFrame();
    if (replyTest)
        reply(ReplyTestOk);
}

void ModuleCore::drawText(bool large, bool inverted) {
    const int cellColumns = large ? 4 : 2;
    const int shown = std::min(textCount_, MaxTextChars);
    for (int i = 0; i < shown; ++i)
        drawGlyph(params_[0] + i * cellColumns, params_[1], text_[std::size_t(i)], large, inverted);
    displayChanged();
}

void ModuleCore::drawGlyph(int col, int y, std::uint16_t code, bool large, bool inverted) {
    // A single-byte character takes the full-width form of GB2312 row 3; space and
    // DEL take the ideographic space (module::glyphOffset, shared with the editor).
    std::array<std::uint8_t, GlyphBytes> glyph{};
    const int offset = module::glyphOffset(code);
    if (offset >= 0 && offset + GlyphBytes <= fontMemory_.size())
        std::memcpy(glyph.data(), fontMemory_.constData() + offset, GlyphBytes);
    const std::uint8_t flip = inverted ? 0xFF : 0x00;
    for (int r = 0; r < 16; ++r) {
        for (int half = 0; half < 2; ++half) {
            const std::uint8_t bits = glyph[std::size_t(2 * r + half)];
            if (!large) {
                screen_.putByte(col + half, y + r, std::uint8_t(bits ^ flip));
                continue;
            }
            const std::uint16_t wide = widen(bits);
            for (int dy = 0; dy < 2; ++dy) {
                screen_.putByte(col + 2 * half, y + 2 * r + dy, std::uint8_t((wide >> 8) ^ flip));
                screen_.putByte(col + 2 * half + 1, y + 2 * r + dy, std::uint8_t((wide & 0xFF) ^ flip));
            }
        }
    }
}

// Stored pixel bits are those of the BMP files: bit 0 is palette entry 0,
// black in an ordinary black-on-white picture, and so a dark dot.
void ModuleCore::drawImage(int col, int y, int n, bool inverted, QString* note) {
    const ImageDirectory dir = decodeDirectory(imageMemory_);
    if (n >= int(dir.images.size())) {
        *note += QStringLiteral(" (无此图像)");
        return;
    }
    const StoredImage& image = dir.images[std::size_t(n)];
    const std::uint8_t flip = inverted ? 0x00 : 0xFF;
    for (int r = 0; r < image.height && y + r < ScreenHeight; ++r) {
        for (int k = 0; k < image.widthBytes && col + k < ScreenByteColumns; ++k) {
            const int stored = module::storedByte(imageMemory_, image, r, k);
            if (stored < 0)
                break;
            screen_.putByte(col + k, y + r, std::uint8_t(std::uint8_t(stored) ^ flip));
        }
    }
    *note += QStringLiteral(" (%1x%2)").arg(image.widthBytes * 8).arg(image.height);
    displayChanged();
}

// Border B pixels thick, B = 0 a filled rectangle.
void ModuleCore::drawRect(int x, int y, int w, int h, int border, bool inverted) {
    const auto op = inverted ? FrameBuffer::Op::Clear : FrameBuffer::Op::Set;
    if (w <= 0 || h <= 0)
        return;
    if (border == 0 || 2 * border >= w || 2 * border >= h) {
        screen_.apply(x, y, w, h, op);
        return;
    }
    screen_.apply(x, y, w, border, op);
    screen_.apply(x, y + h - border, w, border, op);
    screen_.apply(x, y + border, border, h - 2 * border, op);
    screen_.apply(x + w - border, y + border, border, h - 2 * border, op);
}

} // namespace panelix

#include "simulator/ui/TrafficLog.h"

#include "protocol/Module.h"

#include <QFont>
#include <QScrollBar>

namespace panelix {

namespace {

constexpr int MaxHexBytes = 16;

QString hexRun(const QByteArray& bytes) {
    QString out = QString::fromLatin1(bytes.left(MaxHexBytes).toHex(' ').toUpper());
    if (bytes.size() > MaxHexBytes)
        out += QStringLiteral(" …");
    return out;
}

QString replyMeaning(const QByteArray& bytes) {
    if (bytes.size() != 1)
        return {};
    switch (std::uint8_t(bytes[0])) {
    case module::ReplyGoOn:
        return QStringLiteral(" 继续");
    case module::ReplyError:
        return QStringLiteral(" 出错");
    case module::ReplyTestOk:
        return QStringLiteral(" 连线正常");
    default:
        return {};
    }
}

} // namespace

QString trafficLine(const ModuleEvent& event, const QTime& at) {
    using Kind = ModuleEvent::Kind;
    const bool fromModule = event.kind == Kind::Reply;
    const QString hex = event.bytes.isEmpty() ? QStringLiteral("--") : hexRun(event.bytes);
    QString text = event.text;
    if (fromModule)
        text += replyMeaning(event.bytes);
    return QStringLiteral("%1 %2 %3  %4")
        .arg(at.toString(QStringLiteral("HH:mm:ss.zzz")),
             fromModule ? QStringLiteral("发") : QStringLiteral("收"), hex.leftJustified(23), text);
}

TrafficLogView::TrafficLogView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setMaximumBlockCount(MaxLines);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono;
    mono.setFamilies({QStringLiteral("WenQuanYi Micro Hei Mono"), QStringLiteral("Noto Sans Mono CJK SC"),
                      QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")});
    mono.setStyleHint(QFont::Monospace);
    mono.setPointSizeF(9);
    setFont(mono);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(FlushIntervalMs);
    connect(&flushTimer_, &QTimer::timeout, this, &TrafficLogView::flush);
}

void TrafficLogView::append(const QVector<ModuleEvent>& events) {
    const QTime now = QTime::currentTime();
    for (const ModuleEvent& e : events)
        pending_.append(trafficLine(e, now));
    if (pending_.size() > MaxLines) {
        const qsizetype excess = pending_.size() - MaxLines;
        pending_.remove(0, excess);
        skipped_ += excess;
    }
    if (!flushTimer_.isActive())
        flushTimer_.start();
}

void TrafficLogView::flush() {
    flushTimer_.stop();
    if (pending_.isEmpty())
        return;
    if (skipped_ > 0) {
        pending_.prepend(QStringLiteral("…… 省略%1行 ……").arg(skipped_));
        skipped_ = 0;
    }
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    appendPlainText(pending_.join(QLatin1Char('\n')));
    pending_.clear();
    if (atEnd)
        bar->setValue(bar->maximum());
}

void TrafficLogView::clearLog() {
    pending_.clear();
    skipped_ = 0;
    clear();
}

} // namespace panelix

#pragma once

#include "simulator/core/ModuleCore.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <QTime>
#include <QTimer>
#include <QVector>

namespace panelix {

// One line of the traffic log: which way the bytes went (收 to the module,
// 发 from it), the bytes in hex (a long run cut short), and what they meant.
QString trafficLine(const ModuleEvent& event, const QTime& at);

// The decoded traffic, newest at the bottom. Lines are gathered and shown a few
// times a second, so a line full of garbage cannot swamp the window; only the
// last MaxLines are kept.
class TrafficLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int MaxLines = 5000;
    static constexpr int FlushIntervalMs = 50;

    explicit TrafficLogView(QWidget* parent = nullptr);

    void append(const QVector<ModuleEvent>& events);
    // Shows the gathered lines now.
    void flush();
    void clearLog();

private:
    QStringList pending_;
    qint64 skipped_ = 0;
    QTimer flushTimer_;
};

} // namespace panelix

#pragma once

#include "simulator/core/ModuleLink.h"

#include <QTimer>
#include <QWidget>

#include <array>

class QBoxLayout;
class QCheckBox;
class QGridLayout;
class QLabel;
class QPushButton;

namespace panelix {

class LcdWidget;
class TrafficLogView;

// The simulated module as the user sees it: the LCD with its backlight, the
// counters of bytes and transfers, and the decoded traffic. It only reads the
// module through the link's thread-safe copies and follows its signals; the
// module runs on whether the window is shown or not.
class SimulatorWindow : public QWidget {
    Q_OBJECT
public:
    // Counters are read this often; they change with every byte of a transfer,
    // which the link does not announce.
    static constexpr int CounterIntervalMs = 100;

    SimulatorWindow(ModuleLink& link, const QString& devicePath, QWidget* parent = nullptr);

    static QString caption(const QString& devicePath);

    LcdWidget* lcd() const { return lcd_; }
    TrafficLogView* log() const { return log_; }
    // The value shown beside a counter caption ("收到字节" ...), empty if there is none.
    QString counterValue(const QString& caption) const;

    // Takes the module's state at once instead of at the next signal or tick.
    void refresh();

    // The arrangement for a small screen: the LCD at its own size, the counters
    // in two columns below it, a shorter log. Off by default.
    void setCompact(bool compact);
    bool compact() const { return compact_; }

private:
    enum Row {
        BytesIn,
        BytesOut,
        Commands,
        Dropped,
        Headers,
        Bitmaps,
        Images,
        Fonts,
        Aborted,
        Transfer,
        Backlight,
        RowCount
    };

    void refreshDisplay();
    void refreshCounters();
    void setRow(Row row, const QString& value);
    void arrangeCounters();

    ModuleLink& link_;
    LcdWidget* lcd_ = nullptr;
    TrafficLogView* log_ = nullptr;
    QCheckBox* lineRate_ = nullptr;
    QBoxLayout* top_ = nullptr;
    QGridLayout* counters_ = nullptr;
    bool compact_ = false;
    std::array<QLabel*, RowCount> captions_{};
    std::array<QLabel*, RowCount> values_{};
    QTimer countersTimer_;
    int shownBitmapDownloads_ = -1;
};

} // namespace panelix

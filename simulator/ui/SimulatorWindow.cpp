#include "simulator/ui/SimulatorWindow.h"

#include "simulator/ui/LcdWidget.h"
#include "simulator/ui/TrafficLog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace panelix {

namespace {

const char* const rowCaptions[] = {"收到字节", "应答字节", "执行命令", "丢弃",     "传输头", "位图下载",
                                   "存储图像", "字库下载", "下载中断", "当前传输", "背光"};

QFont chineseFont(double points) {
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei"),
                   QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans SC")});
    f.setPointSizeF(points);
    return f;
}

} // namespace

QString SimulatorWindow::caption(const QString& devicePath) {
    return QStringLiteral("模拟显示模块 320x240 - ") + devicePath;
}

SimulatorWindow::SimulatorWindow(ModuleLink& link, const QString& devicePath, QWidget* parent)
    : QWidget(parent), link_(link) {
    setObjectName(QStringLiteral("SimulatorWindow"));
    setWindowTitle(caption(devicePath));
    setFont(chineseFont(9.5));

    lcd_ = new LcdWidget(this);
    lcd_->setObjectName(QStringLiteral("Lcd"));

    auto* side = new QVBoxLayout;
    auto* port = new QLabel(QStringLiteral("串口: ") + devicePath, this);
    port->setObjectName(QStringLiteral("DevicePath"));
    port->setTextInteractionFlags(Qt::TextSelectableByMouse);
    side->addWidget(port);

    auto* countersBox = new QGroupBox(QStringLiteral("计数"), this);
    counters_ = new QGridLayout(countersBox);
    for (int row = 0; row < RowCount; ++row) {
        captions_[row] = new QLabel(QString::fromUtf8(rowCaptions[row]), countersBox);
        values_[row] = new QLabel(countersBox);
        values_[row]->setObjectName(QStringLiteral("Counter%1").arg(row));
        values_[row]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    arrangeCounters();
    side->addWidget(countersBox);
    side->addStretch(1);

    lineRate_ = new QCheckBox(QStringLiteral("按19200波特率收发"), this);
    lineRate_->setObjectName(QStringLiteral("LineRate"));
    lineRate_->setChecked(link.timing() == ModuleLink::Timing::LineRate);
    lineRate_->setToolTip(QStringLiteral("不选时模块立即接收每个字节"));
    connect(lineRate_, &QCheckBox::toggled, this, [this](bool on) {
        link_.setTiming(on ? ModuleLink::Timing::LineRate : ModuleLink::Timing::Fast);
    });
    side->addWidget(lineRate_);

    auto* reset = new QPushButton(QStringLiteral("复位模块"), this);
    reset->setObjectName(QStringLiteral("PowerCycle"));
    reset->setToolTip(QStringLiteral("清屏、打开背光; 图像和字库存储器保留"));
    connect(reset, &QPushButton::clicked, this, [this] { link_.powerCycle(); });
    auto* clearLog = new QPushButton(QStringLiteral("清空记录"), this);
    clearLog->setObjectName(QStringLiteral("ClearLog"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reset);
    buttons->addWidget(clearLog);
    side->addLayout(buttons);

    top_ = new QBoxLayout(QBoxLayout::LeftToRight);
    top_->addWidget(lcd_, 0, Qt::AlignTop);
    top_->addLayout(side);

    log_ = new TrafficLogView(this);
    log_->setObjectName(QStringLiteral("TrafficLog"));
    log_->setMinimumHeight(160);
    connect(clearLog, &QPushButton::clicked, log_, &TrafficLogView::clearLog);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top_);
    layout->addWidget(new QLabel(QStringLiteral("通信记录 (收: 主机发给模块, 发: 模块应答)"), this));
    layout->addWidget(log_, 1);

    // The link signals from its own thread; these connections queue into ours.
    connect(&link_, &ModuleLink::displayChanged, this, &SimulatorWindow::refreshDisplay);
    connect(&link_, &ModuleLink::eventsLogged, log_, &TrafficLogView::append);
    connect(&countersTimer_, &QTimer::timeout, this, &SimulatorWindow::refreshCounters);
    countersTimer_.start(CounterIntervalMs);
    refresh();
}

QString SimulatorWindow::counterValue(const QString& caption) const {
    for (int row = 0; row < RowCount; ++row) {
        if (captions_[row]->text() == caption)
            return values_[row]->text();
    }
    return {};
}

void SimulatorWindow::setCompact(bool compact) {
    if (compact == compact_)
        return;
    compact_ = compact;
    lcd_->setScale(compact ? 1 : LcdWidget::FullScale);
    top_->setDirection(compact ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    arrangeCounters();
    log_->setMinimumHeight(compact ? 100 : 160);
    // The counters' box takes its new shape first, so the window's layout reads it.
    counters_->activate();
    layout()->invalidate();
    layout()->activate();
    adjustSize();
    // As short as the controls allow: the room goes to the log only when the user gives it.
    if (compact)
        resize(width(), minimumSizeHint().height());
}

void SimulatorWindow::arrangeCounters() {
    const int columns = compact_ ? 2 : 1;
    const int rows = (RowCount + columns - 1) / columns;
    for (int row = 0; row < RowCount; ++row) {
        counters_->removeWidget(captions_[row]);
        counters_->removeWidget(values_[row]);
        counters_->addWidget(captions_[row], row % rows, 2 * (row / rows));
        counters_->addWidget(values_[row], row % rows, 2 * (row / rows) + 1);
        values_[row]->setMinimumWidth(compact_ ? 96 : 120);
    }
}

void SimulatorWindow::refresh() {
    refreshDisplay();
    refreshCounters();
    log_->flush();
}

void SimulatorWindow::refreshDisplay() {
    lcd_->setFrame(link_.frame());
    lcd_->setBacklight(link_.backlight());
    setRow(Backlight, lcd_->backlight() ? QStringLiteral("打开") : QStringLiteral("关闭"));
}

void SimulatorWindow::setRow(Row row, const QString& value) {
    if (values_[row]->text() != value)
        values_[row]->setText(value);
}

void SimulatorWindow::refreshCounters() {
    const ModuleCounters c = link_.counters();
    setRow(BytesIn, QString::number(c.bytesIn));
    setRow(BytesOut, QString::number(c.bytesOut));
    setRow(Commands, QString::number(c.commands));
    setRow(Dropped, QStringLiteral("%1次 %2字节").arg(c.dropped).arg(c.droppedBytes));
    setRow(Headers, QStringLiteral("接受%1 拒绝%2").arg(c.headersAccepted).arg(c.headersRefused));
    setRow(Bitmaps, QStringLiteral("%1次").arg(c.bitmapDownloads));
    setRow(Fonts, QStringLiteral("%1次").arg(c.fontDownloads));
    setRow(Aborted, QStringLiteral("%1次").arg(c.transfersAborted));
    if (c.transferExpected > 0) {
        setRow(Transfer, QStringLiteral("%1/%2 %3%")
                             .arg(c.transferReceived)
                             .arg(c.transferExpected)
                             .arg(c.transferReceived * 100 / c.transferExpected));
    } else {
        setRow(Transfer, QStringLiteral("无"));
    }
    if (c.bitmapDownloads != shownBitmapDownloads_) {
        shownBitmapDownloads_ = c.bitmapDownloads;
        const ImageDirectory dir = link_.directory();
        setRow(Images, QStringLiteral("%1幅").arg(dir.images.size()));
    }
}

} // namespace panelix

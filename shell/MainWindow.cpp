#include "shell/MainWindow.h"

#include "bitmap/BitmapDownload.h"
#include "common/DataDir.h"
#include "common/Gbk.h"
#include "font/FontImage.h"
#include "library/FileBrowser.h"
#include "link/LinkTexts.h"
#include "link/ModuleCodes.h"
#include "shell/DirListBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

namespace panelix {

namespace {

// The window was laid out in twips; 15 twips make a pixel at 96 dpi.
QRect twips(int left, int top, int width, int height) {
    auto px = [](int t) { return (t + 7) / 15; };
    return QRect(px(left), px(top), px(width), px(height));
}

QFont songFont(double points, bool bold = false) {
    QFont f;
    // 宋体 where it exists; any installed CJK font stands in elsewhere.
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun"),
                   QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                   QStringLiteral("Noto Sans SC")});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

template <typename W>
W* place(W* w, const char* name, QRect geometry, const QFont& font) {
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    w->setFont(font);
    return w;
}

// The area the preview may grow into: right of the buttons, above the console frame.
const QRect previewArea = twips(5280, 720, 12192 - 5280, 6120 - 720);

} // namespace

QString MainWindow::windowCaption() {
    return QStringLiteral("Panelix3.1(for 320240)") + QString(44, QLatin1Char(' '));
}

MainWindow::MainWindow(const StartupOptions& options, QWidget* parent)
    : QWidget(parent), dataDir_(options.dataDir), handler_(port_) {
    port_.setObjectName(QStringLiteral("MSComm1"));
    port_.setDevicePath(1, options.port1);
    port_.setDevicePath(2, options.port2);
    buildControls();

    connect(&port_, &CommPort::onComm, &handler_, &ReplyHandler::OnComm);
    connect(&port_, &CommPort::disconnected, this, [this] {
        handler_.abandonTransfer();
        setStatus(texts::portLost());
    });
    connect(&handler_, &ReplyHandler::statusText, this, &MainWindow::showTransferText);
    progressTextTimer_.setSingleShot(true);
    connect(&progressTextTimer_, &QTimer::timeout, this, [this] {
        setStatus(pendingProgressText_);
        progressTextShown_.start();
    });
    connect(&handler_, &ReplyHandler::runningChanged, this, &MainWindow::transferRunningChanged);
    connect(&handler_, &ReplyHandler::progress, this, &MainWindow::transferProgress);
    connect(&list_, &BitmapList::changed, this, [this] {
        const QSignalBlocker block(List1);
        List1->clear();
        List1->addItems(list_.entries());
        List1->setCurrentRow(list_.selected());
    });
    connect(&list_, &BitmapList::clicked, this, [this](int index) {
        {
            const QSignalBlocker block(List1);
            List1->setCurrentRow(index);
        }
        List1_Click(index);
    });

    startUp();
}

MainWindow::~MainWindow() {
    port_.setPortOpen(false);
}

void MainWindow::buildControls() {
    setWindowTitle(windowCaption());
    setObjectName(QStringLiteral("MainWindow"));
    setFixedSize(twips(0, 0, 12192, 8616).size());
    const QFont normal = songFont(9);
    const QFont larger = songFont(10.8);
    setFont(normal);

    Frame2 = place(new QGroupBox(QStringLiteral("模拟仿真"), this), "Frame2", twips(5400, 6120, 6012, 1932), larger);
    Command[14] = place(new QPushButton(QStringLiteral("显示反色"), Frame2), "Command14",
                        twips(3240, 1080, 1092, 372), larger);
    Command[13] = place(new QPushButton(QStringLiteral("发送命令"), Frame2), "Command13",
                        twips(4680, 1080, 1092, 372), songFont(10.8, true));
    Combo1 = place(new QComboBox(Frame2), "Combo1", twips(120, 600, 5652, 312), larger);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Text2 = place(new QLineEdit(QStringLiteral("16进制显示:"), Frame2), "Text2", twips(120, 1440, 5652, 372), larger);
    Label4 = place(new QLabel(QStringLiteral("16进制显示:"), Frame2), "Label4", twips(120, 1200, 1332, 252),
                   songFont(10.8, true));
    Label3 = place(new QLabel(QStringLiteral("请输入命令"), Frame2), "Label3", twips(120, 360, 5652, 252),
                   songFont(10.8, true));

    struct Button {
        int number;
        const char* caption;
        QRect geometry;
        bool larger;
    };
    const Button buttons[] = {
        {12, "背光关闭", twips(3960, 3600, 972, 372), false}, {11, "背光打开", twips(3960, 3120, 972, 372), false},
        {10, "清除显示", twips(3960, 2640, 972, 372), false}, {9, "下载字库", twips(3960, 2160, 972, 372), false},
        {8, "下载位图", twips(3960, 1680, 972, 372), false},  {7, "连线测试", twips(3960, 1200, 972, 372), false},
        {6, "图文编辑", twips(3960, 720, 972, 372), false},   {5, "使用帮助", twips(2520, 720, 972, 372), false},
        {4, "恢复", twips(4080, 6480, 612, 372), true},       {3, "重排", twips(4080, 5760, 612, 372), true},
        {2, "删除", twips(4080, 5040, 612, 372), true},       {1, "添加", twips(4080, 4320, 612, 372), true},
    };
    for (const Button& b : buttons) {
        const QByteArray name = "Command" + QByteArray::number(b.number);
        Command[b.number] = place(new QPushButton(QString::fromUtf8(b.caption), this), name.constData(), b.geometry,
                                  b.larger ? larger : normal);
    }

    Frame1 = place(new QGroupBox(QStringLiteral("串口选择"), this), "Frame1", twips(240, 360, 1812, 732), larger);
    // Slightly wider than designed: this toolkit's indicator needs more room than 732 twips leave.
    Option2 = place(new QRadioButton(QStringLiteral("COM2"), Frame1), "Option2", twips(960, 360, 840, 252), normal);
    Option1 = place(new QRadioButton(QStringLiteral("COM1"), Frame1), "Option1", twips(120, 360, 840, 252), normal);
    Option1->setToolTip(port_.devicePath(1));
    Option2->setToolTip(port_.devicePath(2));

    Text1 = place(new QLineEdit(this), "Text1", twips(4200, 7680, 492, 372), songFont(16.2));
    Text1->setReadOnly(true);
    Text1->setFocusPolicy(Qt::NoFocus);
    QPalette menuColour = Text1->palette();
    menuColour.setColor(QPalette::Base, palette().color(QPalette::Window));
    Text1->setPalette(menuColour);

    frame = place(new QGroupBox(QStringLiteral("下载位图排序"), this), "frame", twips(240, 4080, 3612, 4332), normal);
    List1 = place(new QListWidget(frame), "List1", twips(120, 240, 3372, 4008), normal);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    Drive1 = place(new QComboBox(this), "Drive1", twips(240, 1200, 1812, 276), normal);
    File1 = place(new QListWidget(this), "File1", twips(2160, 1200, 1680, 2772), normal);
    Dir1 = place(new DirListBox(this), "Dir1", twips(240, 1560, 1812, 2316), normal);

    Label2 = place(new QLabel(this), "Label2", twips(5880, 360, 4812, 252), songFont(12));
    progress_ = place(new QProgressBar(this), "Progress", twips(10740, 360, 1380, 252), normal);
    progress_->setVisible(false);
    progress_->setTextVisible(true);
    Image1 = place(new QLabel(this), "Image1", twips(5280, 720, 1176, 768), normal);
    Image1->setScaledContents(true);
    Label1 = place(new QLabel(QStringLiteral("序号n"), this), "Label1", twips(4080, 7320, 612, 252), songFont(12));

    // Command5 and Command6 carry captions only.
    for (int n : {1, 2}) {
        QRadioButton* option = n == 1 ? Option1 : Option2;
        connect(option, &QRadioButton::toggled, this, [this, n](bool on) {
            if (on)
                selectPort(n);
        });
        // A click on the button already chosen tries its port again once it is
        // closed (after an unplug or a failed open).
        connect(option, &QRadioButton::pressed, this, [this, option] { pressedChosen_ = option->isChecked(); });
        connect(option, &QRadioButton::clicked, this, [this, n] {
            if (pressedChosen_ && !port_.portOpen())
                selectPort(n);
            pressedChosen_ = false;
        });
    }
    connect(Command[1], &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(Command[2], &QPushButton::clicked, this, &MainWindow::Command2_Click);
    connect(Command[3], &QPushButton::clicked, this, &MainWindow::Command3_Click);
    connect(Command[4], &QPushButton::clicked, this, &MainWindow::Command4_Click);
    connect(Command[7], &QPushButton::clicked, this, &MainWindow::Command7_Click);
    connect(Command[8], &QPushButton::clicked, this, &MainWindow::Command8_Click);
    connect(Command[9], &QPushButton::clicked, this, &MainWindow::Command9_Click);
    connect(Command[10], &QPushButton::clicked, this, [this] {
        clearPreview();
        setStatus(QString());
        sendCommand(module::simpleCommand(module::CmdClearScreen));
    });
    connect(Command[11], &QPushButton::clicked, this,
            [this] { sendCommand(module::simpleCommand(module::CmdBacklightOn)); });
    connect(Command[12], &QPushButton::clicked, this,
            [this] { sendCommand(module::simpleCommand(module::CmdBacklightOff)); });
    connect(Command[13], &QPushButton::clicked, this, &MainWindow::Command13_Click);
    connect(Command[14], &QPushButton::clicked, this, &MainWindow::Command14_Click);
    connect(Combo1, &QComboBox::activated, this, &MainWindow::Combo1_Click);
    connect(Combo1, &QComboBox::editTextChanged, this, &MainWindow::Combo1_Change);
    connect(Drive1, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
    connect(Dir1, &DirListBox::pathChanged, this, [this] { Dir1_Change(); });
    connect(File1, &QListWidget::itemClicked, this, [this] { File1_Click(); });
    // Moving through the files with the keyboard previews them as clicking does.
    connect(File1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && QApplication::mouseButtons() == Qt::NoButton)
            File1_Click();
    });
    connect(List1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row != list_.selected())
            list_.select(row);
    });
}

void MainWindow::startUp() {
    PageSize = 256;
    clearPreview();

    // The data directory is created when missing; without it the list stays empty.
    dataDirUsable_ = !dataDir_.isEmpty() && QDir().mkpath(dataDir_) && QFileInfo(dataDir_).isDir() &&
                     QFileInfo(dataDir_).isReadable();
    if (!dataDirUsable_)
        setStatus(QStringLiteral("数据目录无法使用!"));
    const QString absoluteDataDir = QFileInfo(dataDir_).absoluteFilePath();

    const QStringList roots = driveRoots();
    {
        const QSignalBlocker block(Drive1);
        Drive1->addItems(roots);
        Drive1->setCurrentIndex(-1);
    }
    const QString drive = driveForPath(absoluteDataDir, roots);
    Drive1->setCurrentIndex(int(roots.indexOf(drive.isEmpty() ? roots.value(0) : drive)));
    if (dataDirUsable_)
        Dir1->setPath(absoluteDataDir);

    port_.setCommPort(1);
    if (!port_.setPortOpen(true)) {
        // Port 1 missing or busy: fall back to port 2, without a word.
        Option2->setChecked(true);
    } else {
        const QSignalBlocker block(Option1);
        Option1->setChecked(true);
    }
    port_.setSettings(QStringLiteral("19200,n,8,1"));
    port_.setInputMode(1);
    port_.setRThreshold(1);
    port_.setSThreshold(0);

    if (dataDirUsable_)
        LoadList();

    const QSignalBlocker block(Combo1);
    Combo1->addItems(CommandConsole::captions());
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(QStringLiteral("请输入命令"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (port_.portOpen())
        port_.setPortOpen(false);
    QWidget::closeEvent(event);
}

// Option1 / Option2 Click.
void MainWindow::selectPort(int port) {
    // The bytes still queued for the old line are gone with it; a transfer cannot
    // go on as if they had been sent.
    if (handler_.running())
        handler_.abandonTransfer();
    if (port_.portOpen())
        port_.setPortOpen(false);
    port_.setCommPort(port);
    if (!port_.setPortOpen(true))
        setStatus(texts::portOpenFailed(port));
}

void MainWindow::setStatus(const QString& text) {
    progressTextTimer_.stop(); // a later text always wins over a progress text still waiting
    Label2->setText(text);
}

// The progress text changes about 960 times a second at 19,200 baud; painting each
// one would cost the window far more than the transfer itself. It is shown at most
// every ProgressTextMs, the latest one winning; every other text is shown at once.
void MainWindow::showTransferText(const QString& text) {
    static const QString progressPrefix = texts::downloading() + QStringLiteral("  ");
    if (!text.startsWith(progressPrefix)) {
        setStatus(text);
        return;
    }
    pendingProgressText_ = text;
    if (progressTextTimer_.isActive())
        return;
    const qint64 since = progressTextShown_.isValid() ? progressTextShown_.elapsed() : ProgressTextMs;
    if (since >= ProgressTextMs) {
        setStatus(text);
        progressTextShown_.start();
    } else {
        progressTextTimer_.start(int(ProgressTextMs - since));
    }
}

void MainWindow::clearPreview() {
    Image1->clear();
    Image1->setPixmap(QPixmap());
    Image1->setGeometry(twips(5280, 720, 1176, 768));
}

// Writes a fixed command one byte per write; a closed port is reported.
bool MainWindow::sendCommand(const QByteArray& bytes) {
    if (!handler_.sendSingly(bytes)) {
        setStatus(texts::portNotOpen());
        return false;
    }
    return true;
}

void MainWindow::transferRunningChanged(bool running) {
    // Single commands would land in the middle of the data stream.
    for (int n : {7, 10, 11, 12, 13})
        Command[n]->setEnabled(!running);
    progress_->setVisible(running);
    if (running) {
        transferClock_.start();
        transferClockStart_ = handler_.SendPosition;
        progress_->setRange(0, std::max(1, handler_.TransferTotal));
        progress_->setValue(handler_.SendPosition);
        progress_->setFormat(QStringLiteral("%p%"));
    }
}

void MainWindow::transferProgress(qint32 position, qint32 total) {
    if (!handler_.running())
        return;
    progress_->setRange(0, std::max(1, total));
    progress_->setValue(position);
    const qint64 elapsed = transferClock_.elapsed();
    const qint32 done = position - transferClockStart_;
    if (done > 64 && elapsed > 500) {
        const qint64 leftSeconds = (elapsed * qint64(total - position) / done + 999) / 1000;
        progress_->setFormat(QStringLiteral("剩余%1:%2")
                                 .arg(leftSeconds / 60)
                                 .arg(leftSeconds % 60, 2, 10, QLatin1Char('0')));
    }
}

void MainWindow::Drive1_Change() {
    const QString root = Drive1->currentText();
    if (root.isEmpty())
        return;
    bool fellBack = false;
    const QString dir = directoryForDrive(root, Dir1->path(), &fellBack);
    if (fellBack || !Dir1->setPath(dir)) {
        // A drive that cannot be read: quietly back to the one still shown.
        const QSignalBlocker block(Drive1);
        Drive1->setCurrentIndex(int(driveRoots().indexOf(driveForPath(Dir1->path(), driveRoots()))));
    }
}

void MainWindow::Dir1_Change() {
    File1->clear();
    File1->addItems(bmpFilesIn(Dir1->path()));
    File1->setCurrentRow(-1);
}

void MainWindow::File1_Click() {
    if (!File1->currentItem())
        return;
    CurrentBmpPath = composeBrowserPath(Dir1->path(), File1->currentItem()->text());
    ShowBitmapInfo();
}

void MainWindow::List1_Click(int k) {
    Text1->setText(listNumberText(k));
    if (k >= 0 && k <= 255 && !handler_.running() && port_.portOpen())
        handler_.sendSingly(module::showImageCommand(0, 0, quint8(k)));
    if (k < 0)
        return; // nothing selected: the preview stays as it is
    CurrentBmpPath = list_.entry(k);
    ShowBitmapInfo();
}

void MainWindow::ShowBitmapInfo() {
    if (!reader_.ReadBmp(CurrentBmpPath)) {
        setStatus(reader_.error());
        clearPreview();
        return;
    }
    const int w = reader_.width();
    const int h = reader_.height();
    setStatus(bitmapInfoText(w, h));
    QImage picture(w, h, QImage::Format_Mono);
    const auto pal = reader_.palette();
    picture.setColorTable({pal[0], pal[1]});
    for (int r = 0; r < h; ++r) {
        uchar* line = picture.scanLine(r);
        for (int k = 0; k < reader_.widthBytes(); ++k)
            line[k] = reader_.pixelByte(r, k);
    }
    const QSize box = previewBoxSize(w, h, previewArea.size());
    Image1->setGeometry(QRect(previewArea.topLeft(), box));
    Image1->setPixmap(QPixmap::fromImage(picture));
}

void MainWindow::Command1_Click() {
    if (File1->currentRow() < 0 || !File1->currentItem())
        return;
    const QString path = composeBrowserPath(Dir1->path(), File1->currentItem()->text());
    // The list file stores paths in GBK: a path it cannot hold would come back wrong.
    if (fromGbk(toGbk(path)) != path) {
        setStatus(QStringLiteral("路径含有无法保存的字符!"));
        return;
    }
    QString message;
    if (!list_.add(path, &message))
        setStatus(message);
}

void MainWindow::Command2_Click() {
    list_.removeSelectedAndReselect();
}

void MainWindow::Command3_Click() {
    list_.clear();
}

void MainWindow::Command4_Click() {
    LoadList();
}

bool MainWindow::SaveList() {
    QString message;
    if (!dataDirUsable_ || !listFile_.SaveList(list_.entries(), listFilePath(dataDir_), &message)) {
        setStatus(message.isEmpty() ? QStringLiteral("位图列表保存失败!") : message);
        return false;
    }
    return true;
}

void MainWindow::LoadList() {
    QString message;
    const QStringList entries = dataDirUsable_ ? listFile_.LoadList(listFilePath(dataDir_), &message) : QStringList();
    list_.setEntries(entries);
    if (!message.isEmpty())
        setStatus(message);
}

void MainWindow::Command7_Click() {
    clearPreview();
    setStatus(texts::testFailed());
    sendCommand(module::simpleCommand(module::CmdConnectionTest));
}

// A download that was running stops at a new start; if the new start is refused,
// it ends there too rather than staying armed with the buttons free.
void MainWindow::refuseStart(const QString& message) {
    handler_.abandonTransfer();
    setStatus(message);
}

void MainWindow::Command8_Click() {
    handler_.LastReply = 0;
    clearPreview();
    if (!SaveList()) {
        handler_.abandonTransfer();
        return;
    }
    if (!builder_.BuildDownloadImage(list_.entries(), reader_, findDataFile(dataDir_, QStringLiteral("file.add")))) {
        refuseStart(builder_.error());
        return;
    }
    CurrentBmpPath = list_.entries().value(list_.count() - 1, CurrentBmpPath);
    // A refused image never becomes the transfer's image: a late 0xAA from the
    // module could otherwise push bytes that no header announced.
    const BitmapDownloadPlan plan = planBitmapDownload(builder_.downloadImage(), PageSize);
    if (!plan.accepted) {
        refuseStart(plan.message);
        return;
    }
    if (!port_.portOpen()) {
        refuseStart(texts::portNotOpen());
        return;
    }
    setStatus(texts::downloading());
    handler_.startTransfer(builder_.downloadImage(), plan.transferTotal, plan.header);
}

void MainWindow::Command9_Click() {
    handler_.LastReply = 0;
    clearPreview();
    FontImage font = loadFontImage(dataDir_);
    if (!font.ok) {
        refuseStart(font.message);
        return;
    }
    if (!port_.portOpen()) {
        refuseStart(texts::portNotOpen());
        return;
    }
    setStatus(texts::downloading());
    handler_.startTransfer(std::move(font.image), module::FontTransferTotal, module::fontHeader());
}

void MainWindow::Combo1_Click(int index) {
    Label3->setText(console_.select(index, Combo1->currentText()));
    Combo1->setEditText(QString()); // raises Change: the bare template
    Text2->setText(console_.commandHex());
}

void MainWindow::Combo1_Change(const QString& text) {
    Text2->setText(console_.preview(text));
}

void MainWindow::Command13_Click() {
    const CommandConsole::SendResult r = console_.send(Text2->text());
    Text2->setText(r.text2);
    if (!r.valid)
        return;
    if (!port_.output(r.bytes))
        setStatus(texts::portNotOpen());
}

void MainWindow::Command14_Click() {
    Text2->setText(console_.invert(Text2->text()));
}

} // namespace panelix

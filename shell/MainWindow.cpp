#include "shell/MainWindow.h"

#include "import/MonoImage.h"
#include "common/LinePeer.h"
#include "library/FileBrowser.h"
#include "shell/StatusTexts.h"
#include "shell/DirListBox.h"
#include "shell/editor/ComposerWindow.h"
#include "import/Animation.h"
#include "shell/editor/PictureDrop.h"
#include "shell/help/SharpPicture.h"
#include "shell/help/WindowKeys.h"

#include <QAbstractItemView>
#include <QAction>
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
#include <QScreen>
#include <QSettings>
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

MainWindow::MainWindow(ModuleSession& session, const StartupOptions& options, QWidget* parent)
    : QWidget(parent), session_(session) {
    session_.setDevicePath(1, options.port1);
    session_.setDevicePath(2, options.port2);
    // An unplugged adapter that comes back is opened again by itself.
    session_.setReconnect(true);
    remember_ = options.remember;
    buildControls();
    buildPortPickers();
    connectControls();
    connectSession();
    attachKeys();
    followDataDirectory();
    startUp(options.dataDir);
    if (remember_)
        restoreRemembered(options);
    portSource_ = [] { return systemSerialPorts(); };
    connect(&portScan_, &QTimer::timeout, this, &MainWindow::scanPorts);
    portScan_.start(PortScanMs);
    scanPorts();
}

MainWindow::~MainWindow() {
    session_.closePort();
}

void MainWindow::buildControls() {
    setWindowTitle(windowCaption());
    setObjectName(QStringLiteral("MainWindow"));
    setFixedSize(twips(0, 0, 12192, 8616).size());
    const QFont normal = songFont(9);
    const QFont larger = songFont(10.8);
    setFont(normal);

    consoleFrame_ =
        place(new QGroupBox(tr("模拟仿真"), this), "Frame2", twips(5400, 6120, 6012, 1932), larger);
    invertButton_ = place(new QPushButton(tr("显示反色"), consoleFrame_), "Command14",
                          twips(3240, 1080, 1092, 372), larger);
    sendButton_ = place(new QPushButton(tr("发送命令"), consoleFrame_), "Command13",
                        twips(4680, 1080, 1092, 372), songFont(10.8, true));
    commandPicker_ = place(new QComboBox(consoleFrame_), "Combo1", twips(120, 600, 5652, 312), larger);
    commandPicker_->setEditable(true);
    commandPicker_->setInsertPolicy(QComboBox::NoInsert);
    // Typed parameters are the user's own: completing them from the captions would
    // turn "背" into "背光打开:" and send that.
    commandPicker_->setCompleter(nullptr);
    commandHex_ = place(new QLineEdit(tr("16进制显示:"), consoleFrame_), "Text2",
                        twips(120, 1440, 5652, 372), larger);
    hexCaption_ = place(new QLabel(tr("16进制显示:"), consoleFrame_), "Label4",
                        twips(120, 1200, 1332, 252), songFont(10.8, true));
    commandHint_ = place(new QLabel(tr("请输入命令"), consoleFrame_), "Label3",
                         twips(120, 360, 5652, 252), songFont(10.8, true));

    // Made in the order of the designed form, the last drawn on top.
    const auto button = [this](const QString& caption, const char* name, QRect geometry, const QFont& font) {
        return place(new QPushButton(caption, this), name, geometry, font);
    };
    backlightOffButton_ = button(tr("背光关闭"), "Command12", twips(3960, 3600, 972, 372), normal);
    backlightOnButton_ = button(tr("背光打开"), "Command11", twips(3960, 3120, 972, 372), normal);
    clearButton_ = button(tr("清除显示"), "Command10", twips(3960, 2640, 972, 372), normal);
    downloadFontButton_ = button(tr("下载字库"), "Command9", twips(3960, 2160, 972, 372), normal);
    downloadBitmapsButton_ = button(tr("下载位图"), "Command8", twips(3960, 1680, 972, 372), normal);
    testButton_ = button(tr("连线测试"), "Command7", twips(3960, 1200, 972, 372), normal);
    composerButton_ = button(tr("图文编辑"), "Command6", twips(3960, 720, 972, 372), normal);
    helpButton_ = button(tr("使用帮助"), "Command5", twips(2520, 720, 972, 372), normal);
    restoreButton_ = button(tr("恢复"), "Command4", twips(4080, 6480, 612, 372), larger);
    reorderButton_ = button(tr("重排"), "Command3", twips(4080, 5760, 612, 372), larger);
    removeButton_ = button(tr("删除"), "Command2", twips(4080, 5040, 612, 372), larger);
    addButton_ = button(tr("添加"), "Command1", twips(4080, 4320, 612, 372), larger);

    portFrame_ = place(new QGroupBox(tr("串口选择"), this), "Frame1", twips(240, 360, 1812, 732), larger);
    // Slightly wider than designed: this toolkit's indicator needs more room than 732 twips leave.
    portButtons_[1] = place(new QRadioButton(QStringLiteral("COM2"), portFrame_), "Option2",
                            twips(960, 360, 840, 252), normal);
    portButtons_[0] = place(new QRadioButton(QStringLiteral("COM1"), portFrame_), "Option1",
                            twips(120, 360, 840, 252), normal);

    listNumber_ = place(new QLineEdit(this), "Text1", twips(4200, 7680, 492, 372), songFont(16.2));
    listNumber_->setReadOnly(true);
    listNumber_->setFocusPolicy(Qt::NoFocus);
    QPalette menuColour = listNumber_->palette();
    menuColour.setColor(QPalette::Base, palette().color(QPalette::Window));
    listNumber_->setPalette(menuColour);

    listFrame_ =
        place(new QGroupBox(tr("下载位图排序"), this), "frame", twips(240, 4080, 3612, 4332), normal);
    bitmapList_ = place(new QListWidget(listFrame_), "List1", twips(120, 240, 3372, 4008), normal);
    bitmapList_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Long paths keep their file name in view; the whole path is in the tooltip.
    bitmapList_->setTextElideMode(Qt::ElideLeft);
    driveList_ = place(new QComboBox(this), "Drive1", twips(240, 1200, 1812, 276), normal);
    fileList_ = place(new QListWidget(this), "File1", twips(2160, 1200, 1680, 2772), normal);
    dirList_ = place(new DirListBox(this), "Dir1", twips(240, 1560, 1812, 2316), normal);

    status_ = place(new QLabel(this), "Label2", twips(5880, 360, 4812, 252), songFont(12));
    progress_ = place(new QProgressBar(this), "Progress", twips(9600, 360, 2520, 252), normal);
    progress_->setVisible(false);
    progress_->setTextVisible(true);
    preview_ = place(new QLabel(this), "Image1", twips(5280, 720, 1176, 768), normal);
    preview_->setScaledContents(true);
    drawDotsSharp(preview_); // scaled without smoothing, at any device pixel ratio
    listNumberCaption_ =
        place(new QLabel(tr("序号n"), this), "Label1", twips(4080, 7320, 612, 252), songFont(12));
}

void MainWindow::connectControls() {
    // The help button opens the help (attachKeys).
    for (int n : {1, 2}) {
        QRadioButton* option = portButtons_[n - 1];
        connect(option, &QRadioButton::toggled, this, [this, n](bool on) {
            if (on)
                selectPort(n);
        });
        // A click on the button already chosen tries its port again once it is
        // closed (after an unplug or a failed open).
        connect(option, &QRadioButton::pressed, this, [this, option] { pressedChosen_ = option->isChecked(); });
        connect(option, &QRadioButton::clicked, this, [this, n] {
            if (pressedChosen_ && !session_.isOpen())
                selectPort(n);
            pressedChosen_ = false;
        });
    }
    connect(addButton_, &QPushButton::clicked, this, &MainWindow::addBrowsedFile);
    connect(removeButton_, &QPushButton::clicked, this, &MainWindow::removeListEntry);
    connect(reorderButton_, &QPushButton::clicked, this, &MainWindow::clearList);
    connect(restoreButton_, &QPushButton::clicked, this, &MainWindow::restoreList);
    connect(composerButton_, &QPushButton::clicked, this, [this] { ComposerWindow::open(session_, this); });
    // Picture files dropped on the bitmap list go through the import dialog.
    connect(new PictureDropTarget(bitmapList_), &PictureDropTarget::dropped, this, [this](const QStringList& paths) {
        importIntoList(
            session_, paths, this, [this](const QString& text) { setStatus(text); },
            [this](const QString& source, const QString& bmp, int delayMs, int loopCount) {
                if (delayMs < 0)
                    frameEntries_.remove(bmp);
                else
                    frameEntries_.insert(bmp, FrameEntry{source, delayMs, loopCount});
            });
    });
    // The list's context menu: play the stored pictures in turn, and stop.
    auto* play = new QAction(tr("播放"), bitmapList_);
    play->setObjectName(QStringLiteral("PlayList"));
    connect(play, &QAction::triggered, this, &MainWindow::playList);
    auto* stop = new QAction(tr("停止播放"), bitmapList_);
    stop->setObjectName(QStringLiteral("StopPlaying"));
    connect(stop, &QAction::triggered, this, &MainWindow::stopPlaying);
    bitmapList_->addActions({play, stop});
    bitmapList_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(testButton_, &QPushButton::clicked, this, &MainWindow::testConnection);
    connect(downloadBitmapsButton_, &QPushButton::clicked, this, &MainWindow::downloadBitmaps);
    connect(downloadFontButton_, &QPushButton::clicked, this, &MainWindow::downloadFont);
    connect(clearButton_, &QPushButton::clicked, this, &MainWindow::clearDisplay);
    connect(backlightOnButton_, &QPushButton::clicked, this, [this] { showRefusal(session_.setBacklight(true)); });
    connect(backlightOffButton_, &QPushButton::clicked, this, [this] { showRefusal(session_.setBacklight(false)); });
    connect(sendButton_, &QPushButton::clicked, this, &MainWindow::sendConsoleCommand);
    connect(invertButton_, &QPushButton::clicked, this, &MainWindow::invertConsoleCommand);
    connect(commandPicker_, &QComboBox::activated, this, &MainWindow::chooseCommand);
    connect(commandPicker_, &QComboBox::editTextChanged, this, &MainWindow::editCommand);
    connect(driveList_, &QComboBox::currentIndexChanged, this, [this] { showDrive(); });
    connect(dirList_, &DirListBox::pathChanged, this, [this](const QString& path) {
        showDirectoryFiles();
        if (remember_)
            QSettings().setValue(QStringLiteral("browser/lastFolder"), path);
    });
    connect(fileList_, &QListWidget::itemClicked, this, [this] { previewBrowsedFile(); });
    // Moving through the files with the keyboard previews them as clicking does.
    connect(fileList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && QApplication::mouseButtons() == Qt::NoButton)
            previewBrowsedFile();
    });
    connect(bitmapList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row != session_.bitmapList().selected())
            session_.bitmapList().select(row);
    });
}

void MainWindow::connectSession() {
    BitmapList& list = session_.bitmapList();
    connect(&list, &BitmapList::changed, this, [this] {
        const QSignalBlocker block(bitmapList_);
        bitmapList_->clear();
        bitmapList_->addItems(session_.bitmapList().entries());
        for (int i = 0; i < bitmapList_->count(); ++i)
            bitmapList_->item(i)->setToolTip(bitmapList_->item(i)->text());
        bitmapList_->setCurrentRow(session_.bitmapList().selected());
    });
    connect(&list, &BitmapList::clicked, this, [this](int index) {
        {
            const QSignalBlocker block(bitmapList_);
            bitmapList_->setCurrentRow(index);
        }
        listEntryClicked(index);
    });
    connect(&list, &BitmapList::highlighted, this, [this](int index) {
        {
            const QSignalBlocker block(bitmapList_);
            bitmapList_->setCurrentRow(index);
        }
        showEntry(index);
    });
    connect(&session_, &ModuleSession::runningChanged, this, &MainWindow::transferRunningChanged);
    connect(&session_, &ModuleSession::progress, this, &MainWindow::transferProgress);
    connect(&session_, &ModuleSession::finished, this, [this] { setStatus(texts::downloadDone()); });
    connect(&session_, &ModuleSession::failed, this, &MainWindow::showFailure);
    connect(&session_, &ModuleSession::playFinished, this, [this](int, bool complete) {
        if (status_->text() == tr("正在播放..."))
            setStatus(complete ? tr("播放结束") : QString());
    });
    connect(&session_, &ModuleSession::testAnswered, this, [this] { setStatus(texts::testOk()); });
    connect(&session_, &ModuleSession::moduleSilent, this, [this] { setStatus(texts::moduleSilent()); });
    connect(&session_, &ModuleSession::waitingForModule, this, [this] { setStatus(texts::waitingForModule()); });
    connect(&session_, &ModuleSession::reconnected, this, [this] { setStatus(texts::portReconnected()); });
}

// Beside the port frame, in the strip above it: for COM1 and COM2 the device
// behind each, picked from the system's serial devices or typed as a path.
void MainWindow::buildPortPickers() {
    const QFont normal = songFont(9);
    const int left[2] = {240, 3000};
    for (int n : {1, 2}) {
        const QByteArray caption = "Port" + QByteArray::number(n) + "Caption";
        const QByteArray picker = "Port" + QByteArray::number(n) + "Device";
        portCaptions_[n - 1] = place(new QLabel(QStringLiteral("COM%1").arg(n), this), caption.constData(),
                                     twips(left[n - 1], 45, 600, 270), normal);
        QComboBox* box = place(new QComboBox(this), picker.constData(), twips(left[n - 1] + 600, 15, 2100, 315),
                               normal);
        // The list opens wider than the picker: a device's description and ids are
        // what tells two adapters apart.
        box->view()->setTextElideMode(Qt::ElideNone);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        box->setEditText(session_.devicePath(n));
        portDevices_[n - 1] = box;
        connect(box, &QComboBox::activated, this, [this, n, box](int index) {
            chooseDevice(n, box->itemData(index).toString());
        });
        connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this, n, box] {
            const int index = box->findText(box->currentText());
            chooseDevice(n, index >= 0 ? box->itemData(index).toString() : box->currentText().trimmed());
        });
    }
}

void MainWindow::setPortSource(PortSource source) {
    portSource_ = std::move(source);
    scanPorts();
}

// Plugging and unplugging shows in the lists within a scan.
void MainWindow::scanPorts() {
    if (!portSource_)
        return;
    QList<SerialPortInfo> ports = portSource_();
    if (ports == ports_)
        return;
    ports_ = std::move(ports);
    for (int n : {1, 2}) {
        fillPortPicker(n);
        updatePortTip(n);
    }
}

void MainWindow::fillPortPicker(int port) {
    QComboBox* box = portDevices_[port - 1];
    // Someone typing a path keeps what they typed.
    const bool typing = box->lineEdit()->hasFocus() && box->lineEdit()->isModified();
    const QString typed = box->currentText();
    const QSignalBlocker block(box);
    box->clear();
    for (const SerialPortInfo& p : ports_)
        box->addItem(p.label(), p.identity());
    box->lineEdit()->setPlaceholderText(ports_.isEmpty() ? texts::noAdapter() : QString());
    const QString device = session_.devicePath(port);
    const SerialPortInfo* current = findPort(ports_, device);
    const int index = current ? box->findData(current->identity()) : -1;
    box->setCurrentIndex(index);
    if (typing)
        box->setEditText(typed);
    else if (index < 0)
        box->setEditText(device);
    box->lineEdit()->setCursorPosition(0);
    box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 2 * box->view()->frameWidth() + 8);
}

void MainWindow::chooseDevice(int port, const QString& device) {
    if (device.isEmpty())
        return;
    session_.setDevicePath(port, device);
    portTip_[port - 1].clear();
    if (remember_)
        QSettings().setValue(QStringLiteral("port%1").arg(port), device);
    portDevices_[port - 1]->lineEdit()->setModified(false);
    fillPortPicker(port);
    updatePortTip(port);
    // The chosen button's line moves to the new device at once.
    if (session_.currentPort() == port && portButtons_[port - 1]->isChecked())
        selectPort(port);
}

void MainWindow::updatePortTip(int port) {
    const QString device = session_.devicePath(port);
    QString tip = device;
    if (const SerialPortInfo* p = findPort(ports_, device)) {
        tip = p->path;
        if (!p->description.isEmpty())
            tip += QStringLiteral("\n") + p->description;
        if (!p->manufacturer.isEmpty())
            tip += QStringLiteral("\n") + p->manufacturer;
        if (!p->serialNumber.isEmpty())
            tip += QStringLiteral("\n") + p->serialNumber;
        if (!p->stablePath.isEmpty() && p->stablePath != p->path)
            tip += QStringLiteral("\n") + p->stablePath;
    }
    if (isInProcessDevice(device))
        tip += QStringLiteral("\n") + tr("模拟模块, 进程内线路 (无串口, 按波特率计时)");
    if (!portTip_[port - 1].isEmpty())
        tip += QStringLiteral("\n") + portTip_[port - 1];
    portButtons_[port - 1]->setToolTip(tip);
    portDevices_[port - 1]->setToolTip(ports_.isEmpty() ? tip + QStringLiteral("\n") + texts::noAdapter() : tip);
}

void MainWindow::restoreRemembered(const StartupOptions& options) {
    QSettings settings;
    const QVariant position = settings.value(QStringLiteral("window/position"));
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    if (const auto at = visibleWindowPosition(QRect(position.toPoint(), frameGeometry().size()), screens);
        position.isValid() && at)
        move(*at);
    else if (position.isValid() && QGuiApplication::primaryScreen())
        move(QGuiApplication::primaryScreen()->availableGeometry().center() - rect().center());
    if (!options.lastFolder.isEmpty() && canListDirectory(options.lastFolder)) {
        const QSignalBlocker block(driveList_);
        driveList_->setCurrentIndex(int(driveRoots().indexOf(driveForPath(options.lastFolder, driveRoots()))));
        dirList_->setPath(options.lastFolder);
    }
}

void MainWindow::startUp(const QString& dataDir) {
    clearPreview();

    // The data directory is created when missing; without it the list stays empty.
    if (!session_.setDataDir(dataDir))
        setStatus(texts::dataDirUnusable());
    const QString absoluteDataDir = QFileInfo(dataDir).absoluteFilePath();

    const QStringList roots = driveRoots();
    {
        const QSignalBlocker block(driveList_);
        driveList_->addItems(roots);
        driveList_->setCurrentIndex(-1);
    }
    const QString drive = driveForPath(absoluteDataDir, roots);
    driveList_->setCurrentIndex(int(roots.indexOf(drive.isEmpty() ? roots.value(0) : drive)));
    if (session_.dataDirUsable())
        dirList_->setPath(absoluteDataDir);

    if (const Refusal r = session_.openPort(1)) {
        // Port 1 missing or busy: fall back to port 2, without a word in the status
        // line; why COM1 could not be opened stays in its tooltip.
        portTip_[0] = texts::failureText(*r);
        if (const QString advice = texts::openAdvice(r->openError, session_.devicePath(1)); !advice.isEmpty())
            portTip_[0] += QStringLiteral("\n") + advice;
        updatePortTip(1);
        portButtons_[1]->setChecked(true);
    } else {
        const QSignalBlocker block(portButtons_[0]);
        portButtons_[0]->setChecked(true);
    }

    if (session_.dataDirUsable())
        loadList();

    const QSignalBlocker block(commandPicker_);
    commandPicker_->addItems(CommandConsole::shownCaptions());
    commandPicker_->setCurrentIndex(-1);
    commandPicker_->setEditText(tr("请输入命令"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (remember_)
        QSettings().setValue(QStringLiteral("window/position"), pos());
    session_.closePort();
    QWidget::closeEvent(event);
}

void MainWindow::selectPort(int port) {
    portTip_[port - 1].clear();
    if (Refusal r = session_.openPort(port)) {
        portTip_[port - 1] = texts::openAdvice(r->openError, session_.devicePath(port));
        updatePortTip(port);
        showFailure(*r);
        return;
    }
    updatePortTip(port);
    // The line is back: the word that it went away no longer holds.
    if (portLostShown_)
        setStatus(QString());
}

void MainWindow::setStatus(const QString& text) {
    portLostShown_ = false;
    status_->setText(text);
}

void MainWindow::showFailure(const Failure& failure) {
    const QString text = texts::failureText(failure);
    if (text.isEmpty())
        return;
    setStatus(text);
    portLostShown_ = failure.reason == FailureReason::PortLost;
}

void MainWindow::clearPreview() {
    preview_->clear();
    preview_->setPixmap(QPixmap());
    preview_->setGeometry(twips(5280, 720, 1176, 768));
}

void MainWindow::transferRunningChanged(bool running) {
    // Single commands would land in the middle of the data stream.
    for (QPushButton* b : {testButton_, clearButton_, backlightOnButton_, backlightOffButton_, sendButton_})
        b->setEnabled(!running);
    // While data flows the status line holds only the progress text: the bar takes
    // the rest of the strip, wide enough for the percentage and the time left.
    status_->setGeometry(running ? twips(5880, 360, 3660, 252) : twips(5880, 360, 4812, 252));
    progress_->setVisible(running);
    // The port lists rest while data flows: an unplug shows as a lost port anyway, and
    // reading the system's devices every second costs the transfer's thread its time.
    if (running) {
        portScan_.stop();
    } else if (!portScan_.isActive()) {
        portScan_.start(PortScanMs);
        scanPorts();
    }
    if (running) {
        const TransferProgress now = session_.progressNow();
        progress_->setRange(0, std::max(1, now.total));
        progress_->setValue(now.sent);
        progress_->setFormat(QStringLiteral("%p%"));
    }
}

// The session reports progress every 40 ms; a person reads the status line and the
// bar at most about four times a second. The first event shows at once, later ones
// wait for progressShow_, and the last state (the transfer ended) always shows.
void MainWindow::transferProgress(const TransferProgress& p) {
    progressPending_ = p;
    const auto show = [this] {
        const TransferProgress& now = progressPending_;
        setStatus(texts::progressText(now.sent, now.total));
        if (!session_.running())
            return;
        if (progress_->maximum() != std::max(1, now.total))
            progress_->setRange(0, std::max(1, now.total));
        progress_->setValue(now.sent);
        if (now.secondsLeft >= 0)
            progress_->setFormat(texts::timeLeftText(now.secondsLeft));
    };
    if (!progressShowWired_) {
        progressShowWired_ = true;
        progressShow_.setSingleShot(true);
        connect(&progressShow_, &QTimer::timeout, this, [this, show] {
            if (!progressDirty_ || !session_.running())
                return;
            progressDirty_ = false;
            show();
            progressShow_.start(250);
        });
    }
    if (!progressShow_.isActive() || !session_.running()) {
        progressShow_.stop();
        progressDirty_ = false;
        show();
        if (session_.running())
            progressShow_.start(250);
        return;
    }
    progressDirty_ = true;
}

void MainWindow::showDrive() {
    const QString root = driveList_->currentText();
    if (root.isEmpty())
        return;
    bool fellBack = false;
    const QString dir = directoryForDrive(root, dirList_->path(), &fellBack);
    if (fellBack || !dirList_->setPath(dir)) {
        // A drive that cannot be read: quietly back to the one still shown.
        const QSignalBlocker block(driveList_);
        driveList_->setCurrentIndex(int(driveRoots().indexOf(driveForPath(dirList_->path(), driveRoots()))));
    }
}

void MainWindow::attachKeys() {
    const QList<WindowKey> keys = {
        {QKeySequence(Qt::CTRL | Qt::Key_D), downloadBitmapsButton_},
        {QKeySequence(Qt::CTRL | Qt::Key_F), downloadFontButton_},
        {QKeySequence(Qt::CTRL | Qt::Key_T), testButton_},
        {QKeySequence(Qt::CTRL | Qt::Key_Return), sendButton_},
        {QKeySequence(Qt::CTRL | Qt::Key_Enter), sendButton_},
        {QKeySequence(Qt::CTRL | Qt::Key_I), invertButton_},
        {QKeySequence(Qt::CTRL | Qt::Key_L), clearButton_},
        {QKeySequence(Qt::CTRL | Qt::Key_B), backlightOnButton_},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B), backlightOffButton_},
        {QKeySequence(Qt::CTRL | Qt::Key_E), composerButton_},
        {QKeySequence(Qt::Key_Insert), addButton_, fileList_},
        {QKeySequence(Qt::Key_Delete), removeButton_, bitmapList_},
    };
    attachHelpAndKeys(this, helpButton_, keys, tabOrder());
}

QList<QWidget*> MainWindow::tabOrder() const {
    return {portDevices_[0],  portDevices_[1],         portButtons_[0],     portButtons_[1],    driveList_,
            dirList_,         helpButton_,             fileList_,           composerButton_,    testButton_,
            downloadBitmapsButton_, downloadFontButton_, clearButton_,      backlightOnButton_, backlightOffButton_,
            bitmapList_,      addButton_,              removeButton_,       reorderButton_,     restoreButton_,
            commandPicker_,   commandHex_,             invertButton_,       sendButton_};
}

// File1 follows its folder: a picture saved by the composer, a converted one or a
// file copied in shows up without a restart. Changes come in bursts (a file written
// through a temporary and renamed): the list is read again once they settle.
void MainWindow::followDataDirectory() {
    folderSettle_.setSingleShot(true);
    folderSettle_.setInterval(150);
    connect(&folderWatch_, &QFileSystemWatcher::directoryChanged, this, [this] { folderSettle_.start(); });
    connect(&folderSettle_, &QTimer::timeout, this, &MainWindow::refreshDirectoryFiles);
}

void MainWindow::refreshDirectoryFiles() {
    // The row the user is on stays chosen when it is still there.
    const BrowserEntry* e = browsedFile();
    const QString chosen = e ? e->path : QString();
    browsedFiles_ = bmpEntriesIn(dirList_->path());
    const QSignalBlocker block(fileList_);
    fileList_->clear();
    int row = -1;
    for (int i = 0; i < browsedFiles_.size(); ++i) {
        fileList_->addItem(browsedFiles_[i].displayName);
        if (!chosen.isEmpty() && browsedFiles_[i].path == chosen)
            row = i;
    }
    fileList_->setCurrentRow(row);
}

void MainWindow::showDirectoryFiles() {
    if (!folderWatch_.directories().isEmpty())
        folderWatch_.removePaths(folderWatch_.directories());
    if (!dirList_->path().isEmpty())
        folderWatch_.addPath(dirList_->path());
    browsedFiles_ = bmpEntriesIn(dirList_->path());
    fileList_->clear();
    for (const BrowserEntry& e : browsedFiles_)
        fileList_->addItem(e.displayName);
    fileList_->setCurrentRow(-1);
}

// By row, never by text: a name that is not UTF-8 may show as another file's name.
const BrowserEntry* MainWindow::browsedFile() const {
    const int row = fileList_->currentRow();
    return row >= 0 && row < browsedFiles_.size() ? &browsedFiles_[row] : nullptr;
}

void MainWindow::previewBrowsedFile() {
    const BrowserEntry* e = browsedFile();
    if (!e)
        return;
    if (!e->pathOpensFile) {
        // A name in another encoding: its path would not open this file (or would
        // open a twin whose name is the same text in UTF-8).
        setStatus(texts::inputErrorText(inputError(InputReason::BitmapUnreadable, e->displayName)));
        clearPreview();
        return;
    }
    currentBmpPath_ = e->path;
    showBitmapInfo();
}

void MainWindow::listEntryClicked(int k) {
    // Skipped without a word while the port is closed or a transfer runs: the
    // bitmap's information replaces the status line at once anyway.
    session_.showBitmap(k);
    showEntry(k);
}

void MainWindow::showEntry(int k) {
    listNumber_->setText(listNumberText(k));
    if (k < 0)
        return; // nothing selected: the preview stays as it is
    currentBmpPath_ = session_.bitmapList().entry(k);
    showBitmapInfo();
}

void MainWindow::showBitmapInfo() {
    if (!reader_.readBmp(currentBmpPath_)) {
        setStatus(texts::inputErrorText(reader_.error()));
        clearPreview();
        return;
    }
    const int w = reader_.width();
    const int h = reader_.height();
    setStatus(texts::bitmapInfo(w, h));
    // The preview shows the file's own colours; the module gets the bits as stored.
    const auto pal = reader_.palette();
    const QImage picture = monoImage(reader_.bitmap(), pal[0], pal[1]);
    const QSize box = previewBoxSize(w, h, previewArea.size());
    preview_->setGeometry(QRect(previewArea.topLeft(), box));
    preview_->setPixmap(QPixmap::fromImage(picture));
}

void MainWindow::addBrowsedFile() {
    const BrowserEntry* e = browsedFile();
    if (!e)
        return;
    // The list file stores paths in GBK: a path it cannot hold, or that would not
    // open this file again, would come back wrong.
    if (!canStoreInList(*e)) {
        setStatus(texts::inputErrorText(inputError(InputReason::PathNotStorable, e->path)));
        return;
    }
    InputError error;
    if (!session_.bitmapList().add(e->path, &error) && error)
        setStatus(texts::inputErrorText(error));
}

void MainWindow::removeListEntry() {
    session_.bitmapList().removeSelectedAndReselect();
}

void MainWindow::clearList() {
    session_.bitmapList().clear();
}

void MainWindow::restoreList() {
    loadList();
}

void MainWindow::loadList() {
    if (const InputError error = session_.loadList())
        setStatus(texts::inputErrorText(error));
}

void MainWindow::testConnection() {
    clearPreview();
    setStatus(texts::testFailed());
    if (Refusal r = session_.testConnection())
        showFailure(*r);
}

void MainWindow::downloadBitmaps() {
    // While data flows a press would ruin the transfer: it is refused with a word,
    // and the preview stays.
    if (session_.running()) {
        showRefusal(session_.downloadBitmaps());
        return;
    }
    clearPreview();
    const Refusal r = session_.downloadBitmaps();
    if (session_.imageBuilt())
        currentBmpPath_ = session_.bitmapList().entries().value(session_.bitmapList().count() - 1, currentBmpPath_);
    if (r)
        showFailure(*r);
    else
        setStatus(texts::downloading());
}

void MainWindow::downloadFont() {
    if (session_.running()) {
        showRefusal(session_.downloadFont());
        return;
    }
    clearPreview();
    if (Refusal r = session_.downloadFont())
        showFailure(*r);
    else
        setStatus(texts::downloading());
}

void MainWindow::clearDisplay() {
    clearPreview();
    setStatus(QString());
    showRefusal(session_.clearScreen());
}

void MainWindow::playList() {
    const QStringList entries = session_.bitmapList().entries();
    if (entries.isEmpty())
        return;
    const int selected = std::max(0, session_.bitmapList().selected());
    PlayPlan plan;
    const auto frame = frameEntries_.constFind(entries.value(selected));
    if (frame != frameEntries_.cend()) {
        // The run of entries around the selected one that came from the same animation.
        const auto sameSource = [&](int n) {
            const auto f = frameEntries_.constFind(entries.value(n));
            return f != frameEntries_.cend() && f->source == frame->source;
        };
        int first = selected;
        while (first > 0 && sameSource(first - 1))
            --first;
        plan.first = first;
        for (int n = first; n < entries.size() && n < module::MaxBitmaps && sameSource(n); ++n)
            plan.delaysMs.push_back(frameEntries_.value(entries[n]).delayMs);
        plan.passes = playPasses(frame->loopCount);
    } else {
        plan.first = std::min(selected, module::MaxBitmaps - 1);
        for (int n = plan.first; n < entries.size() && n < module::MaxBitmaps; ++n)
            plan.delaysMs.push_back(1000);
    }
    if (const Refusal r = session_.play(plan)) {
        showFailure(*r);
        return;
    }
    setStatus(tr("正在播放..."));
}

void MainWindow::stopPlaying() {
    session_.stopPlaying();
}

void MainWindow::showRefusal(const Refusal& refusal) {
    if (refusal)
        showFailure(*refusal);
}

void MainWindow::chooseCommand(int index) {
    commandHint_->setText(console_.select(index, commandPicker_->currentText()));
    commandPicker_->setEditText(QString()); // raises Change: the bare template
    commandHex_->setText(console_.commandHex());
}

void MainWindow::editCommand(const QString& text) {
    commandHex_->setText(console_.preview(text));
}

void MainWindow::sendConsoleCommand() {
    const CommandConsole::SendResult r = console_.send(commandHex_->text());
    commandHex_->setText(r.commandHex);
    if (r.valid)
        showRefusal(session_.sendCommand(r.bytes));
}

void MainWindow::invertConsoleCommand() {
    commandHex_->setText(console_.invert(commandHex_->text()));
}

} // namespace panelix

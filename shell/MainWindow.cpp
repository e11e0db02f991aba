#include "shell/MainWindow.h"

#include "library/FileBrowser.h"
#include "protocol/Module.h"
#include "shell/StatusTexts.h"
#include "shell/DirListBox.h"
#include "shell/editor/ComposerWindow.h"
#include "shell/editor/PictureDrop.h"
#include "shell/help/SharpPicture.h"
#include "shell/help/WindowKeys.h"

#include <QAbstractItemView>
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

MainWindow::MainWindow(const StartupOptions& options, QWidget* parent) : QWidget(parent) {
    session_.port().setObjectName(QStringLiteral("MSComm1"));
    session_.setDevicePath(1, options.port1);
    session_.setDevicePath(2, options.port2);
    // An unplugged adapter that comes back is opened again by itself.
    session_.setReconnect(true);
    remember_ = options.remember;
    buildControls();
    buildPortPickers();
    connectControls();
    connectSession();
    attachHelpAndKeys(this); // Command5 and F1 open the help; the keys and the tab order
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
    buttons_[14] = place(new QPushButton(tr("显示反色"), consoleFrame_), "Command14",
                         twips(3240, 1080, 1092, 372), larger);
    buttons_[13] = place(new QPushButton(tr("发送命令"), consoleFrame_), "Command13",
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

    struct Button {
        int number;
        const char* caption;
        QRect geometry;
        bool larger;
    };
    const Button buttons[] = {
        {12, QT_TR_NOOP("背光关闭"), twips(3960, 3600, 972, 372), false},
        {11, QT_TR_NOOP("背光打开"), twips(3960, 3120, 972, 372), false},
        {10, QT_TR_NOOP("清除显示"), twips(3960, 2640, 972, 372), false},
        {9, QT_TR_NOOP("下载字库"), twips(3960, 2160, 972, 372), false},
        {8, QT_TR_NOOP("下载位图"), twips(3960, 1680, 972, 372), false},
        {7, QT_TR_NOOP("连线测试"), twips(3960, 1200, 972, 372), false},
        {6, QT_TR_NOOP("图文编辑"), twips(3960, 720, 972, 372), false},
        {5, QT_TR_NOOP("使用帮助"), twips(2520, 720, 972, 372), false},
        {4, QT_TR_NOOP("恢复"), twips(4080, 6480, 612, 372), true},
        {3, QT_TR_NOOP("重排"), twips(4080, 5760, 612, 372), true},
        {2, QT_TR_NOOP("删除"), twips(4080, 5040, 612, 372), true},
        {1, QT_TR_NOOP("添加"), twips(4080, 4320, 612, 372), true},
    };
    for (const Button& b : buttons) {
        const QByteArray name = "Command" + QByteArray::number(b.number);
        buttons_[b.number] = place(new QPushButton(tr(b.caption), this), name.constData(),
                                   b.geometry, b.larger ? larger : normal);
    }

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
    driveList_ = place(new QComboBox(this), "Drive1", twips(240, 1200, 1812, 276), normal);
    fileList_ = place(new QListWidget(this), "File1", twips(2160, 1200, 1680, 2772), normal);
    dirList_ = place(new DirListBox(this), "Dir1", twips(240, 1560, 1812, 2316), normal);

    status_ = place(new QLabel(this), "Label2", twips(5880, 360, 4812, 252), songFont(12));
    progress_ = place(new QProgressBar(this), "Progress", twips(10740, 360, 1380, 252), normal);
    progress_->setVisible(false);
    progress_->setTextVisible(true);
    preview_ = place(new QLabel(this), "Image1", twips(5280, 720, 1176, 768), normal);
    preview_->setScaledContents(true);
    drawDotsSharp(preview_); // scaled without smoothing, at any device pixel ratio
    listNumberCaption_ =
        place(new QLabel(tr("序号n"), this), "Label1", twips(4080, 7320, 612, 252), songFont(12));
}

void MainWindow::connectControls() {
    // Command5 opens the help (attachHelpAndKeys); Command6 opens the screen composer.
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
    connect(buttons_[1], &QPushButton::clicked, this, &MainWindow::addBrowsedFile);
    connect(buttons_[2], &QPushButton::clicked, this, &MainWindow::removeListEntry);
    connect(buttons_[3], &QPushButton::clicked, this, &MainWindow::clearList);
    connect(buttons_[4], &QPushButton::clicked, this, &MainWindow::restoreList);
    connect(buttons_[6], &QPushButton::clicked, this, [this] { ComposerWindow::open(session_, this); });
    // Picture files dropped on the bitmap list go through the import dialog.
    connect(new PictureDropTarget(bitmapList_), &PictureDropTarget::dropped, this, [this](const QStringList& paths) {
        importIntoList(session_, paths, this, [this](const QString& text) { setStatus(text); });
    });
    connect(buttons_[7], &QPushButton::clicked, this, &MainWindow::testConnection);
    connect(buttons_[8], &QPushButton::clicked, this, &MainWindow::downloadBitmaps);
    connect(buttons_[9], &QPushButton::clicked, this, &MainWindow::downloadFont);
    connect(buttons_[10], &QPushButton::clicked, this, &MainWindow::clearDisplay);
    connect(buttons_[11], &QPushButton::clicked, this,
            [this] { sendSingleCommand(module::simpleCommand(module::CmdBacklightOn)); });
    connect(buttons_[12], &QPushButton::clicked, this,
            [this] { sendSingleCommand(module::simpleCommand(module::CmdBacklightOff)); });
    connect(buttons_[13], &QPushButton::clicked, this, &MainWindow::sendConsoleCommand);
    connect(buttons_[14], &QPushButton::clicked, this, &MainWindow::invertConsoleCommand);
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
        bitmapList_->setCurrentRow(session_.bitmapList().selected());
    });
    connect(&list, &BitmapList::clicked, this, [this](int index) {
        {
            const QSignalBlocker block(bitmapList_);
            bitmapList_->setCurrentRow(index);
        }
        listEntryClicked(index);
    });
    connect(&session_, &ModuleSession::runningChanged, this, &MainWindow::transferRunningChanged);
    connect(&session_, &ModuleSession::progress, this, &MainWindow::transferProgress);
    connect(&session_, &ModuleSession::finished, this, [this] { setStatus(texts::downloadDone()); });
    connect(&session_, &ModuleSession::failed, this, &MainWindow::showFailure);
    connect(&session_, &ModuleSession::testAnswered, this, [this] { setStatus(texts::testOk()); });
    connect(&session_, &ModuleSession::moduleSilent, this, [this] { setStatus(texts::moduleSilent()); });
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
    permissionTip_[port - 1].clear();
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
    if (!permissionTip_[port - 1].isEmpty())
        tip += QStringLiteral("\n") + permissionTip_[port - 1];
    portButtons_[port - 1]->setToolTip(tip);
    portDevices_[port - 1]->setToolTip(tip);
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
        setStatus(tr("数据目录无法使用!"));
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

    if (session_.openPort(1)) {
        // Port 1 missing or busy: fall back to port 2, without a word.
        portButtons_[1]->setChecked(true);
    } else {
        const QSignalBlocker block(portButtons_[0]);
        portButtons_[0]->setChecked(true);
    }

    if (session_.dataDirUsable())
        LoadList();

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
    permissionTip_[port - 1].clear();
    if (Refusal r = session_.openPort(port)) {
        if (r->openError == OpenError::NoPermission)
            permissionTip_[port - 1] = texts::permissionAdvice(session_.devicePath(port));
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
    for (int n : {7, 10, 11, 12, 13})
        buttons_[n]->setEnabled(!running);
    progress_->setVisible(running);
    if (running) {
        progress_->setRange(0, std::max(1, session_.port().transferTotal()));
        progress_->setValue(session_.port().sendPosition());
        progress_->setFormat(QStringLiteral("%p%"));
    }
}

// The session reports progress at most every 40 ms: often enough for the eye,
// rarely enough that painting costs the window nothing worth measuring.
void MainWindow::transferProgress(const TransferProgress& p) {
    setStatus(texts::progressText(p.sent, p.total));
    if (!session_.running())
        return;
    progress_->setRange(0, std::max(1, p.total));
    progress_->setValue(p.sent);
    if (p.secondsLeft >= 0)
        progress_->setFormat(texts::timeLeftText(p.secondsLeft));
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

void MainWindow::showDirectoryFiles() {
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
        setStatus(QCoreApplication::translate("panelix::BmpReader", "位图文件无法打开:") + e->displayName);
        clearPreview();
        return;
    }
    CurrentBmpPath = e->path;
    ShowBitmapInfo();
}

void MainWindow::listEntryClicked(int k) {
    listNumber_->setText(listNumberText(k));
    // Skipped without a word while the port is closed or a transfer runs: the
    // bitmap's information replaces the status line at once anyway.
    session_.showBitmap(k);
    if (k < 0)
        return; // nothing selected: the preview stays as it is
    CurrentBmpPath = session_.bitmapList().entry(k);
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
        setStatus(tr("路径含有无法保存的字符!"));
        return;
    }
    QString message;
    if (!session_.bitmapList().add(e->path, &message))
        setStatus(message);
}

void MainWindow::removeListEntry() {
    session_.bitmapList().removeSelectedAndReselect();
}

void MainWindow::clearList() {
    session_.bitmapList().clear();
}

void MainWindow::restoreList() {
    LoadList();
}

void MainWindow::LoadList() {
    const QString message = session_.loadList();
    if (!message.isEmpty())
        setStatus(message);
}

void MainWindow::testConnection() {
    clearPreview();
    setStatus(texts::testFailed());
    if (Refusal r = session_.testConnection())
        showFailure(*r);
}

void MainWindow::downloadBitmaps() {
    clearPreview();
    const Refusal r = session_.downloadBitmaps();
    if (session_.imageBuilt())
        CurrentBmpPath = session_.bitmapList().entries().value(session_.bitmapList().count() - 1, CurrentBmpPath);
    if (r)
        showFailure(*r);
    else
        setStatus(texts::downloading());
}

void MainWindow::downloadFont() {
    clearPreview();
    if (Refusal r = session_.downloadFont())
        showFailure(*r);
    else
        setStatus(texts::downloading());
}

void MainWindow::clearDisplay() {
    clearPreview();
    setStatus(QString());
    sendSingleCommand(module::simpleCommand(module::CmdClearScreen));
}

void MainWindow::sendSingleCommand(const QByteArray& bytes) {
    if (Refusal r = session_.sendCommand(bytes))
        showFailure(*r);
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
    commandHex_->setText(r.text2);
    if (r.valid)
        sendSingleCommand(r.bytes);
}

void MainWindow::invertConsoleCommand() {
    commandHex_->setText(console_.invert(commandHex_->text()));
}

} // namespace panelix

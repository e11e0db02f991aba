#include "shell/editor/ComposerWindow.h"

#include "common/DataDir.h"
#include "shell/StatusTexts.h"
#include "compose/BitmapStore.h"
#include "shell/editor/ComposerCanvas.h"
#include "shell/editor/ExportDialog.h"
#include "shell/editor/ImportDialog.h"
#include "shell/editor/ItemDialog.h"
#include "compose/TextRender.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace panelix {

using namespace compose;

namespace {

// A project is a few pictures of at most 38 KB each: anything near this is no project.
constexpr qint64 MaxProjectBytes = 64 * 1024 * 1024;

QString pictureFilter() {
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns.append(QStringLiteral("*.") + QString::fromLatin1(format));
    return QCoreApplication::translate("panelix::ComposerWindow", "图片 (%1)")
        .arg(patterns.join(QLatin1Char(' ')));
}

} // namespace

ComposerWindow::ComposerWindow(ModuleSession& session, QWidget* owner)
    : QWidget(owner, Qt::Window), session_(session) {
    setObjectName(QStringLiteral("ComposerWindow"));
    setWindowTitle(tr("图文编辑"));
    buildControls();
    connectSession();
    connect(&document_, &ComposerDocument::changed, this, &ComposerWindow::documentChanged);
    documentChanged();
    resize(960, 720);
}

ComposerWindow* ComposerWindow::open(ModuleSession& session, QWidget* owner) {
    auto* window = owner->findChild<ComposerWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new ComposerWindow(session, owner);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void ComposerWindow::buildControls() {
    auto* bar = new QToolBar;
    auto action = [&](const QString& caption, const char* name, auto slot) {
        QAction* a = bar->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    action(tr("新建"), "ComposeNew", &ComposerWindow::newComposition);
    action(tr("打开"), "ComposeOpen", &ComposerWindow::chooseProject);
    bar->addSeparator();
    action(tr("导入图片"), "ComposeImport", &ComposerWindow::importPictures);
    action(tr("文字"), "ComposeText", &ComposerWindow::addText);

    auto* tools = new QActionGroup(this);
    const struct {
        const char* caption;
        const char* name;
        ComposerCanvas::Tool tool;
    } toolList[] = {
        {QT_TRANSLATE_NOOP("panelix::ComposerWindow", "选择"), "ComposeSelect", ComposerCanvas::Tool::Select},
        {QT_TRANSLATE_NOOP("panelix::ComposerWindow", "直线"), "ComposeLine", ComposerCanvas::Tool::Line},
        {QT_TRANSLATE_NOOP("panelix::ComposerWindow", "矩形"), "ComposeRect", ComposerCanvas::Tool::Rect},
        {QT_TRANSLATE_NOOP("panelix::ComposerWindow", "反色区域"), "ComposeInvert",
         ComposerCanvas::Tool::Invert},
    };
    for (const auto& t : toolList) {
        QAction* a = bar->addAction(tr(t.caption));
        a->setObjectName(QLatin1String(t.name));
        a->setCheckable(true);
        tools->addAction(a);
        const ComposerCanvas::Tool tool = t.tool;
        connect(a, &QAction::triggered, this, [this, tool] { canvas_->setTool(tool); });
        toolActions_[int(tool)] = a;
    }
    toolActions_[0]->setChecked(true);
    bar->addSeparator();
    action(tr("属性"), "ComposeEdit", [this] { editItem(canvas_->selected()); });
    action(tr("删除"), "ComposeDelete", &ComposerWindow::deleteSelected);
    action(tr("置顶"), "ComposeRaise", [this] { reorderSelected(true); });
    action(tr("置底"), "ComposeLower", [this] { reorderSelected(false); });
    bar->addSeparator();
    QAction* undo = document_.undoStack().createUndoAction(this, tr("撤销"));
    undo->setObjectName(QStringLiteral("ComposeUndo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = document_.undoStack().createRedoAction(this, tr("重做"));
    redo->setObjectName(QStringLiteral("ComposeRedo"));
    redo->setShortcut(QKeySequence::Redo);
    bar->addAction(undo);
    bar->addAction(redo);

    auto spin = [](const char* name, int low, int high, int value) {
        auto* s = new QSpinBox;
        s->setObjectName(QLatin1String(name));
        s->setRange(low, high);
        s->setValue(value);
        return s;
    };
    width_ = spin("ComposeWidth", 1, MaxWidth, DefaultSize.width());
    height_ = spin("ComposeHeight", 1, MaxHeight, DefaultSize.height());
    zoom_ = spin("ComposeZoom", 1, ComposerCanvas::MaxZoom, 2);
    zoom_->setSuffix(tr("倍"));
    pen_ = spin("ComposePen", 0, 255, 1);
    pen_->setToolTip(tr("直线的线宽,矩形的边框(0为填充)"));
    grid_ = new QCheckBox(tr("网格"));
    grid_->setObjectName(QStringLiteral("ComposeGrid"));
    grid_->setChecked(true);
    snap_ = new QCheckBox(tr("对齐字节列"));
    snap_->setObjectName(QStringLiteral("ComposeSnap"));
    snap_->setChecked(true);
    auto* settings = new QHBoxLayout;
    settings->addWidget(new QLabel(tr("画布:")));
    settings->addWidget(width_);
    settings->addWidget(new QLabel(QStringLiteral("×")));
    settings->addWidget(height_);
    settings->addSpacing(12);
    settings->addWidget(new QLabel(tr("缩放:")));
    settings->addWidget(zoom_);
    settings->addWidget(grid_);
    settings->addWidget(snap_);
    settings->addSpacing(12);
    settings->addWidget(new QLabel(tr("线宽:")));
    settings->addWidget(pen_);
    settings->addStretch(1);

    canvas_ = new ComposerCanvas(document_);
    canvas_->setZoom(zoom_->value());
    scroll_ = new QScrollArea;
    scroll_->setWidget(canvas_);
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setBackgroundRole(QPalette::Dark);

    name_ = new QLineEdit(QLatin1String(DefaultName));
    name_->setObjectName(QStringLiteral("ComposeName"));
    name_->setMaximumWidth(200);
    save_ = new QPushButton(tr("保存位图"));
    save_->setObjectName(QStringLiteral("ComposeSave"));
    send_ = new QPushButton(tr("发送到模块"));
    send_->setObjectName(QStringLiteral("ComposeSend"));
    position_ = new QLabel;
    position_->setObjectName(QStringLiteral("ComposePosition"));
    position_->setMinimumWidth(200);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("ComposeStatus"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(tr("名称:")));
    bottom->addWidget(name_);
    bottom->addWidget(save_);
    bottom->addWidget(send_);
    auto* exportButton = new QPushButton(tr("导出"));
    exportButton->setObjectName(QStringLiteral("ComposeExport"));
    connect(exportButton, &QPushButton::clicked, this,
            [this] { ExportDialog(document_.rendered(), name_->text(), this).exec(); });
    bottom->addWidget(exportButton);
    bottom->addSpacing(12);
    bottom->addWidget(position_);
    bottom->addWidget(status_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar);
    layout->addLayout(settings);
    layout->addWidget(scroll_, 1);
    layout->addLayout(bottom);

    // A typed size takes effect when it is complete, not at every digit.
    for (QSpinBox* side : {width_, height_}) {
        side->setKeyboardTracking(false);
        connect(side, &QSpinBox::valueChanged, this, &ComposerWindow::resizeCanvas);
    }
    connect(zoom_, &QSpinBox::valueChanged, canvas_, &ComposerCanvas::setZoom);
    connect(pen_, &QSpinBox::valueChanged, canvas_, &ComposerCanvas::setPen);
    connect(grid_, &QCheckBox::toggled, canvas_, &ComposerCanvas::setGridVisible);
    connect(snap_, &QCheckBox::toggled, canvas_, &ComposerCanvas::setSnap);
    connect(save_, &QPushButton::clicked, this, &ComposerWindow::saveBitmap);
    connect(send_, &QPushButton::clicked, this, &ComposerWindow::sendToModule);
    connect(canvas_, &ComposerCanvas::cursorMoved, this, &ComposerWindow::showCursor);
    connect(canvas_, &ComposerCanvas::editRequested, this, &ComposerWindow::editItem);
    connect(canvas_, &ComposerCanvas::selectionChanged, this, &ComposerWindow::documentChanged);
    connect(canvas_, &ComposerCanvas::toolFinished, this, [this] {
        toolActions_[0]->setChecked(true);
        canvas_->setTool(ComposerCanvas::Tool::Select);
    });
}

void ComposerWindow::connectSession() {
    connect(&session_, &ModuleSession::progress, this, [this](const TransferProgress& p) {
        if (!sending_)
            return;
        QString text = texts::progressText(p.sent, p.total);
        if (p.secondsLeft >= 0)
            text += QStringLiteral("  ") + texts::timeLeftText(p.secondsLeft);
        setStatus(text);
    });
    connect(&session_, &ModuleSession::finished, this, [this](TransferKind kind) {
        if (!std::exchange(sending_, false) || kind != TransferKind::Bitmaps)
            return;
        setStatus(texts::downloadDone());
        showSentBitmap();
    });
    connect(&session_, &ModuleSession::failed, this, [this](const Failure& f) {
        if (std::exchange(sending_, false))
            setStatus(texts::failureText(f));
    });
    connect(&session_, &ModuleSession::moduleSilent, this, [this] {
        if (sending_)
            setStatus(texts::moduleSilent());
    });
}

void ComposerWindow::showEvent(QShowEvent* event) {
    loadFont();
    QWidget::showEvent(event);
}

QString ComposerWindow::status() const {
    return status_->text();
}

void ComposerWindow::setStatus(const QString& text) {
    status_->setText(text);
}

void ComposerWindow::loadFont() {
    document_.setFont(loadModuleFont(session_.dataDir()));
}

void ComposerWindow::documentChanged() {
    const Composition& c = document_.composition();
    {
        const QSignalBlocker blockWidth(width_);
        const QSignalBlocker blockHeight(height_);
        width_->setValue(c.size().width());
        height_->setValue(c.size().height());
    }
    const bool chosen = canvas_->selected() >= 0;
    for (const char* name : {"ComposeEdit", "ComposeDelete", "ComposeRaise", "ComposeLower"})
        findChild<QAction*>(QLatin1String(name))->setEnabled(chosen);
}

void ComposerWindow::resizeCanvas() {
    Composition next = document_.composition();
    next.setSize(QSize(width_->value(), height_->value()));
    document_.apply(next, tr("画布尺寸"));
}

void ComposerWindow::showCursor(QPoint dot, bool inside) {
    if (!inside) {
        position_->clear();
        return;
    }
    position_->setText(tr("X:%1 Y:%2 字节列:%3").arg(dot.x()).arg(dot.y()).arg(dot.x() / ColumnDots));
}

void ComposerWindow::newComposition() {
    canvas_->setSelected(-1);
    document_.reset(Composition(document_.composition().size()));
    savedBase_.clear();
    name_->setText(QLatin1String(DefaultName));
    setStatus(QString());
}

void ComposerWindow::chooseProject() {
    const QString path =
        QFileDialog::getOpenFileName(this, tr("打开图文项目"), session_.dataDir(), tr("图文项目 (*.json)"));
    if (!path.isEmpty())
        openProject(path);
}

bool ComposerWindow::openProject(const QString& path) {
    const QFileInfo info(path);
    QByteArray bytes;
    if (!info.isFile() || info.size() > MaxProjectBytes || !readFileHead(path, MaxProjectBytes, &bytes)) {
        setStatus(tr("项目文件无法打开:") + info.fileName());
        return false;
    }
    const std::optional<Composition> c = Composition::fromJson(bytes);
    if (!c) {
        setStatus(tr("项目文件格式错误:") + info.fileName());
        return false;
    }
    canvas_->setSelected(-1);
    document_.reset(*c);
    name_->setText(info.completeBaseName());
    // Saving again replaces its own files only when they lie in the data directory.
    const bool inDataDir = info.absoluteDir() == QDir(QFileInfo(session_.dataDir()).absoluteFilePath());
    savedBase_ = inDataDir ? info.completeBaseName() : QString();
    setStatus(QString());
    return true;
}

QString ComposerWindow::savedBitmapPath() const {
    if (savedBase_.isEmpty())
        return {};
    return QDir(QFileInfo(session_.dataDir()).absoluteFilePath()).filePath(savedBase_ + QStringLiteral(".bmp"));
}

bool ComposerWindow::saveBitmap() {
    if (!session_.dataDirUsable()) {
        setStatus(tr("数据目录无法使用!"));
        return false;
    }
    QString name = name_->text().trimmed();
    if (name.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
        name.chop(4);
    if (name.isEmpty())
        name = QLatin1String(DefaultName);
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.startsWith(QLatin1Char('.'))) {
        setStatus(tr("文件名无效!"));
        return false;
    }
    const QDir dir(QFileInfo(session_.dataDir()).absoluteFilePath());
    // A name of another composition's files is never overwritten: the next free one is taken.
    if (name != savedBase_)
        name = freeBaseName(dir.path(), name);
    const StoreOutcome out =
        storeInList(session_.bitmapList(), dir.filePath(name + QStringLiteral(".bmp")), document_.rendered());
    if (!out.ok) {
        setStatus(texts::inputErrorText(out.error));
        return false;
    }
    savedBase_ = name;
    name_->setText(name);
    // The main window's list, "序号" and preview follow the saved entry; the module shows
    // it only once it has been downloaded.
    session_.bitmapList().highlight(int(session_.bitmapList().entries().indexOf(savedBitmapPath())));
    const QString project = name + QStringLiteral(".json");
    if (!writeFileAtomically(dir.filePath(project), document_.composition().toJson())) {
        setStatus(tr("项目文件写入失败:") + project);
        return true;
    }
    setStatus(tr("位图已保存:") + name + QStringLiteral(".bmp"));
    return true;
}

void ComposerWindow::sendToModule() {
    if (!saveBitmap())
        return;
    sentPath_ = savedBitmapPath();
    sending_ = false;
    if (const Refusal r = session_.downloadBitmaps()) {
        setStatus(texts::failureText(*r));
        return;
    }
    sending_ = true;
    setStatus(texts::downloading());
}

void ComposerWindow::showSentBitmap() {
    const int n = int(session_.bitmapList().entries().indexOf(sentPath_));
    if (n < 0)
        return;
    if (!session_.isOpen()) {
        setStatus(texts::portNotOpen());
        return;
    }
    // Chosen as a click on the list chooses it: the main window's list, "序号" and
    // preview follow, and the module shows the picture.
    session_.bitmapList().select(n);
}

void ComposerWindow::importPictures() {
    const QStringList paths =
        QFileDialog::getOpenFileNames(this, tr("导入图片"), session_.dataDir(), pictureFilter());
    if (paths.isEmpty())
        return;
    ImportDialog dialog(
        paths,
        [this](const QString& source, const MonoBitmap& bitmap, const ImportDialog::Frame&) {
            Composition next = document_.composition();
            canvas_->setSelected(-1);
            const int index = next.add(PictureItem{QPoint(0, 0), bitmap, QFileInfo(source).fileName()});
            document_.apply(next, tr("导入图片"));
            canvas_->setSelected(index);
            return QString();
        },
        this);
    connect(&dialog, &ImportDialog::statusChanged, this, &ComposerWindow::setStatus);
    dialog.exec();
}

void ComposerWindow::addText() {
    TextItem text;
    text.text = tr("文字");
    text.pos = canvas_->placeForNewItem();
    const std::optional<Item> item = ItemDialog::edit(text, this, true);
    if (!item)
        return;
    if (std::get<TextItem>(*item).moduleFont() && document_.font().isEmpty())
        setStatus(tr("找不到字库文件hzk16!"));
    Composition next = document_.composition();
    const int index = next.add(*item);
    document_.apply(next, tr("文字"));
    canvas_->setSelected(index);
}

void ComposerWindow::editItem(int index) {
    const Item* current = document_.composition().item(index);
    if (!current)
        return;
    const std::optional<Item> item = ItemDialog::edit(*current, this);
    if (!item)
        return;
    Composition next = document_.composition();
    next.replace(index, *item);
    document_.apply(next, tr("属性"));
}

void ComposerWindow::deleteSelected() {
    const int index = canvas_->selected();
    if (index < 0)
        return;
    Composition next = document_.composition();
    next.remove(index);
    canvas_->setSelected(-1);
    document_.apply(next, tr("删除"));
}

void ComposerWindow::reorderSelected(bool toTop) {
    const int index = canvas_->selected();
    if (index < 0)
        return;
    Composition next = document_.composition();
    const int moved = toTop ? next.raise(index) : next.lower(index);
    document_.apply(next, toTop ? tr("置顶") : tr("置底"));
    canvas_->setSelected(moved);
}

} // namespace panelix

#include "shell/editor/ExportDialog.h"

#include "common/DataDir.h"
#include "export/CText.h"
#include "shell/editor/LcdLook.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace panelix {

namespace {
// In the order of ScanMode.
const char* const scanCaptions[] = {QT_TRANSLATE_NOOP("panelix::ExportDialog", "逐行(横向字节)"),
                                    QT_TRANSLATE_NOOP("panelix::ExportDialog", "列行(横向字节,按列)"),
                                    QT_TRANSLATE_NOOP("panelix::ExportDialog", "逐列(纵向字节)"),
                                    QT_TRANSLATE_NOOP("panelix::ExportDialog", "页(纵向字节,OLED)")};
} // namespace

ExportDialog::ExportDialog(const MonoBitmap& bitmap, const QString& name, QWidget* parent)
    : QDialog(parent), bitmap_(bitmap) {
    setWindowTitle(tr("导出"));

    scan_ = new QComboBox;
    scan_->setObjectName(QStringLiteral("ExportScan"));
    for (const char* caption : scanCaptions)
        scan_->addItem(tr(caption));
    bitOrder_ = new QComboBox;
    bitOrder_->setObjectName(QStringLiteral("ExportBitOrder"));
    bitOrder_->addItems({tr("高位在前"), tr("低位在前")});
    invert_ = new QCheckBox(tr("暗点为0"));
    invert_->setObjectName(QStringLiteral("ExportInvert"));
    word_ = new QComboBox;
    word_->setObjectName(QStringLiteral("ExportWord"));
    word_->addItems({tr("8位"), tr("16位")});
    byteOrder_ = new QComboBox;
    byteOrder_->setObjectName(QStringLiteral("ExportByteOrder"));
    byteOrder_->addItems({tr("高字节在前"), tr("低字节在前")});
    packed_ = new QCheckBox(tr("行末不补齐"));
    packed_->setObjectName(QStringLiteral("ExportPacked"));
    format_ = new QComboBox;
    format_->setObjectName(QStringLiteral("ExportFormat"));
    format_->addItems({tr("C源文件"), tr("C头文件"), tr("十六进制")});
    name_ = new QLineEdit(cIdentifier(name));
    name_->setObjectName(QStringLiteral("ExportName"));

    auto* form = new QFormLayout;
    form->addRow(tr("取模方式:"), scan_);
    form->addRow(tr("位序:"), bitOrder_);
    form->addRow(tr("字长:"), word_);
    form->addRow(tr("字节序:"), byteOrder_);
    form->addRow(QString(), invert_);
    form->addRow(QString(), packed_);
    form->addRow(tr("格式:"), format_);
    form->addRow(tr("数组名:"), name_);

    previewView_ = new QLabel;
    previewView_->setObjectName(QStringLiteral("ExportPreview"));
    auto* scroll = new QScrollArea;
    scroll->setWidget(previewView_);
    scroll->setMinimumSize(340, 260);
    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(new QLabel(tr("由导出数据还原:")));
    left->addWidget(scroll, 1);

    text_ = new QPlainTextEdit;
    text_->setObjectName(QStringLiteral("ExportText"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setMinimumWidth(520);

    auto* panes = new QHBoxLayout;
    panes->addLayout(left);
    panes->addWidget(text_, 1);

    info_ = new QLabel;
    info_->setObjectName(QStringLiteral("ExportInfo"));
    auto* copy = new QPushButton(tr("复制"));
    copy->setObjectName(QStringLiteral("ExportCopy"));
    auto* saveButton = new QPushButton(tr("保存..."));
    saveButton->setObjectName(QStringLiteral("ExportSave"));
    auto* close = new QPushButton(tr("关闭"));
    close->setObjectName(QStringLiteral("ExportClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(info_, 1);
    buttons->addWidget(copy);
    buttons->addWidget(saveButton);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(panes, 1);
    layout->addLayout(buttons);

    connect(scan_, &QComboBox::currentIndexChanged, this, &ExportDialog::scanChanged);
    for (QComboBox* c : {bitOrder_, word_, byteOrder_, format_})
        connect(c, &QComboBox::currentIndexChanged, this, &ExportDialog::update);
    for (QCheckBox* c : {invert_, packed_})
        connect(c, &QCheckBox::toggled, this, &ExportDialog::update);
    connect(name_, &QLineEdit::textChanged, this, &ExportDialog::update);
    connect(copy, &QPushButton::clicked, this, &ExportDialog::copyText);
    connect(saveButton, &QPushButton::clicked, this, &ExportDialog::save);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    update();
}

ExportOptions ExportDialog::options() const {
    ExportOptions o;
    o.scan = ScanMode(scan_->currentIndex());
    o.bitOrder = bitOrder_->currentIndex() == 0 ? BitOrder::MsbFirst : BitOrder::LsbFirst;
    o.polarity = invert_->isChecked() ? Polarity::DarkIsZero : Polarity::DarkIsOne;
    o.wordBits = word_->currentIndex() == 0 ? 8 : 16;
    o.byteOrder = byteOrder_->currentIndex() == 0 ? ByteOrder::BigEndian : ByteOrder::LittleEndian;
    o.padLines = !packed_->isChecked();
    return o;
}

void ExportDialog::setOptions(const ExportOptions& o) {
    const QSignalBlocker block(scan_);
    scan_->setCurrentIndex(int(o.scan));
    bitOrder_->setCurrentIndex(o.bitOrder == BitOrder::MsbFirst ? 0 : 1);
    invert_->setChecked(o.polarity == Polarity::DarkIsZero);
    word_->setCurrentIndex(o.wordBits == 16 ? 1 : 0);
    byteOrder_->setCurrentIndex(o.byteOrder == ByteOrder::BigEndian ? 0 : 1);
    packed_->setChecked(!o.padLines);
    update();
}

QString ExportDialog::text() const {
    return text_->toPlainText();
}

void ExportDialog::copyText() {
    QApplication::clipboard()->setText(text());
    info_->setText(tr("已复制到剪贴板"));
}

// A vertical scan reads best with the top dot in bit 0, a horizontal one with the left dot in bit 7.
void ExportDialog::scanChanged() {
    const QSignalBlocker block(bitOrder_);
    bitOrder_->setCurrentIndex(defaultOptionsFor(ScanMode(scan_->currentIndex())).bitOrder == BitOrder::MsbFirst ? 0 : 1);
    update();
}

void ExportDialog::update() {
    const ExportOptions o = options();
    byteOrder_->setEnabled(o.wordBits == 16);
    bytes_ = exportBitmap(bitmap_, o);
    ExportedImage image;
    image.name = cIdentifier(name_->text() + QStringLiteral(".x"));
    image.width = bitmap_.width();
    image.height = bitmap_.height();
    image.options = o;
    image.bytes = bytes_;
    const auto format = Format(format_->currentIndex());
    const QByteArray text = format == Format::C        ? toCSource(image)
                            : format == Format::Header ? toCHeader(image)
                                                       : toHexDump(bytes_);
    text_->setPlainText(QString::fromUtf8(text));

    // The preview is what the bytes say, read back with the same options.
    const ImportedBitmap back = bitmapFromBytes(bytes_, bitmap_.width(), bitmap_.height(), o);
    preview_ = back.bitmap;
    const QImage lcd = lcdImage(preview_);
    previewView_->setPixmap(QPixmap::fromImage(lcd.scaled(lcd.size() * 2)));
    previewView_->adjustSize();
    info_->setText(tr("%1×%2点,%3字节").arg(bitmap_.width()).arg(bitmap_.height()).arg(bytes_.size()));
}

void ExportDialog::save() {
    const auto format = Format(format_->currentIndex());
    const QString suffix = format == Format::C ? QStringLiteral("c") : format == Format::Header ? QStringLiteral("h")
                                                                                              : QStringLiteral("txt");
    const QString filter = tr("导出文件 (*.%1);;二进制文件 (*.bin)").arg(suffix);
    QString selected;
    const QString path = QFileDialog::getSaveFileName(this, tr("保存"), name_->text() + QLatin1Char('.') + suffix,
                                                      filter, &selected);
    if (path.isEmpty())
        return;
    const bool binary = QFileInfo(path).suffix().compare(QLatin1String("bin"), Qt::CaseInsensitive) == 0;
    if (!writeFileAtomically(path, binary ? bytes_ : text().toUtf8()))
        info_->setText(tr("文件写入失败:%1").arg(QFileInfo(path).fileName()));
    else
        info_->setText(tr("已保存:%1").arg(QFileInfo(path).fileName()));
}

} // namespace panelix

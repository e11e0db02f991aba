// The export dialog: its options reach the bytes, and the preview is the bytes read back.
#include "export/CText.h"
#include "export/ExportFormat.h"
#include "session/ModuleSession.h"
#include "shell/editor/ComposerWindow.h"
#include "shell/editor/ExportDialog.h"
#include "shell/editor/ImportDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QDir>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

using namespace panelix;

namespace {

MonoBitmap odd() {
    MonoBitmap b(10, 3);
    for (auto [x, y] : {std::pair{0, 0}, {9, 0}, {8, 1}, {1, 2}, {9, 2}})
        b.setPixel(x, y, true);
    return b;
}

template <class T> T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

} // namespace

TEST(ExportDialog, StartsWithTheModuleRowsAsCSource) {
    ExportDialog dialog(odd(), QStringLiteral("开机 logo"));
    EXPECT_EQ(dialog.options(), ExportOptions{});
    EXPECT_EQ(dialog.bytes(), QByteArray::fromHex("804000804040"));
    EXPECT_TRUE(dialog.text().contains(QStringLiteral("const uint8_t image__logo[6] = {\n    0x80, 0x40, 0x00, 0x80, 0x40, 0x40,")));
    EXPECT_EQ(dialog.preview(), odd());
}

TEST(ExportDialog, ControlsChangeTheBytesAndThePreviewReadsThemBack) {
    ExportDialog dialog(odd(), QStringLiteral("logo"));
    child<QComboBox>(dialog, "ExportScan")->setCurrentIndex(int(ScanMode::Pages));
    // A vertical scan takes the top dot in bit 0.
    EXPECT_EQ(child<QComboBox>(dialog, "ExportBitOrder")->currentIndex(), 1);
    EXPECT_EQ(dialog.bytes(), QByteArray::fromHex("01040000000000000205"));
    EXPECT_EQ(dialog.preview(), odd());

    child<QCheckBox>(dialog, "ExportPacked")->setChecked(true);
    EXPECT_EQ(dialog.bytes(), QByteArray::fromHex("2100002A"));
    child<QCheckBox>(dialog, "ExportInvert")->setChecked(true);
    EXPECT_EQ(dialog.bytes(), QByteArray::fromHex("DEFFFFD5"));
    EXPECT_EQ(dialog.preview(), odd());

    QComboBox* word = child<QComboBox>(dialog, "ExportWord");
    QComboBox* byteOrder = child<QComboBox>(dialog, "ExportByteOrder");
    EXPECT_FALSE(byteOrder->isEnabled());
    word->setCurrentIndex(1);
    EXPECT_TRUE(byteOrder->isEnabled());
    byteOrder->setCurrentIndex(1);
    const ExportOptions o = dialog.options();
    EXPECT_EQ(o.wordBits, 16);
    EXPECT_EQ(o.byteOrder, ByteOrder::LittleEndian);
    EXPECT_EQ(dialog.bytes(), exportBitmap(odd(), o));
    EXPECT_EQ(dialog.preview(), odd());
    EXPECT_TRUE(dialog.text().contains(describeOptions(o)));
}

TEST(ExportDialog, FormatsNameAndClipboard) {
    ExportDialog dialog(odd(), QStringLiteral("logo"));
    child<QLineEdit>(dialog, "ExportName")->setText(QStringLiteral("splash"));
    child<QComboBox>(dialog, "ExportFormat")->setCurrentIndex(int(ExportDialog::Format::Header));
    EXPECT_TRUE(dialog.text().startsWith(QStringLiteral("#ifndef SPLASH_H")));
    child<QComboBox>(dialog, "ExportFormat")->setCurrentIndex(int(ExportDialog::Format::Hex));
    EXPECT_EQ(dialog.text(), QStringLiteral("00000000  80 40 00 80 40 40\n"));
    dialog.copyText();
    EXPECT_EQ(QApplication::clipboard()->text(), dialog.text());
}

namespace {

// The windows read the import settings: never the user's own.
void isolateSettings() {
    static QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
}

// Clicks button and hands the export dialog it opens (modal) to check, then closes it.
void inspectExportDialog(QPushButton* button, const std::function<void(ExportDialog&)>& check) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<ExportDialog*>(QApplication::activeModalWidget());
        if (dialog) {
            seen = true;
            check(*dialog);
            dialog->accept();
        }
    });
    button->click();
    EXPECT_TRUE(seen);
}

} // namespace

TEST(ExportDialog, OpensFromTheComposerWithTheComposition) {
    isolateSettings();
    ModuleSession session;
    ComposerWindow composer(session, nullptr);
    compose::Composition next = composer.document().composition();
    next.add(compose::RectItem{QRect(8, 4, 24, 10), 0, true});
    composer.document().apply(next, QStringLiteral("rect"));
    const MonoBitmap rendered = composer.document().rendered();
    ASSERT_TRUE(rendered.pixel(8, 4));
    auto* button = composer.findChild<QPushButton*>(QStringLiteral("ComposeExport"));
    ASSERT_NE(button, nullptr);
    inspectExportDialog(button, [&](ExportDialog& d) {
        EXPECT_EQ(d.bytes(), exportBitmap(rendered, {}));
        EXPECT_EQ(d.preview(), rendered);
        EXPECT_TRUE(d.text().contains(QStringLiteral("const uint8_t screen[9600]")));
    });
}

TEST(ExportDialog, OpensFromTheImportDialogWithItsResult) {
    isolateSettings();
    QTemporaryDir dir;
    QImage image(24, 8, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int x = 0; x < 12; ++x)
        image.setPixel(x, 3, qRgb(0, 0, 0));
    const QString png = dir.filePath(QStringLiteral("bar.png"));
    ASSERT_TRUE(image.save(png, "PNG"));
    ImportDialog dialog({png}, [](const QString&, const MonoBitmap&, const ImportDialog::Frame&) { return QString(); });
    ImportOptions o = dialog.options();
    o.fit = FitMode::Original;
    o.dither = DitherMethod::Threshold;
    o.threshold = 128;
    o.invert = false;
    dialog.setOptions(o);
    dialog.renderNow();
    auto* button = dialog.findChild<QPushButton*>(QStringLiteral("ImportExport"));
    ASSERT_NE(button, nullptr);
    inspectExportDialog(button, [&](ExportDialog& d) {
        EXPECT_EQ(d.preview(), dialog.result());
        // Row 3: twelve dark dots, then twelve light.
        EXPECT_EQ(d.bytes().mid(3 * 3, 3), QByteArray::fromHex("FFF000"));
        EXPECT_TRUE(d.text().contains(QStringLiteral("const uint8_t bar[24]")));
    });
}

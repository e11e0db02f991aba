// panelix-help-shots OUT_DIR [--pictures DIR] [--data-dir DIR]: draws the help window
// (Chinese, at the command table) and the English main window into
// OUT_DIR/help-window.png and OUT_DIR/main-window-en.png, for the README. With
// --pictures, also the help's own pictures into DIR (shell/help/pages/img): one
// photo turned into 1 bit by each dithering method of the import library, and the
// import dialog on it in both languages. Runs offscreen as well.
#include "import/PictureImport.h"
#include "shell/editor/ComposerWindow.h"
#include "compose/Composition.h"
#include "shell/editor/ImportDialog.h"
#include "shell/editor/LcdLook.h"
#include "shell/help/HelpWindow.h"
#include "shell/help/Language.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLinearGradient>
#include <QListWidget>
#include <QPushButton>
#include <QPainter>
#include <QRadialGradient>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <cstdio>

using namespace panelix;

namespace {

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool save(QWidget& w, const QString& path) {
    if (w.grab().save(path))
        return true;
    std::fprintf(stderr, "panelix-help-shots: cannot write %s\n", path.toUtf8().constData());
    return false;
}

bool saveImage(const QImage& image, const QString& path) {
    if (image.save(path))
        return true;
    std::fprintf(stderr, "panelix-help-shots: cannot write %s\n", path.toUtf8().constData());
    return false;
}

// A small photo in colour: sky, a lit ball on a lawn, a grey ramp along the foot.
// Smooth greys are what the dithering methods differ in.
QImage photo() {
    QImage image(320, 240, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 150);
    sky.setColorAt(0, QColor(150, 190, 235));
    sky.setColorAt(1, QColor(235, 245, 252));
    p.fillRect(0, 0, 320, 150, sky);
    QLinearGradient lawn(0, 150, 0, 220);
    lawn.setColorAt(0, QColor(70, 120, 50));
    lawn.setColorAt(1, QColor(30, 60, 20));
    p.fillRect(0, 150, 320, 70, lawn);
    QRadialGradient light(QPointF(140, 95), 90);
    light.setColorAt(0, QColor(255, 250, 235));
    light.setColorAt(0.45, QColor(220, 110, 30));
    light.setColorAt(1, QColor(50, 15, 5));
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawEllipse(QPointF(165, 120), 70, 70);
    for (int x = 0; x < 320; ++x)
        p.fillRect(x, 220, 1, 20, QColor::fromHsv(0, 0, x * 255 / 319));
    return image;
}

// The photo, then each dithering method on it at 160 x 120, drawn twice its size
// in the panel's colours so that every dot shows.
bool ditherPictures(const QDir& dir, const QImage& source) {
    if (!saveImage(source, dir.filePath(QStringLiteral("photo.png"))))
        return false;
    const struct {
        DitherMethod method;
        const char* name;
    } methods[] = {{DitherMethod::Threshold, "threshold"},
                   {DitherMethod::FloydSteinberg, "floyd-steinberg"},
                   {DitherMethod::Atkinson, "atkinson"},
                   {DitherMethod::Bayer4, "bayer4"},
                   {DitherMethod::Bayer8, "bayer8"}};
    for (const auto& m : methods) {
        ImportOptions o;
        o.target = QSize(160, 120);
        o.dither = m.method;
        const QImage lcd = lcdImage(ditherToMono(preparePicture(source, o), o));
        const QImage shown = lcd.scaled(lcd.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (!saveImage(shown, dir.filePath(QStringLiteral("dither-%1.png").arg(QLatin1String(m.name)))))
            return false;
    }
    return true;
}

// The import dialog as a drop on the list opens it, on the photo saved as a JPEG.
bool importDialogPicture(const QString& sourcePath, const QString& out) {
    ImportDialog dialog({sourcePath}, [](const QString&, const MonoBitmap&, const ImportDialog::Frame&) { return QString(); });
    dialog.show();
    dialog.renderNow();
    settle(300);
    return save(dialog, out);
}

// The composer as "图文编辑" opens it, holding a small screen: a frame, a title in
// the module's font (blank cells without hzk16 in the data directory), a line, the
// photo in 1 bit, a clock in an installed font and an inverted band.
bool composerPicture(const StartupOptions& options, const QImage& source, const QString& out) {
    ModuleSession session;
    MainWindow window(session, options);
    window.show();
    auto* open = window.findChild<QPushButton*>(QStringLiteral("Command6"));
    if (open)
        open->click();
    auto* composer = window.findChild<ComposerWindow*>();
    if (!composer) {
        std::fputs("panelix-help-shots: the composer did not open\n", stderr);
        return false;
    }
    ImportOptions o;
    o.target = QSize(128, 96);
    using namespace panelix::compose;
    Composition c(QSize(320, 240));
    c.add(RectItem{QRect(0, 0, 320, 240), 2, true});
    TextItem title;
    title.pos = QPoint(16, 10);
    title.text = QStringLiteral("图文编辑 Panelix");
    c.add(title);
    c.add(LineItem{QPoint(8, 32), QPoint(311, 32), 1, true});
    c.add(PictureItem{QPoint(176, 48), ditherToMono(preparePicture(source, o), o), QStringLiteral("photo.jpg")});
    TextItem clock;
    clock.pos = QPoint(16, 60);
    clock.text = QStringLiteral("12:30");
    clock.family = QStringLiteral("DejaVu Sans");
    clock.pixelSize = 40;
    clock.bold = true;
    c.add(clock);
    c.add(InvertItem{QRect(8, 200, 304, 28)});
    composer->document().apply(c, QString());
    composer->resize(760, 640);
    settle(300);
    return save(*composer, out);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty() || args[0].startsWith(QLatin1String("--"))) {
        std::fputs("usage: panelix-help-shots OUT_DIR [--pictures DIR] [--data-dir DIR]\n", stderr);
        return 2;
    }
    const QDir out(args.takeFirst());
    QString pictures;
    if (const int at = int(args.indexOf(QStringLiteral("--pictures"))); at >= 0) {
        if (at + 1 >= args.size()) {
            std::fputs("usage: panelix-help-shots OUT_DIR [--pictures DIR] [--data-dir DIR]\n", stderr);
            return 2;
        }
        pictures = args.at(at + 1);
        args.remove(at, 2);
    }
    panelix::StartupOptions options = panelix::defaultStartupOptions();
    QString message;
    if (panelix::parseStartupOptions(args, &options, &message) != panelix::ParseOutcome::Run) {
        std::fprintf(stderr, "panelix-help-shots: %s\n", message.toUtf8().constData());
        return 2;
    }
    // No device to open: the picture shows the window, not a port.
    options.port1 = QStringLiteral("/nonexistent/ttyS0");
    options.port2 = QStringLiteral("/nonexistent/ttyS1");

    // The import dialog starts from the remembered settings: here none of the user's.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());

    panelix::installLanguage(panelix::Language::Chinese);
    if (!pictures.isEmpty()) {
        const QDir dir(pictures);
        const QImage source = photo();
        const QString jpeg = settings.filePath(QStringLiteral("photo.jpg"));
        if (!QDir().mkpath(pictures) || !ditherPictures(dir, source) || !saveImage(source, jpeg) ||
            !importDialogPicture(jpeg, dir.filePath(QStringLiteral("import-dialog-zh.png"))) ||
            !composerPicture(options, source, dir.filePath(QStringLiteral("composer-zh.png"))))
            return 1;
        panelix::installLanguage(panelix::Language::English);
        if (!importDialogPicture(jpeg, dir.filePath(QStringLiteral("import-dialog-en.png"))) ||
            !composerPicture(options, source, dir.filePath(QStringLiteral("composer-en.png"))))
            return 1;
        panelix::installLanguage(panelix::Language::Chinese);
    }
    {
        panelix::HelpWindow help;
        help.resize(760, 640);
        help.show();
        help.showPage(QStringLiteral("commands.html#commands"));
        settle(300);
        if (!save(help, out.filePath(QStringLiteral("help-window.png"))))
            return 1;
    }

    panelix::installLanguage(panelix::Language::English);
    panelix::ModuleSession session;
    panelix::MainWindow window(session, options);
    window.show();
    settle(300);
    // A picture of the data directory in the preview, its size on the status line.
    if (auto* files = window.findChild<QListWidget*>(QStringLiteral("File1")); files && files->count() > 0) {
        files->setCurrentRow(0);
        settle(200);
    }
    return save(window, out.filePath(QStringLiteral("main-window-en.png"))) ? 0 : 1;
}

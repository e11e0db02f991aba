// Draws the screen composer and the simulated module's LCD side by side into a PNG for
// the documentation:
//   panelix-editor-screenshot OUT.png --font HZK16
// A composition of module-font text, an imported picture, a frame, a line, text in an
// installed font and an inverted band is saved to a scratch data directory, downloaded
// through the real serial path to a simulated module and shown there ("发送到模块").
#include "import/PictureImport.h"
#include "shell/MainWindow.h"
#include "shell/StatusTexts.h"
#include "shell/ScreenshotSupport.h"
#include "shell/editor/ComposerCanvas.h"
#include "shell/editor/ComposerWindow.h"
#include "simulator/ui/SimulatedModule.h"
#include "simulator/ui/SimulatorWindow.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace panelix;
using namespace panelix::compose;

namespace {

void fail(const QString& text) {
    std::fprintf(stderr, "panelix-editor-screenshot: %s\n", text.toUtf8().constData());
}

using shots::waitFor;

// A lit sphere on a shaded ground: greys that only dithering shows well in 1 bit.
QImage sphere(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient ground(0, 0, 0, size.height());
    ground.setColorAt(0, QColor(235, 235, 235));
    ground.setColorAt(1, QColor(120, 120, 120));
    p.fillRect(image.rect(), ground);
    const QPointF centre(size.width() * 0.5, size.height() * 0.45);
    const double r = size.height() * 0.36;
    QRadialGradient light(centre + QPointF(-r * 0.4, -r * 0.4), r * 1.3);
    light.setColorAt(0, Qt::white);
    light.setColorAt(1, QColor(20, 20, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawEllipse(centre, r, r);
    return image;
}

Composition demoComposition(const MonoBitmap& picture) {
    Composition c(DefaultSize);
    c.add(RectItem{QRect(0, 0, 320, 240), 2, true});
    TextItem title;
    title.pos = QPoint(16, 10);
    title.text = QStringLiteral("图文编辑 Panelix");
    c.add(title);
    c.add(LineItem{QPoint(8, 32), QPoint(311, 32), 1, true});
    c.add(PictureItem{QPoint(176, 44), picture, QStringLiteral("sphere.png")});
    TextItem lines;
    lines.pos = QPoint(16, 48);
    lines.text = QStringLiteral("温度  23.5℃\n湿度  48%\n电压  12.1V");
    c.add(lines);
    TextItem clock;
    clock.pos = QPoint(16, 112);
    clock.text = QStringLiteral("12:30");
    clock.family = QStringLiteral("DejaVu Sans");
    clock.pixelSize = 40;
    clock.bold = true;
    clock.opaque = false;
    c.add(clock);
    c.add(RectItem{QRect(16, 164, 144, 44), 1, true});
    TextItem alarm;
    alarm.pos = QPoint(32, 178);
    alarm.text = QStringLiteral("报警:无");
    c.add(alarm);
    TextItem footer;
    footer.pos = QPoint(16, 218);
    footer.text = QStringLiteral("通讯正常  第1页");
    c.add(footer);
    c.add(InvertItem{QRect(2, 216, 316, 22)});
    return c;
}

QImage sideBySide(const QPixmap& left, const QPixmap& right) {
    constexpr int margin = 12;
    QImage canvas(left.width() + right.width() + 3 * margin, std::max(left.height(), right.height()) + 2 * margin,
                  QImage::Format_RGB32);
    canvas.fill(QColor(0xD0, 0xD4, 0xDA));
    QPainter p(&canvas);
    p.drawPixmap(margin, margin, left);
    p.drawPixmap(2 * margin + left.width(), margin, right);
    return canvas;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 4 || args[2] != QLatin1String("--font")) {
        std::fputs("usage: panelix-editor-screenshot OUT.png --font HZK16\n", stderr);
        return 2;
    }
    QTemporaryDir scratch;
    const QString dataDir = scratch.filePath(QStringLiteral("data"));
    if (!scratch.isValid() || !QDir().mkpath(dataDir) ||
        !QFile::copy(args[3], QDir(dataDir).filePath(QStringLiteral("hzk16")))) {
        fail(QStringLiteral("cannot copy the font %1 to a scratch data directory").arg(args[3]));
        return 1;
    }
    const QString source = scratch.filePath(QStringLiteral("sphere.png"));
    sphere(QSize(400, 300)).save(source);
    ImportOptions importOptions;
    importOptions.target = QSize(128, 96);
    MonoBitmap picture;
    InputError error;
    if (!importPicture(source, importOptions, &picture, &error)) {
        fail(panelix::texts::inputErrorText(error));
        return 1;
    }
    QString message;

    SimulatedModule sim;
    if (!sim.start(ModuleLink::Timing::Fast, &message)) {
        fail(message);
        return 1;
    }
    StartupOptions options = defaultStartupOptions();
    options.dataDir = dataDir;
    options.port1 = sim.devicePath();
    ModuleSession session;
    MainWindow window(session, options);
    ComposerWindow* composer = ComposerWindow::open(window.session(), &window);
    composer->resize(720, 620);
    composer->document().apply(demoComposition(picture), QStringLiteral("示例画面"));
    composer->canvas().setSelected(3);
    sim.window().show();

    const qint64 commands = sim.link().counters().commands;
    composer->findChild<QPushButton*>(QStringLiteral("ComposeSend"))->click();
    if (!waitFor([&] { return sim.link().counters().commands > commands; }, 60000)) {
        fail(QStringLiteral("the module did not show the picture: %1").arg(composer->status()));
        return 1;
    }
    waitFor([] { return false; }, 300);
    sim.window().refresh();
    if (!sideBySide(composer->grab(), sim.window().grab()).save(args[1])) {
        fail(QStringLiteral("cannot write %1").arg(args[1]));
        return 1;
    }
    return 0;
}

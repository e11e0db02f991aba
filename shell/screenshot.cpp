// Renders the windows offscreen into a PNG for the documentation:
//   panelix-screenshot OUT.png [--demo DIR] [--ports] [panelix options...]
// Without --demo: the main window as it starts (with --simulator, the LCD window
// beside it). With --demo DIR: the demo pictures of DIR are added to the list,
// downloaded to a simulated module through the real serial path, the first
// entry is clicked, and the main window and the LCD window are drawn side by side.
// With --ports: the main window with two USB adapters in its port list, the list
// of COM1 open below its picker. With --photo FILE: the picture is dropped on the
// download list of an empty data directory, taken with "确定" in the import dialog,
// downloaded ("下载位图") and its entry clicked, and the main window and the LCD
// window are drawn side by side.
#include "shell/MainWindow.h"
#include "shell/ScreenshotSupport.h"
#include "shell/StartupOptions.h"
#include "shell/editor/ImportDialog.h"
#include "simulator/ui/SimulatedModule.h"
#include "simulator/ui/SimulatorWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

void fail(const QString& text) {
    std::fprintf(stderr, "panelix-screenshot: %s\n", text.toUtf8().constData());
}

using panelix::shots::waitFor;

void settle(int ms) {
    waitFor([] { return false; }, ms);
}

// The order the README shows them in: the title screen first, so a click on the
// first entry fills the LCD.
const char* const demoOrder[] = {"title.bmp", "gauge.bmp", "icons.bmp", "checker.bmp", "bars.bmp"};

// Copies the demo pictures and the font into a fresh data directory, so the
// screenshot never rewrites the list of the directory it was given.
bool copyDemoSet(const QString& from, const QString& to, QStringList* pictures) {
    QDir source(from);
    QStringList names =
        source.entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    if (names.isEmpty()) {
        fail(QStringLiteral("no BMP files in %1").arg(from));
        return false;
    }
    if (!QDir().mkpath(to))
        return false;
    for (int i = int(std::size(demoOrder)) - 1; i >= 0; --i) {
        const QString name = QString::fromLatin1(demoOrder[i]);
        if (names.removeAll(name) > 0)
            names.prepend(name);
    }
    for (const QString& name : names) {
        if (!QFile::copy(source.filePath(name), QDir(to).filePath(name)))
            return false;
    }
    if (source.exists(QStringLiteral("hzk16")))
        QFile::copy(source.filePath(QStringLiteral("hzk16")), QDir(to).filePath(QStringLiteral("hzk16")));
    *pictures = names;
    return true;
}

// Adds the pictures through the file list and the add button, downloads them
// and clicks the first entry.
bool runDemo(panelix::MainWindow& window, panelix::SimulatedModule& sim, const QStringList& pictures) {
    auto* file1 = window.findChild<QListWidget*>(QStringLiteral("File1"));
    auto* list1 = window.findChild<QListWidget*>(QStringLiteral("List1"));
    auto* status = window.findChild<QLabel*>(QStringLiteral("Label2"));
    auto button = [&](const char* name) { return window.findChild<QPushButton*>(QLatin1String(name)); };
    for (const QString& name : pictures) {
        const QList<QListWidgetItem*> found = file1->findItems(name, Qt::MatchFixedString);
        if (found.isEmpty()) {
            fail(QStringLiteral("%1 is not in the file list").arg(name));
            return false;
        }
        file1->setCurrentItem(found.first());
        emit file1->itemClicked(found.first());
        button("Command1")->click();
    }
    bool done = false;
    bool failed = false;
    QObject::connect(&window.session(), &panelix::ModuleSession::finished, [&] { done = true; });
    QObject::connect(&window.session(), &panelix::ModuleSession::failed, [&] { failed = true; });
    button("Command8")->click();
    std::fprintf(stderr, "panelix-screenshot: downloading %lld pictures at 19,200 baud...\n",
                 static_cast<long long>(pictures.size()));
    if (!waitFor([&] { return done || failed; }, 180000) || !done) {
        fail(QStringLiteral("the download did not finish: %1").arg(status->text()));
        return false;
    }
    // The module holds the download image as file.add has it, up to its end.
    if (!waitFor([&] { return sim.link().counters().bitmapDownloads > 0; }, 5000)) {
        fail(QStringLiteral("the module stored no image"));
        return false;
    }
    QFile fileAdd(QDir(window.session().dataDir()).filePath(QStringLiteral("file.add")));
    const QByteArray image = fileAdd.open(QIODevice::ReadOnly) ? fileAdd.readAll() : QByteArray();
    const qsizetype end = qsizetype(sim.link().directory().end);
    if (image.isEmpty() || sim.link().imageMemory().left(end) != image.left(end)) {
        fail(QStringLiteral("the module's image differs from file.add"));
        return false;
    }
    std::fprintf(stderr, "panelix-screenshot: the module holds the image byte for byte (%lld bytes, %s)\n",
                 static_cast<long long>(end),
                 sim.transport() == panelix::SimulatedModule::Transport::InProcess ? "in-process line" : "pty");
    const qint64 commands = sim.link().counters().commands;
    list1->setCurrentRow(0);
    if (!waitFor([&] { return sim.link().counters().commands > commands; }, 5000)) {
        fail(QStringLiteral("the module did not receive the show-image command"));
        return false;
    }
    settle(300);
    sim.window().refresh();
    return true;
}

// Drops the picture on List1 as a file manager would, takes it with "确定" in the
// import dialog, downloads the list and clicks the new entry.
bool runPhoto(panelix::MainWindow& window, panelix::SimulatedModule& sim, const QString& photo) {
    auto* list1 = window.findChild<QListWidget*>(QStringLiteral("List1"));
    auto* status = window.findChild<QLabel*>(QStringLiteral("Label2"));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QFileInfo(photo).absoluteFilePath())});
    const QPoint at = list1->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list1->viewport(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    if (enter.isAccepted())
        QApplication::sendEvent(list1->viewport(), &drop);
    auto* dialog = window.findChild<panelix::ImportDialog*>();
    if (!dialog) {
        fail(QStringLiteral("%1 did not open the import dialog").arg(photo));
        return false;
    }
    dialog->renderNow();
    settle(200);
    if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("ImportOk")))
        ok->click();
    if (list1->count() != 1) {
        fail(QStringLiteral("the picture was not listed: %1").arg(status->text()));
        return false;
    }
    bool done = false;
    bool failed = false;
    QObject::connect(&window.session(), &panelix::ModuleSession::finished, [&] { done = true; });
    QObject::connect(&window.session(), &panelix::ModuleSession::failed, [&] { failed = true; });
    window.findChild<QPushButton*>(QStringLiteral("Command8"))->click();
    std::fputs("panelix-screenshot: downloading the picture at 19,200 baud...\n", stderr);
    if (!waitFor([&] { return done || failed; }, 60000) || !done) {
        fail(QStringLiteral("the download did not finish: %1").arg(status->text()));
        return false;
    }
    const qint64 commands = sim.link().counters().commands;
    list1->setCurrentRow(0);
    if (!waitFor([&] { return sim.link().counters().commands > commands; }, 5000)) {
        fail(QStringLiteral("the module did not receive the show-image command"));
        return false;
    }
    settle(300);
    sim.window().refresh();
    return true;
}

QImage sideBySide(const QPixmap& left, const QPixmap& right) {
    constexpr int margin = 12;
    const int width = left.width() + (right.isNull() ? 0 : margin + right.width()) + 2 * margin;
    const int height = std::max(left.height(), right.height()) + 2 * margin;
    QImage canvas(width, height, QImage::Format_RGB32);
    canvas.fill(QColor(0xD0, 0xD4, 0xDA));
    QPainter p(&canvas);
    p.drawPixmap(margin, margin, left);
    if (!right.isNull())
        p.drawPixmap(2 * margin + left.width(), margin, right);
    return canvas;
}

// Two adapters as the system would list them, the first behind COM1.
QImage portList(panelix::MainWindow& window) {
    auto adapter = [](const char* path, const char* description, quint16 vid, quint16 pid, const char* serial) {
        panelix::SerialPortInfo p;
        p.path = QString::fromLatin1(path);
        p.description = QString::fromLatin1(description);
        p.hasUsbIds = true;
        p.vendorId = vid;
        p.productId = pid;
        p.serialNumber = QString::fromLatin1(serial);
        p.stablePath = QStringLiteral("/dev/serial/by-id/usb-%1_%2-if00-port0").arg(p.description, p.serialNumber);
        p.stablePath.replace(QLatin1Char(' '), QLatin1Char('_'));
        return p;
    };
    const QList<panelix::SerialPortInfo> list = {adapter("/dev/ttyUSB0", "FT232R USB UART", 0x0403, 0x6001, "A10K3XQ"),
                                                 adapter("/dev/ttyUSB1", "CP2102 USB to UART Bridge", 0x10c4, 0xea60, "0001")};
    window.setPortSource([list] { return list; });
    auto* picker = window.findChild<QComboBox*>(QStringLiteral("Port1Device"));
    if (!picker)
        return {};
    picker->showPopup();
    settle(300);
    QAbstractItemView* view = picker->view();
    const QPixmap main = window.grab();
    const QPixmap popup = view->window()->grab();
    QImage canvas = main.toImage().convertToFormat(QImage::Format_RGB32);
    QPainter p(&canvas);
    const QPoint below = picker->mapTo(&window, QPoint(0, picker->height()));
    p.drawPixmap(below, popup);
    p.setPen(QColor(0x60, 0x60, 0x60));
    p.drawRect(QRect(below, popup.size()).adjusted(0, 0, -1, -1));
    return canvas;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments();
    if (args.size() < 2 || args[1].startsWith(QLatin1String("--"))) {
        std::fputs(
            "usage: panelix-screenshot OUT.png [--demo DIR] [--photo FILE] [--ports] [--data-dir DIR] [--port1 DEV] "
            "[--port2 DEV] "
            "[--simulator]\n",
            stderr);
        return 2;
    }
    const QString out = args[1];
    args = args.mid(2);
    QString demoDir;
    const qsizetype demoAt = args.indexOf(QStringLiteral("--demo"));
    if (demoAt >= 0) {
        if (demoAt + 1 >= args.size()) {
            fail(QStringLiteral("missing value for --demo"));
            return 2;
        }
        demoDir = args[demoAt + 1];
        args.remove(demoAt, 2);
    }
    QString photo;
    const qsizetype photoAt = args.indexOf(QStringLiteral("--photo"));
    if (photoAt >= 0) {
        if (photoAt + 1 >= args.size()) {
            fail(QStringLiteral("missing value for --photo"));
            return 2;
        }
        photo = args[photoAt + 1];
        args.remove(photoAt, 2);
    }
    const bool ports = args.removeAll(QStringLiteral("--ports")) > 0;
    panelix::StartupOptions options = panelix::defaultStartupOptions();
    QString message;
    if (panelix::parseStartupOptions(args, &options, &message) != panelix::ParseOutcome::Run) {
        fail(message);
        return 2;
    }

    QTemporaryDir scratch;
    QStringList pictures;
    if (!demoDir.isEmpty()) {
        const QString dataDir = scratch.filePath(QStringLiteral("demo-data"));
        if (!scratch.isValid() || !copyDemoSet(demoDir, dataDir, &pictures)) {
            fail(QStringLiteral("cannot prepare the demo data from %1").arg(demoDir));
            return 1;
        }
        options.dataDir = dataDir;
        options.simulator = true;
    } else if (!photo.isEmpty()) {
        // An empty data directory of its own: the list holds the dropped picture alone.
        options.dataDir = scratch.filePath(QStringLiteral("photo-data"));
        options.simulator = true;
    }
    // The import dialog starts from the remembered settings: here none of the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.filePath(QStringLiteral("config")));

    std::unique_ptr<panelix::SimulatedModule> sim;
    if (options.simulator) {
        sim = std::make_unique<panelix::SimulatedModule>();
        if (!sim->start(panelix::ModuleLink::Timing::Fast, &message)) {
            fail(message);
            return 1;
        }
        options.port1 = sim->devicePath();
        sim->window();
    }
    panelix::ModuleSession session;
    panelix::MainWindow window(session, options);
    window.show();
    if (sim) {
        sim->showBeside(&window);
        // The pictures show the LCD at its full size, whatever the size of the offscreen screen.
        sim->window().setCompact(false);
    }
    settle(300);

    if (!demoDir.isEmpty() && !runDemo(window, *sim, pictures))
        return 1;
    if (!photo.isEmpty() && !runPhoto(window, *sim, photo))
        return 1;
    if (ports) {
        const QImage shot = portList(window);
        if (shot.isNull() || !shot.save(out)) {
            fail(QStringLiteral("cannot write %1").arg(out));
            return 1;
        }
        return 0;
    }
    const QImage shot = sim ? sideBySide(window.grab(), sim->window().grab()) : window.grab().toImage();
    if (!shot.save(out)) {
        fail(QStringLiteral("cannot write %1").arg(out));
        return 1;
    }
    return 0;
}

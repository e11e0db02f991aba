#include "shell/StartupOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QSettings>

#include <cmath>
#include <cstdlib>

namespace panelix {

StartupOptions defaultStartupOptions() {
    StartupOptions o;
#ifdef Q_OS_WIN
    o.dataDir = QStringLiteral("c:\\dispkit\\");
    o.port1 = QStringLiteral("COM1");
    o.port2 = QStringLiteral("COM2");
#else
    o.dataDir = QDir::home().filePath(QStringLiteral("dispkit"));
    o.port1 = QStringLiteral("/dev/ttyS0");
    o.port2 = QStringLiteral("/dev/ttyS1");
#endif
    return o;
}

QString withPlatformDefaults(QString usage) {
#ifdef Q_OS_WIN
    usage.replace(QStringLiteral("~/dispkit"), QStringLiteral("c:\\dispkit\\"));
    usage.replace(QStringLiteral("/dev/ttyS0"), QStringLiteral("COM1"));
    usage.replace(QStringLiteral("/dev/ttyS1"), QStringLiteral("COM2"));
#endif
    return usage;
}

QString usageText() {
    return withPlatformDefaults(QStringLiteral(
        "Usage: panelix [--data-dir DIR] [--port1 DEV] [--port2 DEV] [--simulator] [--lang en|zh]\n"
        "               [--reset-settings]\n"
        "用法: panelix [--data-dir 目录] [--port1 设备] [--port2 设备] [--simulator] [--lang en|zh]\n"
        "              [--reset-settings]\n"
        "\n"
        "  --data-dir DIR  data directory with file.txt, file.add and hzk16 (default ~/dispkit)\n"
        "                  数据目录, 存放 file.txt, file.add 和 hzk16 (默认 ~/dispkit)\n"
        "  --port1 DEV     serial device behind COM1 (default /dev/ttyS0)\n"
        "                  COM1 对应的串口设备 (默认 /dev/ttyS0)\n"
        "  --port2 DEV     serial device behind COM2 (default /dev/ttyS1)\n"
        "                  COM2 对应的串口设备 (默认 /dev/ttyS1)\n"
        "  --simulator     attach COM1 to the built-in simulated display module\n"
        "                  COM1 连接内置的模拟显示模块\n"
        "  --lang en|zh    window language for this run (default Chinese, or the setting)\n"
        "                  本次使用的界面语言 (默认中文, 或保存的设置)\n"
        "  --reset-settings  forget the remembered data directory, devices and window place\n"
        "                  清除记住的数据目录、串口设备和窗口位置\n"
        "  --help          show this text / 显示本说明\n"));
}

const char* usageSourceText() {
    return QT_TRANSLATE_NOOP(
        "panelix::StartupOptions",
        "用法: panelix [--data-dir 目录] [--port1 设备] [--port2 设备] [--simulator]\n"
        "              [--lang en|zh] [--reset-settings]\n"
        "\n"
        "  --data-dir 目录  数据目录, 存放 file.txt, file.add 和 hzk16 (默认 ~/dispkit)\n"
        "  --port1 设备     COM1 对应的串口设备 (默认 /dev/ttyS0)\n"
        "  --port2 设备     COM2 对应的串口设备 (默认 /dev/ttyS1)\n"
        "  --simulator      COM1 连接内置的模拟显示模块\n"
        "  --lang en|zh     本次使用的界面语言 (默认中文, 或保存的设置)\n"
        "  --reset-settings 清除记住的数据目录、串口设备和窗口位置\n"
        "  --help           显示本说明\n");
}

ParseOutcome parseStartupOptions(const QStringList& args, StartupOptions* options, QString* message) {
    StartupOptions o = *options;
    bool languageGiven = false; // the language says so itself: an empty one is not given
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            *options = o; // the usage is printed in the language given before it
            return ParseOutcome::Help;
        }
        if (a == QLatin1String("--simulator")) {
            o.simulator = true;
            continue;
        }
        if (a == QLatin1String("--reset-settings")) {
            o.resetSettings = true;
            continue;
        }
        QString* target = nullptr;
        QString name = a;
        QString value;
        bool inlineValue = false;
        const qsizetype eq = a.indexOf('=');
        if (a.startsWith(QLatin1String("--")) && eq > 0) {
            name = a.left(eq);
            value = a.mid(eq + 1);
            inlineValue = true;
        }
        bool* given = nullptr;
        if (name == QLatin1String("--data-dir")) {
            target = &o.dataDir;
            given = &o.dataDirGiven;
        } else if (name == QLatin1String("--port1")) {
            target = &o.port1;
            given = &o.port1Given;
        } else if (name == QLatin1String("--port2")) {
            target = &o.port2;
            given = &o.port2Given;
        } else if (name == QLatin1String("--lang")) {
            target = &o.language;
            given = &languageGiven;
        }
        if (!target) {
            *message = QStringLiteral("unknown option: %1").arg(a);
            return ParseOutcome::Error;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                *message = QStringLiteral("missing value for %1").arg(name);
                return ParseOutcome::Error;
            }
            value = args[++i];
        }
        if (value.isEmpty()) {
            *message = QStringLiteral("empty value for %1").arg(name);
            return ParseOutcome::Error;
        }
        if (target == &o.language && value.toLower() != QLatin1String("en") &&
            value.toLower() != QLatin1String("zh")) {
            *message = QStringLiteral("unknown language: %1 (en or zh)").arg(value);
            return ParseOutcome::Error;
        }
        *target = value;
        *given = true;
    }
    *options = o;
    return ParseOutcome::Run;
}

namespace {

// Keys holding a path, and those holding a whole number.
const char* const PathKeys[] = {"dataDir", "port1", "port2", "browser/lastFolder"};
const char* const IntegerKeys[] = {"import/width",    "import/height",   "import/brightness",
                                   "import/contrast", "import/threshold"};

qsizetype storedSize(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::QByteArray:
        return v.toByteArray().size();
    case QMetaType::QStringList: {
        qsizetype n = 0;
        for (const QString& s : v.toStringList())
            n += s.size();
        return n;
    }
    default:
        return v.toString().size();
    }
}

bool isOneOf(const QString& key, const auto& keys) {
    for (const char* k : keys) {
        if (key == QLatin1String(k))
            return true;
    }
    return false;
}

bool usable(const QString& key, const QVariant& v) {
    if (key.size() > MaxStoredKeyLength || storedSize(v) > MaxStoredValueBytes)
        return false;
    if (isOneOf(key, PathKeys)) {
        if (v.typeId() != QMetaType::QString)
            return false;
        const QString path = v.toString();
        if (path.toUtf8().size() > MaxStoredPathBytes)
            return false;
        for (QChar c : path) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                return false;
        }
        return true;
    }
    if (isOneOf(key, IntegerKeys)) {
        bool ok = false;
        v.toString().toInt(&ok);
        return ok;
    }
    if (key == QLatin1String("import/gamma")) {
        bool ok = false;
        const double g = v.toString().toDouble(&ok);
        return ok && std::isfinite(g);
    }
    if (key == QLatin1String("import/invert")) {
        const QString b = v.toString();
        return b == QLatin1String("true") || b == QLatin1String("false");
    }
    if (key == QLatin1String("window/position")) {
        if (v.typeId() != QMetaType::QPoint)
            return false;
        const QPoint p = v.toPoint();
        return std::abs(p.x()) <= MaxStoredCoordinate && std::abs(p.y()) <= MaxStoredCoordinate;
    }
    return true;
}

} // namespace

bool setAsideOversizedSettings(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || info.size() <= MaxSettingsFileBytes)
        return false;
    const QString aside = path + QStringLiteral(".unusable");
    QFile::remove(aside);
    return QFile::rename(path, aside);
}

SettingsReport applySettings(StartupOptions* o, QSettings& settings) {
    SettingsReport report;
    if (o->resetSettings) {
        settings.clear();
        settings.sync();
        report.resetFailed = settings.status() == QSettings::AccessError;
    }
    for (const QString& key : settings.allKeys()) {
        if (!usable(key, settings.value(key))) {
            report.ignoredKeys << key.left(MaxStoredKeyLength);
            settings.remove(key);
        }
    }
    o->remember = true;
    const auto take = [&](const char* key, bool given, QString* value) {
        const QString stored = settings.value(QLatin1String(key)).toString();
        if (!given && !stored.isEmpty())
            *value = stored;
    };
    take("dataDir", o->dataDirGiven, &o->dataDir);
    take("port1", o->port1Given, &o->port1);
    take("port2", o->port2Given, &o->port2);
    o->lastFolder = settings.value(QStringLiteral("browser/lastFolder")).toString();
    return report;
}

std::optional<QPoint> visibleWindowPosition(const QRect& frame, const QList<QRect>& screens) {
    if (frame.isEmpty())
        return std::nullopt;
    // Enough of the window to see it and take it by its top edge: the top left or right
    // corner region of at least 100 x 40 dots (or the whole window when smaller) lies on
    // one screen.
    const int w = std::min(frame.width(), 100);
    const int h = std::min(frame.height(), 40);
    const QRect topLeft(frame.topLeft(), QSize(w, h));
    const QRect topRight(QPoint(frame.right() - w + 1, frame.top()), QSize(w, h));
    for (const QRect& screen : screens) {
        if (screen.contains(topLeft) || screen.contains(topRight))
            return frame.topLeft();
    }
    return std::nullopt;
}

} // namespace panelix

#include "shell/StartupOptions.h"

#include <QDir>
#include <QSettings>

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

void applySettings(StartupOptions* o, QSettings& settings) {
    if (o->resetSettings)
        settings.clear();
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
}

} // namespace panelix

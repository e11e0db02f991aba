#include "shell/StatusTexts.h"

#include "link/PortList.h"
#include "protocol/Module.h"

#include <QFileInfo>

#include <cmath>

namespace panelix {

QString texts::progressText(qint32 position, qint32 total) {
    const double percent = std::floor(double(position) / double(total) * 100.0);
    return QCoreApplication::translate("panelix::StatusTexts", "正在下载...  %1   %2%")
        .arg(position)
        .arg(qint64(percent));
}

QString texts::timeLeftText(qint64 seconds) {
    return QCoreApplication::translate("panelix::StatusTexts", "剩余%1:%2")
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString texts::portOpenFailed(int port, OpenError cause) {
    QString why;
    switch (cause) {
    case OpenError::NoDevice:
        why = QCoreApplication::translate("panelix::StatusTexts", "设备不存在");
        break;
    case OpenError::NoPermission:
        why = QCoreApplication::translate("panelix::StatusTexts", "无访问权限");
        break;
    case OpenError::InUse:
        why = QCoreApplication::translate("panelix::StatusTexts", "已被占用");
        break;
    case OpenError::NotSerial:
        why = QCoreApplication::translate("panelix::StatusTexts", "不是串口");
        break;
    case OpenError::None:
    case OpenError::Unknown:
        return portOpenFailed(port);
    }
    return QCoreApplication::translate("panelix::StatusTexts", "串口COM%1打开失败:%2!").arg(port).arg(why);
}

QString texts::openAdvice(OpenError cause, const QString& devicePath, AdviceSystem system) {
    if (system == AdviceSystem::Windows) {
        if (cause != OpenError::NoPermission && cause != OpenError::InUse)
            return QString();
        return QCoreApplication::translate(
                   "panelix::StatusTexts",
                   "%1可能已被另一个程序打开: 请关闭该程序后重试。若没有程序在使用它, 请在设备管理器中检查适配器的驱动程序。")
            .arg(devicePath);
    }
    if (cause != OpenError::NoPermission)
        return QString();
    const QString group = deviceGroup(devicePath);
    const QString g = group.isEmpty() ? QStringLiteral("dialout") : group;
    return QCoreApplication::translate(
               "panelix::StatusTexts",
               "无权访问%1: 它属于组%2。执行 sudo usermod -aG %2 $USER, 然后重新登录。")
        .arg(devicePath, g);
}

QString texts::openAdvice(OpenError cause, const QString& devicePath) {
#ifdef Q_OS_WIN
    return openAdvice(cause, devicePath, AdviceSystem::Windows);
#else
    return openAdvice(cause, devicePath, AdviceSystem::Posix);
#endif
}

namespace {

QString translated(const char* text) {
    return QCoreApplication::translate("panelix::StatusTexts", text);
}

// The file a refusal names: its name, or its position in the list when it has none.
QString concerned(const InputError& e) {
    if (e.entry >= 0)
        return QCoreApplication::translate("panelix::StatusTexts", "第%1项").arg(e.entry + 1);
    return QFileInfo(e.path).fileName();
}

} // namespace

QString texts::framesLeftOut(int kept, int total) {
    return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "动画共%1帧,只导入了前%2帧(模块最多存%3幅图)"))
        .arg(total)
        .arg(kept)
        .arg(module::MaxBitmaps);
}

QString texts::inputErrorText(const InputError& e) {
    switch (e.reason) {
    case InputReason::None: return QString();
    case InputReason::BitmapUnreadable: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "位图文件无法打开:")) + concerned(e);
    case InputReason::NotMonoBmp: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "不是单色BMP位图:")) + concerned(e);
    case InputReason::BitmapSizeOutOfRange: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "位图尺寸超出范围:")) + concerned(e);
    case InputReason::ListFull: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "位图列表已满,最多251个!"));
    case InputReason::ListNotSaved: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "位图列表保存失败!"));
    case InputReason::ListNotRead: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "位图列表读取失败!"));
    case InputReason::TooManyBitmaps: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "位图数量超过127个,无法下载!"));
    case InputReason::ImageTooLarge: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "位图总量超过256KB,无法下载!"));
    case InputReason::FileAddNotWritten: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "file.add写入失败!"));
    case InputReason::ImageInvalid: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "下载映像无效,无法下载!"));
    case InputReason::FontMissing: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "找不到字库文件hzk16!"));
    case InputReason::DataDirUnusable: return dataDirUnusable();
    case InputReason::PictureUnreadable: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "图片无法读取:")) + concerned(e);
    case InputReason::NotAPicture: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "不是图片文件:")) + concerned(e);
    case InputReason::PictureTooLarge: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "图片尺寸过大:")) + concerned(e);
    case InputReason::BitmapNotWritten: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "位图文件写入失败:")) + concerned(e);
    case InputReason::PathNotStorable: return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "路径含有无法保存的字符!"));
    case InputReason::TooManyFrames:
        return translated(QT_TRANSLATE_NOOP("panelix::StatusTexts", "动画帧数超过127个,无法导入:")) + concerned(e);
    }
    return QString();
}

QString texts::bitmapInfo(int width, int height) {
    return QCoreApplication::translate("panelix::StatusTexts", "位图宽度:%1      位图高度:%2").arg(width).arg(height);
}

QString texts::failureText(const Failure& failure) {
    switch (failure.reason) {
    case FailureReason::ModuleError:
        return commError();
    case FailureReason::PortLost:
        return portLost();
    case FailureReason::PortSwitched:
        return portSwitched();
    case FailureReason::PortNotOpen:
        return portNotOpen();
    case FailureReason::PortOpenFailed:
        return portOpenFailed(failure.port, failure.openError);
    case FailureReason::Busy:
        return QString();
    case FailureReason::AlreadyRunning:
        return downloadBusy();
    case FailureReason::RefusedInput:
        return inputErrorText(failure.input);
    case FailureReason::Stalled:
        return moduleSilent();
    case FailureReason::Stopped:
        return QString();
    }
    return QString();
}

} // namespace panelix

#include "shell/StatusTexts.h"

#include "link/PortList.h"

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

QString texts::permissionAdvice(const QString& devicePath) {
    const QString group = deviceGroup(devicePath);
    const QString g = group.isEmpty() ? QStringLiteral("dialout") : group;
    return QCoreApplication::translate(
               "panelix::StatusTexts",
               "无权访问%1: 它属于组%2。执行 sudo usermod -aG %2 $USER, 然后重新登录。")
        .arg(devicePath, g);
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
    case FailureReason::RefusedInput: return failure.text;
    }
    return QString();
}

} // namespace panelix

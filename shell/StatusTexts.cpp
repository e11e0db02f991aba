#include "shell/StatusTexts.h"

#include <cmath>

namespace panelix {

QString texts::progressText(qint32 position, qint32 total) {
    const double percent = std::floor(double(position) / double(total) * 100.0);
    return QStringLiteral("正在下载...  %1   %2%").arg(position).arg(qint64(percent));
}

QString texts::timeLeftText(qint64 seconds) {
    return QStringLiteral("剩余%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString texts::failureText(const Failure& failure) {
    switch (failure.reason) {
    case FailureReason::ModuleError: return commError();
    case FailureReason::PortLost: return portLost();
    case FailureReason::PortSwitched: return portSwitched();
    case FailureReason::PortNotOpen: return portNotOpen();
    case FailureReason::PortOpenFailed: return portOpenFailed(failure.port);
    case FailureReason::Busy: return QString();
    case FailureReason::RefusedInput: return failure.text;
    }
    return QString();
}

} // namespace panelix

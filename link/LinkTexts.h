#pragma once

#include <QString>

// Status-line texts of the device link.
namespace panelix::texts {

inline QString downloading() { return QStringLiteral("正在下载..."); }
inline QString downloadDone() { return QStringLiteral("下载完成！"); }
inline QString commError() { return QStringLiteral("通信出错！"); }
inline QString testOk() { return QStringLiteral("连线测试工作正常"); }
inline QString testFailed() { return QStringLiteral("连线测试出错,请检查串口线!"); }
inline QString portNotOpen() { return QStringLiteral("串口未打开!"); }
inline QString portLost() { return QStringLiteral("串口已断开!"); }
inline QString portOpenFailed(int port) { return QStringLiteral("串口COM%1打开失败!").arg(port); }

// "正在下载...  " position "   " floored percentage "%".
QString progressText(qint32 position, qint32 total);

} // namespace panelix::texts

#pragma once

#include "session/ModuleSession.h"

#include <QCoreApplication>
#include <QString>

// What the status line says: the window's words for the session's outcomes.
namespace panelix::texts {

// Chinese as the window shows them by default; the window's translation may
// replace them (context "panelix::StatusTexts").

inline QString downloading() {
    return QCoreApplication::translate("panelix::StatusTexts", "正在下载...");
}
inline QString downloadDone() {
    return QCoreApplication::translate("panelix::StatusTexts", "下载完成！");
}
inline QString commError() {
    return QCoreApplication::translate("panelix::StatusTexts", "通信出错！");
}
inline QString testOk() {
    return QCoreApplication::translate("panelix::StatusTexts", "连线测试工作正常");
}
inline QString testFailed() {
    return QCoreApplication::translate("panelix::StatusTexts", "连线测试出错,请检查串口线!");
}
inline QString portNotOpen() {
    return QCoreApplication::translate("panelix::StatusTexts", "串口未打开!");
}
inline QString portLost() {
    return QCoreApplication::translate("panelix::StatusTexts", "串口已断开!");
}
inline QString portSwitched() {
    return QCoreApplication::translate("panelix::StatusTexts", "串口已切换,下载中止!");
}
inline QString moduleSilent() {
    return QCoreApplication::translate("panelix::StatusTexts", "模块无应答,请检查连接!");
}
inline QString portOpenFailed(int port) {
    return QCoreApplication::translate("panelix::StatusTexts", "串口COM%1打开失败!").arg(port);
}
inline QString portReconnected() {
    return QCoreApplication::translate("panelix::StatusTexts", "串口已重新连接");
}
inline QString waitingForModule() {
    return QCoreApplication::translate("panelix::StatusTexts", "正在等待模块就绪...");
}
inline QString downloadBusy() {
    return QCoreApplication::translate("panelix::StatusTexts", "正在下载,请等待完成!");
}
inline QString noAdapter() {
    return QCoreApplication::translate("panelix::StatusTexts", "未发现串口设备。没有模块时可用 panelix --simulator 试用模拟模块。");
}
inline QString dataDirUnusable() {
    return QCoreApplication::translate("panelix::StatusTexts", "数据目录无法使用!");
}
// "串口COM1打开失败:设备不存在!" and the like; the plain text when the cause is unknown.
QString portOpenFailed(int port, OpenError cause);
// Whose wording of the advice below: the systems differ in why a port is refused.
enum class AdviceSystem { Posix, Windows };
// What to do about a port that could not be opened for this cause, empty when there is
// nothing to add. On Linux a refused permission is the device's group (join it, log in
// again); on Windows a port refused or busy is open in another program, or its adapter's
// driver refuses it (Windows reports both as "access denied").
QString openAdvice(OpenError cause, const QString& devicePath, AdviceSystem system);
// The same in the wording of the system this program was built for.
QString openAdvice(OpenError cause, const QString& devicePath);

// A refused file, list, image or font: "位图文件无法打开:a.bmp", "位图文件无法打开:第3项",
// "位图数量超过127个,无法下载!" and the like.
QString inputErrorText(const InputError& error);
// An animation of more frames than the module stores pictures: how many were taken of how many.
QString framesLeftOut(int kept, int total);

// The status line after a preview read: "位图宽度:320      位图高度:240".
QString bitmapInfo(int width, int height);

// "正在下载...  " position "   " floored percentage "%".
QString progressText(qint32 position, qint32 total);

// "剩余m:ss" for the progress bar.
QString timeLeftText(qint64 seconds);

// The status text of a failure; empty when the window says nothing (a single
// command refused during a transfer, whose buttons are disabled anyway). A new
// download refused while data flows says so.
QString failureText(const Failure& failure);

} // namespace panelix::texts

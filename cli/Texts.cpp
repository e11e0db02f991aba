#include "cli/Texts.h"

#include "common/DataDir.h"
#include "library/ListFile.h"

#include <QRegularExpression>

#include <array>
#include <utility>

namespace panelix::cli {

QString englishText(const QString& text, const QString& dataDir) {
    const auto inDir = [&](const QString& name) {
        return dataDir.isEmpty() ? QString() : QStringLiteral(": ") + findDataFile(dataDir, name);
    };
    const auto listPath = [&] { return dataDir.isEmpty() ? QString() : QStringLiteral(": ") + listFilePath(dataDir); };

    if (text == QStringLiteral("位图列表保存失败!"))
        return QStringLiteral("the list file could not be written") + listPath();
    if (text == QStringLiteral("位图列表读取失败!"))
        return QStringLiteral("the list file could not be read") + listPath();
    if (text == QStringLiteral("位图列表已满,最多251个!"))
        return QStringLiteral("the list is full: at most 251 pictures");
    if (text == QStringLiteral("位图数量超过127个,无法下载!"))
        return QStringLiteral("more than 127 pictures: the module cannot store them");
    if (text == QStringLiteral("位图总量超过256KB,无法下载!"))
        return QStringLiteral("the pictures exceed 256 KB (end above 0x40001): the module cannot store them");
    if (text == QStringLiteral("file.add写入失败!"))
        return QStringLiteral("file.add could not be written") + inDir(QStringLiteral("file.add"));
    if (text == QStringLiteral("找不到字库文件hzk16!"))
        return QStringLiteral("font file not found or unreadable") + inDir(QStringLiteral("hzk16"));
    if (text == QStringLiteral("下载映像无效,无法下载!"))
        return QStringLiteral("not a valid download image (its end address lies outside the image)");
    if (text == QStringLiteral("数据目录无法使用!"))
        return QStringLiteral("the data directory cannot be used") + (dataDir.isEmpty() ? QString() : QStringLiteral(": ") + dataDir);

    static const std::array<std::pair<const char*, const char*>, 6> prefixes{{
        {"位图文件无法打开:", "cannot open bitmap file: "},
        {"不是单色BMP位图:", "not a 1-bit BMP: "},
        {"位图尺寸超出范围:", "bitmap size outside 1..640 x 1..481: "},
        {"图片无法读取:", "cannot read picture (unreadable, cut short or empty): "},
        {"不是图片文件:", "not a picture file: "},
        {"图片尺寸过大:", "picture too large: "},
    }};
    for (const auto& [chinese, english] : prefixes) {
        const QString prefix = QString::fromUtf8(chinese);
        if (text.startsWith(prefix)) {
            QString rest = text.mid(prefix.size());
            static const QRegularExpression entry(QStringLiteral("^第(\\d+)项$"));
            const QRegularExpressionMatch m = entry.match(rest);
            if (m.hasMatch())
                rest = QStringLiteral("entry %1 of the list").arg(m.captured(1));
            return QString::fromUtf8(english) + rest;
        }
    }
    return text;
}

QString openFailureText(OpenError error, const QString& systemText) {
    switch (error) {
    case OpenError::NoDevice: return QStringLiteral("cannot open the port: no such device");
    case OpenError::NoPermission:
        return QStringLiteral("cannot open the port: permission denied (is this user in the device's group, e.g. dialout?)");
    case OpenError::InUse: return QStringLiteral("cannot open the port: busy, in use by another program");
    case OpenError::NotSerial: return QStringLiteral("cannot open the port: not a serial port");
    case OpenError::None:
    case OpenError::Unknown: break;
    }
    return QStringLiteral("cannot open the port: ") + (systemText.isEmpty() ? QStringLiteral("unknown error") : systemText);
}

} // namespace panelix::cli

#include "font/FontImage.h"

#include "common/DataDir.h"
#include "protocol/Module.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace panelix {

FontImage loadFontImage(const QString& dataDir) {
    FontImage result;
    const QString path = findDataFile(dataDir, QStringLiteral("hzk16"));
    QByteArray head;
    // Only a regular file: a directory cannot be read, and opening a FIFO or a
    // device of that name could block the window for good.
    if (!QFileInfo(path).isFile() || !readFileHead(path, module::FontImageSize, &head)) {
        result.message = QCoreApplication::translate("panelix::FontImage", "找不到字库文件hzk16!");
        return result;
    }
    result.ok = true;
    result.image = head;
    result.image.append(module::FontImageSize - head.size(), '\0');
    return result;
}

} // namespace panelix

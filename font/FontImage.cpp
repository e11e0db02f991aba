#include "font/FontImage.h"

#include "common/DataDir.h"
#include "protocol/Module.h"

#include <QFileInfo>

namespace panelix {

FontImage loadFontFile(const QString& path) {
    FontImage result;
    QByteArray head;
    // Only a regular file: a directory cannot be read, and opening a FIFO or a
    // device of that name could block the window for good.
    if (!QFileInfo(path).isFile() || !readFileHead(path, module::FontImageSize, &head)) {
        result.error = inputError(InputReason::FontMissing, path);
        return result;
    }
    result.ok = true;
    result.image = head;
    result.image.append(module::FontImageSize - head.size(), '\0');
    return result;
}

FontImage loadFontImage(const QString& dataDir) {
    return loadFontFile(findDataFile(dataDir, QStringLiteral("hzk16")));
}

} // namespace panelix

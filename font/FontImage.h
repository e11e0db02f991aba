#pragma once

#include "common/InputError.h"

#include <QByteArray>
#include <QString>

namespace panelix {

// The font file as the font download sends it: always module::FontImageSize bytes,
// the file's head followed by zeros; only the first module::FontTransferTotal go out.
struct FontImage {
    bool ok = false;
    InputError error; // FontMissing (with the path looked for) when !ok
    QByteArray image;
};

// Loads hzk16 from dataDir, whatever its letter case. When it is missing or cannot be
// read, ok is false, image is empty and nothing is to be sent.
FontImage loadFontImage(const QString& dataDir);
// The same from a font file named by its own path.
FontImage loadFontFile(const QString& path);

} // namespace panelix

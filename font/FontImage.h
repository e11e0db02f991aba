#pragma once

#include <QByteArray>
#include <QString>

namespace panelix {

// The font file as the font download sends it: always module::FontImageSize bytes,
// the file's head followed by zeros; only the first module::FontTransferTotal go out.
struct FontImage {
    bool ok = false;
    QString message; // for the status line when !ok
    QByteArray image;
};

// Loads hzk16 from dataDir, whatever its letter case. When it is missing or cannot be
// read, ok is false, image is empty and nothing is to be sent.
FontImage loadFontImage(const QString& dataDir);

} // namespace panelix

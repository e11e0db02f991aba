#pragma once

#include "simulator/tools/MonoImage.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace panelix {

struct DemoImage {
    QString fileName;
    MonoImage image;
};

// The demo pictures: a title screen with Chinese text, a gauge, a checkerboard,
// an icon sheet and a bar chart whose width is not a multiple of 8. Text is
// drawn with glyphs; characters missing from them are left blank.
QVector<DemoImage> demoImages(const GlyphMap& glyphs);

// Writes every demo picture into dir (created when missing) as a 1-bit BMP,
// each file replaced whole. False with a Chinese message on the first failure.
bool writeDemoImages(const QString& dir, const GlyphMap& glyphs, QStringList* written, QString* error);

} // namespace panelix

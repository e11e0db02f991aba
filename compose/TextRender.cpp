#include "compose/TextRender.h"

#include "common/Gbk.h"
#include "font/FontImage.h"
#include "protocol/Module.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <algorithm>

namespace panelix::compose {

namespace {

QStringList linesOf(const QString& text) {
    return text.split(QLatin1Char('\n'));
}

QFont systemFont(const TextItem& item) {
    QFont f(item.family);
    f.setPixelSize(std::max(item.pixelSize, 1));
    f.setBold(item.bold);
    // Whole dots only: a grey edge would turn into dots or gaps at random.
    f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// Dark where the installed font's text is, for the part visible of a text box of
// textSize(item): a long text in a large font would make a picture of gigabytes.
QImage systemTextMask(const TextItem& item, QRect visible) {
    QImage mask(visible.size(), QImage::Format_Grayscale8);
    if (mask.isNull())
        return mask;
    mask.fill(255);
    QPainter p(&mask);
    const QFont font = systemFont(item);
    const QFontMetrics metrics(font);
    p.setFont(font);
    p.setPen(Qt::black);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.translate(item.pos - visible.topLeft());
    const QStringList lines = linesOf(item.text);
    for (int i = 0; i < lines.size(); ++i)
        p.drawText(0, metrics.ascent() + i * metrics.lineSpacing(), lines[i]);
    return mask;
}

void fillBox(MonoBitmap& target, QRect box, bool dark) {
    const QRect clip = box.intersected(QRect(0, 0, target.width(), target.height()));
    for (int y = clip.top(); y <= clip.bottom(); ++y)
        for (int x = clip.left(); x <= clip.right(); ++x)
            target.setPixel(x, y, dark);
}

} // namespace

std::vector<std::uint16_t> moduleCharacters(const QString& line) {
    const QByteArray gbk = toGbk(line);
    std::vector<std::uint16_t> codes;
    for (qsizetype i = 0; i < gbk.size(); ++i) {
        const auto b = std::uint8_t(gbk[i]);
        if (b >= 0x80) {
            if (i + 1 >= gbk.size())
                break;
            codes.push_back(std::uint16_t(b << 8 | std::uint8_t(gbk[++i])));
        } else if (b >= 0x20) {
            codes.push_back(b);
        }
    }
    return codes;
}

void drawModuleGlyph(MonoBitmap& target, int x, int y, std::uint16_t code, const FontMemory& font, bool opaque,
                     bool inverted) {
    const int offset = module::glyphOffset(code);
    const bool present = offset >= 0 && offset + module::FontGlyphSize <= font.size();
    for (int r = 0; r < ModuleCell; ++r) {
        for (int c = 0; c < ModuleCell; ++c) {
            bool dark = false;
            if (present) {
                const auto bits = std::uint8_t(font[offset + 2 * r + c / 8]);
                dark = ((bits >> (7 - c % 8)) & 1) != 0;
            }
            if (inverted)
                target.setPixel(x + c, y + r, !dark);
            else if (opaque || dark)
                target.setPixel(x + c, y + r, dark);
        }
    }
}

QSize textSize(const TextItem& item) {
    if (item.text.isEmpty())
        return {};
    const QStringList lines = linesOf(item.text);
    if (item.moduleFont()) {
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, int(moduleCharacters(line).size()));
        return {std::max(widest * ModuleCell, 1), int(lines.size()) * ModuleCell};
    }
    const QFontMetrics metrics(systemFont(item));
    int widest = 1;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return {widest, std::max(1, int(lines.size() - 1) * metrics.lineSpacing() + metrics.height())};
}

void drawText(MonoBitmap& target, const TextItem& item, const FontMemory& font) {
    const QSize size = textSize(item);
    if (size.isEmpty())
        return;
    const bool opaque = item.opaque || item.inverted;
    if (item.moduleFont()) {
        const QStringList lines = linesOf(item.text);
        for (int i = 0; i < lines.size(); ++i) {
            int x = item.pos.x();
            for (std::uint16_t code : moduleCharacters(lines[i])) {
                if (x >= target.width())
                    break;
                drawModuleGlyph(target, x, item.pos.y() + i * ModuleCell, code, font, opaque, item.inverted);
                x += ModuleCell;
            }
        }
        return;
    }
    const QRect box(item.pos, size);
    if (opaque)
        fillBox(target, box, item.inverted);
    const QRect visible = box.intersected(QRect(0, 0, target.width(), target.height()));
    if (visible.isEmpty())
        return;
    const QImage mask = systemTextMask(item, visible);
    for (int y = 0; y < mask.height(); ++y) {
        const uchar* line = mask.constScanLine(y);
        for (int x = 0; x < mask.width(); ++x) {
            if (line[x] < 128)
                target.setPixel(visible.x() + x, visible.y() + y, !item.inverted);
        }
    }
}

FontMemory loadModuleFont(const QString& dataDir, InputError* error) {
    FontImage image = loadFontImage(dataDir);
    if (!image.ok) {
        if (error)
            *error = image.error;
        return {};
    }
    return image.image.left(module::FontMemorySize);
}

} // namespace panelix::compose

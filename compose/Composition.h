#pragma once

#include "bitmap/MonoBitmap.h"

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

namespace panelix::compose {

// The module places pictures and characters at byte columns of 8 dots.
inline constexpr int ColumnDots = 8;
// The sizes a 1-bit BMP of the bitmap list may have.
inline constexpr int MaxWidth = 640;
inline constexpr int MaxHeight = 481;
inline constexpr QSize DefaultSize{320, 240};
// The module's own font: 16 x 16 cells, one per character, ASCII included.
inline constexpr int ModuleCell = 16;

// A picture, drawn opaque: its light dots cover what lies below as its dark ones do.
struct PictureItem {
    QPoint pos;
    MonoBitmap bitmap;
    QString source; // the file it was imported from, for the user's information
    friend bool operator==(const PictureItem&, const PictureItem&) = default;
};

// Text, one line per '\n'. An empty family is the module's own font (hzk16 of the
// data directory), drawn exactly as the show-characters command draws it: one 16-dot
// cell per character, background included when opaque. Any other family is an
// installed font rendered without antialiasing at pixelSize and cut at mid-grey.
// Inverted text is light on a dark box and always opaque.
struct TextItem {
    QPoint pos;
    QString text;
    QString family;
    int pixelSize = ModuleCell;
    bool bold = false;
    bool opaque = true;
    bool inverted = false;
    bool moduleFont() const { return family.isEmpty(); }
    friend bool operator==(const TextItem&, const TextItem&) = default;
};

// A straight line between two dots with a square pen thickness dots wide.
struct LineItem {
    QPoint from;
    QPoint to;
    int thickness = 1;
    bool dark = true;
    friend bool operator==(const LineItem&, const LineItem&) = default;
};

// A rectangle as the module's draw-rectangle command makes it: a frame border dots
// thick along the inside, filled when border is 0 or so thick that the frame meets
// itself (2 x border >= width or height). Light instead of dark when !dark.
struct RectItem {
    QRect rect;
    int border = 1;
    bool dark = true;
    friend bool operator==(const RectItem&, const RectItem&) = default;
};

// Every dot below the area changes: dark becomes light and light dark.
struct InvertItem {
    QRect rect;
    friend bool operator==(const InvertItem&, const InvertItem&) = default;
};

using Item = std::variant<PictureItem, TextItem, LineItem, RectItem, InvertItem>;

// The point an item is placed by (top left; a line's start), the one snapping moves to
// a byte column.
QPoint anchorOf(const Item& item);
// The item moved by delta, every point of it alike.
void translate(Item& item, QPoint delta);
// The nearest multiple of ColumnDots.
int snapToColumn(int x);

// The font memory the module's font text is drawn from: the first FontMemorySize
// bytes of an hzk16 file. Glyphs beyond it, or all of them when it is empty, are blank.
using FontMemory = QByteArray;

// A screen as the user composes it: a picture of width x height dots and the items
// drawn on it in order, later ones over earlier ones. A value type: the editor keeps
// copies of it for undo.
class Composition {
public:
    explicit Composition(QSize size = DefaultSize);

    QSize size() const { return size_; }
    // Clamped to 1..MaxWidth x 1..MaxHeight.
    void setSize(QSize size);
    const std::vector<Item>& items() const { return items_; }
    int count() const { return int(items_.size()); }
    const Item* item(int index) const;

    // Returns the new item's index (on top of all others).
    int add(Item item);
    // Out-of-range indices change nothing.
    void replace(int index, Item item);
    void remove(int index);
    // Moves the item by delta; with snap its anchor then lands on the nearest byte column.
    void move(int index, QPoint delta, bool snap);
    // To the top (drawn last) or the bottom (drawn first); returns the new index.
    int raise(int index);
    int lower(int index);

    // The dots an item covers (text measured in its font); empty for an empty item.
    QRect bounds(int index) const;
    // The topmost item whose bounds hold the dot, or -1.
    int itemAt(QPoint dot) const;

    // The picture of the composition: light, then every item in order. Parts of items
    // beyond the edges are cut off; the unused bits of a width that is no multiple of
    // 8 stay light.
    MonoBitmap render(const FontMemory& font) const;

    // The project file: small JSON, pictures as base64 of their packed rows.
    QByteArray toJson() const;
    // A composition from project bytes, or nothing with the reason in *error (English,
    // for logs; the window names the file instead).
    static std::optional<Composition> fromJson(const QByteArray& json, QString* error = nullptr);

    friend bool operator==(const Composition&, const Composition&) = default;

private:
    QSize size_;
    std::vector<Item> items_;
};

// Bounds of one item, whatever composition holds it.
QRect itemBounds(const Item& item);
// Draws one item onto a picture.
void drawItem(MonoBitmap& target, const Item& item, const FontMemory& font);

} // namespace panelix::compose

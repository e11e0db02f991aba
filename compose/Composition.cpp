#include "compose/Composition.h"

#include "compose/TextRender.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cstdlib>

namespace panelix::compose {

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

// Coordinates a project may hold: far enough off the canvas for any item a user
// drags there, small enough that no sum of them overflows.
constexpr int CoordinateLimit = 100000;
constexpr int MaxItems = 10000;
constexpr int MaxThickness = 255;
constexpr int MinPixelSize = 4;
constexpr int MaxPixelSize = 480;
constexpr int MaxTextLength = 10000;

const QLatin1String FormatName("panelix-composition");
constexpr int FormatVersion = 1;

void setDot(MonoBitmap& target, int x, int y, bool dark) {
    target.setPixel(x, y, dark);
}

void fillRect(MonoBitmap& target, QRect rect, bool dark) {
    const QRect clip = rect.intersected(QRect(0, 0, target.width(), target.height()));
    for (int y = clip.top(); y <= clip.bottom(); ++y)
        for (int x = clip.left(); x <= clip.right(); ++x)
            setDot(target, x, y, dark);
}

void drawPicture(MonoBitmap& target, const PictureItem& p) {
    const QRect clip = QRect(p.pos, QSize(p.bitmap.width(), p.bitmap.height()))
                           .intersected(QRect(0, 0, target.width(), target.height()));
    for (int y = clip.top(); y <= clip.bottom(); ++y)
        for (int x = clip.left(); x <= clip.right(); ++x)
            setDot(target, x, y, p.bitmap.pixel(x - p.pos.x(), y - p.pos.y()));
}

// Bresenham's line; every dot of it stamps a square pen, centred on it.
void drawLine(MonoBitmap& target, const LineItem& l) {
    const int t = std::max(l.thickness, 1);
    const int back = (t - 1) / 2;
    int x = l.from.x();
    int y = l.from.y();
    const int dx = std::abs(l.to.x() - x);
    const int dy = -std::abs(l.to.y() - y);
    const int sx = x < l.to.x() ? 1 : -1;
    const int sy = y < l.to.y() ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        fillRect(target, QRect(x - back, y - back, t, t), l.dark);
        if (x == l.to.x() && y == l.to.y())
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

// The rule of the module's draw-rectangle command, in dots.
void drawRect(MonoBitmap& target, const RectItem& r) {
    const QRect box = r.rect.normalized();
    const int w = box.width();
    const int h = box.height();
    const int b = r.border;
    if (w <= 0 || h <= 0)
        return;
    if (b <= 0 || 2 * b >= w || 2 * b >= h) {
        fillRect(target, box, r.dark);
        return;
    }
    fillRect(target, QRect(box.x(), box.y(), w, b), r.dark);
    fillRect(target, QRect(box.x(), box.y() + h - b, w, b), r.dark);
    fillRect(target, QRect(box.x(), box.y() + b, b, h - 2 * b), r.dark);
    fillRect(target, QRect(box.x() + w - b, box.y() + b, b, h - 2 * b), r.dark);
}

void invertRect(MonoBitmap& target, QRect rect) {
    const QRect clip = rect.normalized().intersected(QRect(0, 0, target.width(), target.height()));
    for (int y = clip.top(); y <= clip.bottom(); ++y)
        for (int x = clip.left(); x <= clip.right(); ++x)
            setDot(target, x, y, !target.pixel(x, y));
}

// --- JSON

QJsonObject pointObject(QJsonObject o, const char* xKey, const char* yKey, QPoint p) {
    o.insert(QLatin1String(xKey), p.x());
    o.insert(QLatin1String(yKey), p.y());
    return o;
}

QJsonObject rectObject(QJsonObject o, QRect r) {
    o = pointObject(o, "x", "y", r.topLeft());
    o.insert(QStringLiteral("width"), r.width());
    o.insert(QStringLiteral("height"), r.height());
    return o;
}

QJsonObject itemObject(const Item& item) {
    return std::visit(
        Overloaded{
            [](const PictureItem& p) {
                QJsonObject o{{QStringLiteral("type"), QStringLiteral("picture")}};
                o = pointObject(o, "x", "y", p.pos);
                o.insert(QStringLiteral("width"), p.bitmap.width());
                o.insert(QStringLiteral("height"), p.bitmap.height());
                o.insert(QStringLiteral("rows"), QString::fromLatin1(p.bitmap.bytes().toBase64()));
                o.insert(QStringLiteral("source"), p.source);
                return o;
            },
            [](const TextItem& t) {
                QJsonObject o{{QStringLiteral("type"), QStringLiteral("text")}};
                o = pointObject(o, "x", "y", t.pos);
                o.insert(QStringLiteral("text"), t.text);
                o.insert(QStringLiteral("font"), t.moduleFont() ? QStringLiteral("hzk16") : t.family);
                o.insert(QStringLiteral("pixelSize"), t.pixelSize);
                o.insert(QStringLiteral("bold"), t.bold);
                o.insert(QStringLiteral("opaque"), t.opaque);
                o.insert(QStringLiteral("inverted"), t.inverted);
                return o;
            },
            [](const LineItem& l) {
                QJsonObject o{{QStringLiteral("type"), QStringLiteral("line")}};
                o = pointObject(o, "x1", "y1", l.from);
                o = pointObject(o, "x2", "y2", l.to);
                o.insert(QStringLiteral("thickness"), l.thickness);
                o.insert(QStringLiteral("dark"), l.dark);
                return o;
            },
            [](const RectItem& r) {
                QJsonObject o = rectObject({{QStringLiteral("type"), QStringLiteral("rect")}}, r.rect);
                o.insert(QStringLiteral("border"), r.border);
                o.insert(QStringLiteral("dark"), r.dark);
                return o;
            },
            [](const InvertItem& v) {
                return rectObject({{QStringLiteral("type"), QStringLiteral("invert")}}, v.rect);
            },
        },
        item);
}

// Reads the fields of one item; every number must be an integer in its range.
class ItemReader {
public:
    explicit ItemReader(const QJsonObject& o) : o_(o) {}

    int integer(const char* key, int low, int high) {
        const QJsonValue v = o_.value(QLatin1String(key));
        const double d = v.toDouble(double(low) - 1);
        if (!v.isDouble() || d < low || d > high || d != double(int(d))) {
            fail(QStringLiteral("%1 is missing or out of range").arg(QLatin1String(key)));
            return low;
        }
        return int(d);
    }
    int coordinate(const char* key) { return integer(key, -CoordinateLimit, CoordinateLimit); }
    bool flag(const char* key, bool fallback) {
        const QJsonValue v = o_.value(QLatin1String(key));
        if (v.isUndefined())
            return fallback;
        if (!v.isBool())
            fail(QStringLiteral("%1 is not true or false").arg(QLatin1String(key)));
        return v.toBool();
    }
    QString text(const char* key, int maxLength) {
        const QJsonValue v = o_.value(QLatin1String(key));
        if (v.isUndefined())
            return {};
        if (!v.isString() || v.toString().size() > maxLength)
            fail(QStringLiteral("%1 is not a text of at most %2 characters").arg(QLatin1String(key)).arg(maxLength));
        return v.toString();
    }
    QRect rect() {
        const int x = coordinate("x");
        const int y = coordinate("y");
        return QRect(x, y, integer("width", 0, CoordinateLimit), integer("height", 0, CoordinateLimit));
    }
    void fail(const QString& why) {
        if (error_.isEmpty())
            error_ = why;
    }
    const QString& error() const { return error_; }

private:
    const QJsonObject& o_;
    QString error_;
};

std::optional<Item> readItem(const QJsonObject& o, QString* error) {
    ItemReader r(o);
    const QString type = o.value(QStringLiteral("type")).toString();
    std::optional<Item> item;
    if (type == QLatin1String("picture")) {
        PictureItem p;
        p.pos = QPoint(r.coordinate("x"), r.coordinate("y"));
        const int w = r.integer("width", 1, MaxWidth);
        const int h = r.integer("height", 1, MaxHeight);
        const QByteArray rows = QByteArray::fromBase64(o.value(QStringLiteral("rows")).toString().toLatin1());
        if (rows.size() != qsizetype((w + 7) / 8) * h)
            r.fail(QStringLiteral("picture rows do not match its size"));
        p.bitmap = MonoBitmap(w, h, rows);
        p.source = r.text("source", 4096);
        item = p;
    } else if (type == QLatin1String("text")) {
        TextItem t;
        t.pos = QPoint(r.coordinate("x"), r.coordinate("y"));
        t.text = r.text("text", MaxTextLength);
        const QString font = r.text("font", 256);
        t.family = font == QLatin1String("hzk16") ? QString() : font;
        if (font.isEmpty())
            r.fail(QStringLiteral("text without a font"));
        t.pixelSize = t.moduleFont() ? ModuleCell : r.integer("pixelSize", MinPixelSize, MaxPixelSize);
        t.bold = r.flag("bold", false);
        t.opaque = r.flag("opaque", t.moduleFont());
        t.inverted = r.flag("inverted", false);
        item = t;
    } else if (type == QLatin1String("line")) {
        LineItem l;
        l.from = QPoint(r.coordinate("x1"), r.coordinate("y1"));
        l.to = QPoint(r.coordinate("x2"), r.coordinate("y2"));
        l.thickness = r.integer("thickness", 1, MaxThickness);
        l.dark = r.flag("dark", true);
        item = l;
    } else if (type == QLatin1String("rect")) {
        RectItem v;
        v.rect = r.rect();
        v.border = r.integer("border", 0, MaxThickness);
        v.dark = r.flag("dark", true);
        item = v;
    } else if (type == QLatin1String("invert")) {
        item = InvertItem{r.rect()};
    } else {
        r.fail(QStringLiteral("unknown item type \"%1\"").arg(type));
    }
    if (!r.error().isEmpty()) {
        *error = r.error();
        return std::nullopt;
    }
    return item;
}

} // namespace

QPoint anchorOf(const Item& item) {
    return std::visit(Overloaded{
                          [](const PictureItem& p) { return p.pos; },
                          [](const TextItem& t) { return t.pos; },
                          [](const LineItem& l) { return l.from; },
                          [](const RectItem& r) { return r.rect.topLeft(); },
                          [](const InvertItem& v) { return v.rect.topLeft(); },
                      },
                      item);
}

void translate(Item& item, QPoint delta) {
    std::visit(Overloaded{
                   [&](PictureItem& p) { p.pos += delta; },
                   [&](TextItem& t) { t.pos += delta; },
                   [&](LineItem& l) {
                       l.from += delta;
                       l.to += delta;
                   },
                   [&](RectItem& r) { r.rect.translate(delta); },
                   [&](InvertItem& v) { v.rect.translate(delta); },
               },
               item);
}

int snapToColumn(int x) {
    // Floor division, so that -3 goes to 0 and -5 to -8 as 3 and 5 go to 0 and 8.
    const int shifted = x + ColumnDots / 2;
    const int q = shifted >= 0 ? shifted / ColumnDots : -((-shifted + ColumnDots - 1) / ColumnDots);
    return q * ColumnDots;
}

QRect itemBounds(const Item& item) {
    return std::visit(Overloaded{
                          [](const PictureItem& p) {
                              return QRect(p.pos, QSize(p.bitmap.width(), p.bitmap.height()));
                          },
                          [](const TextItem& t) { return QRect(t.pos, textSize(t)); },
                          [](const LineItem& l) {
                              const int t = std::max(l.thickness, 1);
                              const int back = (t - 1) / 2;
                              return QRect(l.from, l.to).normalized().adjusted(-back, -back, t - 1 - back,
                                                                               t - 1 - back);
                          },
                          [](const RectItem& r) { return r.rect.normalized(); },
                          [](const InvertItem& v) { return v.rect.normalized(); },
                      },
                      item);
}

void drawItem(MonoBitmap& target, const Item& item, const FontMemory& font) {
    std::visit(Overloaded{
                   [&](const PictureItem& p) { drawPicture(target, p); },
                   [&](const TextItem& t) { drawText(target, t, font); },
                   [&](const LineItem& l) { drawLine(target, l); },
                   [&](const RectItem& r) { drawRect(target, r); },
                   [&](const InvertItem& v) { invertRect(target, v.rect); },
               },
               item);
}

Composition::Composition(QSize size) {
    setSize(size);
}

void Composition::setSize(QSize size) {
    size_ = QSize(std::clamp(size.width(), 1, MaxWidth), std::clamp(size.height(), 1, MaxHeight));
}

const Item* Composition::item(int index) const {
    return index >= 0 && index < count() ? &items_[std::size_t(index)] : nullptr;
}

int Composition::add(Item item) {
    items_.push_back(std::move(item));
    return count() - 1;
}

void Composition::replace(int index, Item item) {
    if (index >= 0 && index < count())
        items_[std::size_t(index)] = std::move(item);
}

void Composition::remove(int index) {
    if (index >= 0 && index < count())
        items_.erase(items_.begin() + index);
}

void Composition::move(int index, QPoint delta, bool snap) {
    if (index < 0 || index >= count())
        return;
    Item& it = items_[std::size_t(index)];
    translate(it, delta);
    if (snap) {
        const QPoint anchor = anchorOf(it);
        translate(it, QPoint(snapToColumn(anchor.x()) - anchor.x(), 0));
    }
}

int Composition::raise(int index) {
    if (index < 0 || index >= count())
        return index;
    Item it = std::move(items_[std::size_t(index)]);
    items_.erase(items_.begin() + index);
    items_.push_back(std::move(it));
    return count() - 1;
}

int Composition::lower(int index) {
    if (index < 0 || index >= count())
        return index;
    Item it = std::move(items_[std::size_t(index)]);
    items_.erase(items_.begin() + index);
    items_.insert(items_.begin(), std::move(it));
    return 0;
}

QRect Composition::bounds(int index) const {
    const Item* it = item(index);
    return it ? itemBounds(*it) : QRect();
}

int Composition::itemAt(QPoint dot) const {
    for (int i = count() - 1; i >= 0; --i) {
        if (bounds(i).contains(dot))
            return i;
    }
    return -1;
}

MonoBitmap Composition::render(const FontMemory& font) const {
    MonoBitmap out(size_.width(), size_.height());
    for (const Item& it : items_)
        drawItem(out, it, font);
    return out;
}

QByteArray Composition::toJson() const {
    QJsonArray items;
    for (const Item& it : items_)
        items.append(itemObject(it));
    const QJsonObject root{
        {QStringLiteral("format"), FormatName},
        {QStringLiteral("version"), FormatVersion},
        {QStringLiteral("width"), size_.width()},
        {QStringLiteral("height"), size_.height()},
        {QStringLiteral("items"), items},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<Composition> Composition::fromJson(const QByteArray& json, QString* error) {
    QString why;
    auto refuse = [&](const QString& text) -> std::optional<Composition> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError)
        return refuse(parse.errorString());
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value(QStringLiteral("format")).toString() != FormatName)
        return refuse(QStringLiteral("not a composition"));
    if (root.value(QStringLiteral("version")).toInt(-1) != FormatVersion)
        return refuse(QStringLiteral("unknown version"));
    ItemReader r(root);
    Composition c(QSize(r.integer("width", 1, MaxWidth), r.integer("height", 1, MaxHeight)));
    if (!r.error().isEmpty())
        return refuse(r.error());
    const QJsonValue itemsValue = root.value(QStringLiteral("items"));
    if (!itemsValue.isArray() || itemsValue.toArray().size() > MaxItems)
        return refuse(QStringLiteral("items missing or more than %1").arg(MaxItems));
    const QJsonArray items = itemsValue.toArray();
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!items[i].isObject())
            return refuse(QStringLiteral("item %1 is no object").arg(i + 1));
        std::optional<Item> item = readItem(items[i].toObject(), &why);
        if (!item)
            return refuse(QStringLiteral("item %1: %2").arg(i + 1).arg(why));
        c.add(std::move(*item));
    }
    return c;
}

} // namespace panelix::compose

#include "shell/editor/ComposerCanvas.h"

#include "shell/editor/LcdLook.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace panelix {

using namespace compose;

namespace {

// The byte column a dot lies in, for dots left of 0 too.
int columnOf(int x) {
    return x >= 0 ? x / ColumnDots : -((-x + ColumnDots - 1) / ColumnDots);
}

} // namespace

ComposerCanvas::ComposerCanvas(ComposerDocument& document, QWidget* parent)
    : QWidget(parent), document_(document) {
    setObjectName(QStringLiteral("ComposerCanvas"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&document_, &ComposerDocument::changed, this, &ComposerCanvas::documentChanged);
    documentChanged();
}

QSize ComposerCanvas::sizeHint() const {
    return document_.composition().size() * zoom_;
}

void ComposerCanvas::setZoom(int zoom) {
    zoom_ = std::clamp(zoom, 1, MaxZoom);
    setFixedSize(sizeHint());
    update();
}

void ComposerCanvas::setGridVisible(bool visible) {
    grid_ = visible;
    update();
}

void ComposerCanvas::setTool(Tool tool) {
    tool_ = tool;
    setCursor(tool == Tool::Select ? Qt::ArrowCursor : Qt::CrossCursor);
}

void ComposerCanvas::setSelected(int index) {
    if (index < -1 || index >= document_.composition().count())
        index = -1;
    if (index == selected_)
        return;
    selected_ = index;
    update();
    emit selectionChanged(index);
}

QPoint ComposerCanvas::dotAt(QPoint position) const {
    auto dot = [this](int v) { return v >= 0 ? v / zoom_ : -((-v + zoom_ - 1) / zoom_); };
    return {dot(position.x()), dot(position.y())};
}

QPoint ComposerCanvas::placeForNewItem() const {
    if (!clickedDot_)
        return {0, 0};
    const QSize size = document_.composition().size();
    QPoint at(std::clamp(clickedDot_->x(), 0, std::max(0, size.width() - 1)),
              std::clamp(clickedDot_->y(), 0, std::max(0, size.height() - 1)));
    if (snap_)
        at.setX(columnOf(at.x()) * ColumnDots);
    return at;
}

void ComposerCanvas::documentChanged() {
    // An undo may take away the item that was selected.
    if (selected_ >= document_.composition().count())
        setSelected(-1);
    setFixedSize(sizeHint());
    update();
}

void ComposerCanvas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Composition& shown = preview_ ? *preview_ : document_.composition();
    const QImage image = lcdImage(preview_ ? preview_->render(document_.font()) : document_.rendered());
    const QSize size = shown.size();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.fillRect(rect(), palette().color(QPalette::Dark));
    p.drawImage(QRect(QPoint(0, 0), size * zoom_), image);

    if (grid_) {
        QColor column = lcdDarkColour();
        column.setAlpha(zoom_ >= 3 ? 90 : 45);
        QColor row = column;
        row.setAlpha(column.alpha() / 2);
        p.setPen(QPen(row, 0));
        for (int y = ColumnDots; y < size.height(); y += ColumnDots)
            p.drawLine(0, y * zoom_, size.width() * zoom_, y * zoom_);
        p.setPen(QPen(column, 0));
        for (int x = ColumnDots; x < size.width(); x += ColumnDots)
            p.drawLine(x * zoom_, 0, x * zoom_, size.height() * zoom_);
    }

    const QRect box = shown.bounds(selected_);
    if (!box.isEmpty()) {
        const QRect outline(box.topLeft() * zoom_, box.size() * zoom_);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0xD0, 0x20, 0x20), 1, Qt::DashLine));
        p.drawRect(outline.adjusted(0, 0, -1, -1));
    }
}

QRect ComposerCanvas::areaBetween(QPoint a, QPoint b) const {
    const int top = std::min(a.y(), b.y());
    const int bottom = std::max(a.y(), b.y());
    int left = std::min(a.x(), b.x());
    int right = std::max(a.x(), b.x()) + 1; // one past the last dot
    if (snap_) {
        // Whole byte columns: every column the drag touched.
        left = columnOf(left) * ColumnDots;
        right = (columnOf(right - 1) + 1) * ColumnDots;
    }
    return QRect(left, top, right - left, bottom - top + 1);
}

Composition ComposerCanvas::gestureResult(QPoint dot) const {
    Composition next = before_;
    switch (tool_) {
    case Tool::Select:
        // A click that does not drag leaves the item where it is, on a column or not.
        if (dot != pressDot_)
            next.move(selected_, dot - pressDot_, snap_);
        break;
    case Tool::Line:
        next.add(LineItem{pressDot_, dot, std::max(pen_, 1), true});
        break;
    case Tool::Rect:
        next.add(RectItem{areaBetween(pressDot_, dot), pen_, true});
        break;
    case Tool::Invert:
        next.add(InvertItem{areaBetween(pressDot_, dot)});
        break;
    }
    return next;
}

void ComposerCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    setFocus();
    pressDot_ = dotAt(event->position().toPoint());
    clickedDot_ = pressDot_;
    before_ = document_.composition();
    if (tool_ == Tool::Select) {
        setSelected(before_.itemAt(pressDot_));
        dragging_ = selected_ >= 0;
    } else {
        dragging_ = true;
        preview_ = gestureResult(pressDot_);
        update();
    }
}

void ComposerCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint dot = dotAt(event->position().toPoint());
    const QSize size = document_.composition().size();
    emit cursorMoved(dot, QRect(QPoint(0, 0), size).contains(dot));
    if (!dragging_)
        return;
    preview_ = gestureResult(dot);
    update();
}

void ComposerCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_)
        return;
    dragging_ = false;
    const Composition next = gestureResult(dotAt(event->position().toPoint()));
    preview_.reset();
    static const char* const names[] = {QT_TRANSLATE_NOOP("panelix::ComposerCanvas", "移动"),
                                        QT_TRANSLATE_NOOP("panelix::ComposerCanvas", "直线"),
                                        QT_TRANSLATE_NOOP("panelix::ComposerCanvas", "矩形"),
                                        QT_TRANSLATE_NOOP("panelix::ComposerCanvas", "反色区域")};
    document_.apply(next, tr(names[int(tool_)]));
    if (tool_ != Tool::Select) {
        setSelected(document_.composition().count() - 1);
        emit toolFinished();
    }
    update();
}

void ComposerCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
    if (tool_ != Tool::Select || event->button() != Qt::LeftButton)
        return;
    const int index = document_.composition().itemAt(dotAt(event->position().toPoint()));
    if (index >= 0)
        emit editRequested(index);
}

void ComposerCanvas::keyPressEvent(QKeyEvent* event) {
    if (selected_ < 0 || dragging_) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Arrows move by a dot, or by a byte column sideways while snapping.
    const int step = snap_ ? ColumnDots : 1;
    QPoint delta;
    switch (event->key()) {
    case Qt::Key_Left:
        delta = QPoint(-step, 0);
        break;
    case Qt::Key_Right:
        delta = QPoint(step, 0);
        break;
    case Qt::Key_Up:
        delta = QPoint(0, -1);
        break;
    case Qt::Key_Down:
        delta = QPoint(0, 1);
        break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace: {
        Composition next = document_.composition();
        next.remove(selected_);
        setSelected(-1);
        document_.apply(next, tr("删除"));
        return;
    }
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    Composition next = document_.composition();
    next.move(selected_, delta, snap_);
    document_.apply(next, tr("移动"));
}

void ComposerCanvas::leaveEvent(QEvent* event) {
    emit cursorMoved(QPoint(), false);
    QWidget::leaveEvent(event);
}

} // namespace panelix

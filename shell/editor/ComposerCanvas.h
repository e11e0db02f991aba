#pragma once

#include "compose/ComposerDocument.h"

#include <QPoint>
#include <QWidget>

#include <optional>

namespace panelix {

// The composition drawn in the panel's colours, zoom dots to a dot, with a grid of
// byte columns. Items are picked, dragged (their anchor snapped to byte columns when
// snapping is on) and drawn here; every finished gesture is one change of the document.
class ComposerCanvas : public QWidget {
    Q_OBJECT
public:
    enum class Tool { Select, Line, Rect, Invert };
    static constexpr int MaxZoom = 8;

    explicit ComposerCanvas(compose::ComposerDocument& document, QWidget* parent = nullptr);

    int zoom() const { return zoom_; }
    void setZoom(int zoom);
    void setGridVisible(bool visible);
    void setSnap(bool snap) { snap_ = snap; }
    bool snap() const { return snap_; }
    // Line thickness and rectangle border of new items (0: filled rectangle).
    void setPen(int pen) { pen_ = pen; }
    void setTool(Tool tool);
    Tool tool() const { return tool_; }

    int selected() const { return selected_; }
    void setSelected(int index);
    // The dot under a point of the widget (may lie outside the composition).
    QPoint dotAt(QPoint position) const;
    // Where a new item goes: the dot clicked last, inside the composition, at the left
    // of its byte column while snapping; the top left corner before any click.
    QPoint placeForNewItem() const;

    QSize sizeHint() const override;

signals:
    void cursorMoved(QPoint dot, bool inside);
    void selectionChanged(int index);
    void editRequested(int index);
    // A drawing tool has made its item; the window goes back to selecting.
    void toolFinished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void documentChanged();
    compose::Composition gestureResult(QPoint dot) const;
    QRect areaBetween(QPoint a, QPoint b) const;

    compose::ComposerDocument& document_;
    int zoom_ = 2;
    bool grid_ = true;
    bool snap_ = true;
    int pen_ = 1;
    Tool tool_ = Tool::Select;
    int selected_ = -1;

    // The gesture under way: where it started and what the document held then.
    bool dragging_ = false;
    QPoint pressDot_;
    std::optional<QPoint> clickedDot_;
    compose::Composition before_;
    std::optional<compose::Composition> preview_;
};

} // namespace panelix

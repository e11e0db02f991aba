#include "shell/help/SharpPicture.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>

namespace panelix {

namespace {

class SharpPainter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* label = qobject_cast<QLabel*>(watched);
        if (!label || event->type() != QEvent::Paint || label->pixmap().isNull())
            return QObject::eventFilter(watched, event);
        QPainter p(label);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawPixmap(label->contentsRect(), label->pixmap());
        return true;
    }
};

} // namespace

void drawDotsSharp(QLabel* label) {
    label->installEventFilter(new SharpPainter(label));
}

} // namespace panelix

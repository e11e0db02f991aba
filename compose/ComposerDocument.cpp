#include "compose/ComposerDocument.h"

#include <QUndoCommand>

namespace panelix::compose {

class SnapshotCommand : public QUndoCommand {
public:
    SnapshotCommand(ComposerDocument* document, Composition before, Composition after, const QString& text)
        : QUndoCommand(text), document_(document), before_(std::move(before)), after_(std::move(after)) {}

    void undo() override { document_->set(before_); }
    void redo() override { document_->set(after_); }

private:
    ComposerDocument* document_;
    Composition before_;
    Composition after_;
};

ComposerDocument::ComposerDocument(QObject* parent) : QObject(parent) {}

void ComposerDocument::apply(const Composition& next, const QString& text) {
    if (next == composition_)
        return;
    undo_.push(new SnapshotCommand(this, composition_, next, text));
}

void ComposerDocument::reset(const Composition& composition) {
    undo_.clear();
    set(composition);
}

void ComposerDocument::setFont(const FontMemory& font) {
    font_ = font;
    rendered_.reset();
    emit changed();
}

const MonoBitmap& ComposerDocument::rendered() const {
    if (!rendered_)
        rendered_ = composition_.render(font_);
    return *rendered_;
}

void ComposerDocument::set(const Composition& composition) {
    composition_ = composition;
    rendered_.reset();
    emit changed();
}

} // namespace panelix::compose

#include "shell/editor/ComposerDocument.h"

#include <QUndoCommand>

namespace panelix::compose {

class SnapshotCommand : public QUndoCommand {
public:
    SnapshotCommand(ComposerDocument* document, Composition before, Composition after, const QString& text)
        : QUndoCommand(text), m_document(document), m_before(std::move(before)), m_after(std::move(after)) {}

    void undo() override { m_document->set(m_before); }
    void redo() override { m_document->set(m_after); }

private:
    ComposerDocument* m_document;
    Composition m_before;
    Composition m_after;
};

ComposerDocument::ComposerDocument(QObject* parent) : QObject(parent) {}

void ComposerDocument::apply(const Composition& next, const QString& text) {
    if (next == m_composition)
        return;
    m_undo.push(new SnapshotCommand(this, m_composition, next, text));
}

void ComposerDocument::reset(const Composition& composition) {
    m_undo.clear();
    set(composition);
}

void ComposerDocument::setFont(const FontMemory& font) {
    m_font = font;
    m_rendered.reset();
    emit changed();
}

const MonoBitmap& ComposerDocument::rendered() const {
    if (!m_rendered)
        m_rendered = m_composition.render(m_font);
    return *m_rendered;
}

void ComposerDocument::set(const Composition& composition) {
    m_composition = composition;
    m_rendered.reset();
    emit changed();
}

} // namespace panelix::compose

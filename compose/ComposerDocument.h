#pragma once

#include "compose/Composition.h"

#include <QObject>
#include <QUndoStack>

#include <optional>

namespace panelix::compose {

// The composition being edited, its undo history and the module font it is drawn
// with. Every change is one undo step holding the compositions before and after it;
// the pictures in them share their bytes, so a step costs little.
class ComposerDocument : public QObject {
    Q_OBJECT
public:
    explicit ComposerDocument(QObject* parent = nullptr);

    const Composition& composition() const { return composition_; }
    QUndoStack& undoStack() { return undo_; }

    // Makes next the composition as one undo step named text; nothing when unchanged.
    void apply(const Composition& next, const QString& text);
    // A new or opened composition: the history starts afresh.
    void reset(const Composition& composition);

    void setFont(const FontMemory& font);
    const FontMemory& font() const { return font_; }

    // composition().render(font()), kept until the next change.
    const MonoBitmap& rendered() const;

signals:
    void changed();

private:
    friend class SnapshotCommand;
    void set(const Composition& composition);

    Composition composition_;
    FontMemory font_;
    QUndoStack undo_;
    mutable std::optional<MonoBitmap> rendered_;
};

} // namespace panelix::compose

#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QAbstractItemView;
class QMimeData;
class QWidget;

namespace panelix {

class ModuleSession;

// Lets picture files be dropped on a list view. Only local files that Qt can read as
// pictures count; a drag that carries none of them is not accepted.
class PictureDropTarget : public QObject {
    Q_OBJECT
public:
    explicit PictureDropTarget(QAbstractItemView* view);

    static QStringList picturePaths(const QMimeData* data);

signals:
    void dropped(const QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Dropped pictures into the bitmap list. A 1-bit BMP is listed as it is, as Add lists
// a file; every other picture goes through the import dialog (window-modal over
// parent, which owns it), is written to the data directory as a 1-bit BMP under the
// source's name and listed; an animated GIF gives a BMP a frame (name.bmp, name-2.bmp,
// ...). status gets every text meant for the status line, listed each BMP written and
// listed, with its source, its frame's delay (-1: a still picture) and loop count.
using ListedFrame = std::function<void(const QString& source, const QString& bmp, int delayMs, int loopCount)>;
void importIntoList(ModuleSession& session, const QStringList& paths, QWidget* parent,
                    const std::function<void(const QString&)>& status, const ListedFrame& listed = {});

} // namespace panelix

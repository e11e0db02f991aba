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
// source's name and listed. status gets every text meant for the status line.
void importIntoList(ModuleSession& session, const QStringList& paths, QWidget* parent,
                    const std::function<void(const QString&)>& status);

} // namespace panelix

#include "shell/editor/PictureDrop.h"
#include "shell/StatusTexts.h"

#include "common/Gbk.h"
#include "import/PictureImport.h"
#include "session/ModuleSession.h"
#include "compose/BitmapStore.h"
#include "shell/editor/ImportDialog.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>
#include <QUrl>

namespace panelix {

PictureDropTarget::PictureDropTarget(QAbstractItemView* view) : QObject(view) {
    view->setAcceptDrops(true);
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(this);
}

QStringList PictureDropTarget::picturePaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        if (info.isFile() && formats.contains(info.suffix().toLower().toLatin1()))
            paths.append(path);
    }
    return paths;
}

bool PictureDropTarget::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (picturePaths(drag->mimeData()).isEmpty())
            drag->ignore();
        else
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList paths = picturePaths(drop->mimeData());
        if (paths.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        emit dropped(paths);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

void importIntoList(ModuleSession& session, const QStringList& paths, QWidget* parent,
                    const std::function<void(const QString&)>& status, const ListedFrame& listed) {
    QStringList pictures;
    for (const QString& path : paths) {
        if (!isMonoBmp(path)) {
            pictures.append(path);
            continue;
        }
        // Already what the module stores: listed where it is, as Add does.
        const QString absolute = QFileInfo(path).absoluteFilePath();
        InputError error;
        if (fromGbk(toGbk(absolute)) != absolute)
            status(texts::inputErrorText(inputError(InputReason::PathNotStorable, absolute)));
        else if (!session.bitmapList().add(absolute, &error) && error)
            status(texts::inputErrorText(error));
    }
    if (pictures.isEmpty())
        return;
    if (!session.dataDirUsable()) {
        status(texts::dataDirUnusable());
        return;
    }
    const QString dataDir = QFileInfo(session.dataDir()).absoluteFilePath();
    auto accept = [&session, dataDir, listed](const QString& source, const MonoBitmap& bitmap,
                                              const ImportDialog::Frame& frame) {
        const QString path = QDir(dataDir).filePath(bmpNameFor(source, dataDir));
        const InputError error = compose::storeInList(session.bitmapList(), path, bitmap).error;
        if (!error && listed)
            listed(source, path, frame.delayMs, frame.loopCount);
        return texts::inputErrorText(error);
    };
    auto* dialog = new ImportDialog(pictures, accept, parent);
    dialog->setAllFrames(true);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &ImportDialog::statusChanged, parent, status);
    dialog->open();
}

} // namespace panelix

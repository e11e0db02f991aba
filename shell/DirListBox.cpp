#include "shell/DirListBox.h"

#include "library/FileBrowser.h"

#include <QDir>
#include <QFileInfo>

namespace panelix {

namespace {
constexpr int PathRole = Qt::UserRole + 1;
}

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        if (item)
            setPath(item->data(PathRole).toString());
    });
}

bool DirListBox::setPath(const QString& requested) {
    const QFileInfo info(requested);
    if (requested.isEmpty() || !info.isDir() || !info.isReadable())
        return false;
    QDir dir(info.absoluteFilePath());
    if (!dir.exists() || !dir.isReadable())
        return false;
    const QString clean = QDir::cleanPath(dir.absolutePath());

    clear();
    QStringList chain;
    for (QDir up(clean);; ) {
        chain.prepend(QDir::cleanPath(up.absolutePath()));
        if (up.isRoot() || !up.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& p : chain) {
        const QString name = depth == 0 ? p : QFileInfo(p).fileName();
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + name, this);
        item->setData(PathRole, p);
        item->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
        ++depth;
    }
    setCurrentRow(int(chain.size()) - 1);
    for (const QString& sub : subdirectoriesIn(clean)) {
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + sub, this);
        item->setData(PathRole, QDir(clean).filePath(sub));
        item->setIcon(style()->standardIcon(QStyle::SP_DirClosedIcon));
    }
    path_ = clean;
    emit pathChanged(path_);
    return true;
}

} // namespace panelix

#pragma once

#include <QListWidget>

namespace panelix {

// The directory list `Dir1`: the ancestors of the current directory, the current
// directory itself, then its subdirectories, indented like a tree. Activating an
// entry (double click or Enter) makes it the current directory. The path has no
// trailing separator except at the root.
class DirListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // False when the directory cannot be listed; the box then stays where it was.
    bool setPath(const QString& path);

signals:
    void pathChanged(const QString& path); // the Change event

private:
    QString path_;
};

} // namespace panelix

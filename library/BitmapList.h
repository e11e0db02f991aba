#pragma once

#include "common/InputError.h"
#include "library/ListFile.h"

#include <QObject>
#include <QStringList>

namespace panelix {

// The bitmap list: the ordered BMP paths of the next download. An entry's position
// is its bitmap number on the module. At most one entry is selected (-1: none).
class BitmapList : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxEntries = ListFile::Slots;

    explicit BitmapList(QObject* parent = nullptr);

    const QStringList& entries() const { return entries_; }
    int count() const { return int(entries_.size()); }
    int selected() const { return selected_; }
    // The entry's text; empty for an index outside the list.
    QString entry(int index) const;

    // Appends a path as given, duplicates included; the selection stays. An empty
    // path (no file chosen) is ignored. Entry 252 is refused (ListFull), since the
    // list file cannot hold it.
    bool add(const QString& path, InputError* error);

    // Removes the selected entry and selects the one that took its place, or the
    // new last entry when the last one went. Nothing selected: nothing happens.
    void removeSelectedAndReselect();

    // Removes every entry; the selection becomes -1 without a click.
    void clear();

    // Replaces the entries (after a load); the selection becomes -1 without a click.
    // More than MaxEntries are cut to MaxEntries.
    void setEntries(const QStringList& entries);

    // Selecting by code counts as the user's click: emits clicked(index), also for
    // -1 and for the entry already selected. Indices outside -1..count()-1 are ignored.
    void select(int index);
    // Selects without a click (emits highlighted(index)): what shows the list follows, the
    // module is not asked to show the picture (one saved but not yet downloaded).
    void highlight(int index);

signals:
    void clicked(int index);
    void highlighted(int index);
    void changed();

private:
    QStringList entries_;
    int selected_ = -1;
};

} // namespace panelix

#include "library/BitmapList.h"


namespace panelix {

BitmapList::BitmapList(QObject* parent) : QObject(parent) {}

QString BitmapList::entry(int index) const {
    if (index < 0 || index >= count())
        return {};
    return entries_[index];
}

bool BitmapList::add(const QString& path, InputError* error) {
    if (path.isEmpty())
        return false;
    if (count() >= MaxEntries) {
        if (error)
            *error = inputError(InputReason::ListFull, path, -1, MaxEntries);
        return false;
    }
    entries_.append(path);
    emit changed();
    return true;
}

void BitmapList::removeSelectedAndReselect() {
    const int s = selected_;
    if (s < 0 || s >= count())
        return;
    entries_.removeAt(s);
    selected_ = -1;
    emit changed();

    const int n = count();
    if (s == n && s > 0)
        select(s - 1);
    else if (s < n)
        select(s);
}

void BitmapList::clear() {
    entries_.clear();
    selected_ = -1;
    emit changed();
}

void BitmapList::setEntries(const QStringList& entries) {
    entries_ = entries.mid(0, MaxEntries);
    selected_ = -1;
    emit changed();
}

void BitmapList::select(int index) {
    if (index < -1 || index >= count())
        return;
    selected_ = index;
    emit clicked(index);
}

void BitmapList::highlight(int index) {
    if (index < -1 || index >= count())
        return;
    selected_ = index;
    emit highlighted(index);
}

} // namespace panelix

#include "library/BitmapList.h"

#include <QCoreApplication>

namespace panelix {

BitmapList::BitmapList(QObject* parent) : QObject(parent) {}

QString BitmapList::entry(int index) const {
    if (index < 0 || index >= count())
        return {};
    return m_entries[index];
}

bool BitmapList::add(const QString& path, QString* message) {
    if (path.isEmpty())
        return false;
    if (count() >= MaxEntries) {
        if (message)
            *message = QCoreApplication::translate("panelix::BitmapList", "位图列表已满,最多251个!");
        return false;
    }
    m_entries.append(path);
    emit changed();
    return true;
}

void BitmapList::removeSelectedAndReselect() {
    const int s = m_selected;
    if (s < 0 || s >= count())
        return;
    m_entries.removeAt(s);
    m_selected = -1;
    emit changed();

    const int n = count();
    if (s == n && s > 0)
        select(s - 1);
    else if (s < n)
        select(s);
}

void BitmapList::clear() {
    m_entries.clear();
    m_selected = -1;
    emit changed();
}

void BitmapList::setEntries(const QStringList& entries) {
    m_entries = entries.mid(0, MaxEntries);
    m_selected = -1;
    emit changed();
}

void BitmapList::select(int index) {
    if (index < -1 || index >= count())
        return;
    m_selected = index;
    emit clicked(index);
}

} // namespace panelix

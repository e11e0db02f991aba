#pragma once

#include "shell/help/Language.h"

#include <QStringList>
#include <QUrl>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTextBrowser;

namespace panelix {

// The usage help: HTML pages built into the program, one set per language, in a
// browser with contents, back and forward. At its foot the window language can
// be chosen for the next start.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // page: a file name of pages() with an optional "#anchor".
    void showPage(const QString& page);
    QTextBrowser* browser() const { return browser_; }

    // The page files of one language, contents first.
    static QStringList pages();
    static QUrl pageUrl(Language language, const QString& page);

private:
    void chooseLanguage(int index);

    QTextBrowser* browser_ = nullptr;
    QPushButton* contents_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* forward_ = nullptr;
    QComboBox* language_ = nullptr;
    QLabel* note_ = nullptr;
};

} // namespace panelix

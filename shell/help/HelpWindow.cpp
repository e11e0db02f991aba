#include "shell/help/HelpWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace panelix {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(tr("使用帮助"));
    resize(760, 600);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    // Every page lives in the resources; nothing leaves the program.
    browser_->setOpenExternalLinks(false);
    browser_->setOpenLinks(true);

    contents_ = new QPushButton(tr("目录"), this);
    contents_->setObjectName(QStringLiteral("HelpContents"));
    back_ = new QPushButton(tr("后退"), this);
    back_->setObjectName(QStringLiteral("HelpBack"));
    back_->setEnabled(false);
    forward_ = new QPushButton(tr("前进"), this);
    forward_->setObjectName(QStringLiteral("HelpForward"));
    forward_->setEnabled(false);

    auto* languageCaption = new QLabel(tr("界面语言:"), this);
    language_ = new QComboBox(this);
    language_->setObjectName(QStringLiteral("HelpLanguage"));
    // Each language in its own words, so either can be found whatever is shown.
    language_->addItem(QStringLiteral("中文"), languageCode(Language::Chinese));
    language_->addItem(QStringLiteral("English"), languageCode(Language::English));
    language_->setCurrentIndex(currentLanguage() == Language::English ? 1 : 0);
    languageCaption->setBuddy(language_);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("HelpNote"));

    auto* top = new QHBoxLayout;
    top->addWidget(contents_);
    top->addWidget(back_);
    top->addWidget(forward_);
    top->addStretch();
    auto* foot = new QHBoxLayout;
    foot->addWidget(languageCaption);
    foot->addWidget(language_);
    foot->addWidget(note_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(browser_, 1);
    layout->addLayout(foot);

    connect(contents_, &QPushButton::clicked, this, [this] { showPage(pages().first()); });
    connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QPushButton::setEnabled);
    connect(language_, &QComboBox::activated, this, &HelpWindow::chooseLanguage);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    showPage(pages().first());
}

QStringList HelpWindow::pages() {
    return {QStringLiteral("index.html"),     QStringLiteral("import.html"), QStringLiteral("composer.html"),
            QStringLiteral("commands.html"),  QStringLiteral("port.html"),   QStringLiteral("simulator.html"),
            QStringLiteral("cli.html")};
}

QUrl HelpWindow::pageUrl(Language language, const QString& page) {
    return QUrl(QStringLiteral("qrc:/help/%1/%2").arg(languageCode(language), page));
}

void HelpWindow::showPage(const QString& page) {
    browser_->setSource(pageUrl(currentLanguage(), page));
}

void HelpWindow::chooseLanguage(int index) {
    const auto language = languageFromCode(language_->itemData(index).toString());
    if (!language)
        return;
    QSettings settings;
    storeLanguage(*language, settings);
    note_->setText(*language == currentLanguage() ? QString() : tr("重新启动后生效"));
}

} // namespace panelix

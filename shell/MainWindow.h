#pragma once

#include "bitmap/BmpReader.h"
#include "bitmap/DownloadImageBuilder.h"
#include "console/CommandConsole.h"
#include "library/BitmapList.h"
#include "library/ListFile.h"
#include "link/CommPort.h"
#include "link/ReplyHandler.h"
#include "shell/StartupOptions.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace panelix {

class DirListBox;

// The one window of the tool. It owns the state of a run and wires the controls
// to the widget-free logic of each subsystem; every result or error meant for the
// user goes to the status line Label2.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(const StartupOptions& options, QWidget* parent = nullptr);
    ~MainWindow() override;

    static QString windowCaption();

    CommPort& commPort() { return port_; }
    ReplyHandler& replyHandler() { return handler_; }
    BitmapList& bitmapList() { return list_; }
    const CommandConsole& console() const { return console_; }
    QString dataDir() const { return dataDir_; }
    QString currentBmpPath() const { return CurrentBmpPath; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void startUp();

    void selectPort(int port);
    void refuseStart(const QString& message);
    void setStatus(const QString& text);
    void showTransferText(const QString& text);
    void clearPreview();
    bool sendCommand(const QByteArray& bytes);
    void transferRunningChanged(bool running);
    void transferProgress(qint32 position, qint32 total);

    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void List1_Click(int index);
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command13_Click();
    void Command14_Click();
    void Combo1_Click(int index);
    void Combo1_Change(const QString& text);

    bool SaveList();
    void LoadList();
    void ShowBitmapInfo();

    qint32 PageSize = 0;
    QString CurrentBmpPath;
    QString dataDir_;
    bool dataDirUsable_ = false;
    bool pressedChosen_ = false; // the option button pressed was the chosen one

    CommPort port_;
    ReplyHandler handler_;
    BmpReader reader_;
    DownloadImageBuilder builder_;
    ListFile listFile_;
    BitmapList list_;
    CommandConsole console_;
    static constexpr qint64 ProgressTextMs = 40;
    QTimer progressTextTimer_;
    QElapsedTimer progressTextShown_;
    QString pendingProgressText_;
    QElapsedTimer transferClock_;
    qint32 transferClockStart_ = 0;

    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* frame = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QPushButton* Command[15] = {};
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QComboBox* Combo1 = nullptr;
    QListWidget* List1 = nullptr;
    QComboBox* Drive1 = nullptr;
    DirListBox* Dir1 = nullptr;
    QListWidget* File1 = nullptr;
    QLabel* Image1 = nullptr;
    QProgressBar* progress_ = nullptr;
};

} // namespace panelix

#pragma once

#include "bitmap/BmpReader.h"
#include "console/CommandConsole.h"
#include "library/FileBrowser.h"
#include "link/PortList.h"
#include "session/ModuleSession.h"
#include "shell/StartupOptions.h"

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

// The one window of the tool. It wires the controls to the module session and to
// the widget-free logic of each subsystem, and words the session's outcomes:
// every result or error meant for the user goes to the status line Label2.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(const StartupOptions& options, QWidget* parent = nullptr);
    ~MainWindow() override;

    static QString windowCaption();

    ModuleSession& session() { return session_; }
    CommPort& commPort() { return session_.port(); }
    BitmapList& bitmapList() { return session_.bitmapList(); }
    const CommandConsole& console() const { return console_; }
    QString dataDir() const { return session_.dataDir(); }
    QString currentBmpPath() const { return CurrentBmpPath; }

    // Where the port pickers get the system's serial devices from (tests give
    // their own); the lists follow it every PortScanMs.
    static constexpr int PortScanMs = 1000;
    void setPortSource(PortSource source);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void connectControls();
    void connectSession();
    void startUp(const QString& dataDir);

    void selectPort(int port);
    void buildPortPickers();
    void scanPorts();
    void fillPortPicker(int port);
    void chooseDevice(int port, const QString& device);
    void updatePortTip(int port);
    void restoreRemembered(const StartupOptions& options);
    void setStatus(const QString& text);
    void showFailure(const Failure& failure);
    void clearPreview();
    void transferRunningChanged(bool running);
    void transferProgress(const TransferProgress& progress);

    void showDrive();
    void showDirectoryFiles();
    void previewBrowsedFile();
    const BrowserEntry* browsedFile() const;
    void listEntryClicked(int index);
    void addBrowsedFile();
    void removeListEntry();
    void clearList();
    void restoreList();
    void testConnection();
    void downloadBitmaps();
    void downloadFont();
    void clearDisplay();
    void sendSingleCommand(const QByteArray& bytes);
    void sendConsoleCommand();
    void invertConsoleCommand();
    void chooseCommand(int index);
    void editCommand(const QString& text);

    void LoadList();
    void ShowBitmapInfo();

    QString CurrentBmpPath;
    bool pressedChosen_ = false; // the option button pressed was the chosen one
    bool portLostShown_ = false; // the status line says the port went away
    bool remember_ = false;      // choices go to the settings
    QString permissionTip_[2];   // the advice after a permission failure, per port

    ModuleSession session_;
    BmpReader reader_; // the preview's
    QList<BrowserEntry> browsedFiles_; // what fileList_ shows, row by row
    CommandConsole console_;

    QGroupBox* portFrame_ = nullptr;
    QGroupBox* consoleFrame_ = nullptr;
    QGroupBox* listFrame_ = nullptr;
    QRadioButton* portButtons_[2] = {};
    QPushButton* buttons_[15] = {}; // by the number of their object name, Command1..Command14
    QLabel* listNumberCaption_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* commandHint_ = nullptr;
    QLabel* hexCaption_ = nullptr;
    QLineEdit* listNumber_ = nullptr;
    QLineEdit* commandHex_ = nullptr;
    QComboBox* commandPicker_ = nullptr;
    QListWidget* bitmapList_ = nullptr;
    QComboBox* driveList_ = nullptr;
    DirListBox* dirList_ = nullptr;
    QListWidget* fileList_ = nullptr;
    QLabel* preview_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* portCaptions_[2] = {};
    QComboBox* portDevices_[2] = {}; // the device behind COM1 and COM2
    PortSource portSource_;
    QList<SerialPortInfo> ports_;
    QTimer portScan_;
};

} // namespace panelix

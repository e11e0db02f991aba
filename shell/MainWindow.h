#pragma once

#include "bitmap/BmpReader.h"
#include "console/CommandConsole.h"
#include "library/FileBrowser.h"
#include "link/PortList.h"
#include "session/ModuleSession.h"
#include "shell/StartupOptions.h"

#include <QFileSystemWatcher>
#include <QHash>
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

// The one window of the tool. It wires the controls to the module session it is
// given and to the widget-free logic of each subsystem, and words the session's
// outcomes: every result or error meant for the user goes to the status line Label2.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    // The session outlives the window; the window sets its ports and data directory
    // from the options and opens port 1 (or 2).
    MainWindow(ModuleSession& session, const StartupOptions& options, QWidget* parent = nullptr);
    ~MainWindow() override;

    static QString windowCaption();

    ModuleSession& session() { return session_; }
    BitmapList& bitmapList() { return session_.bitmapList(); }
    const CommandConsole& console() const { return console_; }
    QString dataDir() const { return session_.dataDir(); }
    QString currentBmpPath() const { return currentBmpPath_; }
    // The controls in the order Tab visits them: the layout read from the top left,
    // column by column, the console last.
    QList<QWidget*> tabOrder() const;

    // "播放" of the list's context menu: the stored pictures shown in turn. The frames of
    // the animation the selected entry was imported from (in this run of the program),
    // with its delays and loop count; without such an entry, every entry from the
    // selected one (or the first) for a second each, once. The list must have been
    // downloaded: list position n is stored picture n.
    void playList();
    void stopPlaying();

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
    void refreshDirectoryFiles();
    void previewBrowsedFile();
    const BrowserEntry* browsedFile() const;
    void listEntryClicked(int index);
    void showEntry(int index); // the list's number, preview and information for an entry
    void addBrowsedFile();
    void removeListEntry();
    void clearList();
    void restoreList();
    void testConnection();
    void downloadBitmaps();
    void downloadFont();
    void clearDisplay();
    void showRefusal(const Refusal& refusal);
    void sendConsoleCommand();
    void invertConsoleCommand();
    void chooseCommand(int index);
    void editCommand(const QString& text);

    void loadList();
    void showBitmapInfo();
    void attachKeys();
    void followDataDirectory();

    // BMPs the import wrote from an animation's frames in this run: their source, delay and loop count.
    struct FrameEntry {
        QString source;
        int delayMs = 0;
        int loopCount = 0;
    };
    QHash<QString, FrameEntry> frameEntries_;
    QString currentBmpPath_;
    bool pressedChosen_ = false; // the option button pressed was the chosen one
    bool portLostShown_ = false; // the status line says the port went away
    bool remember_ = false;      // choices go to the settings
    QString portTip_[2];         // why the port could not be opened (and what to do), per port

    ModuleSession& session_;
    BmpReader reader_; // the preview's
    QList<BrowserEntry> browsedFiles_; // what fileList_ shows, row by row
    CommandConsole console_;

    QGroupBox* portFrame_ = nullptr;
    QGroupBox* consoleFrame_ = nullptr;
    QGroupBox* listFrame_ = nullptr;
    QRadioButton* portButtons_[2] = {};
    QPushButton* addButton_ = nullptr;             // Command1
    QPushButton* removeButton_ = nullptr;          // Command2
    QPushButton* reorderButton_ = nullptr;         // Command3
    QPushButton* restoreButton_ = nullptr;         // Command4
    QPushButton* helpButton_ = nullptr;            // Command5
    QPushButton* composerButton_ = nullptr;        // Command6
    QPushButton* testButton_ = nullptr;            // Command7
    QPushButton* downloadBitmapsButton_ = nullptr; // Command8
    QPushButton* downloadFontButton_ = nullptr;    // Command9
    QPushButton* clearButton_ = nullptr;           // Command10
    QPushButton* backlightOnButton_ = nullptr;     // Command11
    QPushButton* backlightOffButton_ = nullptr;    // Command12
    QPushButton* sendButton_ = nullptr;            // Command13
    QPushButton* invertButton_ = nullptr;          // Command14
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
    QFileSystemWatcher folderWatch_; // the folder File1 shows
    QTimer folderSettle_;
    QTimer progressShow_;              // the status line and bar refresh at most every 250 ms
    TransferProgress progressPending_; // the latest progress, shown when progressShow_ fires
    bool progressDirty_ = false;
    bool progressShowWired_ = false;
};

} // namespace panelix

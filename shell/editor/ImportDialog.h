#pragma once

#include "bitmap/MonoBitmap.h"
#include "import/PictureImport.h"

#include <QDialog>
#include <QImage>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

namespace panelix {

// Turns picture files into 1-bit pictures, one after the other with the same
// settings: the source beside the result at 1x and 2x in the panel's colours,
// redrawn while the sliders move. A source is decoded once and scaled once per
// change of size or placement; tone and dithering run on the scaled greys only.
// Each picture starts at its own size (defaultTargetSize) until a size is chosen,
// which then holds for the rest of the pictures; the other settings of the last
// accepted picture are kept for the next time.
class ImportDialog : public QDialog {
    Q_OBJECT
public:
    // Takes an accepted picture: empty when it was taken, else the status text of the
    // refusal, and the picture stays in the dialog. A frame of an animation comes with
    // how long it stays and the animation's loop count (Animation::loopCount); a still
    // picture with a delay of -1.
    struct Frame {
        int delayMs = -1;
        int loopCount = 0;
    };
    using Accept = std::function<QString(const QString& source, const MonoBitmap& bitmap, const Frame& frame)>;

    ImportDialog(const QStringList& sources, Accept accept, QWidget* parent = nullptr);

    // Every frame of an animated GIF is accepted, in order, rather than the first one only.
    void setAllFrames(bool on) { allFrames_ = on; }

    ImportOptions options() const;
    // Sets every control, the size as a chosen one.
    void setOptions(const ImportOptions& options);
    const MonoBitmap& result() const { return result_; }
    QString currentSource() const { return sources_.value(index_); }
    // What the latest change of tone or dithering took to show, in milliseconds.
    double lastToneMs() const { return lastToneMs_; }
    // Brings the previews up to date now rather than at the next turn of the event loop.
    void renderNow();

    // The remembered settings (QSettings "Panelix"/"Panelix", group "import").
    static ImportOptions savedOptions();
    static void saveOptions(const ImportOptions& options);

signals:
    // A text for the owner's status line: a refusal, or a source that cannot be read.
    void statusChanged(const QString& text);

private:
    enum class Stale { None, Tone, Geometry, Source };

    QWidget* buildControls();
    void applyOptions(const ImportOptions& options);
    void takePictureSize();
    QSlider* slider(int low, int high, const char* name);
    void controlsChanged(Stale level);
    void render();
    void showSource(int index);
    void takeCurrent();
    void advance();
    void setStatus(const QString& text);

    QStringList sources_;
    Accept accept_;
    int index_ = 0;
    Stale stale_ = Stale::Source;
    bool renderQueued_ = false;
    bool svg_ = false;
    bool sizeChosen_ = false; // the user set a size: it holds for the pictures that follow
    bool settingSize_ = false;
    bool allFrames_ = false;
    int frames_ = 1; // of the current source

    QImage source_;
    QImage scaled_;
    MonoBitmap result_;
    double lastToneMs_ = 0;

    QLabel* sourceView_ = nullptr;
    QLabel* resultView_ = nullptr;
    QLabel* resultView2_ = nullptr;
    QLabel* info_ = nullptr;
    QLabel* status_ = nullptr;
    QSpinBox* width_ = nullptr;
    QSpinBox* height_ = nullptr;
    QComboBox* fit_ = nullptr;
    QComboBox* dither_ = nullptr;
    QSlider* brightness_ = nullptr;
    QSlider* contrast_ = nullptr;
    QSlider* gamma_ = nullptr;
    QSlider* threshold_ = nullptr;
    QCheckBox* autoThreshold_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QLabel* brightnessValue_ = nullptr;
    QLabel* contrastValue_ = nullptr;
    QLabel* gammaValue_ = nullptr;
    QLabel* thresholdValue_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* skip_ = nullptr;
};

} // namespace panelix

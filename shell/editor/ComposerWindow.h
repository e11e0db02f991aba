#pragma once

#include "session/ModuleSession.h"
#include "compose/ComposerDocument.h"

#include <QWidget>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;

namespace panelix {

class ComposerCanvas;

// "图文编辑": a screen composed of pictures, text, lines, rectangles and inverted
// areas on a canvas in the panel's look. Its only output is an ordinary 1-bit BMP in
// the data directory, listed in the bitmap list as if the user had added it, with the
// composition beside it as a JSON project; "发送到模块" then downloads the list and
// shows the picture on the module through the session.
class ComposerWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* DefaultName = "screen";

    ComposerWindow(ModuleSession& session, QWidget* owner);

    // The composer of owner, made on first use, shown and raised.
    static ComposerWindow* open(ModuleSession& session, QWidget* owner);

    compose::ComposerDocument& document() { return document_; }
    ComposerCanvas& canvas() { return *canvas_; }
    QString status() const;

    // The BMP path the composition was last saved as; empty before the first save.
    QString savedBitmapPath() const;
    // Writes the BMP and the project and lists the BMP; false with the status set.
    bool saveBitmap();
    // saveBitmap(), then the bitmap download; the picture is shown once it is done.
    void sendToModule();
    // Opens a project file; false with the status set.
    bool openProject(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void connectSession();
    void setStatus(const QString& text);
    void documentChanged();
    void loadFont();
    void newComposition();
    void chooseProject();
    void importPictures();
    void addText();
    void editItem(int index);
    void deleteSelected();
    void reorderSelected(bool toTop);
    void resizeCanvas();
    void showCursor(QPoint dot, bool inside);
    void showSentBitmap();

    ModuleSession& session_;
    compose::ComposerDocument document_;
    ComposerCanvas* canvas_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QSpinBox* width_ = nullptr;
    QSpinBox* height_ = nullptr;
    QSpinBox* zoom_ = nullptr;
    QSpinBox* pen_ = nullptr;
    QCheckBox* grid_ = nullptr;
    QCheckBox* snap_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* position_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* send_ = nullptr;
    QAction* toolActions_[4] = {};

    QString savedBase_;    // the name this composition's files were saved under
    QString sentPath_;     // the BMP a download under way is to show
    bool sending_ = false;
};

} // namespace panelix

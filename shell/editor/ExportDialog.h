#pragma once

#include "bitmap/MonoBitmap.h"
#include "export/ExportFormat.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace panelix {

// A picture as bytes for firmware: the layout options, the text (C source, C header or hex),
// and a preview drawn from the exported bytes read back, so what it shows is what a
// firmware reading those bytes with these options would draw. Copy puts the text on the
// clipboard; save writes it (or the binary) to a file.
class ExportDialog : public QDialog {
    Q_OBJECT
public:
    enum class Format { C, Header, Hex };

    ExportDialog(const MonoBitmap& bitmap, const QString& name, QWidget* parent = nullptr);

    ExportOptions options() const;
    void setOptions(const ExportOptions& options);
    QString text() const;             // what copy takes
    const QByteArray& bytes() const { return bytes_; }
    const MonoBitmap& preview() const { return preview_; } // the bytes read back

public slots:
    void copyText();

private:
    void scanChanged();
    void update();
    void save();

    MonoBitmap bitmap_;
    QByteArray bytes_;
    MonoBitmap preview_;

    QComboBox* scan_ = nullptr;
    QComboBox* bitOrder_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QComboBox* word_ = nullptr;
    QComboBox* byteOrder_ = nullptr;
    QCheckBox* packed_ = nullptr;
    QComboBox* format_ = nullptr;
    QLineEdit* name_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* previewView_ = nullptr;
    QLabel* info_ = nullptr;
};

} // namespace panelix

#pragma once

#include "compose/Composition.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QPlainTextEdit;
class QSpinBox;

namespace panelix {

// The properties of one item: position and size in dots, line or border width,
// dark or light; for text its words, font, size and manner.
class ItemDialog : public QDialog {
    Q_OBJECT
public:
    // adding: the item is new (its title says so) rather than one being changed.
    explicit ItemDialog(const compose::Item& item, QWidget* parent = nullptr, bool adding = false);

    compose::Item item() const;
    // "添加文字" for new text, else the kind of item and "属性": "文字属性", "矩形属性"...
    static QString titleFor(const compose::Item& item, bool adding);

    // Asks for an item's new properties; nothing when the user cancels.
    static std::optional<compose::Item> edit(const compose::Item& item, QWidget* parent, bool adding = false);

private:
    QSpinBox* spin(const QString& label, int value, int low, int high);
    void fontChosen();

    compose::Item item_;
    QFormLayout* form_ = nullptr;
    QSpinBox* x_ = nullptr;
    QSpinBox* y_ = nullptr;
    QSpinBox* x2_ = nullptr; // line end, or width
    QSpinBox* y2_ = nullptr; // line end, or height
    QSpinBox* pen_ = nullptr;
    QCheckBox* light_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QComboBox* font_ = nullptr;
    QSpinBox* pixelSize_ = nullptr;
    QCheckBox* bold_ = nullptr;
    QCheckBox* opaque_ = nullptr;
    QCheckBox* inverted_ = nullptr;
};

} // namespace panelix

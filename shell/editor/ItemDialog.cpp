#include "shell/editor/ItemDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace panelix {

using namespace compose;

namespace {

constexpr int CoordinateRange = 10000;

QString moduleFontCaption() {
    return QCoreApplication::translate("panelix::ItemDialog", "模块字库(hzk16)");
}

} // namespace

QString ItemDialog::titleFor(const Item& item, bool adding) {
    if (std::holds_alternative<TextItem>(item))
        return adding ? tr("添加文字") : tr("文字属性");
    if (std::holds_alternative<LineItem>(item))
        return adding ? tr("添加直线") : tr("直线属性");
    if (std::holds_alternative<RectItem>(item))
        return adding ? tr("添加矩形") : tr("矩形属性");
    if (std::holds_alternative<InvertItem>(item))
        return adding ? tr("添加反色区域") : tr("反色区域属性");
    return adding ? tr("添加图片") : tr("图片属性");
}

ItemDialog::ItemDialog(const Item& item, QWidget* parent, bool adding) : QDialog(parent), item_(item) {
    setObjectName(QStringLiteral("ItemDialog"));
    setWindowTitle(titleFor(item, adding));
    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout;
    layout->addLayout(form_);
    const QPoint anchor = anchorOf(item);
    x_ = spin(tr("X(点):"), anchor.x(), -CoordinateRange, CoordinateRange);
    x_->setObjectName(QStringLiteral("ItemX"));
    y_ = spin(tr("Y(点):"), anchor.y(), -CoordinateRange, CoordinateRange);
    y_->setObjectName(QStringLiteral("ItemY"));

    if (const auto* l = std::get_if<LineItem>(&item)) {
        x2_ = spin(tr("终点X:"), l->to.x(), -CoordinateRange, CoordinateRange);
        y2_ = spin(tr("终点Y:"), l->to.y(), -CoordinateRange, CoordinateRange);
        pen_ = spin(tr("线宽:"), l->thickness, 1, 255);
        light_ = new QCheckBox(tr("浅色"));
        light_->setChecked(!l->dark);
        form_->addRow(QString(), light_);
    } else if (const auto* r = std::get_if<RectItem>(&item)) {
        x2_ = spin(tr("宽(点):"), r->rect.width(), 1, CoordinateRange);
        y2_ = spin(tr("高(点):"), r->rect.height(), 1, CoordinateRange);
        pen_ = spin(tr("边框(0=填充):"), r->border, 0, 255);
        light_ = new QCheckBox(tr("浅色"));
        light_->setChecked(!r->dark);
        form_->addRow(QString(), light_);
    } else if (const auto* v = std::get_if<InvertItem>(&item)) {
        x2_ = spin(tr("宽(点):"), v->rect.width(), 1, CoordinateRange);
        y2_ = spin(tr("高(点):"), v->rect.height(), 1, CoordinateRange);
    } else if (const auto* t = std::get_if<TextItem>(&item)) {
        text_ = new QPlainTextEdit(t->text);
        text_->setObjectName(QStringLiteral("ItemText"));
        form_->addRow(tr("文字:"), text_);
        font_ = new QComboBox;
        font_->setObjectName(QStringLiteral("ItemFont"));
        font_->addItem(moduleFontCaption());
        font_->addItems(QFontDatabase::families());
        font_->setCurrentIndex(t->moduleFont() ? 0 : std::max(0, font_->findText(t->family)));
        form_->addRow(tr("字体:"), font_);
        pixelSize_ = spin(tr("字号(点):"), t->pixelSize, 4, 480);
        bold_ = new QCheckBox(tr("粗体"));
        bold_->setChecked(t->bold);
        opaque_ = new QCheckBox(tr("不透明"));
        opaque_->setChecked(t->opaque);
        inverted_ = new QCheckBox(tr("反色"));
        inverted_->setChecked(t->inverted);
        form_->addRow(QString(), bold_);
        form_->addRow(QString(), opaque_);
        form_->addRow(QString(), inverted_);
        connect(font_, &QComboBox::currentIndexChanged, this, &ItemDialog::fontChosen);
        fontChosen();
    }

    auto* buttons = new QDialogButtonBox;
    buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QSpinBox* ItemDialog::spin(const QString& label, int value, int low, int high) {
    auto* box = new QSpinBox;
    box->setRange(low, high);
    box->setValue(value);
    form_->addRow(label, box);
    return box;
}

// The module's font has one size and no bold: 16 x 16 cells.
void ItemDialog::fontChosen() {
    const bool module = font_->currentIndex() == 0;
    pixelSize_->setEnabled(!module);
    bold_->setEnabled(!module);
    if (module)
        pixelSize_->setValue(ModuleCell);
}

Item ItemDialog::item() const {
    Item out = item_;
    translate(out, QPoint(x_->value(), y_->value()) - anchorOf(item_));
    if (auto* l = std::get_if<LineItem>(&out)) {
        l->to = QPoint(x2_->value(), y2_->value());
        l->thickness = pen_->value();
        l->dark = !light_->isChecked();
    } else if (auto* r = std::get_if<RectItem>(&out)) {
        r->rect.setSize(QSize(x2_->value(), y2_->value()));
        r->border = pen_->value();
        r->dark = !light_->isChecked();
    } else if (auto* v = std::get_if<InvertItem>(&out)) {
        v->rect.setSize(QSize(x2_->value(), y2_->value()));
    } else if (auto* t = std::get_if<TextItem>(&out)) {
        t->text = text_->toPlainText();
        t->family = font_->currentIndex() == 0 ? QString() : font_->currentText();
        t->pixelSize = t->moduleFont() ? ModuleCell : pixelSize_->value();
        t->bold = !t->moduleFont() && bold_->isChecked();
        t->opaque = opaque_->isChecked();
        t->inverted = inverted_->isChecked();
    }
    return out;
}

std::optional<Item> ItemDialog::edit(const Item& item, QWidget* parent, bool adding) {
    ItemDialog dialog(item, parent, adding);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.item();
}

} // namespace panelix

#include "shell/editor/ImportDialog.h"
#include "shell/StatusTexts.h"

#include "shell/editor/ExportDialog.h"
#include "shell/editor/LcdLook.h"

#include "import/Animation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace panelix {

namespace {

const QSize SourceBox(320, 240);

// Names as the command line spells them, in the order of the enums and the combo boxes.
const char* const fitNames[] = {"fit", "fill", "stretch", "original"};
const char* const fitCaptions[] = {QT_TRANSLATE_NOOP("panelix::ImportDialog", "适应"),
                                   QT_TRANSLATE_NOOP("panelix::ImportDialog", "填充"),
                                   QT_TRANSLATE_NOOP("panelix::ImportDialog", "拉伸"),
                                   QT_TRANSLATE_NOOP("panelix::ImportDialog", "原始大小")};
const char* const ditherNames[] = {"threshold", "floyd-steinberg", "atkinson", "bayer4", "bayer8"};
const char* const ditherCaptions[] = {QT_TRANSLATE_NOOP("panelix::ImportDialog", "阈值"),
                                      QT_TRANSLATE_NOOP("panelix::ImportDialog", "误差扩散(Floyd-Steinberg)"),
                                      QT_TRANSLATE_NOOP("panelix::ImportDialog", "误差扩散(Atkinson)"),
                                      QT_TRANSLATE_NOOP("panelix::ImportDialog", "有序抖动4×4"),
                                      QT_TRANSLATE_NOOP("panelix::ImportDialog", "有序抖动8×8")};

QSettings importSettings() {
    return QSettings(QStringLiteral("Panelix"), QStringLiteral("Panelix"));
}

bool isSvg(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("svg") || suffix == QLatin1String("svgz");
}

} // namespace

ImportOptions ImportDialog::savedOptions() {
    // The size is not among them: it belongs to each picture.
    ImportOptions o;
    QSettings s = importSettings();
    s.beginGroup(QStringLiteral("import"));
    parseFitMode(s.value(QStringLiteral("fit")).toString(), &o.fit);
    parseDitherMethod(s.value(QStringLiteral("dither")).toString(), &o.dither);
    o.brightness = std::clamp(s.value(QStringLiteral("brightness"), 0).toInt(), -100, 100);
    o.contrast = std::clamp(s.value(QStringLiteral("contrast"), 0).toInt(), -100, 100);
    const double gamma = s.value(QStringLiteral("gamma"), 1.0).toDouble();
    o.gamma = std::isfinite(gamma) ? std::clamp(gamma, 0.2, 5.0) : 1.0;
    o.threshold = std::clamp(s.value(QStringLiteral("threshold"), -1).toInt(), -1, 255);
    o.invert = s.value(QStringLiteral("invert"), false).toBool();
    return o;
}

void ImportDialog::saveOptions(const ImportOptions& o) {
    QSettings s = importSettings();
    s.beginGroup(QStringLiteral("import"));
    s.setValue(QStringLiteral("fit"), QLatin1String(fitNames[int(o.fit)]));
    s.setValue(QStringLiteral("dither"), QLatin1String(ditherNames[int(o.dither)]));
    s.setValue(QStringLiteral("brightness"), o.brightness);
    s.setValue(QStringLiteral("contrast"), o.contrast);
    s.setValue(QStringLiteral("gamma"), o.gamma);
    s.setValue(QStringLiteral("threshold"), o.threshold);
    s.setValue(QStringLiteral("invert"), o.invert);
}

ImportDialog::ImportDialog(const QStringList& sources, Accept accept, QWidget* parent)
    : QDialog(parent), sources_(sources), accept_(std::move(accept)) {
    setObjectName(QStringLiteral("ImportDialog"));
    setWindowTitle(tr("导入图片"));

    sourceView_ = new QLabel;
    sourceView_->setObjectName(QStringLiteral("ImportSource"));
    sourceView_->setFixedSize(SourceBox);
    sourceView_->setAlignment(Qt::AlignCenter);
    resultView_ = new QLabel;
    resultView_->setObjectName(QStringLiteral("ImportResult1"));
    resultView_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    resultView2_ = new QLabel;
    resultView2_->setObjectName(QStringLiteral("ImportResult2"));
    auto* scroll = new QScrollArea;
    scroll->setWidget(resultView2_);
    scroll->setMinimumSize(400, 300);

    auto* pictures = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(tr("原图:")));
    left->addWidget(sourceView_);
    left->addWidget(new QLabel(tr("1倍:")));
    left->addWidget(resultView_, 1);
    pictures->addLayout(left);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(tr("2倍:")));
    right->addWidget(scroll, 1);
    pictures->addLayout(right, 1);

    info_ = new QLabel;
    info_->setObjectName(QStringLiteral("ImportInfo"));
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("ImportStatus"));

    ok_ = new QPushButton(tr("确定"));
    ok_->setObjectName(QStringLiteral("ImportOk"));
    ok_->setDefault(true);
    skip_ = new QPushButton(tr("跳过"));
    skip_->setObjectName(QStringLiteral("ImportSkip"));
    auto* cancel = new QPushButton(tr("取消"));
    cancel->setObjectName(QStringLiteral("ImportCancel"));
    connect(ok_, &QPushButton::clicked, this, &ImportDialog::takeCurrent);
    connect(skip_, &QPushButton::clicked, this, &ImportDialog::advance);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(ok_);
    buttons->addWidget(skip_);
    auto* exportButton = new QPushButton(tr("导出"));
    exportButton->setObjectName(QStringLiteral("ImportExport"));
    connect(exportButton, &QPushButton::clicked, this, [this] {
        renderNow();
        ExportDialog(result_, QFileInfo(currentSource()).completeBaseName(), this).exec();
    });
    buttons->addWidget(exportButton);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pictures, 1);
    layout->addWidget(buildControls());
    layout->addWidget(info_);
    layout->addLayout(buttons);

    applyOptions(savedOptions());
    showSource(0);
}

QSlider* ImportDialog::slider(int low, int high, const char* name) {
    auto* s = new QSlider(Qt::Horizontal);
    s->setObjectName(QLatin1String(name));
    s->setRange(low, high);
    s->setMinimumWidth(200);
    return s;
}

QWidget* ImportDialog::buildControls() {
    auto* box = new QWidget;
    auto* form = new QFormLayout(box);
    auto withValue = [](QWidget* control, QLabel** value) {
        auto* row = new QWidget;
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(control, 1);
        *value = new QLabel;
        (*value)->setMinimumWidth(48);
        h->addWidget(*value);
        return row;
    };

    width_ = new QSpinBox;
    width_->setObjectName(QStringLiteral("ImportWidth"));
    width_->setRange(1, MaxPictureSize.width());
    height_ = new QSpinBox;
    height_->setObjectName(QStringLiteral("ImportHeight"));
    height_->setRange(1, MaxPictureSize.height());
    fit_ = new QComboBox;
    fit_->setObjectName(QStringLiteral("ImportFit"));
    for (const char* caption : fitCaptions)
        fit_->addItem(tr(caption));
    auto* geometry = new QWidget;
    auto* g = new QHBoxLayout(geometry);
    g->setContentsMargins(0, 0, 0, 0);
    g->addWidget(width_);
    g->addWidget(new QLabel(QStringLiteral("×")));
    g->addWidget(height_);
    g->addWidget(fit_);
    g->addStretch(1);
    form->addRow(tr("目标尺寸:"), geometry);

    brightness_ = slider(-100, 100, "ImportBrightness");
    contrast_ = slider(-100, 100, "ImportContrast");
    gamma_ = slider(20, 500, "ImportGamma");
    threshold_ = slider(0, 255, "ImportThreshold");
    form->addRow(tr("亮度:"), withValue(brightness_, &brightnessValue_));
    form->addRow(tr("对比度:"), withValue(contrast_, &contrastValue_));
    form->addRow(tr("伽马:"), withValue(gamma_, &gammaValue_));

    dither_ = new QComboBox;
    dither_->setObjectName(QStringLiteral("ImportDither"));
    for (const char* caption : ditherCaptions)
        dither_->addItem(tr(caption));
    form->addRow(tr("抖动:"), dither_);

    autoThreshold_ = new QCheckBox(tr("自动"));
    autoThreshold_->setObjectName(QStringLiteral("ImportAuto"));
    auto* thresholdRow = withValue(threshold_, &thresholdValue_);
    static_cast<QHBoxLayout*>(thresholdRow->layout())->insertWidget(0, autoThreshold_);
    form->addRow(tr("阈值:"), thresholdRow);

    invert_ = new QCheckBox(tr("反色"));
    invert_->setObjectName(QStringLiteral("ImportInvert"));
    form->addRow(QString(), invert_);

    auto tone = [this] { controlsChanged(Stale::Tone); };
    auto geometryChanged = [this] { controlsChanged(svg_ ? Stale::Source : Stale::Geometry); };
    auto sizeChanged = [this, geometryChanged] {
        if (!settingSize_)
            sizeChosen_ = true;
        geometryChanged();
    };
    connect(width_, &QSpinBox::valueChanged, this, sizeChanged);
    connect(height_, &QSpinBox::valueChanged, this, sizeChanged);
    connect(fit_, &QComboBox::currentIndexChanged, this, geometryChanged);
    for (QSlider* s : {brightness_, contrast_, gamma_, threshold_})
        connect(s, &QSlider::valueChanged, this, tone);
    connect(dither_, &QComboBox::currentIndexChanged, this, tone);
    connect(autoThreshold_, &QCheckBox::toggled, this, tone);
    connect(invert_, &QCheckBox::toggled, this, tone);
    return box;
}

ImportOptions ImportDialog::options() const {
    ImportOptions o;
    o.target = QSize(width_->value(), height_->value());
    o.fit = FitMode(std::clamp(fit_->currentIndex(), 0, int(std::size(fitNames)) - 1));
    o.brightness = brightness_->value();
    o.contrast = contrast_->value();
    o.gamma = gamma_->value() / 100.0;
    o.dither = DitherMethod(std::clamp(dither_->currentIndex(), 0, int(std::size(ditherNames)) - 1));
    o.threshold = autoThreshold_->isChecked() ? -1 : threshold_->value();
    o.invert = invert_->isChecked();
    return o;
}

void ImportDialog::setOptions(const ImportOptions& o) {
    applyOptions(o);
    sizeChosen_ = true;
}

void ImportDialog::applyOptions(const ImportOptions& o) {
    settingSize_ = true;
    width_->setValue(o.target.width());
    height_->setValue(o.target.height());
    settingSize_ = false;
    fit_->setCurrentIndex(int(o.fit));
    brightness_->setValue(o.brightness);
    contrast_->setValue(o.contrast);
    gamma_->setValue(int(std::lround(o.gamma * 100)));
    dither_->setCurrentIndex(int(o.dither));
    autoThreshold_->setChecked(o.threshold < 0);
    if (o.threshold >= 0)
        threshold_->setValue(o.threshold);
    else if (threshold_->value() == 0)
        threshold_->setValue(128);
    invert_->setChecked(o.invert);
    controlsChanged(Stale::Geometry);
}

void ImportDialog::controlsChanged(Stale level) {
    stale_ = std::max(stale_, level);
    threshold_->setEnabled(!autoThreshold_->isChecked());
    brightnessValue_->setText(QString::number(brightness_->value()));
    contrastValue_->setText(QString::number(contrast_->value()));
    gammaValue_->setText(QString::number(gamma_->value() / 100.0, 'f', 2));
    // Changes that come together (a slider dragged fast, setOptions) are drawn once.
    if (!renderQueued_) {
        renderQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            if (renderQueued_)
                render();
        });
    }
}

// The size of the picture just loaded, unless the user has chosen one.
void ImportDialog::takePictureSize() {
    if (sizeChosen_ || source_.isNull())
        return;
    const QSize size = defaultTargetSize(source_.size(), svg_);
    const QSignalBlocker blockWidth(width_);
    const QSignalBlocker blockHeight(height_);
    width_->setValue(size.width());
    height_->setValue(size.height());
}

void ImportDialog::renderNow() {
    if (stale_ != Stale::None)
        render();
}

void ImportDialog::render() {
    renderQueued_ = false;
    const Stale level = std::exchange(stale_, Stale::None);
    ImportOptions o = options();
    if (level == Stale::Source) {
        InputError error;
        source_ = QImage();
        // A drawing is rendered for the size it will have: the chosen one, or one within the screen.
        const QSize renderFor = sizeChosen_ ? o.target : ImportOptions().target;
        if (!loadPicture(currentSource(), renderFor, &source_, &error)) {
            source_ = QImage();
            setStatus(texts::inputErrorText(error));
            emit statusChanged(texts::inputErrorText(error));
        }
        frames_ = source_.isNull() ? 0 : animationFrames(currentSource());
        sourceView_->setPixmap(source_.isNull() ? QPixmap()
                                                : QPixmap::fromImage(source_.scaled(
                                                      SourceBox, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        takePictureSize();
        o = options();
    }
    if (level >= Stale::Geometry)
        scaled_ = source_.isNull() ? QImage() : scalePicture(source_, o);
    if (scaled_.isNull()) {
        result_ = MonoBitmap();
        resultView_->clear();
        resultView2_->clear();
        ok_->setEnabled(false);
        return;
    }

    QElapsedTimer timer;
    timer.start();
    const QImage toned = adjustTone(scaled_, o);
    if (o.threshold < 0)
        thresholdValue_->setText(QStringLiteral("%1").arg(otsuThreshold(toned)));
    else
        thresholdValue_->setText(QString::number(o.threshold));
    result_ = ditherToMono(toned, o);
    const QImage lcd = lcdImage(result_);
    resultView_->setPixmap(QPixmap::fromImage(lcd));
    resultView2_->setPixmap(QPixmap::fromImage(lcd.scaled(lcd.size() * 2, Qt::IgnoreAspectRatio,
                                                          Qt::FastTransformation)));
    resultView2_->adjustSize();
    lastToneMs_ = double(timer.nsecsElapsed()) / 1e6;
    ok_->setEnabled(true);
    QString info = tr("第%1/%2张 %3 %4×%5 → %6×%7")
                       .arg(index_ + 1)
                       .arg(sources_.size())
                       .arg(QFileInfo(currentSource()).fileName())
                       .arg(source_.width())
                       .arg(source_.height())
                       .arg(result_.width())
                       .arg(result_.height());
    if (allFrames_ && frames_ > 1)
        info += QLatin1Char(' ') + tr("动画%1帧").arg(frames_);
    info_->setText(info);
}

void ImportDialog::showSource(int index) {
    index_ = index;
    svg_ = isSvg(currentSource());
    skip_->setEnabled(index_ + 1 < sources_.size());
    setStatus(QString());
    info_->setText(
        tr("第%1/%2张 %3").arg(index_ + 1).arg(sources_.size()).arg(QFileInfo(currentSource()).fileName()));
    controlsChanged(Stale::Source);
}

void ImportDialog::takeCurrent() {
    renderNow();
    if (result_.isEmpty())
        return;
    const auto tell = [this](const QString& text) {
        setStatus(text);
        emit statusChanged(text);
    };
    if (allFrames_ && frames_ > 1) {
        // The frames through the same chain as the preview of the first one.
        Animation animation;
        InputError error;
        if (!importAnimation(currentSource(), options(), &animation, &error)) {
            tell(texts::inputErrorText(error));
            return;
        }
        for (std::size_t k = 0; k < animation.frames.size(); ++k) {
            const Frame frame{playDelayMs(animation.delaysMs[k]), animation.loopCount};
            const QString refusal = accept_ ? accept_(currentSource(), animation.frames[k], frame) : QString();
            if (!refusal.isEmpty()) {
                tell(refusal);
                return;
            }
        }
        if (animation.framesLeftOut > 0) {
            const int kept = int(animation.frames.size());
            tell(texts::framesLeftOut(kept, kept + animation.framesLeftOut));
        }
    } else {
        const QString refusal = accept_ ? accept_(currentSource(), result_, Frame{}) : QString();
        if (!refusal.isEmpty()) {
            tell(refusal);
            return;
        }
    }
    saveOptions(options());
    advance();
}

void ImportDialog::advance() {
    if (index_ + 1 >= sources_.size()) {
        accept();
        return;
    }
    showSource(index_ + 1);
}

void ImportDialog::setStatus(const QString& text) {
    status_->setText(text);
}

} // namespace panelix

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AppRow.h"

#include <QContextMenuEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "model/Model.h"
#include "ui/Accessibility.h"
#include "ui/AppIcons.h"
#include "ui/ContinuousSlider.h"
#include "ui/Formatting.h"
#include "ui/Keyboard.h"
#include "ui/OutputButton.h"
#include "ui/PanelStyle.h"
#include "ui/RowGlyphs.h"
#include "ui/Symbols.h"
#include "ui/TextWidgets.h"

namespace morvale::ui {

namespace {

constexpr int iconSize = 24;
constexpr int dotSize = 6;
constexpr int muteWidth = 16;
constexpr int volumeSteps = 10000;
constexpr qreal notRunningOpacity = 0.45;

}  // namespace

AppRow::AppRow(Model& model, AppEntry entry, QWidget* parent)
    : QWidget(parent),
      model_(model),
      entry_(std::move(entry)),
      icon_(new AppIconView),
      name_(new ElidedLabel),
      playingDot_(new Dot),
      percent_(new DigitsLabel),
      muteButton_(new QToolButton),
      slider_(new ContinuousSlider(0.0, 1.0, volumeSteps)),
      output_(new OutputButton(model)),
      rowMenu_(new QMenu(this)) {
    setObjectName(QStringLiteral("appRow"));
    icon_->setObjectName(QStringLiteral("icon"));
    name_->setObjectName(QStringLiteral("name"));
    playingDot_->setObjectName(QStringLiteral("playingDot"));
    percent_->setObjectName(QStringLiteral("percent"));
    muteButton_->setObjectName(QStringLiteral("muteButton"));
    slider_->setObjectName(QStringLiteral("volumeSlider"));
    rowMenu_->setObjectName(QStringLiteral("rowMenu"));

    icon_->setFixedSize(iconSize, iconSize);
    name_->setFont(panelFont(TextStyle::rowName));
    playingDot_->setFixedSize(dotSize, dotSize);
    percent_->setFont(panelFont(TextStyle::valueText));
    // Room for 100% (as the user's language writes it) from the start, so that
    // the name is not cut differently as the number changes during a drag.
    percent_->setMinimumWidth(
        std::max(percent_->textWidth(percentText(1.0)), percent_->textWidth(tr("muted"))));

    muteButton_->setAutoRaise(true);
    // Checked while muted, so that assistive technology tells "muted" from a
    // low volume; the speaker symbol shows it to the eye.
    muteButton_->setCheckable(true);
    muteButton_->setFocusPolicy(Qt::TabFocus);
    pressOnEnter(*muteButton_);
    muteButton_->setFixedWidth(muteWidth);
    muteButton_->setIconSize(QSize(muteWidth, muteWidth));
    muteButton_->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
    slider_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    slider_->setKeySteps(0.01, 0.1);
    slider_->setSpokenValue(100.0, percentText);
    setLabelledBy(*slider_, *name_);
    playingDot_->setAccessibleName(tr("playing"));

    auto* title = new QHBoxLayout;
    title->setSpacing(5);
    title->addWidget(name_);
    title->addWidget(playingDot_);
    title->addStretch(1);
    title->addWidget(percent_);

    auto* controls = new QHBoxLayout;
    controls->setSpacing(6);
    controls->addWidget(muteButton_);
    controls->addWidget(slider_);
    controls->addWidget(output_);

    auto* detail = new QVBoxLayout;
    detail->setSpacing(2);
    detail->addLayout(title);
    detail->addLayout(controls);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 4);
    row->setSpacing(10);
    row->addWidget(icon_, 0, Qt::AlignVCenter);
    row->addLayout(detail, 1);

    connect(muteButton_, &QToolButton::clicked, this, [this] {
        // The click's own checked state is not used: the button shows what
        // the model did.
        model_.toggleMute(entry_.id);
        showVolume();
    });
    connect(slider_, &ContinuousSlider::valueEdited, this, [this](double value) {
        model_.setVolume(entry_.id, value);
        showVolume();
    });
    connect(slider_, &QSlider::sliderReleased, this, [this] {
        showVolume();  // the thumb goes where the model's volume is
        emit dragEnded();
    });

    QAction* hide = rowMenu_->addAction(tr("Hide"));
    hide->setObjectName(QStringLiteral("hideAction"));
    connect(hide, &QAction::triggered, this,
            [this] { model_.setHidden(entry_.id, !model_.isHidden(entry_.id)); });

    applyColors();
    showEntry();
    showListed(true);
    showVolume();
    showOutput();
}

void AppRow::setEntry(AppEntry entry) {
    if (entry != entry_) {
        entry_ = std::move(entry);
        showEntry();
    }
    showListed(true);
    showVolume();
    showOutput();
}

void AppRow::showOutput() {
    // Devices and where the application plays change with refreshes, which
    // hand the row its entry.
    output_->setVisible(!model_.outputDevices().empty());
    QString name = QString::fromStdString(entry_.name);
    if (nameShared_) {
        name = tr("%1 (%2)").arg(name, QString::fromStdString(entry_.id));
    }
    output_->showOutput(entry_.id, name);
}

void AppRow::contextMenuEvent(QContextMenuEvent* event) {
    openRowMenu(event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                            : mapToGlobal(rect().center()));
    event->accept();
}

void AppRow::keyPressEvent(QKeyEvent* event) {
    // Shift+F10 is the other key for a context menu on Linux desktops; Qt
    // turns only the Menu key into a context menu event.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        openRowMenu(mapToGlobal(rect().center()));
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AppRow::openRowMenu(const QPoint& at) {
    const QString name = QString::fromStdString(entry_.name);
    QAction* action = rowMenu_->actions().front();
    action->setText(model_.isHidden(entry_.id) ? tr("Show %1").arg(name) : tr("Hide %1").arg(name));
    rowMenu_->popup(at, action);
    // Return takes it at once.
    rowMenu_->setActiveAction(action);
}

void AppRow::showEntry() {
    icon_->setIcon(appIcon(entry_.icon));
    name_->setText(QString::fromStdString(entry_.name));
    nameControls();
    playingDot_->setVisible(entry_.isPlaying);
}

void AppRow::setNameShared(bool shared) {
    if (shared != nameShared_) {
        nameShared_ = shared;
        nameControls();
        showOutput();
    }
}

void AppRow::nameControls() {
    QString name = QString::fromStdString(entry_.name);
    if (nameShared_) {
        //: An application's name with its id, for two applications of the same name.
        name = tr("%1 (%2)").arg(name, QString::fromStdString(entry_.id));
    }
    // Set only on a change: each setting is announced to assistive technology.
    if (const QString spoken = tr("%1 volume").arg(name); slider_->accessibleName() != spoken) {
        icon_->setAccessibleName(name);  // the picture is the application's
        slider_->setAccessibleName(spoken);
        muteButton_->setAccessibleName(tr("Mute %1").arg(name));
    }
}

void AppRow::setUnlisted() {
    showListed(false);
    showVolume();
}

void AppRow::showListed(bool listed) {
    setEnabled(listed);
    icon_->setOpacity(listed && entry_.isRunning() ? 1.0 : notRunningOpacity);
}

void AppRow::showVolume() {
    // One reading of the volume for the text, the symbol and the slider.
    const double volume = model_.volume(entry_.id);
    const std::optional<double> mutedLevel = model_.mutedLevel(entry_.id);
    if (shownVolume_ == volume && shownMutedLevel_ == mutedLevel &&
        (sliderShowsVolume_ || slider_->isSliderDown())) {
        return;
    }
    shownVolume_ = volume;
    shownMutedLevel_ = mutedLevel;
    percent_->setText(mutedLevel ? tr("muted") : percentText(volume));
    slider_->setMuted(mutedLevel.has_value());
    const QString symbol = QString::fromLatin1(muteSymbolName(volume));
    muteButton_->setChecked(volume == 0.0);
    if (muteButton_->property("symbol").toString() != symbol) {
        muteButton_->setProperty("symbol", symbol);
        muteButton_->setIcon(symbolIcon(symbol, secondaryTextColor(palette())));
    }
    // A slider the user holds keeps following the pointer; it shows the model's
    // value again once let go.
    sliderShowsVolume_ = !slider_->isSliderDown();
    if (sliderShowsVolume_) {
        slider_->setContinuousValue(mutedLevel.value_or(volume));
    }
}

bool AppRow::isDragging() const {
    return slider_->isSliderDown();
}

QWidget* AppRow::volumeSlider() const {
    return slider_;
}

QWidget* AppRow::muteButton() const {
    return muteButton_;
}

qreal AppRow::iconOpacity() const {
    return icon_->opacity();
}

QString AppRow::symbolName() const {
    return muteButton_->property("symbol").toString();
}

void AppRow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
    QWidget::changeEvent(event);
}

void AppRow::applyColors() {
    // Setting the children's colours does not change this widget's palette, so
    // this runs once per change of the desktop's palette.
    const QPalette current = palette();
    setTextColor(*playingDot_, statusGreen(current));
    setTextColor(*percent_, secondaryTextColor(current));
    if (const QString symbol = symbolName(); !symbol.isEmpty()) {
        muteButton_->setIcon(symbolIcon(symbol, secondaryTextColor(current)));
    }
}

}  // namespace morvale::ui

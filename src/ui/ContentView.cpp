// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ContentView.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "model/Model.h"
#include "ui/Accessibility.h"
#include "ui/AppRow.h"
#include "ui/ContinuousSlider.h"
#include "ui/Formatting.h"
#include "ui/Keyboard.h"
#include "ui/OutputButton.h"
#include "ui/PanelStyle.h"
#include "ui/RowList.h"
#include "ui/TextWidgets.h"

namespace morvale::ui {

namespace {

QLabel* makeLabel(const char* name, const QString& text, TextStyle style) {
    auto* label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(panelFont(style));
    return label;
}

QFrame* makeDivider(const char* name) {
    auto* line = new QFrame;
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    return line;
}

}  // namespace

ContentView::ContentView(Model& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      redrawTimer_(new QTimer(this)),
      title_(makeLabel("title", tr("Morvale"), TextStyle::headline)),
      emptyLine_(makeLabel("emptyLine", tr("No apps are playing audio."), TextStyle::callout)),
      rows_(new RowList(model)),
      hiddenToggle_(new QToolButton),
      hiddenRows_(new RowList(model)),
      sectionTitle_(makeLabel("duckTitle", tr("Undo call ducking"), TextStyle::sectionTitle)),
      callBadge_(makeLabel("callBadge", tr("call active"), TextStyle::caption2)),
      boostText_(new DigitsLabel),
      boostSlider_(new ContinuousSlider(0.0, 30.0, boostSteps)),
      helpText_(makeLabel("helpText",
                          //: %1 is the name of the row that call audio plays in.
                          tr("During a call, set %1 to 99% and raise this until it sounds as "
                             "loud as 100%.")
                              .arg(QString::fromStdString(model.callRowName())),
                          TextStyle::caption2)),
      boostNote_(makeLabel("boostNote",
                           tr("This system lowers nothing during calls: the boost has nothing "
                              "to undo."),
                           TextStyle::caption2)),
      errorLine_(makeLabel("errorLine", {}, TextStyle::caption)),
      divider1_(makeDivider("divider1")),
      divider2_(makeDivider("divider2")),
      loginBox_(new QCheckBox(tr("Open at login"))),
      quitButton_(new QPushButton(tr("Quit"))),
      focusRing_(new FocusRing(this)) {
    setObjectName(QStringLiteral("contentView"));
    setFixedWidth(panelWidth);

    hiddenToggle_->setObjectName(QStringLiteral("hiddenToggle"));
    hiddenRows_->setObjectName(QStringLiteral("hiddenRows"));
    hiddenToggle_->setCheckable(true);
    hiddenToggle_->setAutoRaise(true);
    hiddenToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    hiddenToggle_->setArrowType(Qt::RightArrow);
    hiddenToggle_->setFont(panelFont(TextStyle::sectionTitle));
    hiddenToggle_->setFocusPolicy(Qt::TabFocus);
    pressOnEnter(*hiddenToggle_);
    hiddenRows_->hide();

    boostText_->setObjectName(QStringLiteral("boostText"));
    boostText_->setFont(panelFont(TextStyle::valueText));
    boostSlider_->setObjectName(QStringLiteral("boostSlider"));
    boostSlider_->setKeySteps(1.0, 5.0);  // whole decibels, which is all the model takes
    boostSlider_->setSpokenValue(1.0, boostText);
    boostSlider_->setAccessibleName(sectionTitle_->text());
    sectionTitle_->setBuddy(boostSlider_);
    helpText_->setWordWrap(true);
    boostNote_->setWordWrap(true);
    boostSlider_->setAccessibleDescription(helpText_->text());
    errorLine_->setWordWrap(true);
    errorLine_->setTextFormat(Qt::PlainText);  // shown as it comes, never as markup
    // Reachable by Tab, so that a screen reader can read it again.
    errorLine_->setFocusPolicy(Qt::TabFocus);
    makeAlertLine(*errorLine_);
    loginBox_->setObjectName(QStringLiteral("launchAtLogin"));
    loginBox_->setFont(panelFont(TextStyle::callout));
    pressOnEnter(*loginBox_);
    quitButton_->setObjectName(QStringLiteral("quitButton"));
    quitButton_->setAutoDefault(false);
    // The rarest action: a plain text button, no more prominent than the
    // checkbox beside it.
    quitButton_->setFlat(true);
    quitButton_->setFont(panelFont(TextStyle::callout));
    pressOnEnter(*quitButton_);

    // The call line stands with the boost it turns on, apart from the title.
    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(badgeGap);
    header->addWidget(sectionTitle_);
    header->addStretch(1);
    header->addWidget(callBadge_);
    header->addWidget(boostText_);

    auto* section = new QWidget;
    section->setObjectName(QStringLiteral("duckSection"));
    auto* sectionLayout = new QVBoxLayout(section);
    sectionLayout->setContentsMargins(0, 0, 0, 0);
    sectionLayout->setSpacing(2);
    sectionLayout->addLayout(header);
    sectionLayout->addWidget(boostSlider_);
    sectionLayout->addWidget(helpText_);
    sectionLayout->addWidget(boostNote_);

    auto* bottom = new QWidget;
    bottom->setObjectName(QStringLiteral("bottomRow"));
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addWidget(loginBox_);
    bottomLayout->addStretch(1);
    bottomLayout->addWidget(quitButton_);

    auto* panel = new QVBoxLayout(this);
    panel->setContentsMargins(padding, padding, padding, padding);
    panel->setSpacing(spacing);
    panel->addWidget(title_);
    panel->addWidget(emptyLine_);
    panel->addWidget(rows_);
    panel->addWidget(hiddenToggle_, 0, Qt::AlignLeft);
    panel->addWidget(hiddenRows_);
    panel->addWidget(divider1_);
    panel->addWidget(section);
    panel->addWidget(errorLine_);
    panel->addWidget(divider2_);
    panel->addWidget(bottom);

    connect(boostSlider_, &ContinuousSlider::valueEdited, this, [this](double decibels) {
        model_.setDuckBoost(static_cast<double>(roundHalfAwayFromZero(decibels)));
    });
    connect(hiddenToggle_, &QToolButton::toggled, this, [this](bool open) {
        hiddenToggle_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        hiddenRows_->setVisible(open);
        redraw();
        updateTabOrder();
    });
    connect(hiddenRows_, &RowList::dragEnded, this, &ContentView::interactionEnded);
    connect(boostSlider_, &QSlider::sliderReleased, this, &ContentView::interactionEnded);
    connect(rows_, &RowList::dragEnded, this, &ContentView::interactionEnded);
    connect(this, &ContentView::interactionEnded, this, &ContentView::redrawSoon);
    connect(loginBox_, &QCheckBox::clicked, this, [this] {
        // The click's own value is not used: the model decides, and the box
        // shows what the login item says afterwards.
        model_.toggleLaunchAtLogin();
        const QSignalBlocker blocker(loginBox_);
        loginBox_->setChecked(model_.launchAtLogin());
    });
    connect(quitButton_, &QPushButton::clicked, this, &ContentView::quitRequested);

    // The model announces changes before making them; drawing on the next turn
    // of the event loop sees the new values and draws once per burst.
    redrawTimer_->setSingleShot(true);
    redrawTimer_->setInterval(0);
    connect(redrawTimer_, &QTimer::timeout, this, &ContentView::redraw);
    subscription_ = model_.objectWillChange().subscribe([this] { redrawSoon(); });

    applyColors();
    redraw();
    updateTabOrder();
}

void ContentView::redrawSoon() {
    if (!redrawTimer_->isActive()) {
        redrawTimer_->start();
    }
}

void ContentView::redraw() {
    draw(model_.entries());
}

void ContentView::draw(const std::vector<AppEntry>& entries) {
    redrawTimer_->stop();
    RowList::Hold hold = RowList::Hold::nothing;
    if (rows_->isDragging() || hiddenRows_->isDragging() || boostSlider_->isSliderDown()) {
        hold = RowList::Hold::all;
    } else if (hovered_) {
        hold = RowList::Hold::places;
    }
    std::vector<AppEntry> shown;
    std::vector<AppEntry> hidden;
    for (const AppEntry& entry : entries) {
        (model_.isHidden(entry.id) ? hidden : shown).push_back(entry);
    }
    bool moved = rows_->showEntries(shown, hold);
    //: The heading of the rows the user hid; %1 is how many there are.
    hiddenToggle_->setText(tr("Hidden (%1)").arg(static_cast<qulonglong>(hidden.size())));
    hiddenToggle_->setVisible(!hidden.empty());
    if (hidden.empty() && hiddenToggle_->isChecked()) {
        hiddenToggle_->setChecked(false);
    }
    // Closed, the hidden rows are not built at all: a row is widgets and
    // redraws for nothing while nobody sees it.
    moved = hiddenRows_->showEntries(hiddenToggle_->isChecked() ? hidden : std::vector<AppEntry>{},
                                     hold) ||
            moved;
    if (moved) {
        updateTabOrder();
    }
    emptyLine_->setVisible(rows_->rows().empty());

    callBadge_->setVisible(model_.callActive());
    boostText_->setText(boostText(model_.appliedBoostDB()));
    const bool nothingToUndo = model_.boostHasNothingToUndo();
    if (nothingToUndo != boostNote_->isVisibleTo(this)) {
        boostNote_->setVisible(nothingToUndo);
        // A screen reader hears it with the slider, as the help text.
        boostSlider_->setAccessibleDescription(
            nothingToUndo ? helpText_->text() + QLatin1Char(' ') + boostNote_->text()
                          : helpText_->text());
    }
    if (!boostSlider_->isSliderDown()) {
        boostSlider_->setContinuousValue(model_.appliedBoostDB());
    }

    showError();

    const QSignalBlocker blocker(loginBox_);
    loginBox_->setChecked(model_.launchAtLogin());
}

void ContentView::showError() {
    const auto& error = model_.errorText();
    if (!error) {
        errorLine_->hide();
        errorLine_->clear();
        return;
    }
    const QString text = QString::fromStdString(*error);
    if (text != errorLine_->text() || !errorLine_->isVisibleTo(this)) {
        errorLine_->setText(text);
        announce(*errorLine_);
    }
}

void ContentView::prepareToOpen() {
    hovered_ = false;
    hiddenToggle_->setChecked(false);
    redraw();
    const auto rows = rows_->rows();
    QWidget* first = rows.empty() ? boostSlider_ : rows.front()->volumeSlider();
    first->setFocus(Qt::OtherFocusReason);
    focusRing_->showOnOpeningControl(first);
}

bool ContentView::isInteracting() const {
    return rows_->isDragging() || hiddenRows_->isDragging() || boostSlider_->isSliderDown() ||
           hovered_;
}

void ContentView::updateTabOrder() {
    // The order shown: each row's slider, mute and output buttons, the
    // hidden rows' heading and (when open) their rows, then the boost, the
    // error line (when there is one), "Open at login" and Quit.
    std::vector<QWidget*> chain;
    const auto addRows = [&](const RowList& list) {
        for (const AppRow* row : list.rows()) {
            chain.push_back(row->volumeSlider());
            chain.push_back(row->muteButton());
            chain.push_back(row->outputButton());
        }
    };
    addRows(*rows_);
    chain.push_back(hiddenToggle_);
    addRows(*hiddenRows_);
    chain.insert(chain.end(), {boostSlider_, errorLine_, loginBox_, quitButton_});
    for (std::size_t i = 1; i < chain.size(); ++i) {
        setTabOrder(chain[i - 1], chain[i]);
    }
}

void ContentView::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    QWidget::enterEvent(event);
}

void ContentView::leaveEvent(QEvent* event) {
    hovered_ = false;
    if (!isInteracting()) {
        emit interactionEnded();
    }
    QWidget::leaveEvent(event);
}

void ContentView::hideEvent(QHideEvent* event) {
    // A panel closed under the pointer gets no leave event.
    hovered_ = false;
    QWidget::hideEvent(event);
}

QSize ContentView::sizeHint() const {
    // The wrapping help text makes the height depend on the width, which is fixed.
    return {panelWidth, heightForWidth(panelWidth)};
}

void ContentView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
    QWidget::changeEvent(event);
}

void ContentView::applyColors() {
    const QPalette current = palette();
    const QColor secondary = secondaryTextColor(current);
    setTextColor(*emptyLine_, secondary);
    setTextColor(*callBadge_, statusGreen(current));
    setTextColor(*boostText_, secondary);
    setTextColor(*helpText_, secondary);
    setTextColor(*boostNote_, secondary);
    setTextColor(*errorLine_, statusRed(current));
    QColor separator = current.color(QPalette::WindowText);
    separator.setAlphaF(0.15f);
    setTextColor(*divider1_, separator);
    setTextColor(*divider2_, separator);
}

}  // namespace morvale::ui

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PanelWindow.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/ContentView.h"
#include "ui/PanelPlacement.h"
#include "ui/PanelStyle.h"

namespace morvale::ui {

namespace {

// On X11 the panel is a popup: it holds the pointer and the keyboard while
// open, like a menu, and any click outside closes it, whatever the window
// manager's focus rules. Elsewhere (Wayland) popups need a window of ours to
// hang from, so the panel is a frameless window that closes when it loses the
// focus.
Qt::WindowFlags panelWindowFlags() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        return Qt::Popup | Qt::FramelessWindowHint;
    }
    return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
}

}  // namespace

PanelWindow::PanelWindow(ContentView* content, Clock clock)
    : QWidget(nullptr, panelWindowFlags()),
      content_(content),
      notice_(new QLabel),
      clock_(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)) {
    setObjectName(QStringLiteral("panelWindow"));
    setWindowTitle(tr("Morvale"));
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // always the panel's own size
    layout->setSpacing(0);
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setFont(panelFont(TextStyle::callout));
    notice_->setWordWrap(true);
    notice_->setTextFormat(Qt::PlainText);
    notice_->setFixedWidth(ContentView::panelWidth);
    const int padding = ContentView::padding;
    notice_->setContentsMargins(padding, padding, padding, 0);
    notice_->hide();
    layout->addWidget(notice_);
    layout->addWidget(content_);

    // Once the user lets go of a slider, the panel may have grown meanwhile.
    connect(content_, &ContentView::interactionEnded, this, [this] {
        if (isVisible()) {
            place();
        }
    });
}

void PanelWindow::toggle(const QRect& anchor) {
    if (isVisible()) {
        hide();
        return;
    }
    if (closedAt_ && clock_() - *closedAt_ < sameClickTime) {
        return;
    }
    open(anchor);
}

void PanelWindow::open(const QRect& anchor) {
    anchor_ = anchor;
    // The keyboard counts as unused in this opening until a key is pressed
    // (the wheel scrolls past the focused slider); the focus ring still shows
    // from the start (see ContentView::prepareToOpen).
    setAttribute(Qt::WA_KeyboardFocusChange, false);
    content_->prepareToOpen();
    adjustSize();
    place();
    show();
    raise();
    activateWindow();
}

void PanelWindow::setNotice(const QString& text) {
    notice_->setText(text);
    // The height that the text takes at the panel's width (a wrapping label's
    // own size hint may assume a narrower one).
    notice_->setFixedHeight(notice_->heightForWidth(ContentView::panelWidth));
    notice_->setVisible(!text.isEmpty());
}

QString PanelWindow::notice() const {
    return notice_->text();
}

void PanelWindow::place() {
    QScreen* screen = QGuiApplication::screenAt(anchor_.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    move(panelPosition(anchor_, size(), screen->availableGeometry()));
}

bool PanelWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::WindowDeactivate:
            hide();
            break;
        case QEvent::Hide:
            closedAt_ = clock_();
            break;
        case QEvent::Resize:
            // A panel above a bottom tray grows upwards; but nothing moves while
            // the user drags a slider or the pointer is over the panel.
            if (isVisible() && !content_->isInteracting()) {
                place();
            }
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void PanelWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PanelWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.2f);
    painter.setPen(border);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace morvale::ui

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MorvaleApp.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPalette>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include "model/Model.h"
#include "ui/ColorScheme.h"
#include "ui/ContentView.h"
#include "ui/PanelPlacement.h"
#include "ui/PanelWindow.h"
#include "ui/Symbols.h"
#include "ui/TrayActivation.h"
#include "ui/TrayIconLook.h"
#include "ui/TrayWatch.h"
#include "ui/XEmbedTrayColors.h"

namespace morvale::ui {

namespace {

constexpr const char* traySymbol = "slider.horizontal.3";

}  // namespace

MorvaleApp::MorvaleApp(Model& model, bool allowRestart, QObject* parent)
    : QObject(parent),
      model_(model),
      panel_(new PanelWindow(new ContentView(model))),
      colorScheme_(new DesktopColorScheme(this)),
      menuUpdate_(new QTimer(this)) {
    connect(contentView(), &ContentView::quitRequested, this, &MorvaleApp::quitRequested);
    connect(this, &MorvaleApp::quitRequested, this, [this] {
        panel_->hide();
        quit();
    });

    createTrayMenu();
    applyColorScheme();
    connect(colorScheme_, &DesktopColorScheme::changed, this, &MorvaleApp::applyColorScheme);
    // The menu follows the model (the login item may change under it), once
    // after each burst of changes.
    menuUpdate_->setSingleShot(true);
    menuUpdate_->setInterval(0);
    connect(menuUpdate_, &QTimer::timeout, this, &MorvaleApp::updateTrayMenu);
    subscription_ = model_.objectWillChange().subscribe([this] { menuUpdate_->start(); });

    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        trayColors_ = new XEmbedTrayColors({}, this);
        connect(trayColors_, &XEmbedTrayColors::changed, this, &MorvaleApp::updateTrayIcon);
    }

    auto* watch = new TrayWatch(allowRestart, this);
    connect(watch, &TrayWatch::trayAppeared, this, [this] {
        panel_->setNotice({});
        createTrayIcon();
    });
    connect(watch, &TrayWatch::restartNeeded, this, &MorvaleApp::restartRequested);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        createTrayIcon();
    } else {
        // Without a tray there is no icon to click: say how to come back, once.
        // (Showing an icon nowhere would only make Qt warn.)
        panel_->setNotice(
            tr("There is no system tray to show Morvale's icon in. To open this panel again, "
               "start Morvale again, for instance from the application menu."));
        QTimer::singleShot(0, this, &MorvaleApp::openPanel);
    }
    watch->start();

    installTrayActivationSpy();
    qApp->installEventFilter(this);
}

MorvaleApp::~MorvaleApp() {
    qApp->removeEventFilter(this);
    delete panel_;
}

ContentView* MorvaleApp::contentView() const {
    return panel_->content();
}

void MorvaleApp::openPanel() {
    activationPoint_.reset();  // from the menu or a second start, not at a click
    panel_->open(anchor());
}

void MorvaleApp::togglePanel() {
    panel_->toggle(anchor());
}

void MorvaleApp::quit() {
    QCoreApplication::quit();
}

QRect MorvaleApp::anchor() const {
    // Where the tray host said the icon was activated (a StatusNotifierItem
    // host, which tells no geometry), else the icon itself (an XEmbed tray).
    if (activationPoint_) {
        return {*activationPoint_, QSize(1, 1)};
    }
    if (tray_ != nullptr) {
        const QRect icon = tray_->geometry();
        if (icon.isValid() && !icon.isEmpty()) {
            return icon;
        }
    }
    // Nothing tells where the icon is (the panel opened at start, from the
    // menu, or from a host that gave no position): the pointer may be
    // anywhere, even for a click (the keyboard may have activated it), so go
    // by the desktop's panel instead.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return {};
    }
    return trayCorner(screen->geometry(), screen->availableGeometry(),
                      QGuiApplication::layoutDirection());
}

void MorvaleApp::applyColorScheme() {
    // The panel and the menu in the desktop's light or dark, whatever Qt's
    // own palette is; the tray icon follows the tray, not this.
    const QPalette palette = paletteFor(colorScheme_->scheme(), QApplication::palette());
    panel_->setPalette(palette);
    trayMenu_->setPalette(palette);
}

void MorvaleApp::createTrayMenu() {
    trayMenu_ = new QMenu(panel_);  // goes with the panel
    trayMenu_->setObjectName(QStringLiteral("trayMenu"));
    trayMenu_->addAction(tr("Open panel"), this, &MorvaleApp::openPanel);
    loginAction_ = trayMenu_->addAction(tr("Open at login"), this, [this] {
        // As the panel's checkbox: the model decides, the menu shows what the
        // login item says afterwards.
        model_.toggleLaunchAtLogin();
        updateTrayMenu();
    });
    loginAction_->setCheckable(true);
    trayMenu_->addSeparator();
    trayMenu_->addAction(tr("Quit"), this, &MorvaleApp::quitRequested);
    updateTrayMenu();
}

void MorvaleApp::updateTrayMenu() {
    if (loginAction_->isChecked() != model_.launchAtLogin()) {
        loginAction_->setChecked(model_.launchAtLogin());
    }
}

void MorvaleApp::createTrayIcon() {
    if (tray_ != nullptr) {
        return;
    }
    tray_ = new QSystemTrayIcon(this);
    // Before the icon shows: a StatusNotifierItem host reads whether there is a
    // menu only when the icon is registered with it.
    tray_->setContextMenu(trayMenu_);
    updateTrayIcon();
    tray_->setToolTip(tr("Morvale"));
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    activationPoint_ = takeTrayActivationPoint();
                    togglePanel();
                }
            });
    tray_->show();
}

void MorvaleApp::updateTrayIcon() {
    if (tray_ == nullptr) {
        return;
    }
    const TrayIconLook look = trayIconLook(
        trayColors_ != nullptr ? trayColors_->foreground() : std::nullopt, QApplication::palette());
    const QString themeName = QString::fromLatin1(trayIconThemeName);
    tray_->setIcon(symbolIcon(QString::fromLatin1(traySymbol), look.glyph,
                              QIcon::hasThemeIcon(themeName) ? themeName : QString(),
                              look.outline));
}

bool MorvaleApp::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        applyColorScheme();
        updateTrayIcon();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace morvale::ui

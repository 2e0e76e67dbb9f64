#include "ui/MorvaleApp.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QPalette>
#include <QSystemTrayIcon>

#include "model/Model.h"
#include "ui/ContentView.h"
#include "ui/PanelWindow.h"
#include "ui/Symbols.h"
#include "ui/TrayWatch.h"

namespace morvale::ui {

namespace {

constexpr const char* traySymbol = "slider.horizontal.3";

}  // namespace

MorvaleApp::MorvaleApp(Model& model, bool allowRestart, QObject* parent)
    : QObject(parent), model_(model), panel_(new PanelWindow(new ContentView(model))) {
    connect(contentView(), &ContentView::quitRequested, this, [this] {
        panel_->hide();
        quit();
    });

    createTrayIcon();
    auto* watch = new TrayWatch(allowRestart, this);
    connect(watch, &TrayWatch::trayAppeared, this, &MorvaleApp::createTrayIcon);
    connect(watch, &TrayWatch::restartNeeded, this, &MorvaleApp::restartRequested);
    watch->start();

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
    panel_->open(anchor());
}

void MorvaleApp::togglePanel() {
    panel_->toggle(anchor());
}

void MorvaleApp::setTrayMenu(QMenu* menu) {
    trayMenu_ = menu;
    tray_->setContextMenu(menu);
}

void MorvaleApp::quit() {
    QCoreApplication::quit();
}

QRect MorvaleApp::anchor() const {
    const QRect icon = tray_->geometry();
    if (icon.isValid() && !icon.isEmpty()) {
        return icon;
    }
    return {QCursor::pos(), QSize(1, 1)};
}

void MorvaleApp::createTrayIcon() {
    // A new icon each time, so that Qt docks it into whatever tray is there now.
    if (tray_ != nullptr) {
        tray_->hide();
        tray_->deleteLater();
    }
    tray_ = new QSystemTrayIcon(this);
    updateTrayIcon();
    tray_->setToolTip(tr("Morvale"));
    tray_->setContextMenu(trayMenu_);
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // The whole interface is the panel: a secondary click opens it
                // too, unless the icon has a menu for that.
                if (reason == QSystemTrayIcon::Trigger ||
                    (reason == QSystemTrayIcon::Context && tray_->contextMenu() == nullptr)) {
                    togglePanel();
                }
            });
    tray_->show();
}

void MorvaleApp::updateTrayIcon() {
    const QColor color = QApplication::palette().color(QPalette::WindowText);
    const QString themeName = QString::fromLatin1(trayIconThemeName);
    tray_->setIcon(symbolIcon(QString::fromLatin1(traySymbol), color,
                              QIcon::hasThemeIcon(themeName) ? themeName : QString()));
}

bool MorvaleApp::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        updateTrayIcon();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace morvale::ui

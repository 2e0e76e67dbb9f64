// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <vector>

#include "catalog/AppEntry.h"
#include "model/WillChange.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;
class QToolButton;

namespace morvale {
class Model;
}

namespace morvale::ui {

class ContinuousSlider;
class DigitsLabel;
class FocusRing;
class RowList;

// The panel: the title, the application rows, the call-ducking boost, the last
// error, "Open at login" and Quit, 320 wide. It keeps nothing of its own: it
// shows the model and redraws once after any burst of the model's change
// notifications, handing each row its entry (the rows do not listen to the
// model themselves); its controls call the model.
class ContentView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int panelWidth = 320;
    static constexpr int padding = 14;
    static constexpr int spacing = 8;
    // The least room between the boost's title, the call line and the boost.
    static constexpr int badgeGap = 12;
    static constexpr int boostSteps = 3000;  // 0.01 dB

    explicit ContentView(Model& model, QWidget* parent = nullptr);

    // Redraws on the next turn of the event loop, once however often asked.
    void redrawSoon();
    // Redraws now from the model.
    void redraw();
    // Draws the panel for this list of entries and the model's other values
    // (redraw() passes the model's entries).
    void draw(const std::vector<AppEntry>& entries);

    // The panel is about to open: it shows the model's rows in the model's
    // order, with the focus, and the focus ring, on the first row's slider
    // (the boost's when there is no row).
    void prepareToOpen();

    // The user holds a slider (a row's or the boost's), or the pointer is over
    // the panel: the panel keeps its place on screen, and rows keep theirs.
    // While a slider is held no row is added or removed either; while the
    // pointer is over the panel, a new application's row goes last and the
    // row of one that went stays, dimmed.
    bool isInteracting() const;

    // The heading of the hidden rows, and their list.
    QToolButton* hiddenToggle() const { return hiddenToggle_; }
    RowList* hiddenRows() const { return hiddenRows_; }
    RowList* rows() const { return rows_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void quitRequested();
    // The user let go of a slider, or the pointer left the panel: rows and the
    // panel may move again.
    void interactionEnded();

protected:
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void applyColors();
    void showError();
    void updateTabOrder();

    Model& model_;
    WillChangeChannel::Subscription subscription_;
    QTimer* redrawTimer_;

    QLabel* title_;
    QLabel* emptyLine_;
    RowList* rows_;
    // The rows the user hid: listed at the end, under a heading that opens
    // and closes them (closed when the panel opens).
    QToolButton* hiddenToggle_;
    RowList* hiddenRows_;
    QLabel* sectionTitle_;
    QLabel* callBadge_;
    DigitsLabel* boostText_;
    ContinuousSlider* boostSlider_;
    QLabel* helpText_;
    // Says why the boost lifts nothing, where the system ducks nothing.
    QLabel* boostNote_;
    QLabel* errorLine_;
    QWidget* divider1_;
    QWidget* divider2_;
    QCheckBox* loginBox_;
    QPushButton* quitButton_;
    FocusRing* focusRing_;
    bool hovered_ = false;
};

}  // namespace morvale::ui

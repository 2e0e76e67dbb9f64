// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <optional>

#include "catalog/AppEntry.h"

class QMenu;
class QToolButton;

namespace morvale {
class Model;
}

namespace morvale::ui {

class AppIconView;
class ContinuousSlider;
class Dot;
class DigitsLabel;
class ElidedLabel;
class OutputButton;

// One application's line in the panel: icon, name, a green dot while it plays,
// its volume as a percentage, a mute button whose speaker follows the volume,
// and a volume slider from 0 to 1. A muted row keeps its slider where unmuting
// returns to, drawn as muted, and says "muted" instead of a percentage. It shows the entry it was last given and
// that entry's volume as the model has it; its controls call the model.
//
// The panel keeps one row per entry id for as long as the entry is listed and
// hands it each new version of the entry whenever the model changed. The row
// does not listen to the model itself, and draws only what changed: the model
// also announces refreshes that change nothing, every 1.5 s.
class AppRow final : public QWidget {
    Q_OBJECT
public:
    AppRow(Model& model, AppEntry entry, QWidget* parent = nullptr);

    const AppEntry& entry() const { return entry_; }
    // Shows this version of the entry (same id) and the model's volume for it;
    // the row counts as listed again. Draws nothing when neither changed.
    void setEntry(AppEntry entry);
    // Shows the model's volume for the entry, when it changed.
    void showVolume();
    // A row whose entry is no longer listed, but which keeps its place for a
    // while, is dimmed and cannot be used.
    void setUnlisted();

    // Another shown row has the same name: this row's controls tell assistive
    // technology its application's id too, so that each is found by name.
    void setNameShared(bool shared);

    // The user holds the volume slider.
    bool isDragging() const;

    // The controls, in the order Tab reaches them (the output button only
    // while there are outputs to choose from).
    QWidget* volumeSlider() const;
    QWidget* muteButton() const;
    OutputButton* outputButton() const { return output_; }
    // The row's menu (Hide or Show), which its context menu, the Menu key and
    // Shift+F10 on any of its controls open.
    QMenu* rowMenu() const { return rowMenu_; }

    qreal iconOpacity() const;
    QString symbolName() const;

signals:
    // The user let go of the volume slider.
    void dragEnded();

protected:
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyColors();
    void showEntry();
    void showListed(bool listed);
    void nameControls();
    void showOutput();
    void openRowMenu(const QPoint& at);

    Model& model_;
    AppEntry entry_;
    // The volume the row shows, and whether the slider shows it too (a slider
    // the user holds keeps following the pointer instead).
    std::optional<double> shownVolume_;
    std::optional<double> shownMutedLevel_;
    bool nameShared_ = false;
    bool sliderShowsVolume_ = false;
    AppIconView* icon_;
    ElidedLabel* name_;
    Dot* playingDot_;
    DigitsLabel* percent_;
    QToolButton* muteButton_;
    ContinuousSlider* slider_;
    OutputButton* output_;
    QMenu* rowMenu_;
};

}  // namespace morvale::ui

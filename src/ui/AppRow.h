#pragma once

#include <QWidget>

#include "catalog/AppEntry.h"
#include "model/WillChange.h"

class QTimer;
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

// One application's line in the panel: icon, name, a green dot while it plays,
// its volume as a percentage, a mute button whose speaker follows the volume,
// and a volume slider from 0 to 1. It shows the entry it was last given and
// that entry's volume as the model has it, read again after each burst of the
// model's change notifications; its controls call the model.
//
// The panel keeps one row per entry id for as long as the entry is listed and
// hands it each new version of the entry.
class AppRow final : public QWidget {
    Q_OBJECT
public:
    AppRow(Model& model, AppEntry entry, QWidget* parent = nullptr);

    const AppEntry& entry() const { return entry_; }
    // Shows this version of the entry (same id) and the model's volume for it;
    // the row counts as listed again.
    void setEntry(AppEntry entry);
    // Reads the model's volume again (on its own after the model changed).
    void redraw();
    // A row whose entry is no longer listed, but which keeps its place for a
    // while, is dimmed and cannot be used.
    void setUnlisted();

    // The user holds the volume slider.
    bool isDragging() const;

    // The two controls, in the order Tab reaches them.
    QWidget* volumeSlider() const;
    QWidget* muteButton() const;

    qreal iconOpacity() const;
    QString symbolName() const;

signals:
    // The user let go of the volume slider.
    void dragEnded();

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();
    void showListed(bool listed);

    Model& model_;
    WillChangeChannel::Subscription subscription_;
    QTimer* redrawTimer_;
    AppEntry entry_;
    AppIconView* icon_;
    ElidedLabel* name_;
    Dot* playingDot_;
    DigitsLabel* percent_;
    QToolButton* muteButton_;
    ContinuousSlider* slider_;
};

}  // namespace morvale::ui

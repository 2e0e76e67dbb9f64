#pragma once

#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "model/AppEntry.h"

class QScrollArea;
class QVBoxLayout;

namespace morvale {
class Model;
}

namespace morvale::ui {

class AppRow;

// The panel's list of application rows, one per entry, in the entries' order.
// Rows are kept by entry id: an entry that stays listed keeps its row (the
// same widget, updated in place), so a refresh never rebuilds rows nor
// disturbs a slider in use. From scrollThreshold entries on, the rows sit in a
// vertically scrolling area of fixed height with its scroll bar shown;
// below that the list is as tall as its rows.
class RowList final : public QWidget {
    Q_OBJECT
public:
    static constexpr std::size_t scrollThreshold = 10;
    static constexpr int scrollHeight = 378;

    RowList(Model& model, QWidget* parent = nullptr);

    // Shows these entries. With keepLayout, rows are only updated in place:
    // none is added, removed or moved, so that nothing moves under a pointer
    // that is dragging a slider; the next call without it catches up.
    void showEntries(const std::vector<AppEntry>& entries, bool keepLayout);

    // The rows, top to bottom.
    std::vector<AppRow*> rows() const;
    bool isScrolling() const;
    // The user holds one of the rows' sliders.
    bool isDragging() const;

signals:
    void dragEnded();

private:
    void setScrolling(bool scrolling);

    Model& model_;
    QVBoxLayout* outer_;
    QWidget* host_;  // holds the rows; in the scroll area while scrolling
    QVBoxLayout* rowsLayout_;
    QScrollArea* scroll_;
    std::map<std::string, AppRow*, std::less<>> byId_;
};

}  // namespace morvale::ui

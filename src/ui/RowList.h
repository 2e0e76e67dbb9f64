// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "catalog/AppEntry.h"

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

    // How much of the list stays as it is while entries change.
    enum class Hold {
        nothing,  // rows follow the entries and their order
        places,   // rows keep their places: a new entry's row goes last, the
                  // row of an entry no longer listed stays, dimmed
        all,      // rows are only updated in place: none added, removed or moved
    };

    RowList(Model& model, QWidget* parent = nullptr);
    ~RowList() override;

    // Shows these entries, holding what hold says; a later call with less to
    // hold catches up. Returns whether rows were added, removed or moved.
    bool showEntries(const std::vector<AppEntry>& entries, Hold hold);

    // The rows, top to bottom.
    std::vector<AppRow*> rows() const;
    bool isScrolling() const;
    // The user holds one of the rows' sliders.
    bool isDragging() const;

signals:
    void dragEnded();

private:
    // Rows of the same name tell their applications apart to assistive technology.
    void markSharedNames();
    void follow(const std::vector<AppEntry>& entries);
    void keepPlaces(const std::vector<AppEntry>& entries);
    AppRow* addRow(const AppEntry& entry);
    void setScrolling(bool scrolling);

    Model& model_;
    QVBoxLayout* outer_;
    QWidget* host_;  // holds the rows; in the scroll area while scrolling
    QVBoxLayout* rowsLayout_;
    QScrollArea* scroll_;
    std::map<std::string, AppRow*, std::less<>> byId_;
    bool changed_ = false;  // in the current showEntries()
    QMetaObject::Connection followFocus_;
};

}  // namespace morvale::ui

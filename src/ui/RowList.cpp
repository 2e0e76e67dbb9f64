// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RowList.h"

#include <QApplication>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <set>
#include <string_view>

#include "ui/AppRow.h"

namespace morvale::ui {

RowList::RowList(Model& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      outer_(new QVBoxLayout(this)),
      host_(new QWidget),
      rowsLayout_(new QVBoxLayout(host_)),
      scroll_(new QScrollArea) {
    setObjectName(QStringLiteral("rows"));
    host_->setObjectName(QStringLiteral("rowsHost"));
    scroll_->setObjectName(QStringLiteral("rowsScroll"));

    outer_->setContentsMargins(0, 0, 0, 0);
    outer_->setSpacing(0);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(2);
    outer_->addWidget(host_);

    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll_->setFixedHeight(scrollHeight);
    scroll_->setBackgroundRole(QPalette::Window);
    // Tab goes through the rows themselves (and scrolls them into view).
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setParent(this);
    scroll_->hide();

    // However the focus arrives on a row (Tab, Shift+Tab from below, the row
    // of a keyboard user's application going), the row scrolls into view.
    followFocus_ =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* focused) {
            if (isScrolling() && focused != nullptr && host_->isAncestorOf(focused)) {
                scroll_->ensureWidgetVisible(focused);
            }
        });
}

RowList::~RowList() {
    // The rows go after this object's own part, and the focus leaving them
    // must not reach it then.
    disconnect(followFocus_);
}

bool RowList::showEntries(const std::vector<AppEntry>& entries, Hold hold) {
    changed_ = false;
    switch (hold) {
        case Hold::all:
            for (const AppEntry& entry : entries) {
                if (const auto it = byId_.find(entry.id); it != byId_.end()) {
                    it->second->setEntry(entry);
                }
            }
            return false;
        case Hold::places:
            keepPlaces(entries);
            break;
        case Hold::nothing:
            follow(entries);
            break;
    }
    setScrolling(byId_.size() >= scrollThreshold);
    markSharedNames();
    return changed_;
}

void RowList::markSharedNames() {
    std::map<std::string, int, std::less<>> count;
    const std::vector<AppRow*> shown = rows();
    for (const AppRow* row : shown) {
        ++count[row->entry().name];
    }
    for (AppRow* row : shown) {
        row->setNameShared(count[row->entry().name] > 1);
    }
}

void RowList::follow(const std::vector<AppEntry>& entries) {
    const std::vector<AppRow*> shown = rows();
    std::vector<AppRow*> wanted;
    wanted.reserve(entries.size());
    std::map<std::string, AppRow*, std::less<>> kept;
    for (const AppEntry& entry : entries) {
        AppRow* row = nullptr;
        if (const auto it = byId_.find(entry.id); it != byId_.end()) {
            row = it->second;
            byId_.erase(it);
            row->setEntry(entry);
        } else if (kept.find(entry.id) == kept.end()) {
            row = addRow(entry);
        }
        if (row != nullptr) {
            kept.emplace(entry.id, row);
            wanted.push_back(row);
        }
    }

    // What is left in byId_ goes, after the focus has moved on from it: a
    // keyboard user whose row goes finds the focus on the row in its place.
    std::vector<AppRow*> staying;
    for (AppRow* row : shown) {
        if (byId_.count(row->entry().id) == 0) {
            staying.push_back(row);
        }
    }
    // Moves rows only when the order changed, so that an unchanged list does
    // not flicker and keeps its scroll position.
    if (staying != wanted) {
        for (AppRow* row : wanted) {
            rowsLayout_->removeWidget(row);
        }
        for (AppRow* row : wanted) {
            rowsLayout_->addWidget(row);
            row->show();
        }
        changed_ = true;
    }
    const QWidget* focused = QApplication::focusWidget();
    for (std::size_t i = 0; i < shown.size() && !wanted.empty(); ++i) {
        if (byId_.count(shown[i]->entry().id) > 0 && shown[i]->isAncestorOf(focused)) {
            wanted[std::min(i, wanted.size() - 1)]->volumeSlider()->setFocus(Qt::OtherFocusReason);
        }
    }
    for (auto& [id, row] : byId_) {
        delete row;
        changed_ = true;
    }
    byId_ = std::move(kept);
}

void RowList::keepPlaces(const std::vector<AppEntry>& entries) {
    std::set<std::string_view> listed;
    for (const AppEntry& entry : entries) {
        listed.insert(entry.id);
        if (const auto it = byId_.find(entry.id); it != byId_.end()) {
            it->second->setEntry(entry);
        } else {
            AppRow* row = addRow(entry);
            byId_.emplace(entry.id, row);
            rowsLayout_->addWidget(row);
            row->show();
        }
    }
    for (auto& [id, row] : byId_) {
        if (listed.count(id) == 0) {
            row->setUnlisted();
        }
    }
}

AppRow* RowList::addRow(const AppEntry& entry) {
    auto* row = new AppRow(model_, entry, host_);
    connect(row, &AppRow::dragEnded, this, &RowList::dragEnded);
    changed_ = true;
    return row;
}

std::vector<AppRow*> RowList::rows() const {
    std::vector<AppRow*> rows;
    for (int i = 0; i < rowsLayout_->count(); ++i) {
        if (auto* row = qobject_cast<AppRow*>(rowsLayout_->itemAt(i)->widget())) {
            rows.push_back(row);
        }
    }
    return rows;
}

bool RowList::isScrolling() const {
    return scroll_->widget() == host_;
}

bool RowList::isDragging() const {
    return std::any_of(byId_.begin(), byId_.end(),
                       [](const auto& item) { return item.second->isDragging(); });
}

void RowList::setScrolling(bool scrolling) {
    if (scrolling == isScrolling()) {
        return;
    }
    if (scrolling) {
        outer_->removeWidget(host_);
        scroll_->setWidget(host_);  // the scroll area now owns the rows
        host_->show();
        outer_->addWidget(scroll_);
        scroll_->show();
    } else {
        QWidget* rows = scroll_->takeWidget();
        outer_->removeWidget(scroll_);
        scroll_->hide();
        rows->setParent(this);
        outer_->addWidget(rows);
        rows->show();
    }
}

}  // namespace morvale::ui

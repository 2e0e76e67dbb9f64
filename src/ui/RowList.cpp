#include "ui/RowList.h"

#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

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
    scroll_->setParent(this);
    scroll_->hide();
}

void RowList::showEntries(const std::vector<AppEntry>& entries, bool keepLayout) {
    if (keepLayout) {
        for (const AppEntry& entry : entries) {
            if (const auto it = byId_.find(entry.id); it != byId_.end()) {
                it->second->setEntry(entry);
            }
        }
        return;
    }

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
            row = new AppRow(model_, entry, host_);
            connect(row, &AppRow::dragEnded, this, &RowList::dragEnded);
        }
        if (row != nullptr) {
            kept.emplace(entry.id, row);
            wanted.push_back(row);
        }
    }
    for (auto& [id, row] : byId_) {
        delete row;  // its entry is no longer listed
    }
    byId_ = std::move(kept);

    // Moves rows only when the order changed, so that an unchanged list does
    // not flicker and keeps its scroll position.
    if (rows() != wanted) {
        for (AppRow* row : wanted) {
            rowsLayout_->removeWidget(row);
        }
        for (AppRow* row : wanted) {
            rowsLayout_->addWidget(row);
            row->show();
        }
    }
    setScrolling(entries.size() >= scrollThreshold);
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

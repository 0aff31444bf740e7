#pragma once

#include "history/HistoryEntry.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class HistoryWorker;

// The entries a query finds, newest first, for a list view. Only the pages
// the view has scrolled to are fetched (through the worker, off the window's
// thread), so a history of any size lists at once. Changes show at once and
// are written behind; one that fails is reported and the list read again.
class HistoryListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { StarColumn, SourceColumn, TargetColumn, LanguagesColumn, TimeColumn, Columns };
    static constexpr int kPageSize = 200;

    explicit HistoryListModel(HistoryWorker* worker, QObject* parent = nullptr);

    // Lists what the query finds from the newest on; a query still running
    // is forgotten.
    void SetQuery(const QString& text, bool starredOnly);
    // The same query again, from the top.
    void Reload();
    HistoryQuery Query() const;

    const HistoryEntry& Entry(int row) const { return rows_.at(row); }
    QList<HistoryEntry> Entries(const QList<int>& rows) const;
    // True while a page is on its way.
    bool IsLoading() const { return loading_; }
    // Every page is here.
    bool AtEnd() const { return atEnd_; }
    // How many entries the query finds; -1 until counted.
    qint64 MatchCount() const { return count_; }

    void SetStarred(int row, bool starred);
    void Remove(QList<int> rows);
    void Clear();

    // A failed search or change, to show.
    std::function<void(const QString& message)> OnError;
    // The rows or the count changed.
    std::function<void()> OnChanged;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    void RequestPage();
    void RequestCount();
    void PageArrived(uint64_t generation, const HistoryPage& page);
    void Failed(const QString& message);
    int RowOf(int64_t id) const;
    void Changed();

    HistoryWorker* worker_;
    HistoryQuery query_;
    QList<HistoryEntry> rows_;
    qint64 count_ = -1;
    bool loading_ = false;
    bool atEnd_ = true;
    // Raised by every new query; a search still queued for an older one is
    // skipped on the worker's thread, and its answer ignored here.
    uint64_t generation_ = 0;
    std::shared_ptr<std::atomic<uint64_t>> latest_;
};

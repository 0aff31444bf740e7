#include "historywindow/HistoryListModel.h"

#include "history/HistoryStore.h"
#include "historywindow/HistoryLanguages.h"
#include "historywindow/HistoryWorker.h"

#include <QDateTime>
#include <algorithm>

namespace {

// A text on one line of the list; the tooltip shows it whole.
QString OneLine(const QString& text) {
    return text.simplified();
}

QString Tooltip(const QString& text) {
    constexpr qsizetype kMost = 1000;
    return text.size() > kMost ? text.left(kMost) + QStringLiteral("…") : text;
}

} // namespace

HistoryListModel::HistoryListModel(HistoryWorker* worker, QObject* parent)
    : QAbstractTableModel(parent), worker_(worker),
      latest_(std::make_shared<std::atomic<uint64_t>>(0)) {}

void HistoryListModel::SetQuery(const QString& text, bool starredOnly) {
    beginResetModel();
    rows_.clear();
    count_ = -1;
    query_ = {};
    query_.text = text;
    query_.starredOnly = starredOnly;
    query_.limit = kPageSize;
    *latest_ = ++generation_;
    loading_ = false;
    atEnd_ = false;
    endResetModel();
    RequestPage();
    Changed();
}

void HistoryListModel::Reload() {
    SetQuery(query_.text, query_.starredOnly);
}

HistoryQuery HistoryListModel::Query() const {
    HistoryQuery q = query_;
    q.limit = 0;
    q.olderThan = 0;
    return q;
}

QList<HistoryEntry> HistoryListModel::Entries(const QList<int>& rows) const {
    QList<HistoryEntry> entries;
    for (int row : rows)
        if (row >= 0 && row < rows_.size())
            entries << rows_[row];
    return entries;
}

void HistoryListModel::RequestPage() {
    if (loading_ || atEnd_)
        return;
    loading_ = true;
    HistoryQuery q = query_;
    q.olderThan = rows_.isEmpty() ? 0 : rows_.last().position;
    const uint64_t generation = generation_;
    worker_->Post([this, q, generation,
                   latest = latest_](const HistoryWorker::Access& access) -> HistoryWorker::Reply {
        if (generation != latest->load())
            return {}; // the user typed on meanwhile
        HistoryPage page;
        if (access.store)
            page = access.store->Search(q);
        else
            page.error = access.error;
        return [this, generation, page] { PageArrived(generation, page); };
    });
}

void HistoryListModel::RequestCount() {
    const HistoryQuery q = Query();
    const uint64_t generation = generation_;
    worker_->Post([this, q, generation,
                   latest = latest_](const HistoryWorker::Access& access) -> HistoryWorker::Reply {
        if (generation != latest->load() || !access.store)
            return {};
        const HistoryCount count = access.store->Count(q);
        return [this, generation, count] {
            if (generation != generation_ || !count.error.isEmpty())
                return;
            count_ = count.count;
            Changed();
        };
    });
}

void HistoryListModel::PageArrived(uint64_t generation, const HistoryPage& page) {
    if (generation != generation_)
        return;
    loading_ = false;
    if (!page.error.isEmpty()) {
        atEnd_ = true;
        Failed(page.error);
        Changed();
        return;
    }
    const bool first = rows_.isEmpty();
    if (!page.entries.isEmpty()) {
        beginInsertRows({}, int(rows_.size()), int(rows_.size() + page.entries.size() - 1));
        rows_ << page.entries;
        endInsertRows();
    }
    atEnd_ = page.entries.size() < kPageSize;
    if (first && atEnd_)
        count_ = rows_.size();
    else if (first)
        RequestCount();
    Changed();
}

void HistoryListModel::SetStarred(int row, bool starred) {
    if (row < 0 || row >= rows_.size() || rows_[row].starred == starred)
        return;
    rows_[row].starred = starred;
    emit dataChanged(index(row, 0), index(row, Columns - 1));
    const int64_t id = rows_[row].id;
    worker_->Post([this, id, starred](const HistoryWorker::Access& access) -> HistoryWorker::Reply {
        const HistoryStatus status =
            access.store
                ? access.store->SetStarred(id, starred)
                : HistoryStatus{access.error.isEmpty() ? QStringLiteral("这条翻译历史已不存在。")
                                                       : access.error};
        if (status.ok())
            return {};
        return [this, id, starred, status] {
            if (const int row = RowOf(id); row >= 0) {
                rows_[row].starred = !starred;
                emit dataChanged(index(row, 0), index(row, Columns - 1));
            }
            Failed(status.error);
        };
    });
}

void HistoryListModel::Remove(QList<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<int64_t> ids;
    for (int row : rows) {
        if (row < 0 || row >= rows_.size())
            continue;
        ids << rows_[row].id;
        beginRemoveRows({}, row, row);
        rows_.removeAt(row);
        endRemoveRows();
    }
    if (ids.isEmpty())
        return;
    if (count_ >= 0)
        count_ = std::max<qint64>(0, count_ - ids.size());
    Changed();
    worker_->Post([this, ids](const HistoryWorker::Access& access) -> HistoryWorker::Reply {
        HistoryStatus status{access.error};
        for (qsizetype i = 0; access.store && status.ok() && i < ids.size(); ++i)
            status = access.store->Remove(ids[i]);
        if (status.ok())
            return {};
        return [this, status] {
            Failed(status.error);
            Reload();
        };
    });
}

void HistoryListModel::Clear() {
    worker_->Post([this](const HistoryWorker::Access& access) -> HistoryWorker::Reply {
        const HistoryStatus status =
            access.store ? access.store->Clear() : HistoryStatus{access.error};
        return [this, status] {
            if (!status.ok()) {
                Failed(status.error);
                return;
            }
            beginResetModel();
            rows_.clear();
            *latest_ = ++generation_;
            loading_ = false;
            atEnd_ = true;
            count_ = 0;
            endResetModel();
            Changed();
        };
    });
}

int HistoryListModel::RowOf(int64_t id) const {
    for (qsizetype row = 0; row < rows_.size(); ++row)
        if (rows_[row].id == id)
            return int(row);
    return -1;
}

void HistoryListModel::Failed(const QString& message) {
    if (OnError)
        OnError(message);
}

void HistoryListModel::Changed() {
    if (OnChanged)
        OnChanged();
}

int HistoryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int HistoryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const HistoryEntry& e = rows_[index.row()];
    switch (index.column()) {
    case StarColumn:
        if (role == Qt::DisplayRole)
            return e.starred ? QStringLiteral("★") : QStringLiteral("☆");
        if (role == Qt::ToolTipRole)
            return e.starred ? QStringLiteral("移出生词本") : QStringLiteral("加入生词本");
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        break;
    case SourceColumn:
    case TargetColumn: {
        const QString& text = index.column() == SourceColumn ? e.source : e.target;
        if (role == Qt::DisplayRole)
            return OneLine(text);
        if (role == Qt::ToolTipRole)
            return Tooltip(text);
        break;
    }
    case LanguagesColumn:
        if (role == Qt::DisplayRole)
            return QStringLiteral("%1 → %2").arg(LanguageNameOfCode(e.sourceCode),
                                                 LanguageNameOfCode(e.targetCode));
        if (role == Qt::ToolTipRole && !e.engine.isEmpty())
            return QStringLiteral("翻译引擎：%1").arg(e.engine);
        break;
    case TimeColumn:
        if (role == Qt::DisplayRole)
            return QDateTime::fromMSecsSinceEpoch(e.timeMs).toLocalTime().toString(
                QStringLiteral("yyyy-MM-dd HH:mm"));
        break;
    default:
        break;
    }
    return {};
}

QVariant HistoryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case StarColumn:
        return QStringLiteral("★");
    case SourceColumn:
        return QStringLiteral("原文");
    case TargetColumn:
        return QStringLiteral("译文");
    case LanguagesColumn:
        return QStringLiteral("语言");
    case TimeColumn:
        return QStringLiteral("时间");
    default:
        return {};
    }
}

bool HistoryListModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !atEnd_ && !loading_;
}

void HistoryListModel::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid())
        RequestPage();
}

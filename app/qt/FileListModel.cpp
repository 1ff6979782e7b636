#include "app/qt/FileListModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <algorithm>

namespace Desk {

FileListModel::FileListModel(const App::FileListCtrl& list, QObject* parent)
    : QAbstractTableModel(parent),
      m_list(list),
      // The style's two icons, not one per extension: looking each up would cost a file-type
      // query per row, which a list of twenty thousand cannot afford.
      m_file(QApplication::style()->standardIcon(QStyle::SP_FileIcon)),
      m_folder(QApplication::style()->standardIcon(QStyle::SP_DirIcon)) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_list.Count());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= m_list.Count())
        return {};
    const App::FileListCtrl::Row& row = m_list.Rows()[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return QString::fromStdString(index.column() == 0 ? row.name : row.path);
        case Qt::DecorationRole:
            if (index.column() == 0)
                return row.isFolder ? m_folder : m_file;
            return {};
        default:
            return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal)
        return section == 0 ? tr("File") : tr("Path");
    return {};
}

void FileListModel::Refresh() {
    beginResetModel();
    endResetModel();
}

FileListView::FileListView(const App::FileListCtrl& list, QWidget* parent)
    : QTableView(parent), m_list(list), m_model(list, this), m_sorted(this) {
    m_sorted.setSourceModel(&m_model);
    m_sorted.setSortCaseSensitivity(Qt::CaseInsensitive);
    setModel(&m_sorted);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(ExtendedSelection);
    setSortingEnabled(true);
    // Unsorted until a header is clicked: the rows in the order they were added.
    m_sorted.sort(-1);
    horizontalHeader()->setSortIndicatorShown(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this] { horizontalHeader()->setSortIndicatorShown(true); });
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->hide();
    // One height for every row: the view then never measures rows it does not show.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setShowGrid(false);
    setWordWrap(false);
    setAlternatingRowColors(true);
    setTextElideMode(Qt::ElideMiddle);
}

std::vector<std::size_t> FileListView::SelectedRows() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(static_cast<std::size_t>(m_sorted.mapToSource(index).row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void FileListView::SelectRows(const std::vector<std::size_t>& rows) {
    QItemSelection selection;
    for (std::size_t row : rows) {
        const QModelIndex index = m_sorted.mapFromSource(m_model.index(static_cast<int>(row), 0));
        selection.select(index, index);
    }
    selectionModel()->select(selection,
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void FileListView::Refresh() {
    if (m_shown == m_list.Generation())
        return;
    m_shown = m_list.Generation();
    m_model.Refresh();
}

void FileListView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && onDelete) {
        const auto rows = SelectedRows();
        if (!rows.empty()) {
            onDelete(rows);
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void FileListView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    // "File" takes 40% of the width, "Path" the rest.
    horizontalHeader()->resizeSection(0, viewport()->width() * 2 / 5);
}

}  // namespace Desk

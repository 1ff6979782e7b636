#include "app/qt/FileListModel.h"

namespace Desk {

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_list.Count());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= m_list.Count())
        return {};
    return QString::fromStdString(m_list.FullName(static_cast<std::size_t>(index.row())));
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section == 0)
        return tr("Name");
    return {};
}

void FileListModel::Refresh() {
    beginResetModel();
    endResetModel();
}

}  // namespace Desk

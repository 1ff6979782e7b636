// The wizard's file list as a table model: the view asks for the rows it shows, so a long list
// costs only what is on screen.
#pragma once

#include <QAbstractTableModel>

#include "app/wizard/FileListCtrl.h"

namespace Desk {

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit FileListModel(const App::FileListCtrl& list, QObject* parent = nullptr)
        : QAbstractTableModel(parent), m_list(list) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // The list's rows changed.
    void Refresh();

  private:
    const App::FileListCtrl& m_list;
};

}  // namespace Desk

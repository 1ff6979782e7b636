// The wizard's file list as a table model with the list's two columns, "File" and "Path". The
// view asks only for the rows it shows, so a long list costs what is on screen; sorting is a
// proxy's, so the core's rows keep their order and row numbers.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/wizard/FileListCtrl.h"

namespace Desk {

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit FileListModel(const App::FileListCtrl& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // The list's rows changed (added, removed, or refilled).
    void Refresh();

  private:
    const App::FileListCtrl& m_list;
    QIcon m_file, m_folder;
};

// The list as the user sees it: two columns, full-row multi-selection, headers that sort and
// move, Delete and Backspace reporting the selected rows in the core's numbering.
class FileListView : public QTableView {
    Q_OBJECT
  public:
    FileListView(const App::FileListCtrl& list, QWidget* parent = nullptr);

    // Rows as the core numbers them, whatever the sort order shown.
    std::vector<std::size_t> SelectedRows() const;
    void SelectRows(const std::vector<std::size_t>& rows);
    void Refresh();
    FileListModel& Model() { return m_model; }

    // Delete or Backspace pressed with rows selected.
    std::function<void(std::vector<std::size_t>)> onDelete;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    const App::FileListCtrl& m_list;
    std::uint64_t m_shown = ~std::uint64_t{0};
    FileListModel m_model;
    QSortFilterProxyModel m_sorted;
};

}  // namespace Desk

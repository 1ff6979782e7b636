// How the desktop file list copes with a long list: 20,000 rows filled, shown, sorted and
// scrolled offscreen. Prints milliseconds; asserts nothing.
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <cstdio>
#include <string>
#include <vector>

#include "app/core/Questions.h"
#include "app/qt/FileListModel.h"
#include "app/wizard/FileListCtrl.h"

namespace {

// The list asks nothing when rows are filled from names.
struct NoQuestions : App::RunQuestions {
    Answer Show(const std::string&, const std::string&, Icon, Buttons buttons, Answer) override {
        return SafeAnswer(buttons);
    }
    Replace ConfirmReplace(const std::string&, const std::string&) override {
        return Replace::Cancel;
    }
    std::optional<std::string> AskKeyFile(const std::string&, bool) override {
        return std::nullopt;
    }
    std::optional<App::Secret> AskAdministratorPassword(const std::string&) override {
        return std::nullopt;
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 20000;
    NoQuestions questions;
    App::FileListCtrl list(questions);
    std::vector<std::string> names;
    for (int i = 0; i < rows; ++i)
        names.push_back("Projects\\\\year " + std::to_string(2000 + i % 25) + "\\\\report " +
                        std::to_string((i * 7919) % rows) + ".odt");
    list.Fill(names);

    Desk::FileListView view(list);
    view.resize(900, 600);
    view.show();
    QElapsedTimer clock;
    clock.start();
    view.Refresh();
    QApplication::processEvents();
    const qint64 shown = clock.restart();
    view.sortByColumn(0, Qt::AscendingOrder);
    QApplication::processEvents();
    const qint64 sorted = clock.restart();
    for (int step = 0; step < 50; ++step) {
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() * step / 50);
        QApplication::processEvents();
    }
    const qint64 scrolled = clock.restart();
    view.selectAll();
    const auto selected = view.SelectedRows();
    const qint64 selecting = clock.restart();
    std::printf(
        "file list of %d rows: shown in %lld ms, sorted in %lld ms, 50 scroll steps in %lld "
        "ms (%.1f ms each), all %zu selected and mapped in %lld ms\n",
        rows, static_cast<long long>(shown), static_cast<long long>(sorted),
        static_cast<long long>(scrolled), scrolled / 50.0, selected.size(),
        static_cast<long long>(selecting));
    return 0;
}

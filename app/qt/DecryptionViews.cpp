// The decryption pages: the container, its password, the files in it and where they go.
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt/FileListModel.h"
#include "app/qt/PageViews.h"
#include "app/wizard/Wizard.h"

namespace Desk {

namespace {

class DecSourceView : public PageView {
  public:
    DecSourceView(App::Wizard& w, StepFn step, QWidget* parent)
        : PageView(w, std::move(step), parent) {
        const auto texts = w.decSource.Texts();
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(TextLabel(texts[0], this));
        QPushButton* browse = nullptr;
        m_name = PathRow(layout, this, texts[1], tr("Encrypted file name"), browse);
        layout->addSpacing(12);
        layout->addWidget(TextLabel(texts[2], this));
        auto* row = new QHBoxLayout;
        auto* please = new QLabel(Q(texts[3]), this);
        m_deletion = new QComboBox(this);
        for (const char* name : App::DecSourcePg::kDeletionNames)
            m_deletion->addItem(Q(name));
        m_deletion->setAccessibleName(tr("What to do with the encrypted file when done"));
        please->setBuddy(m_deletion);
        row->addWidget(please);
        row->addWidget(m_deletion);
        row->addWidget(new QLabel(Q(texts[4]), this));
        row->addStretch(1);
        layout->addLayout(row);
        m_confirm = new QCheckBox(Mnemonic(texts[5], 'A'), this);
        m_confirm->setAccessibleName(Q(texts[5]));
        layout->addWidget(m_confirm);
        layout->addStretch(1);
        connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) {
            Wizard().decSource.SetName(text.toStdString());
            StepSheet();
        });
        connect(browse, &QPushButton::clicked, this, [this] {
            Wizard().decSource.Browse();
            StepSheet();
        });
        connect(m_deletion, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
            Wizard().decSource.SetDeletionIndex(index);
            StepSheet();
        });
        connect(m_confirm, &QCheckBox::clicked, this, [this](bool on) {
            Wizard().decSource.SetConfirm(on);
            StepSheet();
        });
    }

    void Refresh() override {
        auto& p = Wizard().decSource;
        ShowText(m_name, p.name);
        m_deletion->setCurrentIndex(std::clamp(p.deletionIndex, 0, 4));
        m_confirm->setEnabled(p.ConfirmEnabled());
        m_confirm->setChecked(p.confirm);
        // Reading a container's footers runs in the background.
        setCursor(p.Busy() ? Qt::BusyCursor : Qt::ArrowCursor);
        FocusIfAsked(p.focusName, m_name);
    }
    QWidget* FirstFocus() override { return m_name; }

  private:
    QLineEdit* m_name;
    QComboBox* m_deletion;
    QCheckBox* m_confirm;
};

class DecPasswordView : public PageView {
  public:
    DecPasswordView(App::Wizard& w, StepFn step, QWidget* parent)
        : PageView(w, std::move(step), parent) {
        const auto texts = w.decPassword.Texts();
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(TextLabel(texts[0], this));
        // Which ways open the chosen container; set on every refresh, hidden when unknown.
        m_waysIn = TextLabel("", this);
        m_waysIn->setObjectName("waysIn");
        m_waysIn->hide();
        layout->addWidget(m_waysIn);
        auto* form = new QFormLayout;
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        m_password = PasswordEdit(this, Q(texts[1]));
        auto* label = new QLabel(Mnemonic(texts[1], 'p'), this);
        label->setBuddy(m_password);
        form->addRow(label, m_password);
        layout->addLayout(form);
        layout->addSpacing(16);
        layout->addWidget(BoldLabel(texts[2], this));
        layout->addWidget(TextLabel(texts[3], this));
        layout->addWidget(TextLabel(texts[4], this));
        layout->addStretch(1);
        connect(m_password, &QLineEdit::textEdited, this, [this](const QString& text) {
            Forward(text, [this](std::string_view t) { Wizard().decPassword.SetPassword(t); });
            StepSheet();
        });
    }

    void Refresh() override {
        auto& p = Wizard().decPassword;
        m_waysIn->setText(Q(p.waysIn));
        m_waysIn->setVisible(!p.waysIn.empty());
        // A refused password is dropped by the page: the field starts afresh.
        if (p.Password().View().empty())
            Wipe(m_password);
        // Unlocking runs in the background; the field waits with the buttons.
        m_password->setEnabled(!p.Busy());
        setCursor(p.Busy() ? Qt::BusyCursor : Qt::ArrowCursor);
        if (p.focusPassword) {
            p.focusPassword = false;
            m_password->setFocus();
        }
    }
    void Leave() override { Wipe(m_password); }
    QWidget* FirstFocus() override { return m_password; }

  private:
    QLabel* m_waysIn;
    QLineEdit* m_password;
};

class DecFilesView : public PageView {
  public:
    DecFilesView(App::Wizard& w, StepFn step, QWidget* parent)
        : PageView(w, std::move(step), parent) {
        const auto texts = w.decFiles.Texts();
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(TextLabel(texts[0], this));
        m_list = new FileListView(w.decFiles.list, this);
        m_list->setAccessibleName(tr("Files in the encrypted file"));
        layout->addWidget(m_list, 1);
        auto* row = new QHBoxLayout;
        auto* all = new QPushButton(Mnemonic(texts[1], 'A'), this);
        all->setAccessibleName(Q(texts[1]));
        all->setAutoDefault(false);
        row->addWidget(all);
        row->addStretch(1);
        layout->addLayout(row);
        connect(all, &QPushButton::clicked, this, [this] {
            Wizard().decFiles.SelectAll();
            StepSheet();
        });
        connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
            if (m_syncing)
                return;
            Wizard().decFiles.SetSelection(m_list->SelectedRows());
            StepSheet();
        });
    }

    void Refresh() override {
        m_list->Refresh();
        // The page's selection (Select All, or a command line) shown in the list.
        std::vector<std::size_t> selected;
        const auto& rows = Wizard().decFiles.list.Rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].selected)
                selected.push_back(i);
        if (selected != m_list->SelectedRows()) {
            m_syncing = true;
            m_list->SelectRows(selected);
            m_syncing = false;
        }
    }
    QWidget* FirstFocus() override { return m_list; }

  private:
    FileListView* m_list;
    bool m_syncing = false;
};

// Both destination pages: one stored file into a folder, or the chosen files.
class DestinationView : public PageView {
  public:
    DestinationView(App::Wizard& w, App::DestinationPage& page, StepFn step, QWidget* parent)
        : PageView(w, std::move(step), parent), m_page(page) {
        const auto texts = page.Texts();
        const bool many = &page == &w.decDest;
        auto* layout = new QVBoxLayout(this);
        m_instruction = TextLabel(texts[0], this);
        layout->addWidget(m_instruction);
        QPushButton* browse = nullptr;
        m_folder = PathRow(layout, this, texts[1], tr("Destination folder"), browse);
        if (many) {
            layout->addSpacing(12);
            layout->addWidget(TextLabel(texts[2], this));
            m_ignore = new QCheckBox(Mnemonic(texts[3], 'I'), this);
            m_ignore->setAccessibleName(Q(texts[3]));
            layout->addWidget(m_ignore);
            connect(m_ignore, &QCheckBox::clicked, this, [this](bool on) {
                Wizard().decDest.SetIgnorePaths(on);
                StepSheet();
            });
        }
        layout->addStretch(1);
        layout->addWidget(TextLabel(texts.back(), this));
        connect(m_folder, &QLineEdit::textEdited, this, [this](const QString& text) {
            m_page.SetFolder(text.toStdString());
            StepSheet();
        });
        connect(browse, &QPushButton::clicked, this, [this, &w] {
            if (&m_page == &w.decDest)
                w.decDest.Browse();
            else
                w.decFile.Browse();
            StepSheet();
        });
    }

    void Refresh() override {
        ShowText(m_folder, m_page.folder);
        if (&m_page == &Wizard().decFile)
            m_instruction->setText(Q(Wizard().decFile.instruction));
        if (m_ignore)
            m_ignore->setChecked(Wizard().decDest.ignorePaths);
        FocusIfAsked(m_page.focusFolder, m_folder);
    }
    QWidget* FirstFocus() override { return m_folder; }

  private:
    App::DestinationPage& m_page;
    QLabel* m_instruction;
    QLineEdit* m_folder;
    QCheckBox* m_ignore = nullptr;
};

}  // namespace

PageView* MakeDecryptionView(App::Wizard& w, App::Page& page, StepFn step, QWidget* parent) {
    if (&page == &w.decSource)
        return new DecSourceView(w, std::move(step), parent);
    if (&page == &w.decPassword)
        return new DecPasswordView(w, std::move(step), parent);
    if (&page == &w.decFiles)
        return new DecFilesView(w, std::move(step), parent);
    if (&page == &w.decFile)
        return new DestinationView(w, w.decFile, std::move(step), parent);
    if (&page == &w.decDest)
        return new DestinationView(w, w.decDest, std::move(step), parent);
    return nullptr;
}

}  // namespace Desk

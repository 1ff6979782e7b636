// The progress page of both runs and the end page with the summary.
#include <QCheckBox>
#include <QGridLayout>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/qt/PageViews.h"
#include "app/wizard/Wizard.h"

namespace Desk {

namespace {

QProgressBar* Bar(QWidget* parent, const QString& name) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setTextVisible(true);
    bar->setAccessibleName(name);
    return bar;
}

class ProgressView : public PageView {
  public:
    ProgressView(App::Wizard& w, App::ProgressPg& page, StepFn step, QWidget* parent)
        : PageView(w, std::move(step), parent), m_page(page) {
        auto* layout = new QVBoxLayout(this);
        m_itemLabel = TextLabel(page.CurrentFileLabel(), this);
        m_itemBar = Bar(this, tr("Current file"));
        m_itemText = TextLabel("", this);
        m_overallLabel = TextLabel(page.OverallLabel(), this);
        m_overallBar = Bar(this, tr("Overall progress"));
        m_overallText = TextLabel("", this);
        m_times = TextLabel("", this);
        for (QWidget* widget :
             {static_cast<QWidget*>(m_itemLabel), static_cast<QWidget*>(m_itemBar),
              static_cast<QWidget*>(m_itemText)})
            layout->addWidget(widget);
        layout->addSpacing(12);
        for (QWidget* widget :
             {static_cast<QWidget*>(m_overallLabel), static_cast<QWidget*>(m_overallBar),
              static_cast<QWidget*>(m_overallText), static_cast<QWidget*>(m_times)})
            layout->addWidget(widget);
        layout->addStretch(1);
        const std::string background = App::Text(App::StringId::RunInBackground);
        m_background = new QCheckBox(Mnemonic(background, 'R'), this);
        m_background->setAccessibleName(Q(background));
        layout->addWidget(m_background);
        m_note = TextLabel("", this);
        layout->addWidget(m_note);
        connect(m_background, &QCheckBox::clicked, this, [this](bool on) {
            m_page.SetBackground(on);
            StepSheet();
        });
    }

    void Refresh() override {
        const bool item = !m_page.layout.hideItem;
        for (QWidget* widget :
             {static_cast<QWidget*>(m_itemLabel), static_cast<QWidget*>(m_itemBar),
              static_cast<QWidget*>(m_itemText)})
            widget->setVisible(item);
        m_itemLabel->setText(Q(m_page.CurrentFileLabel()));
        m_itemBar->setValue(static_cast<int>(std::min<std::uint32_t>(m_page.itemBar, 100)));
        m_itemText->setText(Q(m_page.itemText));
        m_overallLabel->setText(Q(m_page.OverallLabel()));
        m_overallBar->setValue(static_cast<int>(std::min<std::uint32_t>(m_page.overallBar, 100)));
        m_overallText->setText(Q(m_page.overallText));
        m_times->setText(Q(m_page.timeText));
        m_background->setChecked(m_page.background);
        m_note->setText(Q(m_page.priorityNote));
        m_note->setVisible(!m_page.priorityNote.empty());
    }
    QWidget* FirstFocus() override { return m_background; }

  private:
    App::ProgressPg& m_page;
    QLabel *m_itemLabel, *m_itemText, *m_overallLabel, *m_overallText, *m_times, *m_note;
    QProgressBar *m_itemBar, *m_overallBar;
    QCheckBox* m_background;
};

// The summary: what happened, then Input, Output and Time in two columns, then what could not
// be done and why.
class EndView : public PageView {
  public:
    EndView(App::Wizard& w, StepFn step, QWidget* parent) : PageView(w, std::move(step), parent) {
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(TitleRow(w.end.Title(), this));
        layout->addSpacing(12);
        m_message = BoldLabel("", this);
        m_reason = TextLabel("", this);
        m_reason->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(m_message);
        layout->addWidget(m_reason);
        auto* details = new QWidget(this);
        auto* grid = new QGridLayout(details);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setColumnStretch(1, 1);
        const char* const labels[] = {"Input:", "Output:", "Time:"};
        for (int i = 0; i < 3; ++i) {
            grid->addWidget(new QLabel(labels[i], details), i, 0, Qt::AlignTop);
            m_details[i] = TextLabel("", details);
            m_details[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
            grid->addWidget(m_details[i], i, 1);
        }
        m_detailBox = details;
        layout->addWidget(details);
        m_warnings = TextLabel("", this);
        m_warnings->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(m_warnings);
        layout->addStretch(1);
        layout->addWidget(TextLabel(App::EndPg::kExitText, this));
    }

    void Refresh() override {
        const App::EndSummary& s = Wizard().end.summary;
        m_message->setText(Q(s.message));
        m_reason->setText(Q(s.reason));
        m_reason->setVisible(!s.reason.empty());
        m_detailBox->setVisible(s.showDetails);
        m_details[0]->setText(Q(s.input));
        m_details[1]->setText(Q(s.output));
        m_details[2]->setText(Q(s.time));
        QString warnings;
        if (!s.warnings.empty()) {
            warnings = Q(App::Text(App::StringId::RunWarningsHeading));
            for (const std::string& line : s.warnings)
                warnings += "\n  " + Q(line);
        }
        m_warnings->setText(warnings);
        m_warnings->setVisible(!warnings.isEmpty());
    }

  private:
    QLabel *m_message, *m_reason, *m_warnings;
    QLabel* m_details[3];
    QWidget* m_detailBox;
};

}  // namespace

PageView* MakeProgressView(App::Wizard& w, App::Page& page, StepFn step, QWidget* parent) {
    if (&page == &w.encProgress)
        return new ProgressView(w, w.encProgress, std::move(step), parent);
    if (&page == &w.decProgress)
        return new ProgressView(w, w.decProgress, std::move(step), parent);
    if (&page == &w.end)
        return new EndView(w, std::move(step), parent);
    return nullptr;
}

}  // namespace Desk

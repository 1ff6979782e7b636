#include "app/core/Sheet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace App;

// A page that answers Back and Next from fields and records what happened to it.
class ProbePage : public Page {
  public:
    ProbePage(int id, std::vector<std::string>& log) : Page(id, "t", "s"), m_log(log) {}
    void OnSetActive() override { m_log.push_back("active " + std::to_string(Id())); }
    int OnWizardNext() override { return next; }
    int OnWizardBack() override { return back; }
    bool OnWizardFinish() override { return finish; }
    bool OnQueryCancel() override { return cancel; }
    void OnTimer(int id) override { m_log.push_back("timer " + std::to_string(id)); }

    int next = kDefaultOrder, back = kDefaultOrder;
    bool finish = true, cancel = true;

  private:
    std::vector<std::string>& m_log;
};

struct Fixture {
    std::vector<std::string> log;
    ProbePage a{kEncOrDecPg, log}, b{kEncSourcePg, log}, c{kEncDestPg, log};
    Sheet sheet{"Cryvan"};
    Fixture() {
        sheet.AddPage(a);
        sheet.AddPage(b);
        sheet.AddPage(c);
        sheet.SetActivePage(kEncOrDecPgSmall);  // either template id of a pair
    }
};

TEST(Sheet, NavigationByOrderByIdAndVeto) {
    Fixture f;
    EXPECT_EQ(f.sheet.ActivePage(), &f.a);
    f.sheet.PressNext();
    EXPECT_EQ(f.sheet.ActivePage(), &f.b);
    f.b.next = kVeto;
    f.sheet.PressNext();
    EXPECT_EQ(f.sheet.ActivePage(), &f.b);
    f.b.next = kEncOrDecPg;  // a page may jump anywhere
    f.sheet.PressNext();
    EXPECT_EQ(f.sheet.ActivePage(), &f.a);
    f.sheet.PressBack();  // nothing before the first page
    EXPECT_EQ(f.sheet.ActivePage(), &f.a);
    EXPECT_EQ(f.log, (std::vector<std::string>{"active 129", "active 131", "active 129"}));
}

TEST(Sheet, PressesNeedTheirButtonAndPostedOnesWaitForThePump) {
    Fixture f;
    f.sheet.SetWizardButtons(kBack);
    f.sheet.PressNext();
    EXPECT_EQ(f.sheet.ActivePage(), &f.a);
    f.sheet.SetWizardButtons(kBack | kNext);
    f.sheet.PostPress(kNext);
    f.sheet.PostPress(kNext);
    EXPECT_EQ(f.sheet.ActivePage(), &f.a);
    EXPECT_TRUE(f.sheet.Pump());
    EXPECT_EQ(f.sheet.ActivePage(), &f.c);
    EXPECT_FALSE(f.sheet.Pump());
}

TEST(Sheet, FinishAndCancelAskThePage) {
    Fixture f;
    f.sheet.SetWizardButtons(kFinish);
    f.a.finish = false;
    f.sheet.PressFinish();
    EXPECT_FALSE(f.sheet.Closed());
    f.a.cancel = false;
    EXPECT_FALSE(f.sheet.PressCancel());
    f.sheet.SetCancelEnabled(false);
    f.a.cancel = true;
    EXPECT_FALSE(f.sheet.PressCancel());
    f.sheet.SetCancelEnabled(true);
    EXPECT_TRUE(f.sheet.PressCancel());
    EXPECT_TRUE(f.sheet.Closed());
    EXPECT_FALSE(f.sheet.Finished());

    Fixture g;
    g.sheet.SetWizardButtons(kFinish);
    g.sheet.PressFinish();
    EXPECT_TRUE(g.sheet.Finished());
}

TEST(Sheet, TimersFireOnTheActivePageWhenDue) {
    Fixture f;
    f.log.clear();
    f.sheet.Tick(1000);
    f.sheet.SetTimer(1, 200);
    f.sheet.Tick(1100);
    EXPECT_TRUE(f.log.empty());
    f.sheet.Tick(1200);
    f.sheet.Tick(1300);
    f.sheet.Tick(1400);
    f.sheet.KillTimer(1);
    f.sheet.Tick(2000);
    EXPECT_EQ(f.log, (std::vector<std::string>{"timer 1", "timer 1"}));
}

}  // namespace

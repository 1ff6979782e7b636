#include "app/core/Handover.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/core/Background.h"
#include "app/core/HandoverQuestions.h"
#include "app/core/Sheet.h"
#include "support/ScriptedDialogs.h"

namespace {

using namespace App;
using namespace std::chrono_literals;

bool Readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1;
}

// The user-interface thread's loop: wait for the descriptor, then ask what was handed over.
void Serve(Handover& h, const std::atomic<bool>& until) {
    while (!until.load())
        if (Readable(h.WakeFd(), 20))
            h.RunPending();
}

TEST(Handover, AQuestionFromAWorkerIsAskedOnTheAttachedThreadWhichItWakes) {
    Handover h;
    h.Attach();
    const auto ui = std::this_thread::get_id();
    std::thread::id askedOn;
    std::atomic<bool> done{false};
    int answer = 0;
    std::thread worker([&] {
        answer = h.Ask<int>(
            [&] {
                askedOn = std::this_thread::get_id();
                return 7;
            },
            [] { return -1; });
        done = true;
        h.Notify();
    });
    EXPECT_TRUE(Readable(h.WakeFd(), 5000)) << "the question did not wake the thread";
    Serve(h, done);
    worker.join();
    EXPECT_EQ(answer, 7);
    EXPECT_EQ(askedOn, ui);
}

TEST(Handover, UnattachedOrOnItsOwnThreadAQuestionIsAskedAtOnce) {
    Handover h;
    EXPECT_EQ(h.Ask<int>([] { return 1; }, [] { return -1; }), 1);
    h.Attach();
    EXPECT_EQ(h.Ask<int>([] { return 2; }, [] { return -1; }), 2);
    EXPECT_FALSE(Readable(h.WakeFd(), 0));
}

TEST(Handover, WhileTheInterfaceWaitsForTheWorkerQuestionsTakeTheirFallback) {
    Handover h;
    h.Attach();
    int answer = 0;
    {
        Handover::Refusal refusal(h);
        std::thread worker([&] { answer = h.Ask<int>([] { return 1; }, [] { return -1; }); });
        worker.join();  // would never end if the question waited for this thread
    }
    EXPECT_EQ(answer, -1);
}

TEST(Handover, AQuestionAlreadyWaitingWhenTheRefusalBeginsIsReleased) {
    Handover h;
    h.Attach();
    int answer = 0;
    std::thread worker([&] { answer = h.Ask<int>([] { return 1; }, [] { return -1; }); });
    ASSERT_TRUE(Readable(h.WakeFd(), 5000));
    {
        Handover::Refusal refusal(h);
        worker.join();
    }
    EXPECT_EQ(answer, -1);
}

TEST(Handover, WhatTheQuestionThrowsReachesTheAsker) {
    Handover h;
    h.Attach();
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        try {
            h.Ask<int>([]() -> int { throw std::runtime_error("no terminal"); }, [] { return -1; });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        done = true;
    });
    Serve(h, done);
    worker.join();
    EXPECT_EQ(caught, "no terminal");
}

TEST(HandoverQuestions, ABoxFromTheWorkerIsTheFrontEndsOrItsSafeAnswer) {
    cryvan_test::ScriptedDialogs ui;
    ui.answers = {MessageBoxes::Answer::Yes};
    Handover h;
    HandoverQuestions questions(ui, h);
    h.Attach();
    std::atomic<bool> done{false};
    MessageBoxes::Answer first{}, refused{};
    std::thread worker([&] {
        first = questions.Show("Go on?", "Cryvan", MessageBoxes::Icon::Question,
                               MessageBoxes::Buttons::YesNo, MessageBoxes::Answer::No);
        done = true;
    });
    Serve(h, done);
    worker.join();
    EXPECT_EQ(first, MessageBoxes::Answer::Yes);
    {
        Handover::Refusal refusal(h);
        std::thread later([&] {
            refused = questions.Show("Go on?", "Cryvan", MessageBoxes::Icon::Question,
                                     MessageBoxes::Buttons::YesNoCancel, MessageBoxes::Answer::Yes);
        });
        later.join();
    }
    EXPECT_EQ(refused, MessageBoxes::Answer::Cancel);
    EXPECT_EQ(ui.Shown().size(), 1u);
}

TEST(Background, UnattachedTheWorkAndWhatFollowsRunAtOnce) {
    Handover h;
    Background b(h);
    std::string log;
    b.Start([&] { log += "work "; }, [&] { log += "then"; });
    EXPECT_EQ(log, "work then");
    EXPECT_FALSE(b.Busy());
}

TEST(Background, AttachedTheWorkRunsElsewhereAndWhatFollowsOnTheInterfaceThread) {
    Handover h;
    h.Attach();
    Background b(h);
    const auto ui = std::this_thread::get_id();
    std::thread::id workedOn, followedOn;
    std::atomic<bool> followed{false};
    b.Start([&] { workedOn = std::this_thread::get_id(); },
            [&] {
                followedOn = std::this_thread::get_id();
                followed = true;
            });
    EXPECT_TRUE(b.Busy());
    Serve(h, followed);
    EXPECT_FALSE(b.Busy());
    EXPECT_NE(workedOn, ui);
    EXPECT_EQ(followedOn, ui);
}

TEST(Background, WaitingDropsWhatWouldHaveFollowed) {
    Handover h;
    h.Attach();
    bool followed = false;
    {
        Background b(h);
        b.Start([] { std::this_thread::sleep_for(20ms); }, [&] { followed = true; });
        b.Wait();
        EXPECT_FALSE(b.Busy());
    }
    h.RunPending();
    EXPECT_FALSE(followed);
}

TEST(Sheet, EveryChangeARendererShowsMovesTheRevisionAndTellsTheObserver) {
    struct Plain : Page {
        Plain(int id) : Page(id, "t", "s") {}
    } a{kEncOrDecPg}, b{kEncSourcePg};
    Sheet sheet("Cryvan");
    sheet.AddPage(a);
    sheet.AddPage(b);
    int told = 0;
    sheet.SetObserver([&] { ++told; });
    std::uint64_t seen = sheet.Revision();
    const auto moved = [&] {
        const bool m = sheet.Revision() != seen;
        seen = sheet.Revision();
        return m;
    };
    sheet.SetActivePage(kEncOrDecPg);
    EXPECT_TRUE(moved());
    sheet.SetWizardButtons(kNext);
    EXPECT_TRUE(moved());
    sheet.SetWizardButtons(kNext);  // the same again: nothing to redraw
    EXPECT_FALSE(moved());
    a.Changed();
    EXPECT_TRUE(moved());
    sheet.PressNext();
    EXPECT_TRUE(moved());
    sheet.SetTitle("45% - Cryvan");
    EXPECT_TRUE(moved());
    EXPECT_EQ(told, static_cast<int>(sheet.Revision()));
}

}  // namespace

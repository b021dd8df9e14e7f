#include "framework/Dialogs.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tw;

namespace {

TEST(Dialogs, MessagesReachTheResponderVerbatim) {
    std::vector<DialogCall> calls;
    ScopedDialogResponder responder([&](const DialogCall &call) {
        calls.push_back(call);
        return 0;
    });
    showMessage("100% sure: %s %d %n");
    showMessagef("Cannot read MIDI file %s, error %d", "/tmp/a%sb.mid", -2498);
    showMessage(nullptr);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_FALSE(calls[0].question);
    EXPECT_EQ(calls[0].text, "100% sure: %s %d %n");
    EXPECT_EQ(calls[1].text, "Cannot read MIDI file /tmp/a%sb.mid, error -2498");
    EXPECT_EQ(calls[2].text, "");
}

TEST(Dialogs, QuestionsAreAnsweredByTheResponder) {
    struct Case {
        int answer;
        int expected;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {2, 2}, {-1, 0}, {7, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        DialogCall seen;
        ScopedDialogResponder responder([&](const DialogCall &call) {
            seen = call;
            return c.answer;
        });
        EXPECT_EQ(askChoice("Data changed - save?", "Cancel", "Yes", "No"), c.expected);
        EXPECT_TRUE(seen.question);
        EXPECT_EQ(seen.text, "Data changed - save?");
        EXPECT_EQ(seen.buttons[0], "Cancel");
        EXPECT_EQ(seen.buttons[1], "Yes");
        EXPECT_EQ(seen.buttons[2], "No");
    }
}

TEST(Dialogs, ScopedRespondersNestAndRestore) {
    std::vector<int> order;
    ScopedDialogResponder outer([&](const DialogCall &) {
        order.push_back(1);
        return 1;
    });
    {
        ScopedDialogResponder inner([&](const DialogCall &) {
            order.push_back(2);
            return 2;
        });
        EXPECT_EQ(askChoice("q", "a", "b", nullptr), 2);
    }
    EXPECT_EQ(askChoice("q", "a", "b", nullptr), 1);
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

TEST(Dialogs, AResponderMayReplaceItselfWhileAnswering) {
    int calls = 0;
    setDialogResponder([&](const DialogCall &) {
        ++calls;
        setDialogResponder([&](const DialogCall &) {
            calls += 10;
            return 2;
        });
        return 1;
    });
    EXPECT_EQ(askChoice("q", "a", "b", "c"), 1);
    EXPECT_EQ(askChoice("q", "a", "b", "c"), 2);
    EXPECT_EQ(calls, 11);
    setDialogResponder(nullptr);
}

} // namespace

// The form classes against the recording window system.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "FakeWindowSystem.h"
#include "vcl/Forms.h"
#include "vcl/WindowSystem.h"

using namespace vcl;

namespace {

class Vcl : public ::testing::Test {
  protected:
    FakeWindowSystem ws;
    TApplication* app = new TApplication; // current while it lives
    ~Vcl() override { delete app; }

    FakeWindowSystem::Window& Win(const TControl* c) { return ws.windows.at(c->Handle()); }
};

// ---------------------------------------------------------------- components

struct Tracked : TComponent {
    Tracked(TComponent* owner, std::vector<int>& log, int id)
        : TComponent(owner), log_(log), id_(id) {}
    ~Tracked() override { log_.push_back(id_); }
    std::vector<int>& log_;
    int id_;
};

TEST(Component, OwnerFreesOwnedNewestFirstAndForgetsOnesFreedEarly) {
    std::vector<int> freed;
    auto* owner = new TComponent(nullptr);
    new Tracked(owner, freed, 1);
    auto* two = new Tracked(owner, freed, 2);
    new Tracked(owner, freed, 3);
    delete two;
    delete owner;
    EXPECT_EQ(freed, (std::vector<int>{2, 3, 1})); // 2 is not freed twice
}

// ---------------------------------------------------------------- scroll bar

class ScrollBarTest : public Vcl {
  protected:
    TForm* form = new TForm(app);
    TScrollBar* bar = new TScrollBar(form);
    std::vector<int32_t> changes;
    ScrollBarTest() {
        bar->SetParams(1, 1, 120);
        bar->SmallChange = 1;
        bar->LargeChange = 10;
        bar->OnChange = [this](TComponent* s) {
            EXPECT_EQ(s, bar);
            changes.push_back(bar->Position()); // already the new value
        };
    }
};

TEST_F(ScrollBarTest, PositionIsLimitedAndChangeFiresOnlyOnADifference) {
    struct {
        int32_t set, position;
        bool fires;
    } cases[] = {
        {37, 37, true}, {37, 37, false}, {500, 120, true}, {121, 120, false},
        {0, 1, true},   {-5, 1, false},  {1, 1, false},    {2, 2, true},
    };
    for (const auto& c : cases) {
        changes.clear();
        bar->SetPosition(c.set);
        EXPECT_EQ(bar->Position(), c.position) << "set " << c.set;
        EXPECT_EQ(changes.size(), c.fires ? 1u : 0u) << "set " << c.set;
    }
}

TEST_F(ScrollBarTest, ScrollCodesMoveByTheirStepWithinTheLimits) {
    struct {
        int32_t from;
        int code;
        int32_t track, to;
    } cases[] = {
        {50, scLineUp, 0, 49},      {50, scLineDown, 0, 51},   {50, scPageUp, 0, 40},
        {50, scPageDown, 0, 60},    {50, scTrack, 77, 77},     {50, scPosition, 99, 99},
        {50, scTop, 0, 1},          {50, scBottom, 0, 120},    {50, scEndScroll, 7, 50},
        {1, scLineUp, 0, 1},        {120, scLineDown, 0, 120}, {5, scPageUp, 0, 1},
        {115, scPageDown, 0, 120},  {50, scTrack, 70000, 120}, {50, scTrack, -3, 1},
    };
    for (const auto& c : cases) {
        bar->SetPosition(c.from);
        changes.clear();
        bar->WmScroll(c.code, c.track);
        EXPECT_EQ(bar->Position(), c.to) << "code " << c.code << " from " << c.from;
        EXPECT_EQ(changes.size(), c.to != c.from ? 1u : 0u) << "code " << c.code;
    }
}

TEST_F(ScrollBarTest, TheWindowFollowsThePosition) {
    bar->SetPosition(30);
    form->HandleNeeded();
    EXPECT_EQ(Win(bar).pos, 30);
    EXPECT_EQ(Win(bar).min, 1);
    EXPECT_EQ(Win(bar).max, 120);
    bar->WmScroll(scLineDown, 0);
    EXPECT_EQ(Win(bar).pos, 31);
}

// ---------------------------------------------------------------- radio group

class RadioGroupTest : public Vcl {
  protected:
    TForm* form = new TForm(app);
    TRadioGroup* group = new TRadioGroup(form);
    RadioGroupTest() {
        group->SetBounds(16, 56, 209, 65);
        group->SetItems({L"one", L"two"});
        form->HandleNeeded();
    }
    std::vector<bool> Checks() {
        std::vector<bool> v;
        for (int32_t i = 0; i < group->ItemCount(); ++i)
            v.push_back(Win(group->Button(i)).checked);
        return v;
    }
};

TEST_F(RadioGroupTest, ItemIndexIsLimitedAndChecksExactlyThatButton) {
    struct {
        int32_t set, index;
        std::vector<bool> checks;
    } cases[] = {
        {1, 1, {false, true}},   {0, 0, {true, false}},    {5, 1, {false, true}},
        {-1, -1, {false, false}}, {-4, -1, {false, false}},
    };
    int clicks = 0;
    for (int32_t i = 0; i < group->ItemCount(); ++i)
        group->Button(i)->OnClick = [&] { ++clicks; };
    for (const auto& c : cases) {
        group->SetItemIndex(c.set);
        EXPECT_EQ(group->ItemIndex(), c.index) << "set " << c.set;
        EXPECT_EQ(Checks(), c.checks) << "set " << c.set;
    }
    EXPECT_EQ(clicks, 0); // setting the index is no click
}

TEST_F(RadioGroupTest, AClickSelectsThatButtonsItem) {
    group->SetItemIndex(-1);
    group->Button(1)->WmClick();
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_EQ(Checks(), (std::vector<bool>{false, true}));
    group->Button(0)->WmClick();
    EXPECT_EQ(group->ItemIndex(), 0);
    EXPECT_EQ(Checks(), (std::vector<bool>{true, false}));
}

TEST_F(RadioGroupTest, ButtonsAreChildrenOfTheFormInOneColumnInsideTheBox) {
    int32_t lastTop = 0;
    for (int32_t i = 0; i < group->ItemCount(); ++i) {
        const auto& w = Win(group->Button(i));
        EXPECT_EQ(w.params.WndParent, form->Handle());
        EXPECT_EQ(w.x, group->Left() + 8);
        EXPECT_GT(w.y, lastTop);
        EXPECT_GE(w.y, group->Top());
        EXPECT_LE(w.y + w.h, group->Top() + group->Height());
        lastTop = w.y;
    }
}

// ---------------------------------------------------------------- handles

TEST_F(Vcl, WindowsAreMadeInTabOrderWithTheStylesOfTheDialogManager) {
    auto* form = new TForm(app);
    auto* edit = new TEdit(form);
    edit->TabOrder = 1;
    auto* label = new TLabel(form);
    auto* group = new TRadioGroup(form);
    group->SetItems({L"a", L"b"});
    group->TabOrder = 2;
    auto* bar = new TScrollBar(form);
    bar->TabOrder = 0;
    auto* button = new TButton(form);
    button->TabOrder = 3;
    auto* last = new TLabel(form);
    form->HandleNeeded();

    // The fake hands out handles in creation order, and a child's place
    // among its siblings is its order of creation: the tab stops fill
    // their places by TabOrder, the group's buttons right after the group.
    std::vector<TControl*> expected = {form, bar, label, edit, group, group->Button(0),
                                       group->Button(1), button, last};
    for (size_t i = 1; i < expected.size(); ++i)
        EXPECT_LT(expected[i - 1]->Handle(), expected[i]->Handle()) << "control " << i;

    auto style = [&](TControl* c) { return Win(c).params.Style; };
    EXPECT_EQ(style(bar) & (kWsTabStop | kWsGroup), kWsTabStop | kWsGroup);
    EXPECT_EQ(style(group) & kWsTabStop, 0u); // a group box takes no focus
    EXPECT_EQ(style(group->Button(0)) & (kWsTabStop | kWsGroup), kWsTabStop | kWsGroup);
    EXPECT_EQ(style(group->Button(1)) & (kWsTabStop | kWsGroup), 0u);
    EXPECT_EQ(style(button) & kWsGroup, kWsGroup); // ends the radio buttons' group
    EXPECT_EQ(style(label) & kWsTabStop, 0u);
}

TEST_F(Vcl, FormParamsFollowBorderPositionAndClientSize) {
    ws.frameWidth = 6;
    ws.frameHeight = 25;
    auto* form = new TForm(app);
    form->BorderStyle = bsSingle;
    form->BorderIconMaximize = false;
    form->Position = poDefault;
    form->SetClientSize(293, 190);
    form->HandleNeeded();
    const auto& p = Win(form).params;
    EXPECT_EQ(p.Style & (kWsPopup | kWsChild | kWsThickFrame | kWsMaximizeBox), 0u);
    EXPECT_EQ(p.Style & (kWsCaption | kWsSysMenu | kWsMinimizeBox),
              kWsCaption | kWsSysMenu | kWsMinimizeBox);
    EXPECT_EQ(p.WndParent, app->Handle()); // owned by the application window
    EXPECT_EQ(p.X, kUseDefault);
    EXPECT_EQ(p.Y, kUseDefault);
    EXPECT_EQ(p.Width, 299);
    EXPECT_EQ(p.Height, 215);

    auto* popup = new TForm(app);
    popup->BorderStyle = bsNone;
    popup->SetBounds(0, 0, 1024, 768);
    popup->HandleNeeded();
    EXPECT_EQ(Win(popup).params.Style & (kWsPopup | kWsCaption), kWsPopup);
    EXPECT_EQ(Win(popup).params.Width, 1024);
    EXPECT_EQ(popup->ClientWidth(), 1024);
}

TEST_F(Vcl, DestroyingAFormForgetsTheHandlesOfItsControls) {
    auto* form = new TForm(app);
    auto* label = new TLabel(form);
    form->HandleNeeded();
    ASSERT_TRUE(label->HandleAllocated());
    form->DestroyHandle();
    EXPECT_FALSE(form->HandleAllocated());
    EXPECT_FALSE(label->HandleAllocated());
    label->SetCaption(L"after"); // must not reach a dead window
    EXPECT_EQ(label->Caption(), L"after");
}

// ---------------------------------------------------------------- application

struct RecordingForm : TForm {
    static RecordingForm* global;
    static std::vector<std::string> log;
    explicit RecordingForm(TComponent* owner) : TForm(owner) {
        OnCreate = [this](TComponent*) {
            log.push_back(std::string("create global=") + (global == this ? "self" : "other") +
                          " main=" + (Application->MainForm() == this ? "self" : "other") +
                          " handle=" + (HandleAllocated() ? "yes" : "no"));
        };
    }
};
RecordingForm* RecordingForm::global = nullptr;
std::vector<std::string> RecordingForm::log;

TEST_F(Vcl, CreateFormStoresTheFormFirstAndTheFirstBecomesMain) {
    RecordingForm::log.clear();
    app->CreateForm(RecordingForm::global);
    RecordingForm* first = RecordingForm::global;
    app->CreateForm(RecordingForm::global);
    RecordingForm* second = RecordingForm::global;
    EXPECT_EQ(RecordingForm::log,
              (std::vector<std::string>{"create global=self main=self handle=no",
                                        "create global=self main=other handle=no"}));
    EXPECT_EQ(app->MainForm(), first);
    EXPECT_FALSE(first->HandleAllocated()); // not visible: no window yet

    delete first;
    EXPECT_EQ(app->MainForm(), nullptr);
    app->CreateForm(RecordingForm::global);
    EXPECT_EQ(app->MainForm(), RecordingForm::global);
    EXPECT_NE(RecordingForm::global, second);
}

struct VisibleForm : TForm {
    explicit VisibleForm(TComponent* owner) : TForm(owner) {
        OnCreate = [this](TComponent*) { handleAtCreate = HandleAllocated(); };
        auto* bar = new TScrollBar(this);
        bar->TabOrder = 1;
        first = new TButton(this);
        first->TabOrder = 0;
        SetVisible(true);
    }
    bool handleAtCreate = true;
    TButton* first;
};

TEST_F(Vcl, AVisibleFormShowsAfterOnCreateWithTheApplicationWindowAndFocus) {
    app->SetTitle(L"Title");
    os::Handle appWnd = app->Handle();
    EXPECT_EQ(ws.windows.at(appWnd).text, L"Title");
    EXPECT_FALSE(ws.windows.at(appWnd).visible);

    VisibleForm* form = nullptr;
    app->CreateForm(form);
    EXPECT_FALSE(form->handleAtCreate);
    ASSERT_TRUE(form->HandleAllocated());
    EXPECT_TRUE(Win(form).visible);
    ASSERT_GE(ws.shows.size(), 2u);
    EXPECT_EQ(ws.shows[0], std::make_pair(appWnd, kSwShowNoActivate));
    EXPECT_EQ(ws.shows[1].first, form->Handle());
    EXPECT_EQ(ws.focused, form->first->Handle());

    app->SetTitle(L"Other");
    EXPECT_EQ(ws.windows.at(appWnd).text, L"Other");
}

class CloseTest : public Vcl {
  protected:
    TForm* main = nullptr;
    TForm* other = nullptr;
    std::vector<std::string> log;
    CloseTest() {
        app->CreateForm(main);
        app->CreateForm(other);
        main->Show();
        other->Show();
    }
};

TEST_F(CloseTest, ClosingTheMainFormHidesItAndEndsTheLoop) {
    main->OnClose = [&](TComponent*, TCloseAction& action) {
        EXPECT_EQ(action, caHide);
        log.push_back("close");
    };
    ws.queue.push_back([&] { main->WmClose(); });
    app->Run();
    EXPECT_EQ(log, std::vector<std::string>{"close"});
    EXPECT_TRUE(app->Terminated());
    EXPECT_FALSE(main->Visible());
    EXPECT_FALSE(Win(main).visible);
}

TEST_F(CloseTest, CloseActionsOfAnotherForm) {
    other->OnClose = [](TComponent*, TCloseAction& action) { action = caNone; };
    other->Close();
    EXPECT_TRUE(other->Visible());

    other->OnClose = nullptr;
    other->Close();
    EXPECT_FALSE(other->Visible());
    app->ProcessMessages();
    EXPECT_FALSE(app->Terminated()); // only the main form ends the application

    std::vector<int> freed;
    new Tracked(other, freed, 1);
    other->OnClose = [](TComponent*, TCloseAction& action) { action = caFree; };
    other->Close();
    EXPECT_TRUE(freed.empty()); // freed later, not under its own handler
    app->ProcessMessages();
    EXPECT_EQ(freed, std::vector<int>{1});
    EXPECT_EQ(app->MainForm(), main);
}

TEST_F(CloseTest, ACloseDuringOnCloseRunsItAgainAndEndsOnce) {
    int depth = 0, runs = 0, deepest = 0;
    main->OnClose = [&](TComponent*, TCloseAction&) {
        ++runs;
        deepest = std::max(deepest, ++depth);
        // A wait inside the handler meets a second close request.
        if (runs == 1)
            ws.queue.push_back([&] { main->WmClose(); });
        app->ProcessMessages();
        --depth;
    };
    main->Close();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(deepest, 2);
    EXPECT_TRUE(app->Terminated());
    EXPECT_FALSE(main->Visible());
}

TEST_F(Vcl, AnErrorLeavingAHandlerGoesToTheErrorBox) {
    app->SetTitle(L"KestraneScreenSaverExecuter");
    TForm* form = nullptr;
    app->CreateForm(form);
    auto* button = new TButton(form);
    button->OnClick = [](TComponent*) { throw Exception(L"C:\\x\\a.ini に書き込めません"); };
    form->Show();
    ws.queue.push_back([&] { button->WmClick(); });
    ws.queue.push_back([] { throw std::runtime_error("bad"); });
    app->ProcessMessages();
    EXPECT_EQ(ws.errors,
              (std::vector<std::wstring>{L"KestraneScreenSaverExecuter|C:\\x\\a.ini に書き込めません.",
                                         L"KestraneScreenSaverExecuter|bad."}));
    EXPECT_TRUE(form->Visible()); // the form goes on
}

// ---------------------------------------------------------------- timer

TEST_F(Vcl, ATimerRunsOnlyWhileEnabledWithAnInterval) {
    auto* form = new TForm(app);
    auto* timer = new TTimer(form);
    int ticks = 0;
    timer->OnTimer = [&](TComponent* s) {
        EXPECT_EQ(s, timer);
        ++ticks;
    };
    timer->SetEnabled(false);
    timer->SetInterval(0);
    EXPECT_TRUE(ws.timers.empty());
    timer->SetInterval(200);
    EXPECT_TRUE(ws.timers.empty()); // still disabled
    timer->SetEnabled(true);
    ASSERT_EQ(ws.timers.size(), 1u);
    EXPECT_EQ(ws.timers.begin()->second.ms, 200u);
    ws.FireTimers();
    EXPECT_EQ(ticks, 1);
    timer->SetInterval(0);
    EXPECT_TRUE(ws.timers.empty());
    timer->SetInterval(50);
    ASSERT_EQ(ws.timers.size(), 1u);
    delete form; // takes its timer along
    EXPECT_TRUE(ws.timers.empty());
}

} // namespace

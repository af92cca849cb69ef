#include "list/hix.h"

#include "list/caption.h"
#include "list/counters.h"
#include "tests/support/fakes.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using Paths = std::vector<std::string>;

const ShownMessage welcome{"Welcome to Aldo Veskin's HIX Demo", "HIX Demo - A. Veskin"};
const ShownMessage notANumber{"Please input a number in future, ok", std::nullopt};

class HixTest : public testing::Test {
protected:
    // The store as a previous run left it: paths newest first.
    void restore(const Paths& paths, const std::string& maximum = "3")
    {
        store.setPaths(paths);
        store.values[{"Config", "MAX_FILES"}] = maximum;
        store.values[{"Config", "noHIX"}] = std::to_string(paths.size());
        hix.RestoreList(form);
    }

    void setMaximum(const std::string& text) { form.maximum.value = text; }
    Paths tags() const { return copy.tags(); }

    std::optional<std::string> config(const std::string& key) const
    {
        return store.value("Config", key);
    }

    FakeStore store;
    WindowlessCopy copy{store};
    FakeMessageBox& messages = copy.messages;
    FakeForm& form = copy.form;
    HIX& hix = copy.hix;
};

TEST_F(HixTest, FirstRunGreetsAndStoresDefaults)
{
    hix.RestoreList(form);

    EXPECT_EQ(messages.shown, std::vector{welcome});
    EXPECT_EQ(config("noHIX"), "0");
    EXPECT_EQ(config("MAX_FILES"), "3");
    EXPECT_EQ(form.maximum.value, "3");
    EXPECT_EQ(hix.state().maxEntries, 3);
    EXPECT_EQ(hix.state().entryCount, 0);
    EXPECT_FALSE(form.bar.visible);
    EXPECT_FALSE(form.entries.at(1).visible);
    EXPECT_EQ(form.entries.count(), 1);
}

class FirstRunMaximumTest
    : public HixTest,
      public testing::WithParamInterface<std::pair<std::string, std::string>> { };

TEST_P(FirstRunMaximumTest, KeepsAValidStoredMaximumOnly)
{
    const auto& [stored, expected] = GetParam();
    store.values[{"Config", "MAX_FILES"}] = stored;

    hix.RestoreList(form);

    EXPECT_EQ(messages.shown, std::vector{welcome});
    EXPECT_EQ(form.maximum.value, expected);
    EXPECT_EQ(config("MAX_FILES"), expected);
}

INSTANTIATE_TEST_SUITE_P(Stored, FirstRunMaximumTest,
    testing::Values(std::pair{"7", "7"}, std::pair{"20", "20"}, std::pair{"25", "3"},
        std::pair{"0", "3"}, std::pair{"x", "3"}));

TEST_F(HixTest, RestoreRebuildsEntriesFromStore)
{
    const std::string longPath = R"(C:\Data\letters\2008\may\invoice-0042.doc)";
    restore({"/c", longPath, "/a"}, "5");

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(form.maximum.value, "5");
    EXPECT_TRUE(form.bar.visible);
    EXPECT_EQ(tags(), (Paths{"/c", longPath, "/a"}));
    EXPECT_EQ(form.entries.at(1).caption, "&1   /c");
    EXPECT_EQ(form.entries.at(2).caption, R"(&2   ...\2008\may\invoice-0042.doc)");
    for (std::int16_t i = 1; i <= 3; ++i)
        EXPECT_TRUE(form.entries.at(i).visible);
    EXPECT_EQ(hix.state().entryCount, 3);
    EXPECT_EQ(hix.state().maxEntries, 5);
}

TEST_F(HixTest, RestoreWithoutCountShowsSeparatorButNoEntry)
{
    store.setPaths({"/a"});

    hix.RestoreList(form);

    EXPECT_TRUE(form.bar.visible);
    EXPECT_FALSE(form.entries.at(1).visible);
    EXPECT_EQ(form.entries.count(), 1);
}

TEST_F(HixTest, RestoreOfMissingPositionShowsNumberOnly)
{
    store.setPaths({"/a", "/b", "/c"});
    store.values.erase({"Recent Files", "2"});
    store.values[{"Config", "noHIX"}] = "3";

    hix.RestoreList(form);

    EXPECT_EQ(form.entries.at(2).caption, "&2   ");
    EXPECT_EQ(form.entries.at(2).tag, "");
}

struct CounterCase {
    std::string count;
    std::string maximum;
    std::int16_t entries;
    std::int16_t maxEntries;
};

void PrintTo(const CounterCase& counters, std::ostream* out)
{
    *out << counters.count << ' ' << counters.maximum;
}

class HandEditedCountersTest : public HixTest, public testing::WithParamInterface<CounterCase> { };

TEST_P(HandEditedCountersTest, RestoreAndNextOpenStayInRange)
{
    store.setPaths(Paths(30, "/p"));
    store.values[{"Config", "noHIX"}] = GetParam().count;
    store.values[{"Config", "MAX_FILES"}] = GetParam().maximum;

    hix.RestoreList(form);

    EXPECT_EQ(hix.state().entryCount, GetParam().entries);
    EXPECT_EQ(hix.state().maxEntries, GetParam().maxEntries);
    EXPECT_EQ(form.entries.count(), std::max<std::int16_t>(GetParam().entries, 1));
    hix.OpenPath("/new");
    EXPECT_EQ(form.entries.at(1).tag, "/new");
    EXPECT_LE(hix.state().entryCount, hix.state().maxEntries);
}

INSTANTIATE_TEST_SUITE_P(Counters, HandEditedCountersTest,
    testing::Values(CounterCase{"abc", "3", 0, 3}, CounterCase{"99", "3", 20, 3},
        CounterCase{"-5", "3", 0, 3}, CounterCase{"1e9", "3", 0, 3}, CounterCase{"2", "many", 2, 0},
        CounterCase{"2", "40000", 2, 0}));

struct MaximumCase {
    std::string typed;
    std::int16_t maximum;
    bool complains;
};

void PrintTo(const MaximumCase& maximumCase, std::ostream* out)
{
    *out << '"' << maximumCase.typed << '"';
}

class ValidateMaximumTest : public HixTest, public testing::WithParamInterface<MaximumCase> { };

TEST_P(ValidateMaximumTest, StoresAndShowsValidMaximum)
{
    restore({"/a"});
    setMaximum(GetParam().typed);

    hix.ValidateMaximum();

    const std::string expected = std::to_string(GetParam().maximum);
    EXPECT_EQ(hix.state().maxEntries, GetParam().maximum);
    EXPECT_EQ(config("MAX_FILES"), expected);
    EXPECT_EQ(form.maximum.value, expected);
    EXPECT_EQ(messages.shown,
        GetParam().complains ? std::vector{notANumber} : std::vector<ShownMessage>{});
}

INSTANTIATE_TEST_SUITE_P(Typed, ValidateMaximumTest,
    testing::Values(MaximumCase{"20", 20, false}, MaximumCase{"1", 1, false},
        MaximumCase{"21", 4, false}, MaximumCase{"0", 4, false}, MaximumCase{"-3", 4, false},
        MaximumCase{"abc", 4, true}, MaximumCase{"", 4, true}, MaximumCase{"2.5", 2, false},
        MaximumCase{"3.5", 4, false}, MaximumCase{"0.5", 4, false}, MaximumCase{" 7 ", 7, false},
        MaximumCase{"1e1", 10, false}, MaximumCase{"99999", 4, false},
        MaximumCase{"1e400", 4, false}, MaximumCase{"0x10", 4, true}));

// One step of a change table: a path to open, or "max N" to submit N as the maximum, or "box N"
// to type N in the maximum's box without submitting it.
struct ChangeCase {
    const char* name;
    Paths stored;
    std::string maximum;
    std::vector<std::string> steps;
    Paths shown;
    // As FakeStore::storedPaths reads them.
    Paths storedAfter;
    std::string maximumAfter;
    std::string log;
};

void PrintTo(const ChangeCase& change, std::ostream* out)
{
    *out << change.name;
}

class ChangeTest : public HixTest, public testing::WithParamInterface<ChangeCase> { };

TEST_P(ChangeTest, MenuStoreAndLogAgree)
{
    restore(GetParam().stored, GetParam().maximum);

    for (const std::string& step : GetParam().steps) {
        if (step.starts_with("max ")) {
            setMaximum(step.substr(4));
            hix.ApplyMaximum();
        } else if (step.starts_with("box ")) {
            setMaximum(step.substr(4));
        } else {
            hix.OpenPath(step);
        }
    }

    EXPECT_EQ(tags(), GetParam().shown);
    EXPECT_EQ(store.storedPaths(), GetParam().storedAfter);
    EXPECT_EQ(config("noHIX"), std::to_string(GetParam().shown.size()));
    EXPECT_EQ(config("MAX_FILES"), GetParam().maximumAfter);
    EXPECT_EQ(form.maximum.value, GetParam().maximumAfter);
    EXPECT_EQ(form.log.value, GetParam().log);
    for (std::int16_t i = 1; i <= form.entries.count(); ++i)
        EXPECT_EQ(form.entries.at(i).caption, entryCaption(i, form.entries.at(i).tag));
}

INSTANTIATE_TEST_SUITE_P(Steps, ChangeTest,
    testing::Values(
        ChangeCase{"newPathsStackUpThenDropTheOldest", {}, "3", {"/a", "/b", "/c", "/d"},
            {"/d", "/c", "/b"}, {"/d", "/c", "/b"}, "3", "/a\r\n/b\r\n/c\r\n/d\r\n"},
        ChangeCase{"reopeningTheFirstEntryMovesNothing", {"/c", "/b", "/a"}, "3", {"/c"},
            {"/c", "/b", "/a"}, {"/c", "/b", "/a"}, "3", "/c\r\n"},
        ChangeCase{"reopeningTheLastEntryPromotesIt", {"/c", "/b", "/a"}, "3", {"/a"},
            {"/a", "/c", "/b"}, {"/a", "/c", "/b"}, "3", "/a\r\n"},
        ChangeCase{"aPromotionSurvivesTheNextAddition", {"/c", "/b", "/a"}, "5", {"/a", "/d"},
            {"/d", "/a", "/c", "/b"}, {"/d", "/a", "/c", "/b", ""}, "5", "/a\r\n/d\r\n"},
        ChangeCase{"aTrimAfterAPromotionDropsTheSamePaths", {"/e", "/d", "/c", "/b", "/a"}, "5",
            {"/c", "max 2"}, {"/c", "/e"}, {"/c", "/e"}, "2", "/c\r\n"},
        ChangeCase{"aLowerMaximumTrimsMenuAndStore", {"/e", "/d", "/c", "/b", "/a"}, "5", {"max 2"},
            {"/e", "/d"}, {"/e", "/d"}, "2", ""},
        ChangeCase{"aHigherMaximumAddsNoEntries", {"/c", "/b", "/a"}, "3", {"max 5"},
            {"/c", "/b", "/a"}, {"/c", "/b", "/a"}, "5", ""},
        ChangeCase{"aPathDifferingOnlyInCaseIsNew", {"/home/a.txt"}, "3", {"/home/A.txt"},
            {"/home/A.txt", "/home/a.txt"}, {"/home/A.txt", "/home/a.txt", ""}, "3",
            "/home/A.txt\r\n"},
        ChangeCase{"anInvalidBoxIsCorrectedBeforeTheListGrows", {"/a"}, "3", {"box lots", "/b"},
            {"/b", "/a"}, {"/b", "/a", "", ""}, "4", "/b\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HixTest, UnchangedMaximumOnlyRewritesIt)
{
    restore({"/c", "/b", "/a"});
    const auto before = store.values;
    store.writes = 0;

    hix.ApplyMaximum();

    EXPECT_EQ(store.values, before);
    EXPECT_EQ(store.writes, 1);
}

TEST_F(HixTest, FirstPathRevealsListAndFillsStoreToMaximum)
{
    hix.RestoreList(form);

    hix.OpenPath("/home/alex/a.txt");

    EXPECT_TRUE(form.bar.visible);
    EXPECT_TRUE(form.entries.at(1).visible);
    EXPECT_EQ(form.entries.count(), 1);
    EXPECT_EQ(form.entries.at(1).caption, "&1   /home/alex/a.txt");
    EXPECT_EQ(config("noHIX"), "1");
    EXPECT_EQ(store.storedPaths(), (Paths{"/home/alex/a.txt", "", ""}));
    EXPECT_EQ(form.log.value, "/home/alex/a.txt\r\n");
}

TEST_F(HixTest, PushOfPathAlreadyFirstWritesNothing)
{
    restore({"/a", "/b"});
    store.writes = 0;

    hix.PushStoredPath("/a");

    EXPECT_EQ(store.writes, 0);
}

TEST_F(HixTest, PromotionLogsTheFullPath)
{
    const std::string longPath = R"(C:\Documents and Settings\Owner\My Documents\report.txt)";
    restore({"/b", longPath});

    hix.OpenPath(longPath);

    EXPECT_EQ(form.log.value, longPath + "\r\n");
    EXPECT_EQ(form.entries.at(1).tag, longPath);
    EXPECT_EQ(form.entries.at(1).caption, R"(&1   ...\My Documents\report.txt)");
}

TEST_F(HixTest, EmptyPathOnFirstRunMatchesHiddenEntry)
{
    hix.RestoreList(form);

    hix.OpenPath("");

    EXPECT_EQ(form.entries.at(1).caption, "&1   ");
    EXPECT_FALSE(form.entries.at(1).visible);
    EXPECT_FALSE(form.bar.visible);
    EXPECT_EQ(form.log.value, "\r\n");
    EXPECT_FALSE(store.path(1).has_value());
}

TEST_F(HixTest, LogKeepsWhatTheUserTyped)
{
    restore({"/a"});
    form.log.value = "my notes\r\n";

    hix.LogPath("/b");
    hix.LogPath("");

    EXPECT_EQ(form.log.value, "my notes\r\n/b\r\n\r\n");
}

TEST_F(HixTest, OperationsBeforeRestoreFailCleanly)
{
    EXPECT_THROW(hix.OpenPath("/a"), std::logic_error);
    EXPECT_THROW(hix.ApplyMaximum(), std::logic_error);
}

TEST(CheckedInt16, RaisesInsteadOfWrapping)
{
    EXPECT_EQ(checkedInt16(32767), 32767);
    EXPECT_EQ(checkedInt16(-32768), -32768);
    EXPECT_THROW(checkedInt16(32768), std::overflow_error);
    EXPECT_THROW(checkedInt16(-32769), std::overflow_error);
}

TEST(Indexes, EndAtTheEdgesOfTheRangeAndAreEmptyWhenReversed)
{
    const auto counted = [](const IndexRun& run) {
        std::vector<std::int16_t> seen;
        for (const std::int16_t index : run)
            seen.push_back(index);
        return seen;
    };
    EXPECT_EQ(counted(indexes(1, 32767)).size(), 32767U);
    EXPECT_EQ(counted(indexes(32767, 32767)), (std::vector<std::int16_t>{32767}));
    EXPECT_TRUE(counted(indexes(5, 4)).empty());
    EXPECT_TRUE(counted(indexes(5, -32768)).empty());
    EXPECT_EQ(counted(indexesDown(-1, -32768)).size(), 32768U);
    EXPECT_TRUE(counted(indexesDown(4, 5)).empty());
    EXPECT_EQ(counted(indexesDown(3, 1)), (std::vector<std::int16_t>{3, 2, 1}));
}

struct ReloadCase {
    const char* name;
    Paths paths;
    std::optional<std::string> count;
    Paths shown;
    bool separator;
};

void PrintTo(const ReloadCase& reload, std::ostream* out)
{
    *out << reload.name;
}

class ReloadTest : public HixTest, public testing::WithParamInterface<ReloadCase> { };

TEST_P(ReloadTest, ShowsWhatAnotherCopyStored)
{
    restore({"/c", "/b", "/a"}, "5");
    store.values = {{{"Config", "MAX_FILES"}, "6"}};
    store.setPaths(GetParam().paths);
    if (GetParam().count)
        store.values[{"Config", "noHIX"}] = *GetParam().count;

    hix.reloadList();

    EXPECT_EQ(tags(), GetParam().shown);
    EXPECT_EQ(form.bar.visible, GetParam().separator);
    EXPECT_EQ(form.entries.at(1).visible, GetParam().shown.front() != "");
    EXPECT_EQ(form.maximum.value, "6");
    EXPECT_TRUE(messages.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Stored, ReloadTest,
    testing::Values(ReloadCase{"grown", {"/e", "/d", "/c", "/b", "/a"}, "5",
                        {"/e", "/d", "/c", "/b", "/a"}, true},
        ReloadCase{"shrunk", {"/z"}, "1", {"/z"}, true},
        ReloadCase{"emptied", {}, "0", {""}, false},
        ReloadCase{"countLost", {"/z"}, std::nullopt, {""}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HixTest, ReloadLeavesAHalfTypedMaximumAlone)
{
    restore({"/a"}, "5");
    setMaximum("1");
    store.values[{"Config", "MAX_FILES"}] = "7";

    hix.reloadList();

    EXPECT_EQ(form.maximum.value, "1");
    EXPECT_EQ(hix.state().maxEntries, 7);
}

TEST_F(HixTest, ChangeAsksForANumberBeforeItLocksAndRebuildsFirst)
{
    restore({"/b", "/a"}, "5");
    setMaximum("many");
    messages.onShow = [this] { EXPECT_FALSE(store.locked); };
    store.outside = store.values;
    (*store.outside)[{"Recent Files", "1"}] = "/other";

    hix.open("/new");

    EXPECT_EQ(messages.shown, std::vector{notANumber});
    EXPECT_EQ(store.storedPaths(), (Paths{"/new", "/other", "/a", ""}));
    EXPECT_EQ(form.maximum.value, "4");
    EXPECT_EQ(store.flushes, 1);
    EXPECT_FALSE(store.locked);
}

TEST_F(HixTest, ChangeThatFailsHalfWayLeavesTheStoredList)
{
    restore({"/b", "/a"}, "5");
    store.saved = store.values;

    EXPECT_THROW(hix.changeShared([this] {
        hix.OpenPath("/new");
        throw std::runtime_error("half-way");
    }),
        std::runtime_error);

    EXPECT_EQ(tags(), (Paths{"/b", "/a"}));
    EXPECT_EQ(store.values, store.saved);
    EXPECT_EQ(store.flushes, 0);
    EXPECT_FALSE(store.locked);
}

// Saves that cannot be made keep the actions: the list shows them at once, and the next save,
// whoever saved in between, makes them again on the list as stored, logging nothing twice.
TEST_F(HixTest, KeptActionsAreMadeAgainOnTheListAsStored)
{
    restore({"/b", "/a"}, "5");
    store.saved = store.values;
    store.keptBecause = "The list of recent files could not be saved: the disk is full.";
    copy.open("/new");
    setMaximum("4");
    hix.submitMaximum();
    EXPECT_TRUE(hix.hasKept());
    EXPECT_EQ(tags(), (Paths{"/new", "/b", "/a"}));
    store.outside = store.saved;
    (*store.outside)[{"Recent Files", "1"}] = "/other";
    (*store.outside)[{"Recent Files", "2"}] = "/b";
    (*store.outside)[{"Recent Files", "3"}] = "/a";
    store.keptBecause.clear();
    setMaximum("5");

    copy.open("/next");

    EXPECT_FALSE(hix.hasKept());
    EXPECT_EQ(store.storedPaths(), (Paths{"/next", "/new", "/other", "/b", "/a"}));
    EXPECT_EQ(store.saved.at({"Config", "MAX_FILES"}), "5");
    EXPECT_EQ(form.log.value, "/new\r\n/next\r\n");
}

// What is kept is saved without another action and without a word, with the maximum the user has
// typed since left in the box.
TEST_F(HixTest, KeptActionsAreSavedQuietly)
{
    restore({"/a"}, "5");
    store.saved = store.values;
    store.keptBecause = "The list of recent files could not be saved: the disk is full.";
    copy.open("/new");
    store.keptBecause.clear();
    store.outside = store.saved;
    setMaximum("not yet a number");

    hix.saveKept();

    EXPECT_FALSE(hix.hasKept());
    EXPECT_EQ(store.saved.at({"Recent Files", "1"}), "/new");
    EXPECT_EQ(form.maximum.value, "not yet a number");
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(form.log.value, "/new\r\n");
}

} // namespace

// The Update page in each of its states, and the two "Install Node" pairs.
#include <gtest/gtest.h>

#include <string>

#include "moderator/update_page.h"

namespace lumvo {
namespace {

struct Row {
    const char* name;
    UpdatePageInput input;
    const char* latest;
    const char* status;
    bool shown, enabled, progress;
};

UpdateCheckFacts checked(const char* latest, bool available, bool newer, bool missing = false) {
    return {true, true, available, newer, missing, "0.65", latest, "", ""};
}

TEST(UpdatePage, EachStateShowsItsLabelsAndButton) {
    const UpdateCheckFacts none{false, false, false, false, false, "0.65", "", "", ""};
    const UpdateCheckFacts unreachable{true, false, false, false, false, "0.65", "", "", "Could not reach Lumvo."};
    const Row rows[] = {
        {"nothing installed", {none, false, false}, "Install Node first", "Install Node first", true, false, false},
        {"node, no wall files", {none, true, false}, "Click Update", "Click Update", true, true, false},
        {"newer version", {checked("0.66", true, true), true, true}, "0.66", "Update available", true, true, false},
        {"files gone since the check",
         {checked("0.65", true, false, true), true, true},
         "0.65",
         "Download the wall files from Lumvo.",
         true,
         true,
         false},
        {"unreachable", {unreachable, true, true}, "Not available", "Could not reach Lumvo.", false, false, false},
        {"first check running", {none, true, true}, "Checking...", "Checking Lumvo...", false, false, false},
        {"up to date",
         {checked("0.65", false, false), true, true},
         "0.65",
         "Your plugin is up to date.",
         false,
         false,
         false},
        {"update running", {checked("0.66", true, true), true, true, true}, "0.66", "", true, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const UpdatePageView view = updatePageView(row.input);
        EXPECT_EQ(view.version, "0.65");
        EXPECT_EQ(view.latest, row.latest);
        EXPECT_EQ(view.status, row.status);
        EXPECT_EQ(view.updateShown, row.shown);
        EXPECT_EQ(view.updateEnabled, row.enabled);
        EXPECT_EQ(view.progressShown, row.progress);
    }
    // The button starts nothing while an update runs, without Node.js, or when all is up to date.
    EXPECT_TRUE(wallUpdateWanted(rows[1].input));
    EXPECT_TRUE(wallUpdateWanted(rows[2].input));
    EXPECT_FALSE(wallUpdateWanted(rows[0].input));
    EXPECT_FALSE(wallUpdateWanted(rows[6].input));
    EXPECT_FALSE(wallUpdateWanted(rows[7].input));
}

TEST(UpdatePage, TheNodePairFollowsTheInstallAndTheChangelogFallsBack) {
    UpdatePageInput input;
    UpdatePageView view = updatePageView(input);
    EXPECT_EQ(view.node.button, "Install Node");
    EXPECT_TRUE(view.node.buttonEnabled && view.nodePairShown);
    input.installRunning = true;
    view = updatePageView(input);
    EXPECT_EQ(view.node.button, "Installing Node...");
    EXPECT_EQ(view.node.note, "Downloading Node. Keep VirtualDJ open.");
    EXPECT_FALSE(view.node.buttonEnabled);
    input = {};
    input.nodeInstalled = input.wallFilesPresent = true;
    view = updatePageView(input);
    EXPECT_EQ(view.node.button, "Node installed");
    EXPECT_FALSE(view.nodePairShown) << "out of setup mode an installed Node.js needs no button";
    input.setupMode = true;
    EXPECT_TRUE(updatePageView(input).nodePairShown);

    UpdateCheckFacts check;
    EXPECT_EQ(changelogText(check, ""), "No changelog yet.");
    EXPECT_EQ(changelogText(check, "local"), "local");
    check.changelog = "from the site";
    EXPECT_EQ(changelogText(check, "local"), "from the site");
}

}  // namespace
}  // namespace lumvo

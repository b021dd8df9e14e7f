#include "framework/PreferencesFile.h"

#include "TestSupport.h"

#include <FL/Fl_Preferences.H>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace tw;
namespace fs = std::filesystem;

namespace {

const char *const header =
    "; FLTK preferences file format 1.0\n; vendor: brn\n; application: app\n\n"
    "[.]\n\n";

ino_t inodeOf(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Sets one entry through FLTK on the staged copy and publishes it.
SafeFileStatus storeChannel(PreferencesFile &file, int channel) {
    Fl_Preferences prefs(file.folder().c_str(), "brn", "app");
    prefs.set("midiChan", channel);
    prefs.flush();
    return file.publish();
}

int storedChannel(const std::string &folder) {
    Fl_Preferences prefs(folder.c_str(), "brn", "app");
    int channel = -1;
    prefs.get("midiChan", channel, -1);
    return channel;
}

TEST(PreferencesFile, PathIsWhereFltkKeepsTheUserFile) {
    TempHome home;
    {
        Fl_Preferences prefs(Fl_Preferences::USER, "brn", "app");
        prefs.set("k", 1);
    }
    const std::string path = userPreferencesPath("brn", "app");
    EXPECT_EQ(path, home.prefsFile("brn", "app"));
    EXPECT_TRUE(fs::is_regular_file(path));
}

// Where the real file is and what it is: every write either reaches the file FLTK would have
// written or fails in words and keeps the settings for the next try.
TEST(PreferencesFile, PublishesTheStagedCopy) {
    enum class Setup { Existing, Missing, MissingFolder, Symlink, Folder };
    struct Case {
        const char *name;
        Setup setup;
        bool ok;
    };
    const Case cases[] = {
        {"an existing file is replaced", Setup::Existing, true},
        {"a missing file is made", Setup::Missing, true},
        {"a missing folder is made", Setup::MissingFolder, true},
        {"a symbolic link stays and its target gets the data", Setup::Symlink, true},
        {"a folder in the file's place is refused in words", Setup::Folder, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string real = dir.path("brn/app.prefs");
        fs::create_directories(dir.path("brn"));
        const std::string linkTarget = dir.path("dotfiles.prefs");
        switch (c.setup) {
        case Setup::Existing:
            writeFile(real, std::string(header) + "midiChan:3\n");
            break;
        case Setup::Missing:
            break;
        case Setup::MissingFolder:
            real = dir.path("deeper/brn/app.prefs");
            break;
        case Setup::Symlink:
            writeFile(linkTarget, std::string(header) + "midiChan:3\n");
            fs::create_symlink(linkTarget, real);
            break;
        case Setup::Folder:
            fs::create_directories(real);
            break;
        }
        PreferencesFile file(real, "app");
        ASSERT_EQ(file.stagingProblem(), "");
        ASSERT_NE(file.folder(), fs::path(real).parent_path().string());
        const std::string staging = file.folder();
        if (c.setup == Setup::Existing || c.setup == Setup::Symlink) {
            EXPECT_EQ(storedChannel(file.folder()), 3); // FLTK reads the staged copy
        }

        const SafeFileStatus status = storeChannel(file, 7);
        EXPECT_EQ(bool(status), c.ok) << status.message;
        if (c.ok) {
            EXPECT_EQ(storedChannel(fs::path(real).parent_path().string()), 7);
        } else {
            EXPECT_EQ(status.code, errSafeFileNotRegular);
            EXPECT_NE(status.message.find(real), std::string::npos) << status.message;
            // The settings wait in the staged copy: once the way is clear they arrive.
            fs::remove_all(real);
            EXPECT_TRUE(file.publish()) << "second try";
            EXPECT_EQ(storedChannel(fs::path(real).parent_path().string()), 7);
        }
        if (c.setup == Setup::Symlink) {
            EXPECT_TRUE(fs::is_symlink(real));
            EXPECT_NE(readFile(linkTarget).find("midiChan:7"), std::string::npos);
        }
        EXPECT_TRUE(fs::is_directory(staging));
    }
}

TEST(PreferencesFile, UnchangedSettingsLeaveTheFileAlone) {
    TempDir dir;
    const std::string real = dir.path("app.prefs");
    writeFile(real, std::string(header) + "midiChan:3\n");
    const ino_t before = inodeOf(real);
    std::string staging;
    {
        PreferencesFile file(real, "app");
        staging = file.folder();
        {
            Fl_Preferences prefs(file.folder().c_str(), "brn", "app");
            prefs.set("midiChan", 3); // the same value: FLTK writes the same bytes
        }
        EXPECT_TRUE(file.publish());
        EXPECT_EQ(inodeOf(real), before);
        EXPECT_TRUE(storeChannel(file, 4));
        EXPECT_NE(inodeOf(real), before); // replaced whole, never truncated in place
    }
    EXPECT_FALSE(fs::exists(staging)); // the staged copy goes with its owner
}

} // namespace

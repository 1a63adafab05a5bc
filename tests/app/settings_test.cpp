// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/config_folder.h"
#include "app/settings.h"
#include "sys/files.h"
#include "test_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictavo {
namespace {

const std::string KEY32 = "0123456789abcdefghijABCDEFGHIJ_-";

// An AppState started in a fresh working folder with an empty search path, its configuration
// folder in config/ and its program folder in bin/.
struct StartedApp {
    TestFolder folder;
    AppState app;
    void start() { app.start_up({folder.root(), "", folder.path("config/"), folder.path("bin/")}); }
};

void write_program(const TestFolder& folder, const std::string& relative, const std::string& script)
{
    folder.write(relative, script);
    ASSERT_EQ(::chmod(folder.path(relative).c_str(), 0755), 0);
}

mode_t mode_of(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

// Runs a test in another working folder.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) : saved_(current_folder()) { (void)::chdir(folder.c_str()); }
    ~WorkingFolder() { (void)::chdir(saved_.c_str()); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::string saved_;
};

TEST(TextToInteger, ReadsSignsBasesAndStopsAtTheFirstStranger)
{
    EXPECT_EQ(text_to_integer("300"), 300);
    EXPECT_EQ(text_to_integer("  300px"), 300);
    EXPECT_EQ(text_to_integer("\t 25px"), 25);
    EXPECT_EQ(text_to_integer("-42"), -42);
    EXPECT_EQ(text_to_integer("+7"), 7);
    EXPECT_EQ(text_to_integer("$ff"), 255);
    EXPECT_EQ(text_to_integer("$1A"), 26);
    EXPECT_EQ(text_to_integer("-$10"), -16);
    EXPECT_EQ(text_to_integer("%1011"), 11);
    EXPECT_EQ(text_to_integer("%102"), 2);
    EXPECT_EQ(text_to_integer("12 34"), 12);
    EXPECT_EQ(text_to_integer("1e3"), 1);
    EXPECT_EQ(text_to_integer("9223372036854775807"), INT64_MAX);
    for (const char* none : {"", "   ", "-", "+", "$", "%", "abc", "$g", "%2", "x12", "- 5"})
        EXPECT_EQ(text_to_integer(none), 0) << '"' << none << '"';
}

TEST(FieldChecks, SizeFieldsKeepGoodTextAndResetBadTextTo1000)
{
    AppState app;
    for (NumericField field : {NumericField::NormalSize, NumericField::FillWidth, NumericField::FillHeight,
                               NumericField::UniformWidth, NumericField::UniformHeight}) {
        for (const char* good : {"12", "8000", "  300px"})
            EXPECT_EQ(app.field_lost_focus(field, good), good);
        for (const char* bad : {"11", "8001", "0", "abc", "", "-500"})
            EXPECT_EQ(app.field_lost_focus(field, bad), "1000") << bad;
    }
    EXPECT_EQ(app.job.fill_height_text, "1000"); // 1000, not 667

    // Only the normal size and fill-fit fields look at the low 32 bits: 2^32 + 300 passes there.
    const std::string wrapped = "4294967596";
    EXPECT_EQ(app.field_lost_focus(NumericField::NormalSize, wrapped), wrapped);
    EXPECT_EQ(app.field_lost_focus(NumericField::FillWidth, wrapped), wrapped);
    EXPECT_EQ(app.field_lost_focus(NumericField::FillHeight, wrapped), wrapped);
    EXPECT_EQ(app.field_lost_focus(NumericField::UniformWidth, wrapped), "1000");
    EXPECT_EQ(app.field_lost_focus(NumericField::UniformHeight, wrapped), "1000");
    EXPECT_EQ(app.job.normal_size_text, wrapped);
    EXPECT_EQ(app.job.uniform_width_text, "1000");
}

TEST(FieldChecks, QualityOutOfRangeBecomesSix)
{
    AppState app;
    EXPECT_EQ(app.field_lost_focus(NumericField::Quality, "10"), "10");
    EXPECT_EQ(app.job.jpeg_quality, 10);
    EXPECT_EQ(app.field_lost_focus(NumericField::Quality, " 1x"), " 1x");
    EXPECT_EQ(app.job.jpeg_quality, 1);
    for (const char* bad : {"0", "11", "q", "4294967297"}) {
        app.job.jpeg_quality = 3;
        EXPECT_EQ(app.field_lost_focus(NumericField::Quality, bad), "6") << bad;
        EXPECT_EQ(app.job.jpeg_quality, 6);
        EXPECT_EQ(app.job.quality_text, "6");
    }
}

TEST(TargetPair, ComesFromTheSelectedModesFields)
{
    AppState app;
    EXPECT_EQ(app.job.target_width, 1000);
    EXPECT_EQ(app.job.target_height, 667);

    app.field_lost_focus(NumericField::FillHeight, "9000");
    app.job.resize_mode = RESIZE_FILL_FIT;
    app.take_target_pair();
    EXPECT_EQ(app.job.target_width, 1000);
    EXPECT_EQ(app.job.target_height, 1000);

    app.job.normal_size_text = "  640px";
    app.job.resize_mode = RESIZE_NORMAL;
    app.take_target_pair();
    EXPECT_EQ(app.job.target_width, 640);
    EXPECT_EQ(app.job.target_height, 640);

    // Read without a range check, cut to the low 32 bits.
    app.job.uniform_width_text = "5";
    app.job.uniform_height_text = "4294967396";
    app.job.resize_mode = RESIZE_UNIFORM;
    app.take_target_pair();
    EXPECT_EQ(app.job.target_width, 5);
    EXPECT_EQ(app.job.target_height, 100);

    for (int mode : {RESIZE_KEEP, RESIZE_UPLOAD_ORIGINALS}) {
        app.job.normal_size_text = "300";
        app.job.resize_mode = mode;
        app.take_target_pair();
        EXPECT_EQ(app.job.target_width, 5);
        EXPECT_EQ(app.job.target_height, 100);
    }
}

TEST(KeyFile, WrittenKeyReadsBackAndIsPrivate)
{
    TestFolder folder;
    const std::string path = folder.path(KEY_FILE_NAME);
    ASSERT_NE(write_key_file(path, KEY32), 0);
    EXPECT_EQ(folder.read(KEY_FILE_NAME), KEY32 + "\n");
    EXPECT_EQ(read_key_file(path), KEY32);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    folder.write(KEY_FILE_NAME, KEY32 + "\r\nsecond line");
    EXPECT_EQ(read_key_file(path), KEY32);
    folder.write(KEY_FILE_NAME, KEY32); // no terminator at all
    EXPECT_EQ(read_key_file(path), KEY32);
    // A key of 32 characters that are not all one byte long.
    const std::string wide = "\xC3\xA9" + KEY32.substr(1);
    folder.write(KEY_FILE_NAME, wide + "\n");
    EXPECT_EQ(read_key_file(path), wide);

    for (const std::string& bad : {KEY32.substr(1), KEY32 + "x", "\xEF\xBB\xBF" + KEY32, KEY32 + " ", std::string()}) {
        folder.write(KEY_FILE_NAME, bad + "\n");
        EXPECT_EQ(read_key_file(path), "") << bad;
    }
    EXPECT_EQ(read_key_file(folder.path("missing.txt")), "");
    EXPECT_EQ(write_key_file(folder.path("missing/k.txt"), KEY32), 0);

    // A key file that was readable by others becomes private when it is replaced; one that
    // cannot be written keeps its content.
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    ASSERT_NE(write_key_file(path, KEY32), 0);
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
    EXPECT_EQ(write_key_file(path, ""), 0);
    EXPECT_EQ(folder.read(KEY_FILE_NAME), KEY32 + "\n");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{KEY_FILE_NAME});
}

TEST(StartUp, DefaultsWithoutKeyOrTool)
{
    StartedApp s;
    s.folder.write(KEY_FILE_NAME, KEY32.substr(0, 31) + "\n");
    s.start();
    const AppState& app = s.app;
    EXPECT_EQ(app.job.resize_mode, RESIZE_NORMAL);
    EXPECT_EQ(app.job.jpeg_quality, 6);
    EXPECT_EQ(app.job.normal_size_text, "1000");
    EXPECT_EQ(app.job.fill_height_text, "667");
    EXPECT_EQ(app.job.api_key, "");
    EXPECT_EQ(app.job.exiftool_found, 0);
    EXPECT_EQ(app.window.api_key_text, "");
    EXPECT_FALSE(app.window.tinify_enabled);
    EXPECT_FALSE(app.window.tinify_ticked);
    EXPECT_FALSE(app.window.exif_enabled);
    EXPECT_FALSE(app.window.upload_originals_enabled());
    EXPECT_TRUE(app.window.quality_enabled());
    EXPECT_TRUE(app.window.mode_box_ticked(ModeBox::NormalResize));
    EXPECT_FALSE(app.window.mode_box_ticked(ModeBox::KeepOriginal));

    // The Exif box is disabled, so a click on it cannot switch metadata copy on.
    s.app.click_exif_box();
    EXPECT_EQ(s.app.job.metadata_copy, 0);
    s.app.click_dates_box();
    EXPECT_EQ(s.app.job.date_copy, 1);
    s.app.click_dates_box();
    EXPECT_EQ(s.app.job.date_copy, 0);
}

TEST(StartUp, StoredKeyEnablesTinifyAndToolIsFound)
{
    StartedApp s;
    s.folder.write("config/" + std::string(KEY_FILE_NAME), KEY32 + "\n");
    write_program(s.folder, "bin/exiftool", "#!/bin/sh\n");
    s.start();
    EXPECT_EQ(s.app.job.api_key, KEY32);
    EXPECT_EQ(s.app.window.api_key_text, KEY32);
    EXPECT_TRUE(s.app.window.tinify_enabled);
    EXPECT_FALSE(s.app.window.tinify_ticked);
    EXPECT_EQ(s.app.job.exiftool_found, 1);
    EXPECT_EQ(s.app.job.exiftool_path, s.folder.path("bin/exiftool"));
    EXPECT_TRUE(s.app.window.exif_enabled);
    s.app.click_exif_box();
    EXPECT_EQ(s.app.job.metadata_copy, 1);
}

TEST(StartUp, ExiftoolComesFromAbsoluteSearchPathEntriesOrTheProgramFolderNeverTheWorkingFolder)
{
    TestFolder work, bin, plain, installed;
    write_program(work, EXIFTOOL_NAME, "#!/bin/sh\ntouch planted-tool-ran\n");
    write_program(work, "sub/exiftool", "#!/bin/sh\n");
    plain.write(EXIFTOOL_NAME, "not executable");
    write_program(bin, EXIFTOOL_NAME, "#!/bin/sh\n");
    write_program(installed, EXIFTOOL_NAME, "#!/bin/sh\n");
    const WorkingFolder inside(work.root());

    struct Case {
        std::string search_path;
        std::string program_folder;
        std::string found;
    };
    const Case cases[] = {
        {"", "", ""},
        {":.:sub:./sub/", "", ""},                                  // all name the working folder
        {plain.root(), "", ""},                                     // not executable
        {plain.root() + ":" + bin.path(""), "", bin.path(EXIFTOOL_NAME)}, // '/' added to the entry
        {":" + bin.root(), installed.root(), bin.path(EXIFTOOL_NAME)},
        {".", installed.root(), installed.path(EXIFTOOL_NAME)},
        {"", "sub/", ""},                                           // a relative program folder
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_exiftool({work.root(), c.search_path, "", c.program_folder}), c.found)
            << c.search_path << " | " << c.program_folder;

    // The process's own places: the real tool from PATH, not the one in the working folder.
    const std::string saved_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", ":.:/usr/bin:/bin", 1);
    const StartUpPlaces places = StartUpPlaces::of_process();
    ::setenv("PATH", saved_path.c_str(), 1);
    EXPECT_EQ(places.working_folder, work.root());
    EXPECT_EQ(places.program_folder.rfind('/'), places.program_folder.size() - 1);
    EXPECT_EQ(file_size(places.program_folder), FILE_SIZE_FOLDER);
    const std::string found = find_exiftool(places);
    EXPECT_TRUE(found == "/usr/bin/exiftool" || found == "/bin/exiftool") << found;
    EXPECT_FALSE(work.exists("planted-tool-ran"));
}

TEST(KeyFile, LivesInThePrivateConfigurationFolderAndAnOldOneInTheWorkingFolderIsStillRead)
{
    TestFolder work, home;
    const std::string config = home.path(".config/pictavo/");
    const std::string legacy = "legacyKEY-0123456789abcdef012345";
    work.write(KEY_FILE_NAME, legacy + "\n");
    // The key the next start-up reads.
    const auto key_at_start = [&] {
        AppState next;
        next.start_up({work.root(), "", config});
        return next.job.api_key;
    };
    AppState app;
    app.start_up({work.root(), "", config});
    EXPECT_EQ(app.job.api_key, legacy);
    EXPECT_EQ(app.job.key_file_path, config + KEY_FILE_NAME);

    // Emptying the field, or passing through an empty one, writes and removes nothing.
    EXPECT_EQ(app.api_key_lost_focus(""), "");
    EXPECT_FALSE(app.window.tinify_enabled);
    EXPECT_EQ(home.entries(), std::vector<std::string>{});
    EXPECT_EQ(key_at_start(), legacy);

    app.api_key_lost_focus(KEY32);
    EXPECT_EQ(home.read(".config/pictavo/" + std::string(KEY_FILE_NAME)), KEY32 + "\n");
    EXPECT_EQ(mode_of(home.path(".config")), 0700u);
    EXPECT_EQ(mode_of(config), 0700u);
    EXPECT_EQ(mode_of(config + KEY_FILE_NAME), 0600u);
    EXPECT_EQ(key_at_start(), KEY32); // the stored key wins over the old one

    // A rejected key clears the stored one; the old file is not read again, nor touched.
    app.api_key_lost_focus("too short");
    EXPECT_EQ(home.read(".config/pictavo/" + std::string(KEY_FILE_NAME)), "\n");
    EXPECT_EQ(key_at_start(), "");
    EXPECT_EQ(work.read(KEY_FILE_NAME), legacy + "\n");
    EXPECT_EQ(work.entries(), std::vector<std::string>{KEY_FILE_NAME});

    // No home folder known: the key is used but stored nowhere.
    AppState homeless;
    homeless.start_up({work.root(), ""});
    EXPECT_EQ(homeless.job.key_file_path, "");
    homeless.api_key_lost_focus(KEY32);
    EXPECT_EQ(homeless.job.api_key, KEY32);
    EXPECT_EQ(work.read(KEY_FILE_NAME), legacy + "\n");
}

TEST(ConfigFolder, FollowsTheDesktopsBaseDirectoryRules)
{
    struct Case {
        const char* xdg_config_home;
        const char* home;
        std::string folder;
    };
    const Case cases[] = {
        {"/x/conf", "/home/me", "/x/conf/pictavo/"},
        {"/x/conf/", nullptr, "/x/conf/pictavo/"},
        {nullptr, "/home/me", "/home/me/.config/pictavo/"},
        {"", "/home/me/", "/home/me/.config/pictavo/"},
        {"relative/conf", "/home/me", "/home/me/.config/pictavo/"},
        {nullptr, "relative-home", ""},
        {nullptr, nullptr, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(config_folder_of(c.xdg_config_home, c.home), c.folder)
            << (c.xdg_config_home ? c.xdg_config_home : "(unset)") << " " << (c.home ? c.home : "(unset)");

    TestFolder root;
    root.write("file", "x");
    EXPECT_EQ(make_private_folder(root.path("file/sub/")), 0);
    EXPECT_EQ(make_private_folder("relative/"), 0);
}

TEST(WindowState, ModeBoxesActAsOneExclusiveGroup)
{
    StartedApp s;
    s.start();
    AppState& app = s.app;
    // Clicking the selected box keeps it selected.
    app.click_mode_box(ModeBox::NormalResize);
    EXPECT_EQ(app.window.selection, ModeBox::NormalResize);
    EXPECT_EQ(app.job.resize_mode, RESIZE_NORMAL);

    const std::pair<ModeBox, int> choices[] = {{ModeBox::KeepOriginal, RESIZE_KEEP},
                                               {ModeBox::FillFit, RESIZE_FILL_FIT},
                                               {ModeBox::Uniform, RESIZE_UNIFORM},
                                               {ModeBox::NormalResize, RESIZE_NORMAL}};
    for (const auto& [box, mode] : choices) {
        app.click_mode_box(box);
        EXPECT_EQ(app.job.resize_mode, mode);
        for (ModeBox other : MODE_BOXES)
            EXPECT_EQ(app.window.mode_box_ticked(other), other == box);
        EXPECT_TRUE(app.window.quality_enabled());
    }

    // Upload Originals is disabled while the Tinify box is not ticked.
    app.click_mode_box(ModeBox::UploadOriginals);
    EXPECT_EQ(app.job.resize_mode, RESIZE_NORMAL);
    EXPECT_TRUE(app.window.mode_box_ticked(ModeBox::NormalResize));
}

TEST(WindowState, TinifyBoxGovernsUploadOriginals)
{
    StartedApp s;
    s.folder.write(KEY_FILE_NAME, KEY32 + "\n");
    s.start();
    AppState& app = s.app;
    app.click_tinify_box();
    EXPECT_TRUE(app.window.tinify_ticked);
    EXPECT_EQ(app.job.tinify_upload, 1);
    EXPECT_TRUE(app.window.upload_originals_enabled());

    app.click_mode_box(ModeBox::UploadOriginals);
    EXPECT_EQ(app.job.resize_mode, RESIZE_UPLOAD_ORIGINALS);
    EXPECT_FALSE(app.window.quality_enabled());
    app.click_mode_box(ModeBox::Uniform);
    EXPECT_TRUE(app.window.quality_enabled());
    app.click_mode_box(ModeBox::UploadOriginals);

    // Unticking the Tinify box leaves Upload Originals for Normal Resize.
    app.click_tinify_box();
    EXPECT_EQ(app.job.tinify_upload, 0);
    EXPECT_FALSE(app.window.upload_originals_enabled());
    EXPECT_EQ(app.window.selection, ModeBox::NormalResize);
    EXPECT_EQ(app.job.resize_mode, RESIZE_NORMAL);
    EXPECT_TRUE(app.window.quality_enabled());

    // Unticking it with another mode selected keeps that mode.
    app.click_mode_box(ModeBox::FillFit);
    app.click_tinify_box();
    app.click_tinify_box();
    EXPECT_EQ(app.job.resize_mode, RESIZE_FILL_FIT);
}

TEST(WindowState, KeyFieldAcceptsOnly32Characters)
{
    StartedApp s;
    s.start();
    AppState& app = s.app;
    const std::string key_file = "config/" + std::string(KEY_FILE_NAME);

    EXPECT_EQ(app.api_key_lost_focus(KEY32), KEY32);
    EXPECT_EQ(app.job.api_key, KEY32);
    EXPECT_TRUE(app.window.tinify_enabled);
    EXPECT_FALSE(app.window.tinify_ticked); // the tick is left as it was
    EXPECT_EQ(s.folder.read(key_file), KEY32 + "\n");

    app.click_tinify_box();
    app.click_mode_box(ModeBox::UploadOriginals);
    EXPECT_EQ(app.api_key_lost_focus(KEY32), KEY32); // accepting again changes nothing
    EXPECT_TRUE(app.window.tinify_ticked);
    EXPECT_EQ(app.job.resize_mode, RESIZE_UPLOAD_ORIGINALS);

    // A 20-character key while Upload Originals is selected clears everything.
    EXPECT_EQ(app.api_key_lost_focus(KEY32.substr(0, 20)), "");
    EXPECT_EQ(app.job.api_key, "");
    EXPECT_EQ(app.window.api_key_text, "");
    EXPECT_FALSE(app.window.tinify_ticked);
    EXPECT_FALSE(app.window.tinify_enabled);
    EXPECT_EQ(app.job.tinify_upload, 0);
    EXPECT_FALSE(app.window.upload_originals_enabled());
    EXPECT_EQ(app.window.selection, ModeBox::NormalResize);
    EXPECT_EQ(app.job.resize_mode, RESIZE_NORMAL);
    EXPECT_TRUE(app.window.quality_enabled());
    EXPECT_EQ(s.folder.read(key_file), "\n");

    // A disabled Tinify box ignores clicks.
    app.click_tinify_box();
    EXPECT_EQ(app.job.tinify_upload, 0);

    for (const std::string& bad : {KEY32 + "x", KEY32.substr(1)}) {
        app.api_key_lost_focus(KEY32);
        EXPECT_EQ(app.api_key_lost_focus(bad), "");
        EXPECT_EQ(s.folder.read(key_file), "\n");
    }
    // The stored key is what the next start-up reads.
    app.api_key_lost_focus(KEY32);
    AppState again;
    again.start_up({s.folder.root(), "", s.folder.path("config/")});
    EXPECT_EQ(again.job.api_key, KEY32);
}

} // namespace
} // namespace pictavo

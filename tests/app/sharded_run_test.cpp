// SPDX-License-Identifier: GPL-3.0-or-later
// Runs that take a share of a tree: shards, a list of images instead of a walk, outputs kept
// while they are up to date, and the sweep of folders that shards share.
#include "app/batch_run.h"
#include "app/file_list.h"
#include "app/shard.h"
#include "job_test_support.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>

namespace pictavo {
namespace {

using test::write_flat_image;

// Every regular file below root (relative path to content), leftovers of any name included.
std::map<std::string, std::string> tree_files(const std::string& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[std::filesystem::relative(entry.path(), root).string()] =
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

void set_modified(const std::string& path, std::time_t seconds, long nanoseconds = 0)
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class ShardedRunTest : public ::testing::Test {
protected:
    ShardedRunTest()
    {
        register_jpeg_and_png_codecs();
        job.resize_mode = RESIZE_NORMAL; // the longer side 8 pixels
        job.target_width = job.target_height = 8;
        job.jpeg_quality = 6;
    }

    void image(const std::string& relative, std::uint8_t shade = 90)
    {
        const std::filesystem::path path = folder.path("in/" + relative);
        std::filesystem::create_directories(path.parent_path());
        const bool png = path.extension() == ".png";
        ASSERT_TRUE(write_flat_image(path.string(), 16, 12, png ? IMAGE_CODE_PNG : IMAGE_CODE_JPEG,
                                     {shade, 140, 200}));
    }

    // A mixed tree: nested folders, both formats, a broken image, a hidden folder, an empty
    // folder and a file that is no image.
    void mixed_tree()
    {
        for (int i = 0; i < 14; ++i)
            image((i % 3 == 0 ? "" : i % 3 == 1 ? "a/" : "a/b c/") + std::string("img") + std::to_string(i)
                      + (i % 2 ? ".jpg" : ".png"),
                  static_cast<std::uint8_t>(20 + 10 * i));
        folder.write("in/a/broken.jpg", "not an image");
        image(".hidden/skipped.jpg");
        folder.make_folder("in/empty/deeper");
        folder.write("in/notes.txt", "no image");
    }

    RunReport run_into(const std::string& output, RunOptions options)
    {
        job.input_folder = folder.root() + "in/";
        job.output_folder = folder.root() + output + "/";
        folder.make_folder(output);
        test::RecordingFrontEnd front_end;
        options.workers = 2;
        return batch_run(job, 1, front_end, options);
    }

    static RunOptions sharded(std::uint32_t index, std::uint32_t count)
    {
        RunOptions options;
        options.shard = Shard{index, count};
        return options;
    }

    TestFolder folder;
    JobSettings job;
};

TEST(Shard, FnvHashVectorsDecideTheOwner)
{
    EXPECT_EQ(fnv1a64(""), 0xcbf29ce484222325ULL);
    EXPECT_EQ(fnv1a64("a"), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(fnv1a64("dir/sub/IMG_0001.jpg"), 0x7b676c38cd882f14ULL);
    // Bytes above 0x7F count as unsigned bytes, as in every other FNV implementation.
    EXPECT_EQ(fnv1a64("\xE9"), (0xcbf29ce484222325ULL ^ 0xE9) * 0x100000001b3ULL);
    for (const std::uint32_t count : {1u, 3u, 7u, 1000000u}) {
        int owners = 0;
        for (std::uint32_t index = 0; index < std::min(count, 8u); ++index)
            owners += Shard{index, count}.owns("dir/sub/IMG_0001.jpg") ? 1 : 0;
        EXPECT_EQ(owners, count <= 8 ? 1 : static_cast<int>(0x7b676c38cd882f14ULL % count < 8)) << count;
    }
}

TEST_F(ShardedRunTest, TheShardsOfOneThreeAndSevenTogetherAreOneRunWithNoImageTwice)
{
    mixed_tree();
    const RunReport whole = run_into("whole", {});
    ASSERT_EQ(whole.images.size(), 15u);
    const auto expected = tree_files(folder.path("whole"));

    for (const std::uint32_t count : {1u, 3u, 7u}) {
        const std::string output = "sharded" + std::to_string(count);
        std::multiset<std::string> taken;
        for (std::uint32_t index = 0; index < count; ++index) {
            const RunReport report = run_into(output, sharded(index, count));
            for (const ImageRecord& record : report.images) {
                taken.insert(record.relative_path);
                EXPECT_TRUE((Shard{index, count}.owns(record.relative_path))) << record.relative_path;
            }
            // Every shard mirrors the whole tree, so shards meet in folders that exist.
            EXPECT_TRUE(folder.exists(output + "/a/b c")) << index;
            EXPECT_TRUE(folder.exists(output + "/empty/deeper")) << index;
        }
        std::multiset<std::string> all;
        for (const ImageRecord& record : whole.images)
            all.insert(record.relative_path);
        EXPECT_EQ(taken, all) << count;
        EXPECT_EQ(tree_files(folder.path(output)), expected) << count;
    }
}

TEST(FileList, EntriesBecomeThePathsAWalkGivesOrFailWithTheirReason)
{
    EXPECT_EQ(split_file_list("a.jpg\r\n\r\n\nsub/b.png\nlast.jpg", ListSeparator::Line),
              (std::vector<std::string>{"a.jpg", "sub/b.png", "last.jpg"}));
    EXPECT_EQ(split_file_list(std::string("line\nbreak.jpg\0\0c.jpg\0", 22), ListSeparator::Nul),
              (std::vector<std::string>{"line\nbreak.jpg", "c.jpg"}));

    const struct {
        std::string entry;
        std::string relative_path;
        FailureReason refused;
    } cases[] = {
        {"a.jpg", "a.jpg", FailureReason::None},
        {"./sub//deeper/./b.PNG", "sub/deeper/b.PNG", FailureReason::None},
        {"sub/.hidden-file.jpg", "sub/.hidden-file.jpg", FailureReason::None}, // a walk takes it too
        {"/etc/x.jpg", "/etc/x.jpg", FailureReason::ListedOutside},
        {"../x.jpg", "../x.jpg", FailureReason::ListedOutside},
        {"sub/../../x.jpg", "sub/../../x.jpg", FailureReason::ListedOutside},
        {"sub/../x.jpg", "sub/../x.jpg", FailureReason::ListedOutside},
        {".thumbnails/x.jpg", ".thumbnails/x.jpg", FailureReason::ListedHidden},
        {"a/.git/x.png", "a/.git/x.png", FailureReason::ListedHidden},
        {"x.gif", "x.gif", FailureReason::ListedNotAnImage},
        {"sub.jpg/", "sub.jpg/", FailureReason::ListedNotAnImage},
        {".", ".", FailureReason::ListedNotAnImage},
        {std::string("a\0b.jpg", 7), std::string("a\0b.jpg", 7), FailureReason::ListedMissing},
    };
    for (const auto& expected : cases) {
        const ListedPath listed = listed_path(expected.entry);
        EXPECT_EQ(listed.relative_path, expected.relative_path) << expected.entry;
        EXPECT_EQ(listed.refused, expected.refused) << expected.entry;
    }
}

TEST_F(ShardedRunTest, AListedRunTakesEachImageOnceReadsNothingOutsideAndSplitsLikeTheWalk)
{
    mixed_tree();
    folder.write("outside.jpg", "");
    ASSERT_TRUE(write_flat_image(folder.path("outside.jpg"), 8, 8, IMAGE_CODE_JPEG));
    RunOptions listed;
    listed.listed_images = std::make_shared<const std::vector<std::string>>(std::vector<std::string>{
        "a/img1.jpg", "./a/img1.jpg", "img0.png", "a/b c/img2.png", "gone.jpg", "../outside.jpg",
        folder.path("outside.jpg"), ".hidden/skipped.jpg", "notes.txt", "a/broken.jpg"});
    const RunReport report = run_into("listed", listed);

    std::map<std::string, FailureReason> results;
    for (const ImageRecord& record : report.images)
        results[record.relative_path] = record.result.outcome == ImageOutcome::Written ? FailureReason::None
                                                                                      : record.result.failure.reason;
    const std::map<std::string, FailureReason> expected = {
        {"a/img1.jpg", FailureReason::None},
        {"img0.png", FailureReason::None},
        {"a/b c/img2.png", FailureReason::None},
        {"gone.jpg", FailureReason::ListedMissing},
        {"../outside.jpg", FailureReason::ListedOutside},
        {folder.path("outside.jpg"), FailureReason::ListedOutside},
        {".hidden/skipped.jpg", FailureReason::ListedHidden},
        {"notes.txt", FailureReason::ListedNotAnImage},
        {"a/broken.jpg", FailureReason::NotAnImage},
    };
    EXPECT_EQ(results, expected);
    EXPECT_EQ(report.images.size(), expected.size()); // a/img1.jpg once
    EXPECT_EQ(report.failed, 6);
    // Only the folders of listed images are made; nothing lands outside the output folder.
    const auto written = tree_files(folder.path("listed"));
    EXPECT_EQ(written.size(), 3u);
    EXPECT_FALSE(folder.exists("listed/empty"));
    EXPECT_EQ(tree_files(folder.root()).count("outside.jpg"), 1u);

    // A list of the whole tree, split in three, gives what the walk gives.
    const RunReport whole = run_into("whole", {});
    auto every_image = std::make_shared<std::vector<std::string>>();
    for (const ImageRecord& record : whole.images)
        every_image->push_back(record.relative_path);
    for (std::uint32_t index = 0; index < 3; ++index) {
        RunOptions options = sharded(index, 3);
        options.listed_images = every_image;
        const RunReport part = run_into("listed3", options);
        for (const ImageRecord& record : part.images)
            EXPECT_TRUE((Shard{index, 3}.owns(record.relative_path))) << record.relative_path;
    }
    auto walked = tree_files(folder.path("whole"));
    EXPECT_EQ(tree_files(folder.path("listed3")), walked);
}

TEST_F(ShardedRunTest, UpdateRedoesExactlyTheOutputsWhoseSourceChanged)
{
    image("same.jpg");
    image("changed.jpg");
    image("sub/new.png");
    job.date_copy = 1; // outputs get their source's date, truncated to the whole second
    set_modified(folder.path("in/same.jpg"), 1500000000, 700000000);
    set_modified(folder.path("in/changed.jpg"), 1500000000);
    ASSERT_EQ(run_into("out", {}).failed, 0);
    std::filesystem::remove(folder.path("out/sub/new.png"));
    folder.write("out/changed.jpg", "an output older than its source");
    set_modified(folder.path("out/changed.jpg"), 1500000000);
    image("changed.jpg", 30);
    set_modified(folder.path("in/changed.jpg"), 1600000000);
    const std::string kept = folder.read("out/same.jpg");

    RunOptions update;
    update.update = true;
    const RunReport report = run_into("out", update);
    std::map<std::string, ImageOutcome> outcomes;
    for (const ImageRecord& record : report.images)
        outcomes[record.relative_path] = record.result.outcome;
    EXPECT_EQ(outcomes, (std::map<std::string, ImageOutcome>{{"changed.jpg", ImageOutcome::Written},
                                                             {"same.jpg", ImageOutcome::Skipped},
                                                             {"sub/new.png", ImageOutcome::Written}}));
    EXPECT_EQ(folder.read("out/same.jpg"), kept);
    EXPECT_NE(folder.read("out/changed.jpg"), "an output older than its source");
    EXPECT_EQ(report.skipped, 1);
}

TEST_F(ShardedRunTest, AShardSweepsOnlyTheLeftoversOfItsOwnImages)
{
    // Two images in one folder, one for each of two shards.
    std::string mine;
    std::string theirs;
    for (int i = 0; mine.empty() || theirs.empty(); ++i) {
        const std::string name = "p" + std::to_string(i) + ".jpg";
        (Shard{0, 2}.owns("sub/" + name) ? mine : theirs) = name;
    }
    image("sub/" + mine);
    image("sub/" + theirs);
    const std::string own_leftover = "." + mine + ".pictavo-Ab12Cd";
    const std::vector<std::string> other_leftovers = {"." + theirs + ".pictavo-Zz99zz",
                                                      "." + theirs + ".pictavo-Qq11qq_exiftool_tmp"};
    folder.write("out/sub/" + own_leftover, "abandoned");
    for (const auto& name : other_leftovers)
        folder.write("out/sub/" + name, "another shard's, perhaps alive on a machine whose locks do not reach here");

    const RunReport report = run_into("out", sharded(0, 2));
    EXPECT_EQ(report.temporaries_removed, 1);
    std::vector<std::string> expected = {other_leftovers[0], other_leftovers[1], mine};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.entries("out/sub"), expected);

    // A run of the whole tree sweeps every abandoned temporary.
    EXPECT_GE(run_into("out", {}).temporaries_removed, 1);
    EXPECT_FALSE(folder.exists("out/sub/" + other_leftovers[0]));
}

} // namespace
} // namespace pictavo

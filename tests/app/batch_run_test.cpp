// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_run.h"

#include "app/folder_scan.h"
#include "job_test_support.h"
#include "final_message.h"
#include "service_double.h"
#include "sys/descriptor.h"
#include "sys/temporary_files.h"
#include "test_data.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>

namespace pictavo {
namespace {

using test::write_flat_image;

class BatchRunTest : public ::testing::Test {
protected:
    BatchRunTest()
    {
        register_jpeg_and_png_codecs();
        state.start_up({folder.root(), std::getenv("PATH") ? std::getenv("PATH") : ""});
        state.job.resize_mode = RESIZE_KEEP; // small images stay small
        folder.make_folder("in");
        folder.make_folder("out");
    }

    void small_image(const std::string& relative)
    {
        const std::filesystem::path path = folder.path(relative);
        std::filesystem::create_directories(path.parent_path());
        const bool png = path.extension() == ".png" || path.extension() == ".PNG";
        ASSERT_TRUE(write_flat_image(path.string(), 16, 12, png ? IMAGE_CODE_PNG : IMAGE_CODE_JPEG));
    }

    // Chooses the folders and scans the input as the window does when a folder is picked.
    RunReport run(const std::string& input = "in/", const std::string& output = "out/")
    {
        return run_with(front_end, input, output);
    }
    RunReport run_with(FrontEnd& shown_on, const std::string& input = "in/", const std::string& output = "out/")
    {
        state.job.input_folder = folder.root() + input;
        state.job.output_folder = folder.root() + output;
        state.run.folder_count = state.run.image_count = 0;
        folder_scan(state.run, state.job.input_folder);
        return batch_run(state, shown_on, options);
    }

    TestFolder folder;
    AppState state;
    RunOptions options;
    test::RecordingFrontEnd front_end;
};

TEST_F(BatchRunTest, SevenImagesTwoCorruptAreAllCountedAndTheFailedNamed)
{
    for (const char* name : {"a.jpg", "b.png", "sub/c.JPG", "sub/d.jpeg", "sub/deeper/e.Png"})
        small_image(std::string("in/") + name);
    folder.write("in/broken.jpg", "not an image");
    folder.write("in/sub/empty.png", "");

    options.workers = 1; // one at a time: the walk order throughout
    const RunReport report = run();
    EXPECT_EQ(report.outcome, RunOutcome::Finished);
    EXPECT_EQ(report.processed, 7);
    EXPECT_EQ(report.failed, 2);
    EXPECT_FALSE(report.service_failed);
    ASSERT_EQ(front_end.messages.size(), 1u);
    EXPECT_EQ(test::without_savings_line(front_end.messages[0]), "PTV Information|7 Images done.\n"
                                     "2 failed:\nbroken.jpg: not an image\nsub/empty.png: not an image");
    EXPECT_EQ(front_end.calls.front(), "busy");
    EXPECT_EQ(front_end.calls[2], "progress 1..7");
    const std::vector<std::string> tail(front_end.calls.end() - 6, front_end.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"at 7", "event", "pause 25", "hide", "idle", "message PTV Information"}));

    for (const char* name : {"a.jpg", "b.png", "sub/c.JPG", "sub/d.jpeg", "sub/deeper/e.Png"})
        EXPECT_EQ(test::loaded_size(folder.path(std::string("out/") + name)).width, 16) << name;
    EXPECT_FALSE(folder.exists("out/broken.jpg"));
    EXPECT_FALSE(folder.exists("out/sub/empty.png"));
    // Every progress step names the full source path, with no doubled separator.
    EXPECT_EQ(front_end.progress_paths[0], folder.path("in/a.jpg"));
    EXPECT_EQ(front_end.finished_indices, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6}));
}

ImageRecord record(const std::string& path, ImageOutcome outcome, FailureReason reason = FailureReason::None)
{
    ImageResult result;
    result.outcome = outcome;
    result.failure.reason = reason;
    return {path, result};
}

TEST(FinalMessage, SaysWhatWasDoneSkippedStoppedAndWhyImagesFailed)
{
    RunReport twelve_failed;
    for (int i = 0; i < 12; ++i)
        twelve_failed.images.push_back(record("f" + std::to_string(i) + ".jpg", ImageOutcome::Failed,
                                              FailureReason::NotAnImage));
    twelve_failed.processed = 30;
    twelve_failed.failed = 12;

    RunReport stopped;
    stopped.images = {record("a.jpg", ImageOutcome::Skipped), record("b.jpg", ImageOutcome::Written),
                      // written, but its tags were not copied: a failure that names its reason
                      record("c.jpg", ImageOutcome::Written, FailureReason::MetadataFailed),
                      // written, compressed or not: the service has its own message
                      record("d.jpg", ImageOutcome::Written, FailureReason::ServiceFailed),
                      record("e.jpg", ImageOutcome::NotProcessed)};
    stopped.processed = 4;
    stopped.failed = 1;
    stopped.skipped = 1;
    stopped.stopped = true;
    stopped.compression_count = 57;

    const struct {
        const RunReport& report;
        std::size_t listed;
        std::string start;
        long lines;
    } cases[] = {
        {twelve_failed, FAILED_PATHS_SHOWN, "30 Images done.\n12 failed, the first 10:\nf0.jpg: not an image\n", 12},
        {twelve_failed, EVERY_FAILED_PATH, "30 Images done.\n12 failed:\nf0.jpg: not an image\n", 14},
        {stopped, FAILED_PATHS_SHOWN,
         "Stopped: 4 of 5 images done.\n1 skipped: their outputs were there already.\n1 failed:\n"
         "c.jpg: the metadata could not be copied\nCompressions this month: 57", 5},
        {RunReport{}, FAILED_PATHS_SHOWN, "0 Images done.", 1},
    };
    for (const auto& [report, listed, start, lines] : cases) {
        const std::string text = final_message(report, listed);
        EXPECT_EQ(text.substr(0, start.size()), start);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n') + 1, lines) << text;
    }
    EXPECT_EQ(counts_as_failed(stopped.images[2].result), true);
    EXPECT_EQ(counts_as_failed(stopped.images[3].result), false);
}

std::string file_content(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file below a folder with its content, by path relative to the folder.
std::map<std::string, std::string> tree_contents(const std::string& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), root).string()] = file_content(entry.path());
    return files;
}

TEST_F(BatchRunTest, OutputsAndTextsAreTheSameForAnyNumberOfWorkers)
{
    const std::string photo = file_content(test::testdata("jpeg/testorig.jpg"));
    ASSERT_GT(photo.size(), 1000u);
    folder.write("in/photo.jpg", photo);
    folder.write("in/sub/cut.jpg", photo.substr(0, photo.size() * 3 / 5));
    folder.write("in/notes.jpg", "a text, not an image");
    for (const auto& [name, data] : {std::pair{"in/alpha.png", "png/pngsuite/basn6a08.png"},
                                     {"in/sub/grey.png", "png/pngsuite/basn0g08.png"},
                                     {"in/sub/palette.png", "png/pngsuite/basn3p08.png"}})
        std::filesystem::copy_file(test::testdata(data), folder.path(name));
    folder.make_folder("in/sub/deeper");
    ASSERT_TRUE(test::write_image(folder.path("in/sub/deeper/wide.JPG"), 300, 120, IMAGE_CODE_JPEG, [](int x, int y) {
        return test::Colour{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y * 2), 60};
    }));

    for (const int mode : {RESIZE_NORMAL, RESIZE_UNIFORM, RESIZE_KEEP}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        state.job.resize_mode = mode;
        state.job.normal_size_text = "64";
        state.job.uniform_width_text = "48";
        state.job.uniform_height_text = "30";
        std::map<std::string, std::string> first_outputs;
        std::string first_message;
        for (const int workers : {1, 2, 4}) {
            const std::string output = "out" + std::to_string(mode) + "-" + std::to_string(workers) + "/";
            folder.make_folder(output);
            options.workers = workers;
            test::RecordingFrontEnd shown;
            const RunReport report = run_with(shown, "in/", output);
            EXPECT_EQ(report.workers, workers);
            EXPECT_EQ(report.processed, 7);
            const auto outputs = tree_contents(folder.path(output));
            if (workers == 1) {
                first_outputs = outputs;
                first_message = shown.messages.back();
                EXPECT_EQ(report.images[1].relative_path, "notes.jpg");
                EXPECT_EQ(report.images[1].result.failure.reason, FailureReason::NotAnImage);
                continue;
            }
            EXPECT_EQ(shown.messages.back(), first_message) << workers << " workers";
            EXPECT_EQ(outputs.size(), first_outputs.size());
            for (const auto& [path, bytes] : first_outputs)
                EXPECT_TRUE(outputs.count(path) && outputs.at(path) == bytes) << path << ", " << workers << " workers";
        }
    }
}

TEST_F(BatchRunTest, FailedListKeepsWalkOrderWhenLaterImagesFailFirst)
{
    // a.jpg takes long to decode and then cannot be written (a folder holds its name); the
    // later failures come at once.
    ASSERT_TRUE(write_flat_image(folder.path("in/a.jpg"), 2400, 1800, IMAGE_CODE_JPEG));
    folder.make_folder("out/a.jpg");
    folder.write("in/b.jpg", "no picture");
    small_image("in/c.jpg");
    folder.write("in/d.jpg", "no picture either");
    options.workers = 2;

    const RunReport report = run();
    ASSERT_EQ(front_end.finished_indices.size(), 4u);
    EXPECT_EQ(front_end.finished_indices.back(), 0u) << "the first image was meant to finish last";
    EXPECT_EQ(test::without_savings_line(front_end.messages.back()), "PTV Information|4 Images done.\n"
                                         "3 failed:\na.jpg: the output cannot be written\n"
                                         "b.jpg: not an image\nd.jpg: not an image");
    EXPECT_EQ(front_end.calls[2], "progress 1..4");
    EXPECT_NE(std::find(front_end.calls.begin(), front_end.calls.end(), "at 4"), front_end.calls.end());
    EXPECT_EQ(std::find(front_end.calls.begin(), front_end.calls.end(), "at 5"), front_end.calls.end());
    EXPECT_EQ(report.images[0].result.outcome, ImageOutcome::Failed);
    EXPECT_EQ(report.images[2].result.outcome, ImageOutcome::Written);
    EXPECT_GT(report.images[2].result.output_bytes, 0);
}

TEST_F(BatchRunTest, AStopBeforeTheFirstImageStartsNone)
{
    small_image("in/a.jpg");
    small_image("in/b.jpg");
    const std::atomic<bool> stop{true};
    options.stop = &stop;
    const RunReport report = run();
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.processed, 0);
    ASSERT_EQ(report.images.size(), 2u);
    EXPECT_EQ(report.images[1].result.outcome, ImageOutcome::NotProcessed);
    EXPECT_TRUE(folder.entries("out").empty());
    EXPECT_EQ(front_end.messages.back(), "PTV Information|Stopped: 0 of 2 images done.");
}

struct stat status_of(const std::string& path)
{
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status;
}

void set_times(const std::string& path, std::time_t accessed, std::time_t modified)
{
    const timespec times[2] = {{accessed, 0}, {modified, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

TEST_F(BatchRunTest, ARunSweepsItsOutputFoldersAndSkipsTheOutputsThatAreThere)
{
    for (const char* name : {"in/a.jpg", "in/sub/b.jpg", "in/sub/c.jpg"})
        small_image(name);
    // What killed writers left in the root and in a sub-folder, one that a live writer holds,
    // and a name of another shape.
    folder.write("out/.a.jpg.pictavo-Ab12Cd", "abandoned");
    folder.write("out/sub/.b.jpg.pictavo-Zz99zz", "abandoned");
    folder.write("out/sub/.c.jpg.pictavo-live00", "being written");
    folder.write("out/.a.jpg.pictavo-1", "not a temporary of ours");
    const int live = ::open(folder.path("out/sub/.c.jpg.pictavo-live00").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    // An earlier output, older than its source: skipped, it is neither rewritten nor dated.
    folder.write("out/sub/b.jpg", "an earlier output");
    set_times(folder.path("out/sub/b.jpg"), 1100000000, 1100000000);
    state.job.date_copy = 1;
    options.skip_existing = true;

    const RunReport report = run();
    ::close(live);
    EXPECT_EQ(report.temporaries_removed, 2);
    EXPECT_EQ(folder.entries("out"), (std::vector<std::string>{".a.jpg.pictavo-1", "a.jpg", "sub"}));
    EXPECT_EQ(folder.entries("out/sub"), (std::vector<std::string>{".c.jpg.pictavo-live00", "b.jpg", "c.jpg"}));
    EXPECT_EQ(folder.read("out/sub/b.jpg"), "an earlier output");
    EXPECT_EQ(status_of(folder.path("out/sub/b.jpg")).st_mtime, 1100000000);
    ASSERT_EQ(report.images.size(), 3u);
    EXPECT_EQ(report.images[1].result.outcome, ImageOutcome::Skipped);
    EXPECT_EQ(report.images[1].result.output_bytes, 17);
    EXPECT_EQ(report.images[2].result.outcome, ImageOutcome::Written);
    EXPECT_EQ(report.skipped, 1);
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(test::without_savings_line(front_end.messages.back()), "PTV Information|3 Images done.\n1 skipped: their outputs were there already.");
}

TEST_F(BatchRunTest, AnImageWhoseOutputPathIsTooLongForTheHostIsAFailureWithItsReason)
{
    // An output folder whose path leaves room for the temporary of "a.jpg"
    // (".a.jpg.pictavo-XXXXXX") but not for that of "sub/b.jpg".
    std::string deep = folder.path("out");
    while (deep.size() < PATH_MAX - 24)
        deep += "/" + std::string(std::min<std::size_t>(200, PATH_MAX - 25 - deep.size()), 'd');
    deep += "/";
    ASSERT_EQ(deep.size(), PATH_MAX - 23);
    std::filesystem::create_directories(deep);
    small_image("in/a.jpg");
    small_image("in/sub/b.jpg");
    // A name that fits a file name, but in that folder not the limit of a path.
    const std::string long_name = std::string(NAME_MAX - 8, 'n') + ".jpg";
    std::filesystem::copy_file(folder.path("in/a.jpg"), folder.path("in/" + long_name));

    const RunReport report = run("in/", deep.substr(folder.root().size()));
    ASSERT_EQ(report.images.size(), 3u);
    EXPECT_EQ(report.images[0].result.outcome, ImageOutcome::Written);
    for (const std::size_t refused : {1, 2}) {
        EXPECT_EQ(report.images[refused].result.outcome, ImageOutcome::Failed) << refused;
        EXPECT_EQ(report.images[refused].result.failure.reason, FailureReason::PathTooLong) << refused;
    }
    EXPECT_EQ(report.failed, 2);
    EXPECT_EQ(test::without_savings_line(front_end.messages.back()), "PTV Information|3 Images done.\n2 failed:\n" + long_name +
                                             ": the path is too long for this system\n"
                                             "sub/b.jpg: the path is too long for this system");
}

TEST_F(BatchRunTest, WalkSkipsHiddenFoldersAndOtherNamesAndKeepsDeepPathsInPlace)
{
    small_image("in/.hidden/photo.JPEG");
    small_image("in/keep.jpg");
    folder.write("in/photo.jpeg.bak", "x");
    folder.write("in/notes.txt", "x");
    // A folder deep inside whose path repeats the input root's own text.
    const std::string root_text = folder.root().substr(1) + "in";
    small_image("in/" + root_text + "/deep.jpg");

    const RunReport report = run();
    EXPECT_EQ(report.processed, 2);
    EXPECT_EQ(report.failed, 0);
    EXPECT_TRUE(folder.exists("out/keep.jpg"));
    EXPECT_TRUE(folder.exists("out/" + root_text + "/deep.jpg"));
    EXPECT_FALSE(folder.exists("out/.hidden"));
    EXPECT_FALSE(folder.exists("out/photo.jpeg.bak"));
    EXPECT_FALSE(folder.exists("out/notes.txt"));
}

TEST_F(BatchRunTest, ChecksStopBeforeAnythingChanges)
{
    small_image("in/a.jpg");
    folder.write("file", "not a folder");
    run("in/", "missing/");
    run("missing/", "file/");
    state.job.input_folder = "";
    batch_run(state, front_end);
    folder.make_folder("empty");
    const RunReport report = run("empty/", "out/");
    EXPECT_EQ(report.outcome, RunOutcome::Refused);
    // The defined text, then which folder is the matter.
    const std::string missing = "PTV ERROR|Please Select PTV Input and Output Folders.....\n";
    EXPECT_EQ(front_end.messages,
              (std::vector<std::string>{
                  missing + "The output folder " + folder.path("missing/") + " does not exist.",
                  missing + "The input folder " + folder.path("missing/") + " does not exist.\nThe output folder " +
                      folder.path("file/") + " is not a folder.",
                  missing + "No input folder is chosen.\nThe output folder " + folder.path("file/") + " is not a folder.",
                  "PTV ERROR|PTV Input Folder is empty.....\nNo .jpg, .jpeg or .png file was found in " +
                      folder.path("empty/") + " or its sub-folders."}));
    EXPECT_TRUE(folder.entries("out").empty());
    EXPECT_EQ(std::count(front_end.calls.begin(), front_end.calls.end(), "busy"), 0);
}

TEST_F(BatchRunTest, WritingIntoTheInputTreeAsksFirst)
{
    small_image("in/a/p.jpg");
    const std::string before = folder.read("in/a/p.jpg");

    front_end.answer = false;
    EXPECT_EQ(run("in/", "in/").outcome, RunOutcome::Declined);
    EXPECT_EQ(front_end.calls, std::vector<std::string>{"ask PTV Warning"});
    EXPECT_EQ(folder.read("in/a/p.jpg"), before);
    EXPECT_EQ(folder.entries("in"), std::vector<std::string>{"a"});

    // Inside the tree: the output folder is a sub-folder of the input. It is left out of the
    // plan, so neither its earlier outputs nor those of this run are taken as inputs, and it is
    // not mirrored into itself.
    small_image("in/results/a/earlier.jpg");
    front_end.answer = true;
    front_end.calls.clear();
    const RunReport report = run("in/", "in/results/");
    EXPECT_EQ(front_end.calls.front(), "ask PTV Warning");
    EXPECT_EQ(report.processed, 1);
    EXPECT_EQ(report.images.size(), 1u);
    EXPECT_NE(std::find(front_end.calls.begin(), front_end.calls.end(), "progress 1..1"), front_end.calls.end());
    EXPECT_TRUE(folder.exists("in/results/a/p.jpg"));
    EXPECT_EQ(folder.entries("in/results"), std::vector<std::string>{"a"});
    EXPECT_EQ(folder.entries("in/results/a"), (std::vector<std::string>{"earlier.jpg", "p.jpg"}));
    EXPECT_EQ(state.run.image_count, 1); // the run's own count replaces that of the scan

    EXPECT_EQ(output_place(folder.path("in"), folder.path("in/./")), OutputPlace::SameFolder);
    EXPECT_EQ(output_place(folder.path("in"), folder.path("in/a/")), OutputPlace::InsideInput);
    EXPECT_EQ(output_place(folder.path("in/a"), folder.path("in")), OutputPlace::Apart);
    EXPECT_EQ(output_place(folder.path("in"), folder.path("out")), OutputPlace::Apart);
    std::filesystem::create_directory_symlink(folder.path("in/a"), folder.path("link"));
    EXPECT_EQ(output_place(folder.path("in"), folder.path("link")), OutputPlace::InsideInput);
}

// Runs a command and answers what it printed.
std::string command_output(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string text;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        text += buffer;
    return text;
}

TEST_F(BatchRunTest, MetadataAndDatesAreCopiedFromTheSource)
{
    ASSERT_FALSE(state.job.exiftool_path.empty()) << "exiftool is needed on PATH";
    small_image("in/tagged.jpg");
    const std::string source = folder.path("in/tagged.jpg");
    command_output("exiftool -q -overwrite_original -Artist='Test Person' -ImageDescription='a \"quoted\" name' '" +
                   source + "'");
    ASSERT_EQ(command_output("exiftool -s3 -Artist '" + source + "'"), "Test Person\n");
    set_times(source, 1500000000, 1400000000);

    state.job.metadata_copy = 1;
    state.job.date_copy = 1;
    ASSERT_EQ(run().failed, 0);
    const std::string output = folder.path("out/tagged.jpg");
    EXPECT_EQ(status_of(output).st_mtime, 1400000000);
    // The source's access date as read after the job had read the source (checked before
    // anything reads the output).
    EXPECT_EQ(status_of(output).st_atime, status_of(source).st_atime);
    EXPECT_EQ(command_output("exiftool -s3 -Artist '" + output + "'"), "Test Person\n");
    EXPECT_EQ(command_output("exiftool -s3 -ImageDescription '" + output + "'"), "a \"quoted\" name\n");

    // A source that fails leaves an earlier output of its name without new tags or dates.
    folder.write("in/broken.jpg", "no picture");
    folder.write("out/broken.jpg", "earlier output");
    set_times(folder.path("out/broken.jpg"), 1100000000, 1100000000);
    ASSERT_EQ(run().failed, 1);
    EXPECT_EQ(folder.read("out/broken.jpg"), "earlier output");
    EXPECT_EQ(status_of(folder.path("out/broken.jpg")).st_mtime, 1100000000);
    std::filesystem::remove(folder.path("in/broken.jpg"));

    // Dates alone, on an output that exists already.
    state.job.metadata_copy = 0;
    set_times(source, 1300000000, 1200000000);
    ASSERT_EQ(run().failed, 0);
    EXPECT_EQ(status_of(output).st_mtime, 1200000000);
    EXPECT_EQ(command_output("exiftool -s3 -Artist '" + output + "'"), "");
}

// A folder made through its parent's descriptor, so that its path may be longer than the host
// can name; removed with the one file written into it when the test ends.
class FolderBeyondThePathLimit {
public:
    FolderBeyondThePathLimit(const std::string& parent, const std::string& name)
        : parent_(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), name_(name)
    {
        if (parent_.valid() && ::mkdirat(parent_.get(), name.c_str(), 0755) == 0)
            folder_ = Descriptor(::openat(parent_.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    ~FolderBeyondThePathLimit()
    {
        if (!file_.empty())
            ::unlinkat(folder_.get(), file_.c_str(), 0);
        if (parent_.valid())
            ::unlinkat(parent_.get(), name_.c_str(), AT_REMOVEDIR);
    }
    bool write(const std::string& name, const std::string& content)
    {
        const Descriptor file(::openat(folder_.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        file_ = name;
        return file.valid() && ::write(file.get(), content.data(), content.size()) == static_cast<ssize_t>(content.size());
    }

private:
    Descriptor parent_;
    Descriptor folder_;
    std::string name_;
    std::string file_;
};

// A tree deeper than the host's path limit: the folder whose path passes it, and with it what
// it holds, is a failure with its reason, never dropped without a word.
TEST_F(BatchRunTest, AFolderDeeperThanTheHostCanNameIsAFailureWithItsReason)
{
    std::string reachable = folder.path("in");
    int levels = 0;
    for (; reachable.size() + 201 + 40 < PATH_MAX; ++levels)
        reachable += "/" + std::string(200, static_cast<char>('a' + levels % 20));
    small_image(reachable.substr(folder.root().size()) + "/x.jpg");
    const std::string too_deep = std::string(PATH_MAX - reachable.size(), 'z');
    FolderBeyondThePathLimit beyond(reachable, too_deep);
    ASSERT_TRUE(beyond.write("lost.jpg", folder.read(reachable.substr(folder.root().size()) + "/x.jpg")));

    const RunReport report = run();
    const std::string relative = reachable.substr(folder.path("in/").size()) + "/";
    ASSERT_EQ(report.images.size(), 2u);
    EXPECT_EQ(report.images[0].relative_path, relative + "x.jpg");
    EXPECT_EQ(report.images[0].result.outcome, ImageOutcome::Written);
    EXPECT_EQ(report.images[1].relative_path, relative + too_deep + "/");
    EXPECT_EQ(report.images[1].result.failure.reason, FailureReason::PathTooLong);
    EXPECT_EQ(report.failed, 1);
    EXPECT_EQ(report.folder_count, levels + 1);
    const std::string failure = "PTV Information|2 Images done.\n1 failed:\n" + relative + too_deep
                                + "/: the path is too long for this system";
    EXPECT_EQ(front_end.messages.back().rfind(failure, 0), 0u) << front_end.messages.back();
    EXPECT_TRUE(std::filesystem::exists(folder.path("out/" + relative + "x.jpg")));
}

// File names of up to the host's limit are common from browsers and cameras; their outputs go
// through every step, the temporaries of killed writers included.
TEST_F(BatchRunTest, NamesAsLongAsAFileNameMayBeGetTheirOutputsThroughEveryStep)
{
    ASSERT_FALSE(state.job.exiftool_path.empty()) << "exiftool is needed on PATH";
    // Tagged under short names: the tool itself cannot rewrite a file of the longest names.
    small_image("tagged.jpg");
    small_image("tagged.png");
    command_output("cd '" + folder.root() + "' && exiftool -q -overwrite_original -Artist='Long Name' tagged.*");
    std::vector<std::string> names;
    for (const int length : {226, 227, 239, 240, NAME_MAX}) {
        const std::string extension = length == NAME_MAX ? ".png" : ".jpg";
        names.push_back(std::string(static_cast<std::size_t>(length - 4), static_cast<char>('a' + names.size()))
                        + extension);
        std::filesystem::copy_file(folder.path("tagged" + extension), folder.path("in/" + names.back()));
    }
    // What a writer and a tool killed mid-write left beside the longest name's output.
    std::string abandoned = temporary_name_pattern(names.back());
    abandoned.replace(abandoned.size() - 6, 6, "Ab12Cd");
    folder.write("out/" + abandoned, "abandoned");
    folder.write("out/" + abandoned + "_exiftool_tmp", "abandoned");
    state.job.metadata_copy = 1;
    state.job.date_copy = 1;
    options.workers = 2;

    const RunReport report = run();
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(report.temporaries_removed, 2);
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.entries("out"), expected);
    for (const std::string& name : names) {
        EXPECT_EQ(test::loaded_size(folder.path("out/" + name)).width, 16) << name.size();
        EXPECT_EQ(command_output("exiftool -s3 -Artist '" + folder.path("out/" + name) + "'"), "Long Name\n")
            << name.size();
    }
}

class ServiceRunTest : public BatchRunTest {
protected:
    ServiceRunTest()
    {
        EXPECT_TRUE(service.start());
        state.job.api_key = ServiceDouble::default_key;
        state.job.tinify_upload = 1;
        options.shrink_endpoint = service.shrink_url();
    }

    std::vector<RecordedRequest> uploads() const { return service.requests_to("POST", "/shrink"); }

    ServiceDouble service;
};

TEST_F(ServiceRunTest, EveryOutputIsReplacedByTheDownload)
{
    for (const char* name : {"1.jpg", "2.png", "sub/3.jpg"})
        small_image(std::string("in/") + name);
    state.job.resize_mode = RESIZE_UPLOAD_ORIGINALS;
    const RunReport report = run();
    EXPECT_FALSE(report.service_failed);
    ASSERT_EQ(uploads().size(), 3u);
    for (const char* name : {"1.jpg", "2.png", "sub/3.jpg"}) {
        const std::string original = folder.read(std::string("in/") + name);
        EXPECT_EQ(folder.read(std::string("out/") + name), ServiceDouble::compressed_form(original)) << name;
    }
    // The originals were sent byte for byte (in any order when several workers send).
    std::vector<std::string> sent, originals;
    for (const RecordedRequest& upload : uploads())
        sent.push_back(upload.body);
    for (const char* name : {"1.jpg", "2.png", "sub/3.jpg"})
        originals.push_back(folder.read(std::string("in/") + name));
    std::sort(sent.begin(), sent.end());
    std::sort(originals.begin(), originals.end());
    EXPECT_EQ(sent, originals);
    // The service's count of the key's compressions this month comes last.
    ASSERT_EQ(front_end.messages.size(), 1u);
    EXPECT_EQ(test::without_savings_line(front_end.messages[0]), "PTV Information|3 Images done.\nCompressions this month: 3");
}

TEST_F(ServiceRunTest, NothingUnwrittenIsSentAndAFailureEndsUploadsForTheRunOnly)
{
    for (const char* name : {"1.jpg", "3.jpg", "4.jpg"})
        small_image(std::string("in/") + name);
    folder.write("in/2.jpg", "no picture");

    // A source that cannot be decoded writes nothing, so nothing is sent for it.
    state.job.resize_mode = RESIZE_KEEP;
    RunReport report = run();
    EXPECT_EQ(uploads().size(), 3u);
    EXPECT_FALSE(report.service_failed);
    EXPECT_EQ(report.failed, 1);

    // Copied as it is, the text is sent and refused (415). One worker: the images after it are
    // copied but not sent, and the run ends with the service's message before the count.
    state.job.resize_mode = RESIZE_UPLOAD_ORIGINALS;
    options.workers = 1;
    report = run();
    ASSERT_EQ(uploads().size(), 5u);
    EXPECT_EQ(uploads()[4].body, "no picture");
    EXPECT_TRUE(report.service_failed);
    EXPECT_EQ(report.processed, 4);
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(report.images[1].result.failure.reason, FailureReason::ServiceFailed);
    EXPECT_EQ(report.images[1].result.failure.service_status, 415);
    EXPECT_EQ(folder.read("out/1.jpg"), ServiceDouble::compressed_form(folder.read("in/1.jpg")));
    EXPECT_EQ(folder.read("out/2.jpg"), "no picture"); // kept as the job wrote it
    EXPECT_EQ(folder.read("out/3.jpg"), folder.read("in/3.jpg"));
    const std::vector<std::string> last{*(front_end.messages.end() - 2), test::without_savings_line(front_end.messages.back())};
    EXPECT_EQ(last, (std::vector<std::string>{"PTV Error| Error Using Tinify API.",
                                              "PTV Information|4 Images done.\nCompressions this month: 4"}));

    // The next run starts with a clean slate and sends again.
    std::filesystem::remove(folder.path("in/2.jpg"));
    report = run();
    EXPECT_FALSE(report.service_failed);
    EXPECT_EQ(uploads().size(), 8u);
}

} // namespace
} // namespace pictavo

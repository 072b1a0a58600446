// The extraction as a library call: what it tells its report.
#include "export/extract.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace vexillo;
using namespace vexillo::test;

namespace {

struct Recorded : TExtractReport {
    std::vector<std::string> made, skipped;
    void FileMade(const std::string &path) override { made.push_back(path); }
    void Skipped(const std::string &what, const std::string &reason) override
    {
        skipped.push_back(what + ": " + reason);
    }
};

} // namespace

// Entries that name the same bytes: a picture is made once and linked, a
// failure said once; both are counted for every entry, and nothing printed.
TEST(ExtractIcons, ReportsEveryFileMadeAndEachFailureOnce)
{
    TempDir dir;
    const auto group = MakeIconGroup({SmallDib(), SmallDib(), BrokenPng(), BrokenPng()}, {1, 1, 2, 2});
    WriteBytes(dir / "m.dll", MakeRawModule({{14, 1, {}, group}, {3, 1, {}, SmallDib()}, {3, 2, {}, BrokenPng()}}));
    TCatalogue catalogue;
    catalogue.ResetCatalogue();
    catalogue.ScanFile((dir / "m.dll").string());
    catalogue.EndRun();
    TOutputFolder folder;
    ASSERT_TRUE(folder.Open((dir / "out").string(), nullptr));
    Recorded report;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ExtractIcons(catalogue, folder, {.AsPng = true, .Numbered = true}, report);
    EXPECT_EQ(testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr(), "");

    const std::string out = (dir / "out").string();
    EXPECT_EQ(report.made, (std::vector<std::string>{out + "/1-1.png", out + "/1-2.png"}));
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.skipped[0].rfind("1-3: the image does not decode (PNG: ", 0), 0u) << report.skipped[0];
    EXPECT_EQ(report.Counts.Written, 2);
    EXPECT_EQ(report.Counts.Skipped, 2);
    EXPECT_FALSE(report.Counts.Limited);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "out" / "1-2.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);
}

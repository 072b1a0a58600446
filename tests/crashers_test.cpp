// Every input that ever broke a fuzz target (fuzz/crashers/TARGET/FILE), with
// the result it must get now: a crasher is a named case, and adding a file
// there without a row here fails the last test.
#include "test_support.h"

#include "icons/advancedicon.h"
#include "platform/iconobject.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

const fs::path kCrashers = fs::path(VEXILLO_SOURCE_DIR) / "fuzz" / "crashers";

struct Crasher {
    const char *target;
    const char *file;
    // What reading the file must give.
    std::function<void(const fs::path &)> expect;
};

const Crasher kCrasherRows[] = {
    // A monochrome image of 2304 by 2304 pixels: listed and saved as it is,
    // its picture refused by the size limit (it once aborted the bitmap
    // conversion).
    {"fuzz_ico_file", "monochrome-2304x2304.ico",
     [](const fs::path &file) {
         TAdvancedIcon icon;
         ASSERT_TRUE(icon.LoadFromFile(file.string()));
         ASSERT_EQ(icon.Images.Count, 1);
         EXPECT_EQ(icon.Images.GetItem(0)->BitCount, 1);
         TReadError error;
         EXPECT_FALSE(icon.Images.GetItem(0)->DecodeOwnSize(&error));
         EXPECT_EQ(error.Text(), "limit exceeded: icon pixels (5308416 pixels, at most 4194304)");
     }},
};

class Crashers : public ::testing::TestWithParam<Crasher> {};

TEST_P(Crashers, GetTheirResult)
{
    GetParam().expect(kCrashers / GetParam().target / GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Crashers, ::testing::ValuesIn(kCrasherRows), [](const auto &row) {
    std::string name = std::string(row.param.target) + "_" + row.param.file;
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
});

TEST(CrasherRows, EveryCrasherHasARow)
{
    std::set<std::string> rows;
    for (const Crasher &row : kCrasherRows)
        rows.insert(std::string(row.target) + "/" + row.file);
    for (const auto &entry : fs::recursive_directory_iterator(kCrashers))
        if (entry.is_regular_file()) {
            EXPECT_TRUE(rows.count(fs::relative(entry.path(), kCrashers).string()))
                << entry.path() << " has no row in crashers_test.cpp";
        }
}

} // namespace

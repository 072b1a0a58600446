// Runs a fuzz target once over every file named on the command line (folders
// are walked), so that saved inputs are replayed in every test run.
//
//   replay DIR-OR-FILE... [--optional DIR]...
//
// The plain arguments are the repository's own inputs: each must exist. A
// folder after --optional (a target's crashers, which it may not have yet;
// samples kept outside the repository) is replayed when it is there and
// reported when it is not. A replay that finds no input at all fails: a
// safety net that catches nothing must not pass.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fs = std::filesystem;

namespace {

int runFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

// Replays a file or every regular file below a folder; -1 when it is absent.
int runPath(const fs::path &path)
{
    std::error_code ec;
    if (fs::is_regular_file(path, ec))
        return runFile(path);
    if (!fs::is_directory(path, ec))
        return -1;
    int count = 0;
    for (const auto &entry : fs::recursive_directory_iterator(path, ec))
        if (entry.is_regular_file())
            count += runFile(entry.path());
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    int total = 0;
    bool missing = false;
    for (int i = 1; i < argc; ++i) {
        const bool optional = std::strcmp(argv[i], "--optional") == 0 && i + 1 < argc;
        const fs::path path = optional ? argv[++i] : argv[i];
        const int count = runPath(path);
        if (count < 0 && optional) {
            std::printf("%s: not present; replaying the other inputs without it\n", path.c_str());
        } else if (count < 0) {
            std::printf("%s: missing\n", path.c_str());
            missing = true;
        } else {
            std::printf("%s: %d inputs\n", path.c_str(), count);
            total += count;
        }
    }
    std::printf("replayed %d inputs\n", total);
    if (total == 0)
        std::printf("no input was replayed\n");
    return missing || total == 0 ? 1 : 0;
}

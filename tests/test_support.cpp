#include "test_support.h"

#include "formats/byteview.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <stdexcept>
#include <sys/resource.h>
#include <grp.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vexillo::test {

std::vector<uint8_t> ReadBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string ReadText(const fs::path &path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const fs::path &path, const std::string &text)
{
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

fs::path Asset(const std::string &name)
{
    return fs::path(VEXILLO_TEST_ASSETS) / name;
}

fs::path CorpusDir(const std::string &kind)
{
    fs::path dir = fs::path(VEXILLO_CORPUS_DIR) / kind;
    return fs::is_directory(dir) ? dir : fs::path();
}

std::vector<fs::path> CorpusFiles(const std::string &kind)
{
    std::vector<fs::path> files;
    fs::path dir = CorpusDir(kind);
    if (dir.empty())
        return files;
    for (const auto &entry : fs::directory_iterator(dir))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "vexillo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Restore write access first so that read-only test folders can go.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string Quote(const std::string &s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

int Run(const std::string &command, std::string *out, std::string *err)
{
    TempDir dir;
    std::string full =
        "( " + command + " ) >" + (dir / "out").string() + " 2>" + (dir / "err").string() + " </dev/null";
    int status = std::system(full.c_str());
    auto slurp = [](const fs::path &p) {
        auto bytes = ReadBytes(p);
        return std::string(bytes.begin(), bytes.end());
    };
    if (out)
        *out = slurp(dir / "out");
    if (err)
        *err = slurp(dir / "err");
    if (status == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

Measured RunMeasured(const std::string &command)
{
    TempDir dir;
    // exec, so that the measured process is the command itself, not a shell.
    const std::string full =
        "exec " + command + " >'" + (dir / "out").string() + "' 2>'" + (dir / "err").string() + "' </dev/null";
    Measured result;
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", full.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    if (child < 0)
        return result;
    int status = 0;
    struct rusage usage {};
    if (wait4(child, &status, 0, &usage) == child)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    result.peakKiB = usage.ru_maxrss;
    result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.out = ReadText(dir / "out");
    result.err = ReadText(dir / "err");
    return result;
}

int RunAsNobody(const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(255);
        int code = 254;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

WriteWatch::WriteWatch(const fs::path &folder)
{
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0 || ::inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE) < 0)
        throw std::runtime_error("cannot watch " + folder.string());
}

WriteWatch::~WriteWatch()
{
    ::close(fd_);
}

int WriteWatch::Writes(const std::string &name)
{
    int count = 0;
    bool overflow = false;
    alignas(inotify_event) char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            overflow = overflow || (event->mask & IN_Q_OVERFLOW);
            if (event->len > 0 && name == event->name)
                ++count;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return overflow ? -1 : count;
}

std::vector<uint8_t> MakeDib(int width, int height, int bitCount, const std::vector<uint32_t> &palette,
                             const std::vector<uint32_t> &pixels, const std::vector<uint8_t> &mask)
{
    std::vector<uint8_t> v;
    PutU32(v, 40);
    PutU32(v, static_cast<uint32_t>(width));
    PutU32(v, static_cast<uint32_t>(height * 2));
    PutU16(v, 1);
    PutU16(v, static_cast<uint16_t>(bitCount));
    PutU32(v, 0); // BI_RGB
    PutU32(v, 0);
    PutU32(v, 0);
    PutU32(v, 0);
    PutU32(v, bitCount <= 8 ? static_cast<uint32_t>(palette.size()) : 0);
    PutU32(v, 0);
    for (uint32_t c : palette)
        PutU32(v, c & 0xFFFFFF); // stored as B, G, R, 0
    const size_t xorStride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    for (int y = height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(xorStride, 0);
        for (int x = 0; x < width; ++x) {
            uint32_t p = pixels[static_cast<size_t>(y) * width + x];
            switch (bitCount) {
            case 1: row[x / 8] |= static_cast<uint8_t>((p & 1) << (7 - x % 8)); break;
            case 4: row[x / 2] |= static_cast<uint8_t>((p & 15) << (x % 2 ? 0 : 4)); break;
            case 8: row[x] = static_cast<uint8_t>(p); break;
            case 24:
                row[x * 3] = p & 0xFF;
                row[x * 3 + 1] = (p >> 8) & 0xFF;
                row[x * 3 + 2] = (p >> 16) & 0xFF;
                break;
            case 32:
                for (int k = 0; k < 4; ++k)
                    row[x * 4 + k] = (p >> (8 * k)) & 0xFF;
                break;
            default: throw std::invalid_argument("bit count");
            }
        }
        v.insert(v.end(), row.begin(), row.end());
    }
    const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    for (int y = height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskStride, 0);
        for (int x = 0; x < width; ++x)
            if (!mask.empty() && mask[static_cast<size_t>(y) * width + x])
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        v.insert(v.end(), row.begin(), row.end());
    }
    return v;
}

std::vector<uint8_t> SolidDib(int size, int bits, bool clearCorner)
{
    std::vector<uint32_t> palette;
    if (bits <= 8)
        for (int i = 0; i < (1 << bits); ++i)
            palette.push_back(static_cast<uint32_t>(i * 0x111111));
    const size_t count = static_cast<size_t>(size) * static_cast<size_t>(size);
    std::vector<uint32_t> pixels(count, bits <= 8 ? 1u : 0xFF2266AAu);
    std::vector<uint8_t> mask;
    if (clearCorner) {
        pixels[0] = 0;
        mask.assign(count, 0);
        mask[0] = 1;
    }
    return MakeDib(size, size, bits, palette, pixels, mask);
}

ParsedIco ParseIco(const std::vector<uint8_t> &bytes)
{
    ByteView v(bytes.data(), bytes.size());
    ParsedIco ico;
    v.readU16(0, ico.reserved);
    v.readU16(2, ico.type);
    v.readU16(4, ico.count);
    for (uint32_t i = 0; i < ico.count && v.contains(6 + 16 * i, 16); ++i) {
        ParsedEntry e{};
        const uint64_t at = 6 + 16 * i;
        v.readU8(at, e.width);
        v.readU8(at + 1, e.height);
        v.readU8(at + 2, e.colors);
        v.readU8(at + 3, e.reserved);
        v.readU16(at + 4, e.planes);
        v.readU16(at + 6, e.bitCount);
        v.readU32(at + 8, e.size);
        v.readU32(at + 12, e.offset);
        ico.entries.push_back(e);
    }
    return ico;
}

std::vector<std::vector<uint8_t>> IcoImages(const std::vector<uint8_t> &bytes)
{
    std::vector<std::vector<uint8_t>> images;
    for (const ParsedEntry &e : ParseIco(bytes).entries)
        if (e.offset <= bytes.size() && e.size <= bytes.size() - e.offset)
            images.emplace_back(bytes.begin() + e.offset, bytes.begin() + e.offset + e.size);
    return images;
}

ParsedBmp ParseBmp(const std::vector<uint8_t> &bytes)
{
    ParsedBmp bmp;
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        ADD_FAILURE() << "not a BMP file (" << bytes.size() << " bytes)";
        return bmp;
    }
    ByteView v(bytes.data(), bytes.size());
    uint32_t offset = 0, headerSize = 0, compression = 1;
    int32_t width = 0, height = 0;
    uint16_t bits = 0;
    v.readU32(10, offset);
    v.readU32(14, headerSize);
    v.readI32(18, width);
    v.readI32(22, height);
    v.readU16(28, bits);
    v.readU32(30, compression);
    EXPECT_EQ(offset, 54u);
    EXPECT_EQ(headerSize, 40u);
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(compression, 0u);
    EXPECT_GT(height, 0); // bottom-up
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    if (width <= 0 || height <= 0 || bytes.size() != 54 + stride * static_cast<size_t>(height)) {
        ADD_FAILURE() << "a BMP file of " << bytes.size() << " bytes for " << width << " by " << height;
        return bmp;
    }
    bmp.width = width;
    bmp.height = height;
    for (int y = 0; y < height; ++y) {
        const size_t row = 54 + stride * static_cast<size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const uint8_t *p = &bytes[row + 3 * static_cast<size_t>(x)];
            bmp.pixels.push_back((uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0]);
        }
    }
    return bmp;
}

std::vector<uint8_t> MakeIco(const std::vector<std::vector<uint8_t>> &images, const std::vector<EntryFields> &entries)
{
    std::vector<uint8_t> v;
    PutU16(v, 0);
    PutU16(v, 1);
    PutU16(v, static_cast<uint16_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        EntryFields e = i < entries.size() ? entries[i] : EntryFields{};
        v.push_back(e.width);
        v.push_back(e.height);
        v.push_back(e.colors);
        v.push_back(e.reserved);
        PutU16(v, e.planes);
        PutU16(v, e.bitCount);
        PutU32(v, static_cast<uint32_t>(images[i].size()));
        PutU32(v, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto &image : images)
        v.insert(v.end(), image.begin(), image.end());
    return v;
}

std::vector<uint8_t> MakeIconGroup(const std::vector<std::vector<uint8_t>> &images, const std::vector<uint16_t> &ids,
                                   const std::vector<EntryFields> &entries)
{
    std::vector<uint8_t> v = {0, 0, 1, 0};
    PutU16(v, static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        const EntryFields e = i < entries.size() ? entries[i] : EntryFields{0, 0, 0, 0, 1, 32};
        v.insert(v.end(), {e.width, e.height, e.colors, e.reserved});
        PutU16(v, e.planes);
        PutU16(v, e.bitCount);
        PutU32(v, static_cast<uint32_t>(images[i].size()));
        PutU16(v, i < ids.size() ? ids[i] : static_cast<uint16_t>(i + 1));
    }
    return v;
}

fs::path BuildModule(const TempDir &dir, const std::string &module,
                     const std::vector<std::tuple<std::string, int, std::vector<uint8_t>>> &resources)
{
    std::string rc;
    int n = 0;
    for (const auto &[name, type, bytes] : resources) {
        const std::string file = module + "-res" + std::to_string(n++) + ".bin";
        WriteBytes(dir / file, bytes);
        rc += name + " " + std::to_string(type) + " \"" + file + "\"\n";
    }
    WriteText(dir / (module + ".rc"), rc);
    const std::string command = "cd '" + dir.path().string() +
                                "' && x86_64-w64-mingw32-windres --preprocessor=cpp -l 0 -i '" + module + ".rc' -o '" +
                                module + ".o' && x86_64-w64-mingw32-ld -shared -o '" + module + "' '" + module + ".o'";
    std::string err;
    EXPECT_EQ(Run(command, nullptr, &err), 0) << err;
    return dir / module;
}

} // namespace vexillo::test

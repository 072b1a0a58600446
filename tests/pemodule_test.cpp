#include "platform/pemodule.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace vexillo;
using namespace vexillo::test;

namespace {

std::string Describe(const ResourceId &id)
{
    return id.IsName ? "'" + id.Name + "'" : std::to_string(id.Number);
}

// What an enumeration reported, as ids and as comma-separated text, and
// what it returned.
struct Listing {
    std::vector<ResourceId> ids;
    std::string text;
    bool ok = false;
};

using Enumerator = std::function<bool(const std::function<bool(const ResourceId &)> &)>;

Listing List(const Enumerator &enumerate)
{
    Listing l;
    l.ok = enumerate([&](const ResourceId &id) {
        l.ids.push_back(id);
        l.text += (l.text.empty() ? "" : ",") + Describe(id);
        return true;
    });
    return l;
}

Listing Types(const TModule &m)
{
    return List([&](const auto &callback) { return m.EnumResourceTypes(callback); });
}

Listing Names(const TModule &m, const ResourceId &type)
{
    return List([&](const auto &callback) { return m.EnumResourceNames(type, callback); });
}

std::vector<uint8_t> Find(const TModule &m, const ResourceId &type, const ResourceId &name)
{
    SharedBytes bytes;
    EXPECT_TRUE(m.FindResource(type, name, bytes)) << Describe(type) << "/" << Describe(name);
    return {bytes.begin(), bytes.end()};
}

// What icoutils' wrestool lists: one line per type, name and language.
struct WrestoolEntry {
    std::string type, name; // as Describe() writes them
    int language = 0;
};

// The listing, or false when wrestool can't read the file.
bool WrestoolList(const fs::path &file, std::vector<WrestoolEntry> &entries)
{
    std::string out, err;
    if (Run("wrestool -l " + Quote(file.string()), &out, &err) != 0 || !err.empty() || out.empty())
        return false;
    // Lines read "--type=14 --name='APP' --language=1033 [...]".
    std::istringstream lines(out);
    std::string type, name, language, rest;
    while (lines >> type >> name >> language && std::getline(lines, rest)) {
        if (type.rfind("--type=", 0) != 0 || name.rfind("--name=", 0) != 0 || language.rfind("--language=", 0) != 0)
            return false;
        entries.push_back({type.substr(7), name.substr(7), std::stoi(language.substr(11))});
    }
    return !entries.empty();
}

// A name as wrestool takes it: "+NAME", or "-N" for a number (a plain 1
// would match the name "1" too).
std::string WrestoolArg(const std::string &described)
{
    return described.front() == '\'' ? Quote("+" + described.substr(1, described.size() - 2)) : "-" + described;
}

std::vector<uint8_t> WrestoolExtract(const fs::path &file, const std::string &type, const std::string &name,
                                     int language)
{
    std::string out;
    Run("wrestool -x --raw -t " + WrestoolArg(type) + " -n " + WrestoolArg(name) + " -L " + std::to_string(language) +
            " " + Quote(file.string()),
        &out);
    return {out.begin(), out.end()};
}

// Compares the icons and icon groups (types 3 and 14) with wrestool: the
// same names in the same order, and for each the bytes of the language that
// FindResource picks (neutral, else the first listed).
void ExpectMatchesWrestool(const fs::path &file, const TModule &m, const std::vector<WrestoolEntry> &listed)
{
    std::string types;
    std::map<std::string, std::string> names;
    std::map<std::pair<std::string, std::string>, std::vector<int>> languages;
    auto append = [](std::string &list, const std::string &item) {
        const size_t last = list.rfind(',');
        if (list.empty() || list.substr(last == std::string::npos ? 0 : last + 1) != item)
            list += (list.empty() ? "" : ",") + item;
    };
    for (const auto &e : listed) {
        append(types, e.type);
        append(names[e.type], e.name);
        languages[{e.type, e.name}].push_back(e.language);
    }
    EXPECT_EQ(Types(m).text, types);
    for (uint16_t type : {RT_ICON, RT_GROUP_ICON}) {
        const std::string t = std::to_string(type);
        const Listing ours = Names(m, ResourceId::FromNumber(type));
        EXPECT_EQ(ours.text, names[t]) << "type " << t;
        for (const auto &id : ours.ids) {
            const auto &langs = languages[{t, Describe(id)}];
            const bool neutral = std::find(langs.begin(), langs.end(), 0) != langs.end();
            const int lang = neutral || langs.empty() ? 0 : langs.front();
            EXPECT_EQ(Find(m, ResourceId::FromNumber(type), id), WrestoolExtract(file, t, Describe(id), lang))
                << file.filename() << " " << t << "/" << Describe(id);
        }
    }
}

// A test name made of a file name.
std::string TestName(std::string n)
{
    std::replace_if(
        n.begin(), n.end(), [](char c) { return !isalnum(static_cast<unsigned char>(c)); }, '_');
    return n;
}

// ---------------------------------------------------------------------------
// Modules compiled by windres and linked by ld at test time.

class PeModuleBuilt : public ::testing::TestWithParam<std::string> {
public:
    static void SetUpTestSuite()
    {
        if (dir_)
            return;
        dir_ = new TempDir();
        const fs::path script = fs::path(__FILE__).parent_path() / "modules" / "build_modules.sh";
        std::string err;
        built_ = vexillo::test::Run("bash " + Quote(script.string()) + " " + Quote(dir_->path().string()), nullptr,
                                    &err) == 0;
        if (!built_)
            std::cerr << "building the test modules failed: " << err << "\n";
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }

protected:
    void SetUp() override
    {
        // scripts/test.sh installs the tools: a module that was not built
        // is a failure, never a reason to pass over the tests.
        ASSERT_TRUE(built_) << "the test modules were not built (windres, ld or ImageMagick failed)";
    }
    static fs::path Module(const std::string &name) { return dir_->path() / name; }

    static inline TempDir *dir_ = nullptr;
    static inline bool built_ = false;
};

class PeModuleIcons : public PeModuleBuilt {};
class PeModuleLanguages : public PeModuleBuilt {};

TEST_P(PeModuleBuilt, MatchesWrestool)
{
    const fs::path file = Module(GetParam());
    auto m = TModule::LoadAsDataFile(file.string());
    ASSERT_TRUE(m);
    std::vector<WrestoolEntry> listed;
    ASSERT_TRUE(WrestoolList(file, listed));
    ExpectMatchesWrestool(file, *m, listed);
}

INSTANTIATE_TEST_SUITE_P(Modules, PeModuleBuilt,
                         ::testing::Values("icons-x86_64.dll", "icons-i686.dll", "langs-x86_64.dll", "langs-i686.dll",
                                           "cursors-x86_64.dll", "cursors-i686.dll", "names-x86_64.dll",
                                           "names-i686.dll"),
                         [](const auto &p) { return TestName(p.param); });

TEST_P(PeModuleIcons, GroupsLeadToTheImagesOfTheirIcoFiles)
{
    auto m = TModule::LoadAsDataFile(Module(GetParam()).string());
    ASSERT_TRUE(m);
    EXPECT_EQ(Types(*m).text, "'WORLD',3,14");
    EXPECT_EQ(Names(*m, ResourceId::FromNumber(RT_GROUP_ICON)).text, "'LOWERNAME','MAINICON',1,2");

    const std::vector<std::pair<ResourceId, std::string>> groups = {{ResourceId::FromNumber(1), "a.ico"},
                                                                    {ResourceId::FromName("MainIcon"), "b.ico"},
                                                                    {ResourceId::FromNumber(2), "c.ico"},
                                                                    {ResourceId::FromName("lowername"), "a.ico"}};
    for (const auto &[name, ico] : groups) {
        SCOPED_TRACE(Describe(name));
        const auto images = IcoImages(ReadBytes(Module(ico)));
        const auto group = Find(*m, ResourceId::FromNumber(RT_GROUP_ICON), name);
        ASSERT_EQ(group.size(), 6 + 14 * images.size());
        for (size_t i = 0; i < images.size(); ++i) {
            const uint16_t id = group[6 + 14 * i + 12] | (group[6 + 14 * i + 13] << 8);
            EXPECT_EQ(Find(*m, ResourceId::FromNumber(RT_ICON), ResourceId::FromNumber(id)), images[i]);
        }
    }
    // A named type and name, found without regard to case; the resource is the file as it was.
    EXPECT_EQ(Names(*m, ResourceId::FromName("world")).text, "'HELLO'");
    EXPECT_EQ(Find(*m, ResourceId::FromName("World"), ResourceId::FromName("hello")), ReadBytes(Module("b.ico")));

    SharedBytes bytes;
    EXPECT_FALSE(m->FindResource(ResourceId::FromNumber(RT_GROUP_ICON), ResourceId::FromNumber(3), bytes));
    EXPECT_FALSE(m->FindResource(ResourceId::FromNumber(RT_GROUP_ICON), ResourceId::FromName("1"), bytes));
    EXPECT_FALSE(m->FindResource(ResourceId::FromNumber(RT_GROUP_ICON), ResourceId::FromName("MAINICO"), bytes));
    EXPECT_FALSE(m->FindResource(ResourceId::FromNumber(RT_ICON), ResourceId::FromName("MAINICON"), bytes));
}

TEST_P(PeModuleLanguages, PicksTheNeutralLanguageElseTheFirst)
{
    const fs::path file = Module(GetParam());
    auto m = TModule::LoadAsDataFile(file.string());
    ASSERT_TRUE(m);
    const auto group = ResourceId::FromNumber(RT_GROUP_ICON);
    const auto english = WrestoolExtract(file, "14", "1", 1033);
    ASSERT_FALSE(english.empty());
    ASSERT_NE(english, WrestoolExtract(file, "14", "1", 1036));
    EXPECT_EQ(Find(*m, group, ResourceId::FromNumber(1)), english);
    const auto neutral = WrestoolExtract(file, "14", "2", 0);
    ASSERT_FALSE(neutral.empty());
    EXPECT_EQ(Find(*m, group, ResourceId::FromNumber(2)), neutral);
}

INSTANTIATE_TEST_SUITE_P(Modules, PeModuleIcons, ::testing::Values("icons-x86_64.dll", "icons-i686.dll"),
                         [](const auto &p) { return TestName(p.param); });
INSTANTIATE_TEST_SUITE_P(Modules, PeModuleLanguages, ::testing::Values("langs-x86_64.dll", "langs-i686.dll"),
                         [](const auto &p) { return TestName(p.param); });

// ---------------------------------------------------------------------------
// Real files made by other projects.

TEST(PeModuleCorpus, EveryFileWalksAndMatchesWrestool)
{
    const auto files = CorpusFiles("pe");
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    int compared = 0;
    for (const auto &file : files) {
        SCOPED_TRACE(file.filename().string());
        auto m = TModule::LoadAsDataFile(file.string());
        if (!m)
            continue;
        for (const auto &type : Types(*m).ids)
            for (const auto &name : Names(*m, type).ids) {
                SharedBytes bytes;
                m->FindResource(type, name, bytes);
            }
        std::vector<WrestoolEntry> listed;
        if (WrestoolList(file, listed)) {
            ExpectMatchesWrestool(file, *m, listed);
            ++compared;
        }
    }
    EXPECT_GE(compared, 10);
}

struct CorpusCase {
    const char *file;
    bool loads;
    const char *types; // nullptr: the enumeration fails
    uint16_t type;     // a type whose names are listed and whose first resource is read
    const char *names; // nullptr: the enumeration fails
    size_t firstSize;
};

void PrintTo(const CorpusCase &c, std::ostream *os)
{
    *os << c.file;
}

class PeModuleCorpusCase : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(PeModuleCorpusCase, ListsWhatTheFileHolds)
{
    const CorpusCase &c = GetParam();
    const fs::path file = CorpusDir("pe") / c.file;
    if (!fs::exists(file))
        GTEST_SKIP() << "no corpus";
    auto m = TModule::LoadAsDataFile(file.string());
    ASSERT_EQ(bool(m), c.loads);
    if (!m)
        return;
    const Listing types = Types(*m);
    EXPECT_EQ(types.ok, c.types != nullptr);
    EXPECT_EQ(types.text, c.types ? c.types : "");
    if (!c.type)
        return;
    const auto type = ResourceId::FromNumber(c.type);
    const Listing names = Names(*m, type);
    EXPECT_EQ(names.ok, c.names != nullptr);
    if (!c.names)
        return;
    EXPECT_EQ(names.text, c.names);
    ASSERT_FALSE(names.ids.empty());
    EXPECT_EQ(Find(*m, type, names.ids.front()).size(), c.firstSize);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PeModuleCorpusCase,
    ::testing::Values(CorpusCase{"corkami__resource_icon.exe", true, "3,14", 14, "788", 20},
                      CorpusCase{"corkami__resource.exe", true, "789", 789, "29524", 0x20},
                      CorpusCase{"corkami__resource2.exe", true, "315", 315, "7354", 0x27},
                      // Type 0 (it points back at the root) is not a resource type; 789 is.
                      CorpusCase{"corkami__resourceloop.exe", true, "789", 789, "29524", 0x22},
                      // Data inside the headers, an empty directory size.
                      CorpusCase{"corkami__reshdr.exe", true, "789", 789, "101", 0x3E},
                      // Most header fields 0xFF, a section table past the end of the file.
                      CorpusCase{"corkami__d_resource.dll", true, "789", 789, "29524", 0x1A},
                      CorpusCase{"corkami__resource_string.exe", true, "6", 6, "10", 0x5E},
                      CorpusCase{"corkami__manifest_broken.exe", true, "24", 24, "3", 0x49},
                      CorpusCase{"corkami__tinyXP.exe", true, nullptr, 0, "", 0},
                      CorpusCase{"corkami__tiny.exe", true, nullptr, 0, "", 0},
                      CorpusCase{"corkami__d_tiny.dll", false, nullptr, 0, "", 0},
                      CorpusCase{"corkami__dosZMXP.exe", false, nullptr, 0, "", 0},
                      CorpusCase{"corkami__foldedhdr.exe", true, nullptr, 0, "", 0},
                      CorpusCase{"goblin__malformed_resource_tree.exe.bin", true, nullptr, 0, "", 0},
                      CorpusCase{"yara__clusterfuzz-testcase-minimized-pe_fuzzer-5741846293643264", false, nullptr, 0,
                                 "", 0},
                      CorpusCase{"winres__rsrc1.bin", false, nullptr, 0, "", 0},
                      CorpusCase{"winres__rh.exe", true, "'PNG',1,3,12,14,16", 14, "'APP',1", 48},
                      // Group sizes: a 6-byte header and 14 bytes per icon.
                      CorpusCase{"saferwall__pwsh.exe", true, "3,14,16,24", 14, "32512", 6 + 9 * 14},
                      CorpusCase{"saferwall__putty.exe", true, "3,5,14,16,24,2000", 14, "200,201", 6 + 6 * 14},
                      CorpusCase{"winres__sfx.exe", true, "3,5,6,14,16", 14, "1", 6 + 2 * 14},
                      CorpusCase{"pelite__Demo.dll", true, "'IMPORTANT',3,6,9,14,16,24", 14, "103", 6 + 14},
                      CorpusCase{"pelite__Demo64.dll", true, "'IMPORTANT',3,6,9,14,16,24", 14, "103", 6 + 14},
                      // The groups' name claims 0xFFFF characters, more than the file holds.
                      CorpusCase{"winres__invalid_rsrc.exe", true, "3,14,16", 14, nullptr, 0}),
    [](const auto &p) { return TestName(p.param.file); });

TEST(PeModuleCorpus, IconImageIsTheRawDib)
{
    const fs::path exe = CorpusDir("pe") / "corkami__resource_icon.exe";
    const fs::path dib = CorpusDir("ico") / "corkami__PE_icon.bin";
    if (!fs::exists(exe) || !fs::exists(dib))
        GTEST_SKIP() << "no corpus";
    auto m = TModule::LoadAsDataFile(exe.string());
    ASSERT_TRUE(m);
    EXPECT_EQ(Find(*m, ResourceId::FromNumber(RT_ICON), ResourceId::FromNumber(1576)), ReadBytes(dib));
}

// ---------------------------------------------------------------------------
// Hand-made modules.

// A resource type, name or language as stored: a number or a UTF-16 name.
struct Key {
    uint16_t number = 0;
    std::u16string name;
    Key(int n) : number(static_cast<uint16_t>(n)) {}
    Key(const char16_t *s) : name(s) {}
    bool operator==(const Key &) const = default;
};

struct Res {
    Key type, name;
    uint16_t language;
    std::vector<uint8_t> data;
};

constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kSectionFile = 0x200;

// A resource section for RVA kSectionRva: directories in the order the
// resources are given, then the data entries, the names and the data.
std::vector<uint8_t> ResourceSection(const std::vector<Res> &list)
{
    struct Node {
        Key key;
        std::vector<Node> children;
        const Res *leaf = nullptr;
    };
    Node root{0, {}};
    for (const Res &r : list) {
        auto child = [](Node &parent, const Key &k) -> Node & {
            for (Node &n : parent.children)
                if (n.key == k)
                    return n;
            parent.children.push_back({k, {}});
            return parent.children.back();
        };
        child(child(child(root, r.type), r.name), r.language).leaf = &r;
    }
    // Offsets: directories breadth-first, then data entries, names and data.
    std::vector<const Node *> dirs{&root}, leaves;
    for (size_t i = 0; i < dirs.size(); ++i)
        for (const Node &n : dirs[i]->children)
            (n.leaf ? leaves : dirs).push_back(&n);
    std::map<const Node *, uint32_t> at;
    uint32_t off = 0;
    for (const Node *d : dirs)
        at[d] = off, off += 16 + 8 * static_cast<uint32_t>(d->children.size());
    for (const Node *l : leaves)
        at[l] = off, off += 16;
    std::map<const Node *, uint32_t> nameAt;
    for (const Node *d : dirs)
        for (const Node &n : d->children)
            if (!n.key.name.empty())
                nameAt[&n] = off, off += 2 + 2 * static_cast<uint32_t>(n.key.name.size());
    std::vector<uint8_t> out;
    for (const Node *d : dirs) {
        const auto named =
            std::count_if(d->children.begin(), d->children.end(), [](const Node &n) { return !n.key.name.empty(); });
        out.resize(out.size() + 12);
        PutU16(out, static_cast<uint16_t>(named));
        PutU16(out, static_cast<uint16_t>(d->children.size() - named));
        for (const Node &n : d->children) {
            PutU32(out, n.key.name.empty() ? n.key.number : 0x80000000u | nameAt[&n]);
            PutU32(out, n.leaf ? at[&n] : 0x80000000u | at[&n]);
        }
    }
    std::vector<uint8_t> data;
    for (const Node *l : leaves) {
        const uint32_t dataAt = (off + 3) / 4 * 4 + static_cast<uint32_t>(data.size());
        PutU32(out, kSectionRva + dataAt);
        PutU32(out, static_cast<uint32_t>(l->leaf->data.size()));
        PutU32(out, 0);
        PutU32(out, 0);
        data.insert(data.end(), l->leaf->data.begin(), l->leaf->data.end());
        data.resize((data.size() + 3) / 4 * 4);
    }
    for (const Node *d : dirs)
        for (const Node &n : d->children)
            if (!n.key.name.empty()) {
                PutU16(out, static_cast<uint16_t>(n.key.name.size()));
                for (char16_t c : n.key.name)
                    PutU16(out, c);
            }
    out.resize((off + 3) / 4 * 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// Where the hand-made module keeps its header fields.
constexpr size_t kNt = 0x40;
constexpr size_t kOpt = kNt + 24;
size_t SectionTable(bool plus)
{
    return kOpt + (plus ? 0xF0 : 0xE0);
}
size_t ResourceDirectoryField(bool plus)
{
    return kOpt + (plus ? 112 : 96) + 16;
}

void SetU16(std::vector<uint8_t> &v, size_t at, uint16_t x)
{
    v[at] = x & 0xFF;
    v[at + 1] = x >> 8;
}

void SetU32(std::vector<uint8_t> &v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = (x >> (8 * i)) & 0xFF;
}

// A PE32 (or PE32+) module whose one section holds the resource section.
std::vector<uint8_t> Module(const std::vector<uint8_t> &rsrc, bool plus = false)
{
    const uint32_t rawSize = (static_cast<uint32_t>(rsrc.size()) + 0x1FF) / 0x200 * 0x200;
    std::vector<uint8_t> v(kSectionFile + rawSize, 0);
    v[0] = 'M', v[1] = 'Z';
    SetU32(v, 0x3C, kNt);
    v[kNt] = 'P', v[kNt + 1] = 'E';
    SetU16(v, kNt + 4, plus ? 0x8664 : 0x14C);
    SetU16(v, kNt + 6, 1);
    SetU16(v, kNt + 20, plus ? 0xF0 : 0xE0);
    SetU16(v, kNt + 22, 0x2102);
    SetU16(v, kOpt, plus ? 0x20B : 0x10B);
    SetU32(v, kOpt + 32, 0x1000);
    SetU32(v, kOpt + 36, 0x200);
    SetU32(v, kOpt + 56, kSectionRva + 0x1000);
    SetU32(v, kOpt + 60, kSectionFile);
    SetU32(v, kOpt + (plus ? 108 : 92), 16);
    SetU32(v, ResourceDirectoryField(plus), kSectionRva);
    SetU32(v, ResourceDirectoryField(plus) + 4, static_cast<uint32_t>(rsrc.size()));
    const size_t s = SectionTable(plus);
    std::copy_n(".rsrc", 5, v.begin() + s);
    SetU32(v, s + 8, static_cast<uint32_t>(rsrc.size()));
    SetU32(v, s + 12, kSectionRva);
    SetU32(v, s + 16, rawSize);
    SetU32(v, s + 20, kSectionFile);
    std::copy(rsrc.begin(), rsrc.end(), v.begin() + kSectionFile);
    return v;
}

std::vector<uint8_t> Bytes(const std::string &s)
{
    return {s.begin(), s.end()};
}

class PeModuleHandMade : public ::testing::Test {
protected:
    std::unique_ptr<TModule> Load(const std::vector<uint8_t> &file, const std::string &name = "m.dll",
                                  TReadError *error = nullptr)
    {
        WriteBytes(dir_ / name, file);
        return TModule::LoadAsDataFile((dir_ / name).string(), error);
    }
    TempDir dir_;
};

TEST_F(PeModuleHandMade, NamesLanguagesAndSizeLimit)
{
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        auto m = Load(Module(ResourceSection({
                                 {14, 7, 0x409, Bytes("english")},
                                 {14, 7, 0, Bytes("neutral")}, // listed second, still preferred
                                 {14, 8, 0x40C, Bytes("french")},
                                 {14, 8, 0x409, Bytes("english")},
                                 {14, u"lower", 0x409, Bytes("lower")},
                                 {14, u"MiXed", 0x409, Bytes("mixed")},
                                 {14, u"\xE9t\xE9", 0, Bytes("accent")},
                                 {14, u"\xD800x\xDC00", 0, Bytes("unpaired")},
                                 {14, u"\xD83D\xDE00", 0, Bytes("pair")},
                                 {u"Custom", 1, 0, Bytes("custom")},
                             }),
                             plus));
        ASSERT_TRUE(m);
        const auto group = ResourceId::FromNumber(RT_GROUP_ICON);
        // Stored order, not sorted: here the numbered entries come first.
        EXPECT_EQ(Types(*m).text, "14,'Custom'");
        EXPECT_EQ(Names(*m, group).text,
                  "7,8,'lower','MiXed','\xC3\xA9t\xC3\xA9','\\uD800x\\uDC00','\xF0\x9F\x98\x80'");
        const std::vector<std::pair<ResourceId, std::string>> found = {
            {ResourceId::FromNumber(7), "neutral"},
            {ResourceId::FromNumber(8), "french"},
            {ResourceId::FromName("LOWER"), "lower"},
            {ResourceId::FromName("mixed"), "mixed"},
            {ResourceId::FromName("\xC3\xA9T\xC3\xA9"), "accent"},
            {ResourceId::FromName("\xF0\x9F\x98\x80"), "pair"},
            {ResourceId::FromName("\\uD800x\\uDC00"), "unpaired"}, // by the text it is shown as
        };
        for (const auto &[name, text] : found)
            EXPECT_EQ(Find(*m, group, name), Bytes(text)) << Describe(name);
        EXPECT_EQ(Find(*m, ResourceId::FromName("CUSTOM"), ResourceId::FromNumber(1)), Bytes("custom"));

        SharedBytes bytes;
        // Case is folded for ASCII letters only.
        EXPECT_FALSE(m->FindResource(group, ResourceId::FromName("\xC3\x89t\xC3\xA9"), bytes));
        EXPECT_FALSE(m->FindResource(group, ResourceId::FromNumber(0), bytes));

        // The callback stops an enumeration without failing it.
        int calls = 0;
        EXPECT_TRUE(m->EnumResourceNames(group, [&](const ResourceId &) { return ++calls < 2; }));
        EXPECT_EQ(calls, 2);
    }
}

// The base of the hostile cases: one group (type 14, name 1, language 0).
// Layout (file offsets): root 0x200, its entry 0x210; type directory 0x218,
// its entry 0x228; language directory 0x230, its entry 0x240; data entry
// 0x248 (RVA, size); data 0x258.
std::vector<uint8_t> Base()
{
    return Module(ResourceSection({{14, 1, 0, Bytes("group!")}}));
}

struct HostileCase {
    const char *label;
    std::function<void(std::vector<uint8_t> &)> mutate;
    bool loads;
    const char *types; // what EnumResourceTypes reports
    bool typesOk;
    bool namesOk; // EnumResourceNames(14)
    bool found;   // FindResource(14, 1)
    // The reason the first of those steps that fails gives.
    const char *why;
};

void PrintTo(const HostileCase &c, std::ostream *os)
{
    *os << c.label;
}

class PeModuleHostile : public PeModuleHandMade, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(PeModuleHostile, FailsCleanly)
{
    const HostileCase &c = GetParam();
    auto file = Base();
    c.mutate(file);
    TReadError error;
    auto m = Load(file, "m.dll", &error);
    ASSERT_EQ(bool(m), c.loads);
    std::string why = m ? "" : error.Text();
    if (m) {
        const Listing types = Types(*m);
        EXPECT_EQ(types.text, c.types);
        EXPECT_EQ(types.ok, c.typesOk);
        if (!types.ok)
            why = m->LastError().Text();
        const bool namesOk = Names(*m, ResourceId::FromNumber(14)).ok;
        EXPECT_EQ(namesOk, c.namesOk);
        if (!namesOk && why.empty())
            why = m->LastError().Text();
        SharedBytes bytes;
        EXPECT_EQ(m->FindResource(ResourceId::FromNumber(14), ResourceId::FromNumber(1), bytes), c.found);
        if (c.found) {
            EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), Bytes("group!"));
            EXPECT_FALSE(m->LastError());
        } else if (why.empty()) {
            why = m->LastError().Text();
        }
    }
    EXPECT_EQ(why, c.why);
}

const HostileCase kHostileCases[] = {
    {"Unchanged", [](auto &) {}, true, "14", true, true, true, ""},
    {"NoMZ", [](auto &f) { f[0] = 'Z'; }, false, "", false, false, false,
     "not a Windows program or library (no MZ signature)"},
    {"NoPESignature", [](auto &f) { f[kNt + 2] = 1; }, false, "", false, false, false,
     "not a Windows program or library (no PE signature at offset 64)"},
    {"NtHeadersPastTheEnd", [](auto &f) { SetU32(f, 0x3C, 0xFFFFFFF0); }, false, "", false, false, false,
     "not a Windows program or library (the PE header offset 4294967280 lies past the end of the file)"},
    {"UnknownMagic", [](auto &f) { SetU16(f, kOpt, 0x10C); }, false, "", false, false, false,
     "not a Windows program or library (unknown optional header magic 268)"},
    {"TwoDataDirectories", [](auto &f) { SetU32(f, kOpt + 92, 2); }, true, "", false, false, false, "no resources"},
    {"NoResourceRva", [](auto &f) { SetU32(f, ResourceDirectoryField(false), 0); }, true, "", false, false, false,
     "no resources"},
    {"ResourceRvaUnmapped", [](auto &f) { SetU32(f, ResourceDirectoryField(false), 0x5000); }, true, "", false, false,
     false, "corrupt at offset 64 (the resource directory's address lies outside every section)"},
    // The tree read through its file offset below the first section.
    {"ResourceRvaInHeaderArea", [](auto &f) { SetU32(f, ResourceDirectoryField(false), kSectionFile); }, true, "14",
     true, true, true, ""},
    {"SectionCountPastTheFile", [](auto &f) { SetU16(f, kNt + 6, 0xFFFF); }, true, "14", true, true, true, ""},
    {"HugeSizeOfRawData", [](auto &f) { SetU32(f, SectionTable(false) + 16, 0xFFFFFFFF); }, true, "14", true, true,
     true, ""},
    {"RawPointerNear4GiB", [](auto &f) { SetU32(f, SectionTable(false) + 20, 0xFFFFFF00); }, true, "", false, false,
     false, "truncated at offset 1024 (resource directory at 4294967040)"},
    // VirtualAddress + SizeOfRawData passes 2^32: the tree is still found,
    // the data RVA (0x1058) no longer maps.
    {"SectionEndPast4GiB",
     [](auto &f) {
         SetU32(f, SectionTable(false) + 12, 0xFFFFFF00);
         SetU32(f, ResourceDirectoryField(false), 0xFFFFFF00);
     },
     true, "14", true, true, false, "truncated at offset 1024 (resource of 6 bytes at 4184)"},
    {"TypePointsToRoot", [](auto &f) { SetU32(f, 0x214, 0x80000000); }, true, "", false, false, false,
     "resource loop at offset 512"},
    {"TypeIsData", [](auto &f) { SetU32(f, 0x214, 0x48); }, true, "", false, false, false,
     "corrupt at offset 584 (resource data where a directory belongs)"},
    {"TypePastTheEnd", [](auto &f) { SetU32(f, 0x214, 0xFFFFFFF0); }, true, "", false, false, false,
     "truncated at offset 1024 (resource directory at 2147484144)"},
    {"NamePointsToItsType", [](auto &f) { SetU32(f, 0x22C, 0x80000018); }, true, "14", true, false, false,
     "resource loop at offset 536"},
    {"NamePointsToRoot", [](auto &f) { SetU32(f, 0x22C, 0x80000000); }, true, "14", true, false, false,
     "resource loop at offset 512"},
    {"LanguageIsADirectory", [](auto &f) { SetU32(f, 0x244, 0x80000030); }, true, "14", true, true, false,
     "corrupt at offset 560 (a fourth resource directory level)"},
    {"DataEntryPastTheEnd", [](auto &f) { SetU32(f, 0x244, 0x7FFFFFF0); }, true, "14", true, true, false,
     "truncated at offset 1024 (resource data entry at 2147484144 needs 16 bytes)"},
    {"DataRvaUnmapped", [](auto &f) { SetU32(f, 0x248, 0x20000); }, true, "14", true, true, false,
     "corrupt at offset 584 (resource address outside every section)"},
    {"DataPastTheEnd", [](auto &f) { SetU32(f, 0x24C, 0x1000); }, true, "14", true, true, false,
     "truncated at offset 1024 (resource of 4096 bytes at 600)"},
    {"Data4GiB", [](auto &f) { SetU32(f, 0x24C, 0xFFFFFFFF); }, true, "14", true, true, false,
     "truncated at offset 1024 (resource of 4294967295 bytes at 600)"},
    // 0xFFFF entries: the ones that exist are read, garbage stops the walk.
    {"EntryCountPastTheFile", [](auto &f) { SetU16(f, 0x20E, 0xFFFF); }, true, "14", false, true, true,
     "corrupt at offset 512 (resource data where a directory belongs)"},
    {"NameOffsetPastTheEnd", [](auto &f) { SetU32(f, 0x210, 0xFFFFFFF0); }, true, "", false, false, false,
     "truncated at offset 1024 (resource name at 2147484144 needs 2 bytes)"},
    // A name whose length word is at the end of the file, its characters past it.
    {"NameCutByTheEnd",
     [](auto &f) {
         SetU32(f, 0x210, 0x80000000u | static_cast<uint32_t>(f.size() - 3 - kSectionFile));
         SetU16(f, f.size() - 3, 2);
         f.back() = 'A';
     },
     true, "", false, false, false, "truncated at offset 1024 (resource name at 1023 needs 4 bytes)"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PeModuleHostile, ::testing::ValuesIn(kHostileCases),
                         [](const auto &p) { return std::string(p.param.label); });

TEST_F(PeModuleHandMade, EveryTruncationFailsOrAgrees)
{
    const auto full = Module(ResourceSection({
        {14, u"MAIN", 0, Bytes("group one")},
        {14, 2, 0x409, Bytes("group two")},
        {3, 1, 0, std::vector<uint8_t>(300, 7)},
    }));
    auto whole = Load(full, "whole.dll");
    ASSERT_TRUE(whole);
    const std::string allTypes = Types(*whole).text, allGroups = Names(*whole, ResourceId::FromNumber(14)).text;
    for (size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        // A new file each time: rewriting one over and over is slow on ext4.
        const std::string file = "t" + std::to_string(length) + ".dll";
        auto m = Load(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(length)), file);
        fs::remove(dir_ / file);
        EXPECT_EQ(bool(m), length >= kOpt + 2);
        if (!m)
            continue;
        const Listing types = Types(*m), groups = Names(*m, ResourceId::FromNumber(14));
        // What is listed is a prefix of the whole; a partial listing fails.
        EXPECT_EQ(allTypes.rfind(types.text, 0), 0u) << types.text;
        EXPECT_EQ(allGroups.rfind(groups.text, 0), 0u) << groups.text;
        EXPECT_TRUE(types.text == allTypes || !types.ok) << types.text;
        EXPECT_TRUE(groups.text == allGroups || !groups.ok) << groups.text;
        for (auto [type, name] : {std::pair{ResourceId::FromNumber(14), ResourceId::FromName("main")},
                                  {ResourceId::FromNumber(14), ResourceId::FromNumber(2)},
                                  {ResourceId::FromNumber(3), ResourceId::FromNumber(1)}}) {
            SharedBytes got, want;
            ASSERT_TRUE(whole->FindResource(type, name, want));
            if (m->FindResource(type, name, got)) {
                EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin(), want.end()));
            }
        }
    }
}

TEST_F(PeModuleHandMade, NotARegularFileOrMissing)
{
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(TModule::LoadAsDataFile((dir_ / "fifo").string()));
    EXPECT_FALSE(TModule::LoadAsDataFile(dir_.path().string()));
    EXPECT_FALSE(TModule::LoadAsDataFile((dir_ / "missing.dll").string()));
    EXPECT_FALSE(TModule::LoadAsDataFile(""));
}

TEST_F(PeModuleHandMade, FileThatShrinksGivesAnError)
{
    auto m = Load(Base());
    ASSERT_TRUE(m);
    fs::resize_file(dir_ / "m.dll", 0x208); // inside the root directory's header
    SharedBytes bytes;
    EXPECT_FALSE(m->FindResource(ResourceId::FromNumber(14), ResourceId::FromNumber(1), bytes));
    EXPECT_FALSE(Types(*m).ok);
}

// Bytes this process has read through read(2)-like calls so far.
long long BytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return -1;
}

TEST_F(PeModuleHandMade, LargeSparseFileIsListedFromAFewBytes)
{
    WriteBytes(dir_ / "big.exe", Base());
    fs::resize_file(dir_ / "big.exe", 500ull << 20);
    const long long before = BytesRead();
    auto m = TModule::LoadAsDataFile((dir_ / "big.exe").string());
    ASSERT_TRUE(m);
    EXPECT_EQ(Types(*m).text, "14");
    EXPECT_EQ(Names(*m, ResourceId::FromNumber(14)).text, "1");
    EXPECT_EQ(Find(*m, ResourceId::FromNumber(14), ResourceId::FromNumber(1)), Bytes("group!"));
    if (before < 0)
        GTEST_SKIP() << "no /proc/self/io";
    EXPECT_LT(BytesRead() - before, 64 << 10);
}

} // namespace

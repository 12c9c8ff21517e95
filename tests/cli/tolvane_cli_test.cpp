// Runs the real tolvane executable and checks exit codes, output and files.
#include "logo/picture/bitmap_exchange.h"
#include "logo/console/console_view.h"
#include "logo/disc/disc_image_layout.h"
#include "logo/files/file_io.h"
#include "logo/picture/picture_file.h"
#include "logo/picture/png_exchange.h"
#include "logo/disc/sector_checks.h"
#include "support/disc_builder.h"
#include "support/ppf_reader.h"
#include "support/test_files.h"
#include "tolvane_version.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <regex>
#include <sstream>
#include <thread>

namespace tolvane {
namespace {

using testing::makeImage;
using testing::makeRawImage;
using testing::patternLogo;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

struct Result {
    int status;
    std::string out, err;
};

std::string shellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string textOf(const std::filesystem::path& path) {
    const auto bytes = readFile(path);
    return {bytes.begin(), bytes.end()};
}

bool isUserData(std::size_t offset) {
    const std::size_t sector = offset / 2352, within = offset % 2352;
    return sector < 12 && within >= 24 && within < 2072;
}

// A system call as strace -y shows it: its name and the file the descriptor it
// was given first stands for (empty when it was given none).
struct SystemCall {
    std::string name;
    std::string file;
};

// The calls in what strace -f -y wrote, in the order they began (a call another
// thread interrupted shows again as "<... resumed>", which is no new call).
std::vector<SystemCall> parseTrace(const std::string& text) {
    static const std::regex call(R"(^(?:\[pid +)?\d+\]? +([a-z0-9_]+)\((?:\d+<([^>]*)>)?)");
    std::vector<SystemCall> calls;
    std::istringstream lines(text);
    std::smatch found;
    for (std::string line; std::getline(lines, line);)
        if (std::regex_search(line, found, call)) calls.push_back({found[1], found[2]});
    return calls;
}

// Where in `calls` those of one of `names` are on `file`, or on any file in the
// folder `file` names with a '/' at its end.
std::vector<std::size_t> callsOn(const std::vector<SystemCall>& calls, const std::vector<std::string>& names,
                                 const std::string& file) {
    std::vector<std::size_t> at;
    for (std::size_t k = 0; k < calls.size(); ++k) {
        const bool onFile = file.ends_with('/') ? calls[k].file.starts_with(file) : calls[k].file == file;
        if (onFile && std::find(names.begin(), names.end(), calls[k].name) != names.end()) at.push_back(k);
    }
    return at;
}

// Skips the test (fails it where tools are required) without strace, or where
// it cannot trace programs (a container that forbids ptrace).
#define REQUIRE_WORKING_STRACE()                                                            \
    do {                                                                                    \
        TOLVANE_REQUIRE_PROGRAM("strace");                                                  \
        if (std::system("strace -qq -o /dev/null true >/dev/null 2>&1") != 0) {             \
            if (testing::programsRequired()) FAIL() << "strace cannot trace programs here"; \
            GTEST_SKIP() << "strace cannot trace programs here";                            \
        }                                                                                   \
    } while (false)

class TolvaneCli : public ::testing::Test {
protected:
    // `through`: a program that runs tolvane (strace, setpriv), with its arguments.
    Result run(const std::vector<std::string>& args, const std::string& through = "") {
        return runUnder(through, args);
    }
    // LeakSanitizer cannot look for leaks under a tracer, so a sanitized program
    // run through another runs without it.
    Result runUnder(const std::string& through, const std::vector<std::string>& args) {
        std::string command = "cd " + shellQuoted(dir.path().string()) +
                              " && XDG_DATA_HOME=" + shellQuoted(dataHome().string()) + " " +
                              (through.empty() ? "" : "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 ") +
                              through + shellQuoted(TOLVANE_CLI);
        for (const auto& arg : args) command += " " + shellQuoted(arg);
        command += " >" + shellQuoted((dir / ".out").string()) + " 2>" + shellQuoted((dir / ".err").string());
        const int raw = std::system(command.c_str());
        Result result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, textOf(dir / ".out"), textOf(dir / ".err")};
        std::filesystem::remove(dir / ".out");
        std::filesystem::remove(dir / ".err");
        return result;
    }
    // The command line run under strace, which writes down each call of those
    // named (as strace's -e trace= takes them) by every thread and child.
    struct Traced {
        Result result;
        std::vector<SystemCall> calls;
        std::string trace;  // strace's own words, for messages
    };
    Traced runTraced(const std::string& calls, const std::vector<std::string>& args) {
        const std::string trace = path(".trace");
        Traced traced;
        traced.result = runUnder("strace -f -qq -y -o " + shellQuoted(trace) + " -e trace=" + calls + " ", args);
        traced.trace = textOf(trace);
        std::filesystem::remove(trace);
        traced.calls = parseTrace(traced.trace);
        return traced;
    }
    std::string path(const std::string& name) { return (dir / name).string(); }
    std::filesystem::path dataHome() const { return dir / "data"; }
    std::string bitmapOf(unsigned seed) {
        const auto bmp = path("logo" + std::to_string(seed) + ".bmp");
        exportBitmap(bmp, pictureOf(patternLogo(seed)));
        return bmp;
    }

    TempDir dir;
};

TEST_F(TolvaneCli, AnswersHelpAndVersionAndRefusesBadCommandLines) {
    const Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("export IMAGE BITMAP"), std::string::npos);
    EXPECT_EQ(run({"import", "--help"}).status, 0);
    EXPECT_NE(run({"import", "--help"}).out.find("--dry-run"), std::string::npos);
    EXPECT_EQ(run({"--version"}).out, "tolvane " TOLVANE_VERSION "\n");
    EXPECT_EQ(run({"-v"}).out, "tolvane " TOLVANE_VERSION "\n");

    // Each pointed at the help that answers it: the command's, once one is named.
    const std::pair<std::vector<std::string>, std::string> wrongs[] = {
        {{}, "--help"},
        {{"paint"}, "--help"},
        {{"export", "a.bin"}, "export --help"},
        {{"info", "a", "b"}, "info --help"},
        {{"import", "--json", "a", "b"}, "import --help"},
        {{"export", "--dry-run", "a", "b"}, "export --help"},
        {{"restore"}, "restore --help"},
        {{"restore", "--json", "a"}, "restore --help"},
        {{"restore", "a", "b"}, "restore --help"},
    };
    for (const auto& [wrong, help] : wrongs) {
        const Result r = run(wrong);
        EXPECT_EQ(r.status, 2) << (wrong.empty() ? "(nothing)" : wrong[0]);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err.rfind("tolvane: ", 0), 0u) << r.err;
        EXPECT_TRUE(r.err.ends_with("\nTry 'tolvane " + help + "'.\n")) << r.err;
    }
}

#ifdef TOLVANE_EDITOR
// Over ssh or in a script there is no display: the window's program still
// answers --help and --version, and exits 0, rather than failing to start Qt.
TEST_F(TolvaneCli, EditorAnswersHelpAndVersionWithoutADisplay) {
    const auto runEditor = [&](const std::string& args) {
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                    shellQuoted(TOLVANE_EDITOR) + " " + args + " >" + shellQuoted(path(".out")) +
                                    " 2>" + shellQuoted(path(".err"));
        const int raw = std::system(command.c_str());
        return Result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, textOf(path(".out")), textOf(path(".err"))};
    };
    const Result version = runEditor("--version");
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, "tolvane-editor " TOLVANE_VERSION "\n");
    for (const char* option : {"--help", "-h"}) {
        const Result help = runEditor(option);
        EXPECT_EQ(help.status, 0) << option << ": " << help.err;
        EXPECT_NE(help.out.find("--console-view"), std::string::npos) << option << ": " << help.out;
        EXPECT_NE(help.out.find("Usage: " + std::string(TOLVANE_EDITOR)), std::string::npos) << help.out;
    }
}
#endif

TEST_F(TolvaneCli, ExportWritesTheLogoAsABitmap) {
    const auto image = path("game.bin");
    ImagePrefix prefix;
    insertLogo(patternLogo(4), prefix);
    writeFile(image, std::vector<Byte>(prefix.bytes().begin(), prefix.bytes().end()));
    const Result r = run({"export", image, path("out.bmp")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Saved the logo of \"" + image + "\" to \"" + path("out.bmp") + "\"\n");
    EXPECT_EQ(logoOf(importBitmap(path("out.bmp")).picture), patternLogo(4));
    EXPECT_EQ(std::filesystem::file_size(path("out.bmp")), 25654u);
#ifndef _WIN32
    // Names are told as given, not escaped as a C string would be.
    const std::string odd = path("a\\b \"c\".bmp");
    EXPECT_EQ(run({"export", image, odd}).out, "Saved the logo of \"" + image + "\" to \"" + odd + "\"\n");
    EXPECT_EQ(run({"import", image, odd}).out,
              "Nothing to patch: \"" + image + "\" already holds the logo of \"" + odd + "\"\n");
#endif
}

TEST_F(TolvaneCli, ExportsPngForAPngNameAndImportsPngWhateverItsName) {
    writeFile(path("game.bin"), testing::buildDisc({.logo = patternLogo(4)}, kRawMode2Layout));
    const Result exported = run({"export", path("game.bin"), path("out.PNG")});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(readFile(path("out.PNG")), encodePng(pictureOf(patternLogo(4))));
    EXPECT_EQ(run({"export", "--console", "--pal", path("game.bin"), path("pal.png")}).status, 0);
    EXPECT_EQ(importBitmap(path("pal.png"), kPalShape).picture, decodeLogo(patternLogo(4), 0x0D, true));

    writeFile(path("png.bmp"), encodePng(pictureOf(patternLogo(6))));
    const Result imported = run({"import", path("game.bin"), path("png.bmp")});
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(extractLogo(testing::readPrefix(path("game.bin"))).logo, patternLogo(6));

    const Result pal = run({"import", path("game.bin"), path("pal.png")});
    EXPECT_EQ(pal.status, 1);
    EXPECT_NE(pal.err.find("\"" + path("pal.png") + "\" is 344 x 71 pixels; the logo is 384 x 64. That is the shape"),
              std::string::npos)
        << pal.err;
    EXPECT_NE(pal.err.find("(--console --pal, or tick Console view and PAL)"), std::string::npos) << pal.err;
    const Result ntsc = run({"import", "--console", "--pal", path("game.bin"), path("out.PNG")});
    EXPECT_EQ(ntsc.status, 1);
    EXPECT_NE(ntsc.err.find("is 384 x 64 pixels; the logo is 344 x 71. That is the shape of the logo as an NTSC "
                            "console shows it: import it without PAL (drop --pal, or untick PAL)"),
              std::string::npos)
        << ntsc.err;
    EXPECT_EQ(extractLogo(testing::readPrefix(path("game.bin"))).logo, patternLogo(6));
    EXPECT_NE(run({"import", "--help"}).out.find("PNG (grey, palette, RGB"), std::string::npos);
}

TEST_F(TolvaneCli, AFailedExportLeavesAnExistingBitmapAlone) {
    std::vector<Byte> existing(1234, 0x77);
    existing[0] = 'B';
    existing[1] = 'M';
    writeFile(path("keep.bmp"), existing);
    writeFile(path("short.bin"), makeImage(1000));
    const Result r = run({"export", path("short.bin"), path("keep.bmp")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tolvane: \"" + path("short.bin") +
                         "\" is too short: the logo lies in the first 28248 bytes of a disc image, and this file has "
                         "only 1000; open the whole image (its .bin or .iso file, or its .cue sheet)\n");
    EXPECT_EQ(readFile(path("keep.bmp")), existing);
}

TEST_F(TolvaneCli, ImportChangesOnlyTheLogosUserData) {
    const auto original = makeImage(40000);
    writeFile(path("game.bin"), original);
    const Result r = run({"import", path("game.bin"), bitmapOf(2)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Patched"), std::string::npos);
    const auto after = readFile(path("game.bin"));
    ASSERT_EQ(after.size(), original.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (isUserData(i)) continue;
        ASSERT_EQ(after[i], original[i]) << "offset " << i;
    }
    EXPECT_EQ(extractLogo(testing::readPrefix(path("game.bin"))).logo, patternLogo(2));
}

// Check fields that were valid are recomputed for the new logo; those that were
// not (a damaged EDC, or a Form 1 sector whose EDC is valid but ECC is not) stay
// byte for byte as they were, and are not "repaired".
TEST_F(TolvaneCli, ImportRecomputesOnlyTheCheckFieldsThatWereValid) {
    auto image = makeRawImage(14);
    image[3 * 2352 + 2072] ^= 0x01;  // sector 3: its EDC
    image[5 * 2352 + 2100] ^= 0x80;  // sector 5: its ECC
    writeFile(path("game.bin"), image);
    const Result r = run({"import", path("game.bin"), bitmapOf(3)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("(10 of 12 logo sectors got new EDC/ECC)"), std::string::npos) << r.out;
    const auto after = readFile(path("game.bin"));
    for (std::size_t n = 0; n < 14; ++n) {
        const auto checks = [&](const std::vector<Byte>& bytes) {
            return std::vector<Byte>(bytes.begin() + std::ptrdiff_t(n * 2352 + 2072),
                                     bytes.begin() + std::ptrdiff_t((n + 1) * 2352));
        };
        if (n == 3 || n == 5)
            EXPECT_EQ(checks(after), checks(image)) << n;
        else
            EXPECT_TRUE(inspectSector(rawSector(std::span<const Byte>(after), n)).checksValid()) << n;
    }
    const Result info = run({"info", path("game.bin")});
    EXPECT_NE(info.out.find("   0  mode 2 form 1   EDC valid    ECC valid"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("   3  mode 2 form 1   EDC invalid"), std::string::npos) << info.out;
}

TEST_F(TolvaneCli, DryRunAndFailedImportsWriteNothing) {
    const auto original = makeImage(30000);
    writeFile(path("game.bin"), original);
    const Result dry = run({"import", "--dry-run", path("game.bin"), bitmapOf(1)});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("nothing was written"), std::string::npos);
    EXPECT_EQ(readFile(path("game.bin")), original);

    writeFile(path("wide.bmp"), std::vector<Byte>{'B', 'M', 0, 0});
    const Result bad = run({"import", path("game.bin"), path("wide.bmp")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find(path("wide.bmp")), std::string::npos) << bad.err;
    EXPECT_TRUE(bad.out.empty());
    EXPECT_EQ(readFile(path("game.bin")), original);

    const Result missing = run({"import", path("nothing.bin"), bitmapOf(1)});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "tolvane: Cannot open \"" + path("nothing.bin") + "\" for writing: No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(path("nothing.bin")));
}

TEST_F(TolvaneCli, HandlesASparseMultiGigabyteImage) {
    const auto image = path("big.bin");
    const std::uint64_t length = 6ull * 1024 * 1024 * 1024;
    writeFile(image, makeRawImage(13));
    {
        File file = File::openForUpdate(image);
        const std::vector<Byte> mark{1, 2, 3};
        file.writeAt(length - 3, mark);
        file.close();
    }
    const Result info = run({"info", "--json", image});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"size\": 6442450944"), std::string::npos);
    EXPECT_EQ(run({"import", image, bitmapOf(5)}).status, 0);
    EXPECT_EQ(std::filesystem::file_size(image), length);
    File file = File::openForReading(image);
    std::vector<Byte> tail(3);
    file.readAt(length - 3, tail);
    EXPECT_EQ(tail, (std::vector<Byte>{1, 2, 3}));
}

TEST_F(TolvaneCli, TakesPathsWithSpacesNonAsciiLettersAndADash) {
    const std::string image = path("Mes jeux \xc3\xa9t\xc3\xa9 \xe6\x97\xa5.bin");
    writeFile(image, makeImage(30000));
    EXPECT_EQ(run({"export", image, "-"}).status, 0);
    EXPECT_EQ(std::filesystem::file_size(path("-")), 25654u);
    EXPECT_EQ(run({"import", "--", image, "-"}).status, 0);
    const Result info = run({"info", "--json", image});
    EXPECT_NE(info.out.find("\"file\": \"" + image + "\""), std::string::npos) << info.out;
}

TEST_F(TolvaneCli, InfoDescribesTheLayoutSectorsAndLogoAsTextAndJson) {
    auto image = makeRawImage(12);
    image.resize(28248, 0);
    std::fill(image.begin() + 2072, image.begin() + 2352, Byte{0});  // sector 0: no check fields
    writeFile(path("game.bin"), image);
    const Result text = run({"info", path("game.bin")});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Size:    28248 bytes"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Layout:  raw 2352-byte sectors, user data at 24"), std::string::npos);
    EXPECT_NE(text.out.find("   0  mode 2 form 1   EDC invalid  ECC invalid"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("   1  mode 2 form 1   EDC valid    ECC valid"), std::string::npos);

    const Result json = run({"info", "--json", path("game.bin")});
    EXPECT_NE(json.out.find("{\"sector\": 0, \"sync\": true, \"mode\": \"mode 2 form 1\", \"edc\": \"invalid\""),
              std::string::npos)
        << json.out;
    writeFile(path("info.json"), std::vector<Byte>(json.out.begin(), json.out.end()));
    TOLVANE_REQUIRE_PROGRAM("python3");
    EXPECT_EQ(std::system(("python3 -c 'import json,sys; json.load(open(sys.argv[1]))' " + path("info.json")).c_str()),
              0)
        << "not valid JSON:\n"
        << json.out;
}

// A CHD made by chdman of a raw Mode 2 disc (cd-mode2 is compressed, the
// other not), copied here as game.chd, and the disc it was made of as cd.bin.
void copyChdKind(const TempDir& dir, const std::string& kind) {
    std::filesystem::copy_file(testing::chdKind(kind + ".chd"), dir / "game.chd");
    std::filesystem::copy_file(testing::chdKind("mode2.bin"), dir / "cd.bin");
}

// A CHD made by chdman: shown and exported as the image it was made of; import
// into a compressed one and patch files are refused, writing nothing anywhere.
TEST_F(TolvaneCli, ReadsACHDAndRefusesToPatchACompressedOne) {
    TOLVANE_REQUIRE_CHD_KINDS();
    copyChdKind(dir, "cd-mode2");
    const auto chd = readFile(path("game.chd"));

    const Result info = run({"info", path("game.chd")});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(
        info.out.find("CHD:     codecs cdlz cdzl cdfl, hunks of 19584 bytes; the disc is its track 1 (MODE2_RAW), "
                      "its first data track\nSize:    " +
                      std::to_string(chd.size()) +
                      " bytes\nLayout:  raw 2352-byte sectors, user data at 24, logo in sectors 0-11 (28248 "
                      "bytes read)\nSerial:  SLUS_200.01\nVideo:   NTSC\n"),
        std::string::npos)
        << info.out;
    EXPECT_NE(run({"info", "--json", path("game.chd")}).out.find("\"container\": \"chd\""), std::string::npos);
    EXPECT_EQ(run({"export", path("game.chd"), path("out.bmp")}).status, 0);
    EXPECT_EQ(logoOf(importBitmap(path("out.bmp")).picture), patternLogo(5));  // write_chd_discs' logo

    const std::string bitmap = bitmapOf(8);
    for (const auto& [args, reason] : {
             std::pair<std::vector<std::string>, std::string>{{"import", path("game.chd"), bitmap},
                                                              "cannot be patched in place: it is a compressed CHD"},
             {{"import", "--dry-run", path("game.chd"), bitmap}, "cannot be patched in place: it is a compressed CHD"},
             {{"restore", path("game.chd")}, "there is no record of a patch of \"" + path("game.chd") + "\""},
             {{"import", "--patch-file", path("logo.xdelta"), path("game.chd"), bitmap},
              "a patch file of a compressed file helps nobody"},
         }) {
        const Result refused = run(args);
        EXPECT_EQ(refused.status, 1) << args[0];
        EXPECT_NE(refused.err.find(reason), std::string::npos) << refused.err;
    }
    EXPECT_EQ(readFile(path("game.chd")), chd);
    EXPECT_FALSE(std::filesystem::exists(path("logo.xdelta")));
    EXPECT_FALSE(std::filesystem::exists(dataHome())) << "no record was kept";
}

// A CHD made without compression is patched in place: chdman extracts from it
// what `import` makes of the image it was made of, and `restore` gives the
// original file byte for byte, though the patch made it grow.
TEST_F(TolvaneCli, PatchesACHDMadeWithoutCompressionAndRestoresItExactly) {
    TOLVANE_REQUIRE_CHD_KINDS();
    TOLVANE_REQUIRE_PROGRAM("chdman");
    copyChdKind(dir, "cd-mode2-uncompressed");
    const auto chdman = [&](const std::string& arguments) { return testing::chdman(dir.path(), arguments); };
    const auto original = readFile(path("game.chd")), originalDisc = readFile(path("cd.bin"));
    const std::string bitmap = bitmapOf(8);

    EXPECT_NE(run({"info", path("game.chd")})
                  .out.find("CHD:     no compression, hunks of 19584 bytes; the disc is its track 1 (MODE2_RAW)"),
              std::string::npos);
    const Result dry = run({"import", "--dry-run", path("game.chd"), bitmap});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(readFile(path("game.chd")), original);
    const Result patched = run({"import", path("game.chd"), bitmap});
    ASSERT_EQ(patched.status, 0) << patched.err;
    EXPECT_NE(patched.out.find("Patched"), std::string::npos) << patched.out;
    EXPECT_GT(readFile(path("game.chd")).size(), original.size());
    ASSERT_EQ(run({"import", path("cd.bin"), bitmap}).status, 0);
    ASSERT_TRUE(chdman("extractcd -i game.chd -o out.cue -ob out.bin"));
    EXPECT_EQ(readFile(path("out.bin")), readFile(path("cd.bin")));

    const Result restored = run({"restore", path("game.chd")});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(readFile(path("game.chd")), original);

    // Recompressed since its patch: nothing to take back exactly; its disc
    // cannot be patched back either, and nothing is written.
    ASSERT_EQ(run({"import", path("game.chd"), bitmap}).status, 0);
    ASSERT_TRUE(chdman("copy -i game.chd -o small.chd"));
    std::filesystem::rename(path("small.chd"), path("game.chd"));
    const auto recompressed = readFile(path("game.chd"));
    const Result refused = run({"restore", path("game.chd")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("it is a compressed CHD"), std::string::npos) << refused.err;
    EXPECT_EQ(readFile(path("game.chd")), recompressed);
    // Made again without compression: the old logo goes back as a new patch.
    ASSERT_TRUE(chdman("copy -i game.chd -o plain.chd -c none"));
    std::filesystem::rename(path("plain.chd"), path("game.chd"));
    const Result patchedBack = run({"restore", path("game.chd")});
    EXPECT_EQ(patchedBack.status, 0) << patchedBack.err;
    EXPECT_EQ(patchedBack.out.rfind("Restored the logo \"" + path("game.chd") + "\" had before the patch of ", 0), 0u)
        << patchedBack.out;
    ASSERT_TRUE(chdman("extractcd -i game.chd -o out.cue -ob out.bin -f"));
    EXPECT_EQ(readFile(path("out.bin")), originalDisc);
}

TEST_F(TolvaneCli, WorksOnDvdAndMode1ImagesAndNamesTheirGame) {
    struct Case {
        const ImageLayout* layout;
        const char* name;
        const char* layoutLine;
    };
    for (const Case& c : {Case{&kPlainLayout, "game.iso", "Layout:  2048-byte sectors, logo in sectors 0-11 (24576"},
                          Case{&kRawMode1Layout, "mode1.bin", "Layout:  raw 2352-byte Mode 1 sectors, user data at 16"},
                          Case{&kMode2Sector2336Layout, "m2.bin",
                               "Layout:  2336-byte Mode 2 sectors, user data at 8, logo in sectors "
                               "0-11 (28032 bytes"}}) {
        const auto original = testing::buildDisc({.logo = patternLogo(3)}, *c.layout);
        writeFile(path(c.name), original);
        const Result info = run({"info", path(c.name)});
        EXPECT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.out.find(c.layoutLine), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("Serial:  SLUS_200.01\nVideo:   NTSC\n"), std::string::npos) << info.out;
        const Result json = run({"info", "--json", path(c.name)});
        EXPECT_NE(json.out.find("\"serial\": \"SLUS_200.01\""), std::string::npos) << json.out;
        EXPECT_NE(json.out.find("\"videoMode\": \"NTSC\""), std::string::npos);

        EXPECT_EQ(run({"export", path(c.name), path("out.bmp")}).status, 0);
        EXPECT_EQ(logoOf(importBitmap(path("out.bmp")).picture), patternLogo(3));
        const Result patched = run({"import", path(c.name), bitmapOf(8)});
        EXPECT_EQ(patched.status, 0);
        if (c.layout->storesRawSectors()) {
            EXPECT_NE(patched.out.find(" (12 of 12 logo sectors got new EDC/ECC)\n"), std::string::npos) << patched.out;
            EXPECT_NE(run({"info", path(c.name)}).out.find("  11  mode "), std::string::npos);
            EXPECT_EQ(run({"info", path(c.name)}).out.find("invalid"), std::string::npos) << "checks stay valid";
        } else {
            EXPECT_EQ(patched.out.find("EDC"), std::string::npos) << "2048-byte sectors have no check fields";
        }
        EXPECT_EQ(extractLogo(testing::readPrefix(path(c.name))).logo, patternLogo(8));
        EXPECT_EQ(std::filesystem::file_size(path(c.name)), original.size());
    }
}

TEST_F(TolvaneCli, ConsoleViewExportsAndImportsThePictureTheConsoleShows) {
    // A PAL disc whose logo is stored encoded with its serial's key, 0x8D.
    GreyPicture shown = decodeLogo(patternLogo(4), 0, true);
    std::fill_n(shown.pixels().begin(), 344, Byte{0});
    const LogoImage stored = encodeLogo(shown, 0x8D);
    const auto disc = testing::buildDisc(
        {.logo = stored, .systemCnf = std::string("BOOT2 = cdrom0:\\SCES_500.01;1\nVMODE = PAL\n")}, kPlainLayout);
    writeFile(path("pal.iso"), disc);

    const Result info = run({"info", path("pal.iso")});
    EXPECT_NE(info.out.find("Key:     0x8D from SCES_500.01 (byte 0 of the logo agrees)"), std::string::npos)
        << info.out;

    const Result exported = run({"export", "--console", path("pal.iso"), path("shown.bmp")});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.out.find("in console view (PAL, 344 x 71, key 0x8D from SCES_500.01)"), std::string::npos)
        << exported.out;
    EXPECT_EQ(importBitmap(path("shown.bmp"), kPalShape).picture, shown);

    GreyPicture changed = shown;
    changed.pixels()[344 * 70 + 1] = 0x33;
    exportBitmap(path("changed.bmp"), changed);
    const Result imported = run({"import", "--console", path("pal.iso"), path("changed.bmp")});
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_NE(imported.out.find("Japanese and European consoles may refuse"), std::string::npos);
    EXPECT_EQ(imported.out.find("Warning"), std::string::npos) << imported.out;
    EXPECT_EQ(extractLogo(testing::readPrefix(path("pal.iso"))).logo, encodeLogo(changed, 0x8D));
    // A border that is not black: said at the import, not only by info afterwards.
    GreyPicture greyBorder = changed;
    greyBorder.pixels()[0] = 200;
    exportBitmap(path("grey-border.bmp"), greyBorder);
    const Result border = run({"import", "--console", "--dry-run", path("pal.iso"), path("grey-border.bmp")});
    EXPECT_NE(border.out.find("Warning: the picture's top-left pixel is grey 200, not black as a disc's border is, "
                              "so byte 0 of the logo becomes 0x"),
              std::string::npos)
        << border.out;

    // Forced NTSC shape and another key: a PAL-shaped picture no longer fits.
    const Result wrongShape =
        run({"import", "--console", "--ntsc", "--key=0x10", path("pal.iso"), path("changed.bmp")});
    EXPECT_EQ(wrongShape.status, 1);
    EXPECT_NE(wrongShape.err.find("is 344 x 71 pixels; the logo is 384 x 64"), std::string::npos) << wrongShape.err;

    EXPECT_EQ(run({"export", "--console", "--key", "0x100", path("pal.iso"), path("x.bmp")}).status, 2);
    EXPECT_EQ(run({"export", "--console", "--pal", "--ntsc", path("pal.iso"), path("x.bmp")}).status, 2);
    EXPECT_EQ(run({"export", "--console", "--key"}).status, 2);
    EXPECT_EQ(run({"export", "--console", "--key", "16", path("pal.iso"), path("k16.bmp")}).status, 0);
    EXPECT_EQ(importBitmap(path("k16.bmp"), kPalShape).picture, decodeLogo(encodeLogo(changed, 0x8D), 16, true));
}

TEST_F(TolvaneCli, ArgumentsInTheWrongPlaceReplaceNothing) {
    const auto game = makeImage(60000);
    writeFile(path("game.bin"), game);
    const std::string bmp = bitmapOf(1);
    const auto bmpBytes = readFile(bmp);

    const Result swapped = run({"export", bmp, path("game.bin")});
    EXPECT_EQ(swapped.status, 1);
    EXPECT_NE(swapped.err.find("\"" + path("game.bin") + "\" exists and is not a picture"), std::string::npos)
        << swapped.err;
    // No --force to suggest: it would not help.
    const Result same = run({"export", path("game.bin"), path("game.bin")});
    EXPECT_EQ(same.status, 1);
    EXPECT_EQ(same.err, "tolvane: Cannot save the logo to \"" + path("game.bin") +
                            "\": it is the disc image the logo comes from; choose another name\n");
    EXPECT_EQ(readFile(path("game.bin")), game);
    const std::string sheet = "FILE \"game.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n";
    writeFile(path("game.cue"), std::vector<Byte>(sheet.begin(), sheet.end()));
    const Result overSheet = run({"export", path("game.cue"), path("game.cue")});
    EXPECT_EQ(overSheet.status, 1);
    EXPECT_EQ(overSheet.err, "tolvane: Cannot save the logo to \"" + path("game.cue") +
                                 "\": it is the CUE sheet the disc image was opened through; choose another name\n");
    EXPECT_EQ(textOf(path("game.cue")), sheet);

    const std::vector<Byte> notes(100000, 'n');
    writeFile(path("notes.txt"), notes);
    const Result refused = run({"import", path("notes.txt"), bmp});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("does not look like a disc image"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--force"), std::string::npos);
    EXPECT_EQ(run({"import", "--dry-run", path("notes.txt"), bmp}).status, 1);
    EXPECT_EQ(readFile(path("notes.txt")), notes);
    EXPECT_NE(run({"info", path("notes.txt")}).out.find("Warning: this file does not look like a disc image"),
              std::string::npos);
    EXPECT_EQ(run({"import", "--force", path("notes.txt"), bmp}).status, 0);
    EXPECT_EQ(extractLogo(testing::readPrefix(path("notes.txt"))).logo, patternLogo(1));
    EXPECT_EQ(readFile(bmp), bmpBytes);

    const Result again = run({"import", path("notes.txt"), bmp});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out.rfind("Nothing to patch: ", 0), 0u) << again.out;
}

TEST_F(TolvaneCli, InfoPrintsWhatTheDiscSaysSafelyAndFailsWhenItsOutputIsLost) {
    const std::string cnf = "BOOT2 = cdrom0:\\\x1b[31mMAIN\x07\xff.ELF;1\n";
    writeFile(path("odd.iso"), testing::buildDisc({.systemCnf = cnf}, kPlainLayout));
    const Result text = run({"info", path("odd.iso")});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out.find('\x1b'), std::string::npos);
    EXPECT_NE(text.out.find("boot file \\x1B[31MMAIN\\x07\\xFF.ELF is not"), std::string::npos) << text.out;

    const Result json = run({"info", "--json", path("odd.iso")});
    writeFile(path("info.json"), std::vector<Byte>(json.out.begin(), json.out.end()));
    TOLVANE_REQUIRE_PROGRAM("python3");
    EXPECT_EQ(std::system(("python3 -c 'import json,sys; json.load(open(sys.argv[1], encoding=\"utf-8\"))' " +
                           path("info.json"))
                              .c_str()),
              0)
        << json.out;

    const std::string command = shellQuoted(TOLVANE_CLI) + " info " + shellQuoted(path("odd.iso")) + " >/dev/full 2>" +
                                shellQuoted(path("err.txt"));
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(textOf(path("err.txt")), "tolvane: cannot write to standard output: No space left on device\n");
}

TEST_F(TolvaneCli, RestoreTakesImportsBackOneByOneAndListsThem) {
    const auto original = makeImage(40000);
    writeFile(path("game.bin"), original);
    const Result first = run({"import", path("game.bin"), bitmapOf(2)});
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("\nTo put the previous logo back: tolvane restore '" + path("game.bin") + "'\n"),
              std::string::npos)
        << first.out;
    const auto afterFirst = readFile(path("game.bin"));
    EXPECT_EQ(run({"import", path("game.bin"), bitmapOf(3)}).status, 0);

    const std::string folder = (dataHome() / "tolvane-editor").string();
    const Result list = run({"restore", "--list", path("game.bin")});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out.rfind("Patches of \"" + path("game.bin") + "\" that restore takes back, in its order " +
                                 "(records in \"" + folder + "\"):\n",
                             0),
              0u)
        << list.out;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 3) << list.out;
    EXPECT_EQ(list.out.find("damaged"), std::string::npos) << list.out;

    const Result restored = run({"restore", path("game.bin")});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(restored.out.rfind("Restored \"" + path("game.bin") + "\" as it was before the patch of ", 0), 0u);
    EXPECT_TRUE(restored.out.ends_with(" (1 earlier patch can still be taken back)\n")) << restored.out;
    EXPECT_EQ(readFile(path("game.bin")), afterFirst);
    EXPECT_EQ(run({"restore", path("game.bin")}).status, 0);
    EXPECT_EQ(readFile(path("game.bin")), original);

    const Result none = run({"restore", path("game.bin")});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "tolvane: Nothing was written: none of the 2 records of this disc in \"" + folder +
                            "\" is of a patch that wrote what \"" + path("game.bin") +
                            "\" holds now (it was changed since by something else, or its patches are taken back "
                            "already)\n");
    EXPECT_EQ(run({"restore", "--list", path("game.bin")}).out, "No patch of \"" + path("game.bin") +
                                                                    "\" to take back: no record in \"" + folder +
                                                                    "\" leads from what it holds\n");
}

TEST_F(TolvaneCli, RestoreRefusesAnImageChangedSinceItsImport) {
    writeFile(path("game.bin"), makeImage(30000));
    EXPECT_EQ(run({"import", path("game.bin"), bitmapOf(4)}).status, 0);
    auto changed = readFile(path("game.bin"));
    changed[5000] ^= 0xFF;
    writeFile(path("game.bin"), changed);
    const Result r = run({"restore", path("game.bin")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tolvane: Nothing was written: the only record of this disc in \"" +
                         (dataHome() / "tolvane-editor").string() + "\" is not of a patch that wrote what \"" +
                         path("game.bin") + "\" holds now (it was changed since by something else, or its " +
                         "patches are taken back already)\n");
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(readFile(path("game.bin")), changed);
    EXPECT_EQ(run({"restore", path("missing.bin")}).err,
              "tolvane: Cannot open \"" + path("missing.bin") + "\" for writing: No such file or directory\n");
}

TEST_F(TolvaneCli, ARestoreWhoseReportIsLostSaysTheImageWasRestored) {
    writeFile(path("game.bin"), makeImage(30000));
    ASSERT_EQ(run({"import", path("game.bin"), bitmapOf(4)}).status, 0);
    const std::string command = "XDG_DATA_HOME=" + shellQuoted(dataHome().string()) + " " + shellQuoted(TOLVANE_CLI) +
                                " restore " + shellQuoted(path("game.bin")) + " >/dev/full 2>" +
                                shellQuoted(path("err.txt"));
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    EXPECT_EQ(textOf(path("err.txt")),
              "tolvane: cannot write to standard output: No space left on device; the image was restored all the "
              "same\n");
    EXPECT_EQ(readFile(path("game.bin")), makeImage(30000));
}

// A reader that went away (a pipe closed early) is an output failure: the
// command says so, and that the image was patched, instead of dying silently.
TEST_F(TolvaneCli, AnImportWhoseReaderWentAwaySaysTheImageWasPatched) {
    writeFile(path("game.bin"), makeImage(30000));
    const std::string bitmap = bitmapOf(4);
    const std::string command = "cd " + shellQuoted(dir.path().string()) +
                                " && (sleep 0.3; XDG_DATA_HOME=" + shellQuoted(dataHome().string()) + " " +
                                shellQuoted(TOLVANE_CLI) + " import game.bin " + shellQuoted(bitmap) +
                                " 2>err.txt; echo $? >status.txt) | true";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(textOf(path("status.txt")), "1\n");
    EXPECT_EQ(textOf(path("err.txt")),
              "tolvane: cannot write to standard output: Broken pipe; the image was patched all the same\n");
    EXPECT_EQ(extractLogo(testing::readPrefix(path("game.bin"))).logo, patternLogo(4));
}

// Names are shown as names: control bytes in them never reach the terminal.
TEST_F(TolvaneCli, ShowsControlBytesInNamesEscaped) {
    const Result r = run({"info", "x\x1b]0;owned\x07\x1b[2J.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "tolvane: Cannot open \"x\\x1B]0;owned\\x07\\x1B[2J.bin\" for reading: No such file or directory\n");
}

// Paths longer than the system takes whole: the dry run and the import work
// from the folder they are in, and agree.
TEST_F(TolvaneCli, ADryRunAndAnImportAgreeInAFolderDeeperThanAPathCanName) {
    const auto home = std::filesystem::current_path();
    const std::string level(200, 'd');
    std::string down = "cd " + shellQuoted(dir.path().string());
    std::filesystem::current_path(dir.path());
    for (int depth = 0; depth < 25; ++depth) {  // 5000 bytes of folders
        std::filesystem::create_directory(level);
        std::filesystem::current_path(level);
        down += " && cd -P " + level;
    }
    writeFile("game.bin", makeImage(30000));
    exportBitmap("logo.bmp", pictureOf(patternLogo(6)));
    std::filesystem::current_path(home);
    const auto deep = [&](const std::string& args) {
        const std::string command = down + " && XDG_DATA_HOME=" + shellQuoted(dataHome().string()) + " " +
                                    shellQuoted(TOLVANE_CLI) + " " + args + " >/dev/null 2>" +
                                    shellQuoted(path("err.txt"));
        const int raw = std::system(command.c_str());
        return std::to_string(WEXITSTATUS(raw)) + " " + textOf(path("err.txt"));
    };
    EXPECT_EQ(deep("import --dry-run game.bin logo.bmp"), "0 ");
    EXPECT_EQ(deep("import game.bin logo.bmp"), "0 ");
    EXPECT_EQ(deep("restore game.bin"), "0 ");

    // Taken down from the bottom: a path to the deepest would be too long to remove.
    std::filesystem::current_path(dir.path());
    for (int depth = 0; depth < 25; ++depth) std::filesystem::current_path(level);
    for (int depth = 0; depth < 25; ++depth) {
        for (const auto& name : namesIn(".")) std::filesystem::remove(name);
        std::filesystem::current_path("..");
    }
    std::filesystem::remove(level);
    std::filesystem::current_path(home);
}

// The restore command an import prints is one a shell takes back as it is, for
// any name: a quote, a dollar sign, a control byte and a byte that is not UTF-8.
TEST_F(TolvaneCli, TheRestoreCommandPrintedTakesThePatchBackInAShell) {
    const std::string name = "it's $HOME \x1b[2J \xe9t\xc3\xa9.bin";
    writeFile(path(name), makeImage(30000));
    const Result imported = run({"import", path(name), bitmapOf(3)});
    ASSERT_EQ(imported.status, 0) << imported.err;
    const std::string prefix = "To put the previous logo back: tolvane restore ";
    const auto at = imported.out.find(prefix);
    ASSERT_NE(at, std::string::npos) << imported.out;
    const std::string quoted =
        imported.out.substr(at + prefix.size(), imported.out.find('\n', at) - at - prefix.size());
    EXPECT_EQ(quoted, "$'" + dir.path().string() + "/it\\'s $HOME \\x1B[2J \\xE9t\xc3\xa9.bin'");
    EXPECT_EQ(imported.out.find('\x1b'), std::string::npos) << "a control byte reached the terminal";

    const std::string command = "XDG_DATA_HOME=" + shellQuoted(dataHome().string()) + " bash -c " +
                                shellQuoted(shellQuoted(TOLVANE_CLI) + " restore " + quoted) + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(path(name)), makeImage(30000));
}

// The file of a CUE sheet's first data track, after an audio track's file.
TEST_F(TolvaneCli, ACueSheetStandsForTheFileOfItsFirstDataTrack) {
    auto image = makeRawImage(14);
    ImagePrefix prefix;
    std::copy_n(image.begin(), prefix.size(), prefix.bytes().begin());
    insertLogo(patternLogo(8), prefix);
    std::copy_n(prefix.bytes().begin(), prefix.size(), image.begin());
    writeFile(path("Track 2.bin"), image);
    writeFile(path("Track 1.bin"), makeRawImage(14));
    const std::string sheet =
        "FILE \"Track 1.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
        "FILE \"Track 2.bin\" BINARY\n  TRACK 02 MODE2/2352\n    INDEX 01 00:00:00\n";
    writeFile(path("game.cue"), std::vector<Byte>(sheet.begin(), sheet.end()));
    ASSERT_EQ(run({"export", path("game.cue"), path("out.bmp")}).status, 0);
    EXPECT_EQ(logoOf(importBitmap(path("out.bmp")).picture), patternLogo(8));
    const Result imported = run({"import", path("game.cue"), bitmapOf(2)});
    EXPECT_NE(imported.out.find("Patched \"" + path("Track 2.bin") + "\""), std::string::npos) << imported.out;
    EXPECT_EQ(extractLogo(testing::readPrefix(path("Track 2.bin"))).logo, patternLogo(2));
    EXPECT_EQ(readFile(path("Track 1.bin")), makeRawImage(14));
}

// A sheet written on Windows whose data track follows an audio track in the
// same file: every command reads and writes the track where it starts, and
// the audio before it never changes.
TEST_F(TolvaneCli, EveryCommandWorksOnACueSheetsDataTrackAfterAnAudioTrack) {
    auto bin = makeImage(100 * 2352);
    const std::size_t start = bin.size();
    const auto disc = testing::buildDisc({.logo = patternLogo(5)}, kRawMode2Layout);
    bin.insert(bin.end(), disc.begin(), disc.end());
    std::filesystem::create_directory(path("bins"));
    writeFile(path("bins/Game.BIN"), bin);
    const std::string sheet =
        "\xEF\xBB\xBF"
        "FILE \"C:\\Rips\\bins\\game.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n"
        "    INDEX 01 00:00:00\r\n  TRACK 02 MODE2/2352\r\n    INDEX 01 00:01:25\r\n";
    writeFile(path("bins/game.cue"), std::vector<Byte>(sheet.begin(), sheet.end()));
    const std::string cue = path("bins/game.cue");

    const Result info = run({"info", cue});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("File:    " + path("bins/Game.BIN") + "\nSheet:   " + cue +
                            " (track 2, MODE2/2352, from byte 235200 of the file)\nSize:    " +
                            std::to_string(bin.size()) + " bytes\n"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("Serial:  SLUS_200.01\n"), std::string::npos) << info.out;
    const Result json = run({"info", "--json", cue});
    EXPECT_NE(json.out.find("\"cue\": {\"sheet\": \"" + cue +
                            "\", \"sheetEscaped\": null, \"track\": 2, \"mode\": \"MODE2/2352\", \"offset\": 235200}"),
              std::string::npos)
        << json.out;
    EXPECT_EQ(start, 235200u);

    ASSERT_EQ(run({"export", cue, path("old.bmp")}).status, 0);
    EXPECT_EQ(logoOf(importBitmap(path("old.bmp")).picture), patternLogo(5));
    const Result imported = run({"import", cue, bitmapOf(2)});
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_NE(imported.out.find("Patched \"" + path("bins/Game.BIN") + "\""), std::string::npos) << imported.out;
    EXPECT_NE(imported.out.find("To put the previous logo back: tolvane restore '" + cue + "'\n"), std::string::npos)
        << "the restore command must go through the sheet: " << imported.out;
    EXPECT_EQ(extractLogo(testing::readPrefix(cue)).logo, patternLogo(2));
    const auto patched = readFile(path("bins/Game.BIN"));
    ASSERT_EQ(patched.size(), bin.size());
    for (std::size_t i = 0; i < bin.size(); ++i) {
        const bool logoSector = i >= start && (i - start) / 2352 < 12 && (i - start) % 2352 >= 24;  // data, checks
        if (!logoSector) {
            ASSERT_EQ(patched[i], bin[i]) << "offset " << i;
        }
    }
    EXPECT_EQ(run({"info", cue}).out.find("invalid"), std::string::npos) << "check fields recomputed in place";

    const Result list = run({"restore", "--list", cue});
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 2) << list.out;
    const Result restored = run({"restore", cue});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(readFile(path("bins/Game.BIN")), bin);
}

// info --json is for scripts: it says which version of its format it is, names
// a file whose name is not UTF-8 so that a script can find it, and a failure is
// an object too, besides the message and the exit status.
TEST_F(TolvaneCli, InfoJsonIsVersionedNamesAnyFileAndTellsFailures) {
    const std::string odd = path("caf\xE9 a\\b.bin");
    writeFile(odd, testing::buildDisc({}, kPlainLayout));
    const Result r = run({"info", "--json", odd});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\n  \"formatVersion\": 1,\n", 0), 0u) << r.out;
    const std::string escaped = dir.path().string() + "/caf\\\\xE9 a\\\\\\\\b.bin";  // the JSON of caf\xE9 a\\b.bin
    EXPECT_NE(r.out.find("\"fileEscaped\": \"" + escaped + "\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"file\": \"" + dir.path().string() + "/caf\\ufffd a\\\\b.bin\""), std::string::npos);

    const Result missing = run({"info", "--json", path("gone.bin")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "tolvane: Cannot open \"" + path("gone.bin") + "\" for reading: No such file or directory\n");
    EXPECT_EQ(missing.out, "{\n  \"formatVersion\": 1,\n  \"error\": {\"message\": \"Cannot open \\\"" +
                               path("gone.bin") +
                               "\\\" for reading: No such file or directory\", \"kind\": \"not found\"}\n}\n");
    writeFile(path("short.iso"), makeImage(100));
    EXPECT_NE(run({"info", "--json", path("short.iso")}).out.find("\"kind\": \"too short\""), std::string::npos);
    EXPECT_TRUE(run({"info", path("gone.bin")}).out.empty()) << "text output stays empty on failure";

    TOLVANE_REQUIRE_PROGRAM("bash");
    TOLVANE_REQUIRE_PROGRAM("python3");
    // What the page says a script does to get the name back.
    writeFile(path("info.json"), std::vector<Byte>(r.out.begin(), r.out.end()));
    const std::string found =
        "cd " + shellQuoted(dir.path().string()) +
        " && name=$(python3 -c 'import json; print(json.load(open(\"info.json\"))[\"fileEscaped\"])')"
        " && bash -c 'test -f \"$(printf %b \"$1\")\"' - \"$name\"";
    EXPECT_EQ(std::system(found.c_str()), 0) << "printf %b does not give the name back";
}

// Another program writing the image, holding either kind of lock programs take
// (flock(2), as flock(1) does; an fcntl record lock, as lockf(3) does) until
// told to let go: the import waits a moment for it, then writes nothing; so
// does a patch file, which is made under a reader's lock.
TEST_F(TolvaneCli, AnImportWaitsForAnotherWriterThenRefuses) {
    TOLVANE_REQUIRE_PROGRAM("flock");
    TOLVANE_REQUIRE_PROGRAM("python3");
    // Each holder gets the image, a file to make once it holds the lock (and to
    // remove when it lets go), and one whose making lets it go (30 s at most).
    const std::string flockHolder =
        "flock \"$0\" sh -c 'touch \"$1\"; i=0; "
        "while [ ! -e \"$2\" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done; rm \"$1\"' \"$0\" \"$@\"";
    const std::string lockfHolder =
        "python3 -c '\n"
        "import fcntl, os, sys, time\n"
        "image = open(sys.argv[1], \"r+b\")\n"
        "fcntl.lockf(image, fcntl.LOCK_EX)\n"
        "open(sys.argv[2], \"w\").close()\n"
        "end = time.monotonic() + 30\n"
        "while not os.path.exists(sys.argv[3]) and time.monotonic() < end:\n"
        "    time.sleep(0.05)\n"
        "os.remove(sys.argv[2])\n"
        "' \"$0\" \"$@\"";
    for (const auto& [lock, holder] : {std::pair{"flock", flockHolder}, {"lockf", lockfHolder}}) {
        const std::string image = path(std::string(lock) + ".bin"), held = image + ".held", release = image + ".go";
        writeFile(image, makeImage(30000));
        const std::string start = "sh -c " + shellQuoted(holder) + " " + shellQuoted(image) + " " + shellQuoted(held) +
                                  " " + shellQuoted(release) + " >/dev/null 2>&1 &";
        ASSERT_EQ(std::system(start.c_str()), 0) << lock;
        for (int i = 0; i < 1000 && !std::filesystem::exists(held); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(std::filesystem::exists(held)) << lock << ": the holder did not take its lock";
        for (const std::vector<std::string>& words :
             {std::vector<std::string>{"import", image, bitmapOf(2)},
              std::vector<std::string>{"import", "--patch-file", path("p.ppf"), image, bitmapOf(2)}}) {
            SCOPED_TRACE(std::string(lock) + " " + words[1]);
            const auto began = std::chrono::steady_clock::now();
            const Result r = run(words);
            const auto waited = std::chrono::steady_clock::now() - began;
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "tolvane: Nothing was written: another program is writing \"" + image +
                                 "\"; try again when it has finished\n");
            EXPECT_GE(waited, std::chrono::milliseconds(1400)) << "it did not wait for the other program";
        }
        writeFile(release, {});
        for (int i = 0; i < 1000 && std::filesystem::exists(held); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(readFile(image), makeImage(30000)) << lock;
        EXPECT_FALSE(std::filesystem::exists(path("p.ppf"))) << lock;
    }
}

// The patch reaches the disk through the system, not only through the program's
// own account of it: the image's own descriptor is flushed after its last write,
// and its record and the record's folder before its first.
TEST_F(TolvaneCli, AnImportHasTheSystemFlushTheImageAfterWritingIt) {
    REQUIRE_WORKING_STRACE();
    writeFile(path("game.bin"), makeRawImage(13));
    const Traced traced =
        runTraced("pwrite64,pwritev,pwritev2,fsync,fdatasync", {"import", path("game.bin"), bitmapOf(3)});
    ASSERT_EQ(traced.result.status, 0) << traced.result.err;
    const std::string image = std::filesystem::canonical(path("game.bin")).string();
    const std::vector<std::string> writes{"pwrite64", "pwritev", "pwritev2"}, flushes{"fsync", "fdatasync"};
    const auto written = callsOn(traced.calls, writes, image), flushed = callsOn(traced.calls, flushes, image);
    ASSERT_FALSE(written.empty()) << "no write of " << image << " in\n" << traced.trace;
    ASSERT_FALSE(flushed.empty()) << "no flush of " << image << " in\n" << traced.trace;
    EXPECT_GT(flushed.back(), written.back()) << "its last write is not flushed in\n" << traced.trace;
    // Before its first write, the undo record is on the disk, and so is its name
    // in its folder: a power cut at any moment leaves the way back.
    const std::string folder = std::filesystem::canonical(dataHome() / "tolvane-editor").string();
    const auto recordFlushed = callsOn(traced.calls, flushes, folder + "/");
    const auto folderFlushed = callsOn(traced.calls, flushes, folder);
    ASSERT_FALSE(recordFlushed.empty()) << "no flush of the record in\n" << traced.trace;
    ASSERT_FALSE(folderFlushed.empty()) << "no flush of " << folder << " in\n" << traced.trace;
    EXPECT_LT(recordFlushed.front(), folderFlushed.front()) << traced.trace;
    EXPECT_LT(folderFlushed.front(), written.front()) << traced.trace;
    // The history's folder was made by this import: its name is on the disk too.
    const auto parentFlushed = callsOn(traced.calls, flushes, std::filesystem::canonical(dataHome()).string());
    ASSERT_FALSE(parentFlushed.empty()) << "no flush of the new folder's parent in\n" << traced.trace;
    EXPECT_LT(parentFlushed.front(), written.front()) << traced.trace;
}

std::string sheetFor(const std::string& file, const std::string& mode, const std::string& index) {
    return "FILE \"" + file + "\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 " + mode +
           "\n    INDEX 01 " + index + "\n";
}

// import --patch-file on each layout, a file too short for PPF's check block,
// and a CUE sheet whose data track starts 400 bytes before 16 MiB into its file
// (the change straddles the first two windows of the delta): xdelta3 makes of
// the image and the .xdelta or .vcdiff exactly what an import makes of a copy,
// the tests' own patcher the same of the .ppf and takes it back; the image stays
// as it was and no record is kept.
TEST_F(TolvaneCli, PatchFilesGiveExactlyTheImportedImageOnEveryLayoutAndThroughACueSheet) {
    TOLVANE_REQUIRE_PROGRAM("xdelta3");
    const std::uint64_t trackStart = 7133 * 2352;  // 01:35:08
    const struct {
        const char* name;
        std::vector<Byte> disc;
        std::uint64_t start = 0;  // of the data track, for a CUE sheet
        const char* mode = "";
    } cases[] = {
        {"raw.bin", testing::buildDisc({.logo = patternLogo(3)}, kRawMode2Layout)},
        {"mode1.bin", testing::buildDisc({.logo = patternLogo(3)}, kRawMode1Layout)},
        {"m2.bin", testing::buildDisc({.logo = patternLogo(3)}, kMode2Sector2336Layout)},
        {"game.iso", testing::buildDisc({.logo = patternLogo(3)}, kPlainLayout)},
        {"short.bin", makeImage(30000)},
        {"track.bin", testing::buildDisc({.logo = patternLogo(3)}, kRawMode2Layout), trackStart, "MODE2/2352"},
    };
    const std::string bitmap = bitmapOf(6);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string image = path(c.name), copy = path(std::string("imported-") + c.name);
        std::string given = image, givenCopy = copy;  // what the commands are given
        for (const std::string& file : {image, copy}) {
            File made = File::openForUpdate((writeFile(file, {}), file));
            made.writeAt(c.start, c.disc);  // after a hole where a CUE sheet's audio track is
            made.close();
        }
        if (c.start > 0) {
            given = path("game.cue"), givenCopy = path("copy.cue");
            const std::string sheet = sheetFor(c.name, c.mode, "01:35:08"),
                              copySheet = sheetFor(std::string("imported-") + c.name, c.mode, "01:35:08");
            writeFile(given, std::vector<Byte>(sheet.begin(), sheet.end()));
            writeFile(givenCopy, std::vector<Byte>(copySheet.begin(), copySheet.end()));
        }
        const std::vector<Byte> original = readFile(image);

        for (const char* patch : {"p.xdelta", "p.vcdiff", "p.ppf"}) {
            const Result made = run({"import", "--patch-file", path(patch), given, bitmap});
            ASSERT_EQ(made.status, 0) << made.err;
            EXPECT_EQ(made.out.rfind("Wrote \"" + path(patch) + "\", a ", 0), 0u) << made.out;
            EXPECT_EQ(readFile(image), original);
            EXPECT_LT(std::filesystem::file_size(path(patch)), 65536u);
        }
        EXPECT_FALSE(std::filesystem::exists(dataHome() / "tolvane-editor")) << "a patch file keeps no record";

        const Result imported = run({"import", givenCopy, bitmap});
        ASSERT_EQ(imported.status, 0) << imported.err;
        const std::vector<Byte> expected = readFile(copy);
        ASSERT_NE(expected, original);
        for (const char* delta : {"p.xdelta", "p.vcdiff"}) {
            const std::string apply = "xdelta3 -d -f -s " + shellQuoted(image) + " " + shellQuoted(path(delta)) + " " +
                                      shellQuoted(path("out.bin"));
            ASSERT_EQ(std::system(apply.c_str()), 0) << delta;
            EXPECT_EQ(readFile(path("out.bin")), expected) << delta;
        }
        writeFile(path("ppf.bin"), original);
        const std::vector<Byte> ppf = readFile(path("p.ppf"));
        const testing::PpfHeader header = testing::applyPpf(ppf, path("ppf.bin"));
        EXPECT_EQ(readFile(path("ppf.bin")), expected);
        EXPECT_EQ(header.blockCheck, original.size() >= 0x9320 + 1024);
        EXPECT_EQ(header.description, std::string(c.start > 0 || c.disc.size() > 30000 ? "SLUS_200.01" : "")
                                          .append(c.start > 0 || c.disc.size() > 30000 ? 39 : 50, ' '));
        testing::applyPpf(ppf, path("ppf.bin"), true);
        EXPECT_EQ(readFile(path("ppf.bin")), original);
        std::filesystem::remove_all(dataHome());
    }
}

// Making a patch file of a sparse image past 4 GiB reads only what an import
// reads (the bytes read by the process, as Linux counts them for the shell that
// waited for it) and the delta stays small (xdelta3 would read all of the image
// to decode it: the windows are checked in the format's tests); the PPF patch
// applied to a copy gives the first bytes an import gives another.
TEST_F(TolvaneCli, APatchFileOfAnImagePast4GiBIsSmallAndMadeWithoutReadingTheImage) {
    const std::uint64_t length = (std::uint64_t{4} << 30) + (16 << 20) + 5;
    for (const char* name : {"big.bin", "copy.bin", "ppf.bin"}) {
        writeFile(path(name), makeRawImage(13));
        File file = File::openForUpdate(path(name));
        const std::vector<Byte> mark{1, 2, 3};
        file.writeAt(length - 3, mark);
        file.close();
    }
    const std::string bitmap = bitmapOf(5);
    const std::string shell = "sh -c '\"$0\" \"$@\" >/dev/null && grep ^rchar: /proc/$$/io' ";
    const std::string read = "cd " + shellQuoted(dir.path().string()) + " && " + shell + shellQuoted(TOLVANE_CLI) +
                             " import --patch-file big.xdelta big.bin " + shellQuoted(bitmap) + " >" +
                             shellQuoted(path("io"));
    ASSERT_EQ(std::system(read.c_str()), 0);
    const std::string io = textOf(path("io"));
    ASSERT_EQ(io.rfind("rchar: ", 0), 0u) << io;
    EXPECT_LT(std::stoull(io.substr(7)), 1u << 20) << "bytes read in making the patch file";
    EXPECT_LT(std::filesystem::file_size(path("big.xdelta")), 65536u);

    ASSERT_EQ(run({"import", "--patch-file", path("big.ppf"), path("big.bin"), bitmap}).status, 0);
    EXPECT_LT(std::filesystem::file_size(path("big.ppf")), 65536u);
    testing::applyPpf(readFile(path("big.ppf")), path("ppf.bin"));
    ASSERT_EQ(run({"import", path("copy.bin"), bitmap}).status, 0);
    const auto start = [](const std::string& name) {  // where both could differ
        std::vector<Byte> bytes(1 << 16);
        File file = File::openForReading(name);
        bytes.resize(file.readAt(0, bytes));
        return bytes;
    };
    EXPECT_EQ(start(path("ppf.bin")), start(path("copy.bin")));
    EXPECT_EQ(std::filesystem::file_size(path("ppf.bin")), length);
}

// FILE is never IMAGE, its CUE sheet or BITMAP, by any name; bad input gets
// what an import gives it and leaves an existing FILE as it was; a dry run and
// an image that holds the logo already write none.
TEST_F(TolvaneCli, APatchFileIsWrittenWholeOrNotAtAllAndNeverOverWhatItIsMadeOf) {
    const std::vector<Byte> disc = testing::buildDisc({.logo = patternLogo(3)}, kRawMode2Layout);
    writeFile(path("game.bin"), disc);
    const std::string sheet = "FILE \"game.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n";
    writeFile(path("game.cue"), std::vector<Byte>(sheet.begin(), sheet.end()));
    const std::string bitmap = bitmapOf(6);
    std::filesystem::create_hard_link(path("game.bin"), path("game.ppf"));
    std::filesystem::create_symlink(path("game.cue"), path("sheet.vcdiff"));
    std::filesystem::copy_file(bitmap, path("logo.xdelta"));  // a picture, whatever its name
    std::vector<Byte> kept{'P', 'P', 'F'};
    writeFile(path("keep.ppf"), kept);
    writeFile(path("wide.bmp"), std::vector<Byte>{'B', 'M', 0, 0});
    const struct {
        std::vector<std::string> words;
        int status;
        std::string err;  // the start of the message, after "tolvane: "
    } cases[] = {
        // clang-format off
        {{"--patch-file", path("game.ppf"), path("game.bin"), bitmap}, 1,
         "Cannot save the patch file to \"" + path("game.ppf") + "\": it is the disc image it patches"},
        {{"--patch-file", path("sheet.vcdiff"), path("game.cue"), bitmap}, 1,
         "Cannot save the patch file to \"" + path("sheet.vcdiff") + "\": it is the CUE sheet"},
        {{"--patch-file", path("logo.xdelta"), path("game.bin"), path("logo.xdelta")}, 1,
         "Cannot save the patch file to \"" + path("logo.xdelta") + "\": it is the picture the patch carries"},
        {{"--patch-file", path("keep.ppf"), path("game.bin"), path("wide.bmp")}, 1, "\"" + path("wide.bmp")},
        {{"--patch-file", path("keep.ppf"), path("nothing.bin"), bitmap}, 1, "Cannot open \"" + path("nothing.bin")},
        {{"--patch-file", path("gone/p.ppf"), "--dry-run", path("game.bin"), bitmap}, 1,
         "Cannot create a file in \"" + path("gone") + "\": No such file or directory"},
        {{"--patch-file", path("p.txt"), path("game.bin"), bitmap}, 2, "--patch-file takes a name that ends in"},
        // clang-format on
    };
    for (const auto& c : cases) {
        std::vector<std::string> words{"import"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        const Result r = run(words);
        EXPECT_EQ(r.status, c.status) << c.words[1];
        EXPECT_EQ(r.err.rfind("tolvane: " + c.err, 0), 0u) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_EQ(readFile(path("game.bin")), disc);
    EXPECT_EQ(readFile(path("game.cue")), std::vector<Byte>(sheet.begin(), sheet.end()));
    EXPECT_EQ(readFile(path("logo.xdelta")), readFile(bitmap));
    EXPECT_EQ(readFile(path("keep.ppf")), kept);

    const Result dry = run({"import", "--dry-run", "--patch-file", path("p.ppf"), path("game.bin"), bitmap});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out.rfind("Dry run: \"" + path("p.ppf") + "\" can be written, a PPF 3.0 patch of ", 0), 0u)
        << dry.out;
    EXPECT_FALSE(std::filesystem::exists(path("p.ppf")));
    const Result same = run({"import", "--patch-file", path("p.ppf"), path("game.bin"), bitmapOf(3)});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "Nothing to patch: \"" + path("game.bin") + "\" already holds the logo of \"" +
                            path("logo3.bmp") + "\"; no patch file was written\n");
    EXPECT_FALSE(std::filesystem::exists(path("p.ppf")));

    writeFile(path("notes.txt"), std::vector<Byte>(30000, 'x'));
    const Result notDisc = run({"import", "--patch-file", path("p.ppf"), path("notes.txt"), bitmap});
    EXPECT_EQ(notDisc.status, 1);
    EXPECT_NE(notDisc.err.find("Give --force to make a patch file for it anyway"), std::string::npos) << notDisc.err;
    EXPECT_EQ(run({"import", "--force", "--patch-file", path("p.ppf"), path("notes.txt"), bitmap}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(path("p.ppf")));
}

// strace(1) failing the nth call of `call` that concerns `file` with `error`,
// as a failing disk or file system would.
std::string failingCall(const std::string& call, int nth, const std::string& error, const std::string& file) {
    return "strace -f -qq -o /dev/null -P " + shellQuoted(file) + " -e trace=" + call + " -e inject=" + call +
           ":error=" + error + ":when=" + std::to_string(nth) + " ";
}

// A read that fails (a failing disk) at the root directory (the image's 3rd
// read: after the look for a CUE sheet and the first bytes) or at SYSTEM.CNF
// (the 4th) fails each command that needs the game, with the file and the
// system's reason, and changes nothing; a plain export, which does not need it,
// goes on. Each call's failure is told with its own reason.
TEST_F(TolvaneCli, AFailingDiskFailsWhatNeedsTheGameWithTheSystemsReason) {
    REQUIRE_WORKING_STRACE();
    const std::string image = path("game.bin"), bitmap = bitmapOf(6);
    const std::vector<Byte> disc = testing::buildDisc({.logo = patternLogo(3)}, kRawMode2Layout);
    writeFile(image, disc);
    const std::string unread = "tolvane: Cannot read \"" + image + "\": Input/output error\n";
    const struct {
        std::string call;
        int nth;
        std::vector<std::string> words;
        std::string err;  // empty: done
    } cases[] = {
        {"pread64", 3, {"info", image}, unread},
        {"pread64", 4, {"info", "--json", image}, unread},
        {"pread64", 3, {"export", "--console", image, path("out.bmp")}, unread},
        {"pread64", 4, {"import", "--console", image, bitmap}, unread},
        {"pread64", 3, {"import", "--patch-file", path("out.ppf"), image, bitmap}, unread},
        {"pread64", 3, {"export", image, path("out.bmp")}, ""},
        {"fcntl", 1, {"info", image}, "tolvane: Cannot open \"" + image + "\" for reading: Input/output error\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words[0] + " " + c.words[1] + ", " + c.call + " " + std::to_string(c.nth) + " fails");
        const Result r = run(c.words, failingCall(c.call, c.nth, "EIO", image));
        EXPECT_EQ(r.status, c.err.empty() ? 0 : 1) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(readFile(image), disc);
        EXPECT_EQ(std::filesystem::exists(path("out.bmp")), c.err.empty());
        EXPECT_FALSE(std::filesystem::exists(path("out.ppf")));
        std::filesystem::remove(path("out.bmp"));
    }
    EXPECT_FALSE(std::filesystem::exists(dataHome() / "tolvane-editor")) << "no record was kept";

    // The patch file is in place when its folder's flush fails: the failure says so.
    const Result flush = run({"import", "--patch-file", path("out.ppf"), image, bitmap},
                             failingCall("fsync", 1, "EIO", dir.path().string()));
    EXPECT_EQ(flush.status, 1);
    EXPECT_EQ(flush.err, "tolvane: Cannot flush to disk the folder of \"" + path("out.ppf") +
                             "\": Input/output error; \"" + path("out.ppf") +
                             "\" holds all of its new contents, but a crash of the system before the folder reaches "
                             "the disk may undo that\n");
    ASSERT_EQ(run({"import", "--patch-file", path("whole.ppf"), image, bitmap}).status, 0);
    EXPECT_EQ(readFile(path("out.ppf")), readFile(path("whole.ppf")));
}

// import --patch-file only reads the image, as other readers do: one on a
// read-only mount, or that the user may not write, gives its patch file, which
// an import of the same cannot (the check that the image is really read-only).
// The mount needs root (a mount namespace of the command's own, where the
// system allows one); without write permission is tested as another user when
// the tests run as root.
TEST_F(TolvaneCli, APatchFileIsMadeOfAnImageThatMayOnlyBeRead) {
    const std::vector<Byte> disc = testing::buildDisc({.logo = patternLogo(3)}, kRawMode2Layout);
    const std::string bitmap = bitmapOf(6);
    std::filesystem::create_directory(path("ro"));
    const std::string image = path("ro/game.bin");
    writeFile(image, disc);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);  // for the other user's patch file
    std::filesystem::permissions(image, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                            std::filesystem::perms::others_read);
    const bool root = ::geteuid() == 0;
    const std::string mounted =
        "unshare -m sh -c 'mount --bind -o ro \"$0\" \"$0\" && exec \"$@\"' " + shellQuoted(path("ro")) + " ";
    const struct {
        const char* what;
        std::string through;
        std::string reason;
    } cases[] = {
        {"without write permission", root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "",
         "Permission denied"},
        {"on a read-only mount", mounted, "Read-only file system"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Another user may not reach the program where the build put it, in a home folder.
        const std::string probe = c.through + shellQuoted(TOLVANE_CLI) + " --version >/dev/null 2>&1";
        if (!c.through.empty() && std::system(probe.c_str()) != 0) {
            std::cout << "not tested here, " << c.what << ": the system does not let the test do that\n";
            continue;
        }
        const Result made = run({"import", "--patch-file", path("p.ppf"), image, bitmap}, c.through);
        EXPECT_EQ(made.status, 0) << made.err;
        EXPECT_EQ(made.out.rfind("Wrote \"" + path("p.ppf") + "\", a PPF 3.0 patch of ", 0), 0u) << made.out;
        EXPECT_TRUE(std::filesystem::exists(path("p.ppf")));
        std::filesystem::remove(path("p.ppf"));
        const Result refused = run({"import", image, bitmap}, c.through);
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err, "tolvane: Cannot open \"" + image + "\" for writing: " + c.reason + "\n");
        const Result restore = run({"restore", image}, c.through);  // never patched: nothing to take back
        EXPECT_NE(restore.err.find("there is no record of a patch of \"" + image + "\""), std::string::npos)
            << restore.err;
        EXPECT_EQ(readFile(image), disc);
    }
}

}  // namespace
}  // namespace tolvane
